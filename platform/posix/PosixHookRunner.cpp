#include "platform/posix/PosixHookRunner.h"
#include "platform/HookOutput.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixScriptTrust.h"
#include "platform/posix/PosixSpawn.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltor::posix {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kGrace = std::chrono::seconds(2);
// How often the script's end is looked at when the system gives no descriptor for it.
constexpr auto kLookEvery = std::chrono::milliseconds(20);

enum class Script { Running, Ended, Lost };

// An ended script stays a zombie until it is reaped, so that its process id, the id of its group,
// names nobody else while what it left is killed. Lost: it is not ours to wait for any more.
Script StateOf(pid_t pid) {
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        if (errno != EINTR) return Script::Lost;
    }
    return info.si_pid == pid ? Script::Ended : Script::Running;
}

// A descriptor that becomes readable when the process ends; -1 where the system has none. Through
// the system call: the C library's declaration of it is not usable from C++ here.
int ProcessDescriptor(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Reads what is there, waiting at most until `until` for the pipe or the script's end; the
// pipe is closed at its end.
void ReadUntil(Descriptor& pipe, const Descriptor& process, Clock::time_point until, HookFirstLine& line) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    auto wait = std::max(left, std::chrono::milliseconds(0));
    if (process.get() < 0) wait = std::min(wait, kLookEvery);
    pollfd watched[2] = {{pipe.get(), POLLIN, 0}, {process.get(), POLLIN, 0}};
    if (::poll(watched, 2, static_cast<int>(wait.count())) <= 0 || watched[0].revents == 0) return;
    char buffer[4096];
    const ssize_t n = ::read(pipe.get(), buffer, sizeof buffer);
    if (n > 0)
        line.Add({buffer, static_cast<std::size_t>(n)});
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        pipe.Close();
}

// What the pipe holds now, without waiting for more; a bounded amount, should something that
// left the group keep writing.
void ReadWhatIsThere(Descriptor& pipe, HookFirstLine& line) {
    if (pipe.get() < 0 || ::fcntl(pipe.get(), F_SETFL, O_NONBLOCK) != 0) return;
    char buffer[4096];
    for (int reads = 0; reads < 256; ++reads) {
        const ssize_t n = ::read(pipe.get(), buffer, sizeof buffer);
        if (n > 0)
            line.Add({buffer, static_cast<std::size_t>(n)});
        else if (n == 0 || errno != EINTR)
            return;
    }
}

} // namespace

HookRun PosixHookRunner::RunHook(const std::string& script, const std::vector<std::string>& arguments,
                                 std::uint32_t limitSeconds) {
    TrustedScript trusted = CheckScript(script);
    HookRun run;
    run.refused = trusted.refused;
    if (trusted.command.empty()) return run;
    trusted.command.insert(trusted.command.end(), arguments.begin(), arguments.end());

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return run;
    Descriptor reading(ends[0]);
    Descriptor writing(ends[1]);
    const pid_t pid = Spawn(trusted.command, {.ownSession = true, .output = writing.get()});
    writing.Close();
    if (pid < 0) return run;
    run.started = true;
    lastProcessId_ = pid;

    // Readable once the script has ended, where the system has it; otherwise looked at often.
    const Descriptor process(ProcessDescriptor(pid));
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limitSeconds);
    HookFirstLine line;
    Script state;
    while ((state = StateOf(pid)) == Script::Running && Clock::now() < deadline)
        ReadUntil(reading, process, deadline, line);

    if (state == Script::Running) {
        run.timedOut = true;
        ::kill(-pid, SIGTERM);
        const Clock::time_point grace = Clock::now() + kGrace;
        while ((state = StateOf(pid)) == Script::Running && Clock::now() < grace)
            ReadUntil(reading, process, grace, line);
    }
    // The group is ours until the script is reaped: whatever of it is left is ended.
    if (state != Script::Lost) ::kill(-pid, SIGKILL);
    ReadWhatIsThere(reading, line);
    const int exitCode = state == Script::Lost ? -1 : Reap(pid);
    if (!run.timedOut) run.exitCode = exitCode;
    run.firstLine = line.Text();
    return run;
}

} // namespace veltor::posix
