// The maintenance script as a process of its own.
#include "platform/posix/PosixMaintenance.h"
#include "platform/posix/PosixScriptTrust.h"
#include "platform/posix/PosixSpawn.h"

#include <cerrno>
#include <sys/wait.h>
#include <thread>

namespace veltor::posix {
namespace {

void Reap(pid_t pid) {
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

ScriptLaunch PosixShellLauncher::LaunchScript(const std::string& script, const std::string& argument) {
    TrustedScript trusted = CheckScript(script);
    if (trusted.command.empty()) return {false, trusted.refused};
    trusted.command.push_back(argument);
    // Its own session: closing our terminal does not end it; it writes where we write.
    const pid_t pid = Spawn(trusted.command, {.ownSession = true});
    if (pid < 0) return {};
    lastProcessId_ = pid;
    Reap(pid);
    return {true, {}};
}

} // namespace veltor::posix
