// The maintenance script as a process of its own.
#include "platform/posix/PosixMaintenance.h"
#include "platform/posix/PosixSpawn.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltor::posix {
namespace {

// True when the file can be run by itself: execute permission, and an interpreter line or a
// program's header at its start.
bool RunsByItself(const std::string& path) {
    if (::access(path.c_str(), X_OK) != 0) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char start[4] = {};
    const ssize_t n = ::read(fd, start, sizeof start);
    ::close(fd);
    if (n >= 2 && start[0] == '#' && start[1] == '!') return true;
    return n == 4 && start[0] == 0x7f && start[1] == 'E' && start[2] == 'L' && start[3] == 'F';
}

void Reap(pid_t pid) {
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

bool PosixShellLauncher::LaunchScript(const std::string& script, const std::string& argument) {
    // From the current directory; the "./" also keeps a name that begins with "-" from being
    // read as an option by /bin/sh.
    const std::string path = script.find('/') == std::string::npos ? "./" + script : script;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;

    std::vector<std::string> arguments;
    if (!RunsByItself(path)) arguments.push_back("/bin/sh");
    arguments.push_back(path);
    arguments.push_back(argument);
    // Its own session: closing our terminal does not end it; it writes where we write.
    const pid_t pid = Spawn(arguments, {.ownSession = true});
    if (pid < 0) return false;
    lastProcessId_ = pid;
    Reap(pid);
    return true;
}

} // namespace veltor::posix
