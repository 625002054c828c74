#include "platform/posix/PosixElevation.h"

#include "ports/Errors.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace veltor::posix {

namespace {

[[noreturn]] void RaiseSystemError(int code) {
    throw OsError(SystemErrorText(static_cast<std::uint32_t>(code), std::strerror(code)),
                  static_cast<std::uint32_t>(code));
}

constexpr int kPromptDismissed = 126;
constexpr int kNotAuthorised = 127;

struct SpawnAttributes {
    posix_spawnattr_t value;
    SpawnAttributes() { posix_spawnattr_init(&value); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&value); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

// A signal ignored for the life of the object, then handled as before.
class IgnoredWhileWaiting {
public:
    explicit IgnoredWhileWaiting(int signal) : signal_(signal) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(signal_, &ignore, &before_);
    }
    ~IgnoredWhileWaiting() { sigaction(signal_, &before_, nullptr); }
    IgnoredWhileWaiting(const IgnoredWhileWaiting&) = delete;
    IgnoredWhileWaiting& operator=(const IgnoredWhileWaiting&) = delete;

private:
    int signal_;
    struct sigaction before_ {};
};

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

int PosixElevation::RelaunchElevated(const std::vector<std::string>& arguments) {
    // --keep-cwd: the new instance reads the ADMINBD.inf of this folder, not root's home.
    std::vector<std::string> command = {"pkexec", "--keep-cwd", OwnExecutable(), "-elevated"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& part : command)
        argv.push_back(part.data());
    argv.push_back(nullptr);

    // Like system(3): while the new instance runs, Ctrl-C at the terminal reaches it (it is in
    // this process group) and not this waiting process. The new instance gets the defaults.
    SpawnAttributes attributes;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_setsigdefault(&attributes.value, &defaults);
    posix_spawnattr_setflags(&attributes.value, POSIX_SPAWN_SETSIGDEF);
    IgnoredWhileWaiting ignoreInterrupt(SIGINT);
    IgnoredWhileWaiting ignoreQuit(SIGQUIT);

    pid_t child = 0;
    const int failure = posix_spawnp(&child, argv[0], nullptr, &attributes.value, argv.data(), environ);
    if (failure != 0) RaiseSystemError(failure);

    // The prompt may need this process's terminal, so this process waits for the new one and
    // ends with its exit code.
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) RaiseSystemError(errno);
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    const int code = WEXITSTATUS(status);
    // pkexec's own failures: 126 when the prompt was dismissed, 127 when the user is not
    // authorised or pkexec could not ask.
    if (code == kPromptDismissed || code == kNotAuthorised) RaiseSystemError(EACCES);
    return code;
}

} // namespace veltor::posix
