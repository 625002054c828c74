#include "platform/posix/PosixElevation.h"

#include "ports/Errors.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <spawn.h>
#include <string>
#include <unistd.h>

extern char** environ;

namespace veltor::posix {

namespace {

[[noreturn]] void RaiseSystemError(int code) {
    throw OsError(SystemErrorText(static_cast<std::uint32_t>(code), std::strerror(code)),
                  static_cast<std::uint32_t>(code));
}

std::string OwnExecutable() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length < 0) RaiseSystemError(errno);
    if (static_cast<std::size_t>(length) >= sizeof path) RaiseSystemError(ENAMETOOLONG);
    return std::string(path, static_cast<std::size_t>(length));
}

} // namespace

bool PosixElevation::IsAdministrator() const {
    return geteuid() == 0;
}

void PosixElevation::RelaunchElevated() {
    std::string program = "pkexec";
    std::string executable = OwnExecutable();
    std::string argument = "-elevated";
    char* const arguments[] = {program.data(), executable.data(), argument.data(), nullptr};
    pid_t child = 0;
    // The new instance is not waited for: this process ends as soon as it has started.
    const int failure = posix_spawnp(&child, program.c_str(), nullptr, nullptr, arguments, environ);
    if (failure != 0) RaiseSystemError(failure);
}

} // namespace veltor::posix
