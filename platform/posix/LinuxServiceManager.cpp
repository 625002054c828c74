// The service control manager over the system's `service` command.
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixSpawn.h"

#include "platform/posix/PosixPlatform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace veltor::posix {

namespace {

constexpr std::uint32_t kErrorServiceRequestTimeout = 1053; // the `service` command could not be run
constexpr std::uint32_t kCommandCheckMs = 5;                // how often a sleep looks at a running command

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The names by which the Windows service manager would take `name` for this machine.
bool NamesThisMachine(const char* name) {
    if (name == nullptr || *name == '\0') return true;
    const std::string text = name;
    if (EqualIgnoringCase(text, "localhost") || text == "127.0.0.1" || text == "::1") return true;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return false;
    const std::string full = host;
    return EqualIgnoringCase(text, full) || EqualIgnoringCase(text, full.substr(0, full.find('.')));
}

// A process this manager spawned; the destructor reaps it, waiting for it when it still runs.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) noexcept : pid_(pid) {}
    ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)), exitCode_(other.exitCode_) {}
    ChildProcess& operator=(ChildProcess&& other) noexcept {
        if (this != &other) {
            Wait();
            pid_ = std::exchange(other.pid_, -1);
            exitCode_ = other.exitCode_;
        }
        return *this;
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { Wait(); }

    // Whether the process still runs; reaps it once it has ended.
    bool Running() noexcept { return pid_ > 0 && !Reap(WNOHANG); }

    // Waits for the end of the process; its exit code, or -1 when it did not exit normally.
    int Wait() noexcept {
        if (pid_ > 0) Reap(0);
        return exitCode_;
    }

private:
    // True when the process has been reaped (or cannot be waited for any more).
    bool Reap(int options) noexcept {
        int status = 0;
        pid_t result;
        while ((result = ::waitpid(pid_, &status, options)) < 0 && errno == EINTR) {
        }
        if (result == 0) return false;
        exitCode_ = result == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return true;
    }

    pid_t pid_;
    int exitCode_ = -1;
};

// Runs the service command without a shell, its output on /dev/null, in a plain environment.
// Without systemd the command runs the init script itself, and the server it starts keeps this
// locale: a UTF-8 one, as the server converts the UTF-8 file names it is sent into its own
// locale's character set and refuses every name beyond ASCII in the C locale. (Under systemd
// the unit's environment is the server's.)
std::optional<ChildProcess> SpawnServiceCommand(const std::vector<std::string>& arguments) {
    const pid_t pid =
        Spawn(arguments, {.silent = true, .environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8"}});
    if (pid < 0) return std::nullopt;
    return ChildProcess(pid);
}

class LinuxServiceManager final : public IServiceManager {
public:
    explicit LinuxServiceManager(LinuxServiceOptions options)
        : options_(std::move(options)), systemd_(IsFolder(options_.systemdMarker)) {}

    ServiceHandle OpenManager(const char* machineName, const char* databaseName, std::uint32_t access) override {
        if (!NamesThisMachine(machineName)) return Fail(service::kErrorRpcServerUnavailable, kNoServiceHandle);
        if (databaseName != nullptr && !EqualIgnoringCase(databaseName, service::kActiveDatabase))
            return Fail(service::kErrorDatabaseDoesNotExist, kNoServiceHandle);
        if (!options_.privileged && (access & service::kManagerLock) != 0)
            return Fail(service::kErrorAccessDenied, kNoServiceHandle);
        return NewHandle(Open{true, {}, access});
    }

    ServiceHandle OpenServiceByName(ServiceHandle manager, const char* serviceName, std::uint32_t access) override {
        const Open* scm = Find(manager);
        if (scm == nullptr || !scm->isManager || serviceName == nullptr)
            return Fail(service::kErrorInvalidHandle, kNoServiceHandle);
        const std::string unit = UnitOf(serviceName);
        if (unit.empty()) return Fail(service::kErrorServiceDoesNotExist, kNoServiceHandle);
        if (!options_.privileged && (access & (service::kStart | service::kStop)) != 0)
            return Fail(service::kErrorAccessDenied, kNoServiceHandle);
        return NewHandle(Open{false, unit, access});
    }

    bool QueryStatus(ServiceHandle handle, ServiceStatus& status) override {
        const Open* open = FindService(handle, service::kQueryStatus);
        if (open == nullptr) return false;
        const std::optional<ServiceStatus> current = CurrentStatus(open->unit);
        if (!current) return Fail(kErrorServiceRequestTimeout, false);
        if (!pending_.contains(open->unit)) lastRead_[open->unit] = {*current, clock_.TickCount()};
        status = *current;
        return true;
    }

    bool Start(ServiceHandle handle) override {
        const Open* open = FindService(handle, service::kStart);
        if (open == nullptr) return false;
        const std::optional<ServiceStatus> current = StatusBeforeCommand(open->unit);
        if (!current) return Fail(kErrorServiceRequestTimeout, false);
        if (current->dwCurrentState == service::kStopPending)
            return Fail(service::kErrorServiceCannotAcceptControl, false);
        if (current->dwCurrentState != service::kStopped) return Fail(service::kErrorServiceAlreadyRunning, false);
        return Launch(open->unit, "start", service::kStartPending);
    }

    bool Control(ServiceHandle handle, std::uint32_t control, ServiceStatus& status) override {
        const Open* open = FindService(handle, service::kStop);
        if (open == nullptr) return false;
        if (control != service::kControlStop) return Fail(service::kErrorInvalidParameter, false);
        const std::optional<ServiceStatus> current = StatusBeforeCommand(open->unit);
        if (!current) return Fail(kErrorServiceRequestTimeout, false);
        if (current->dwCurrentState != service::kRunning) {
            // As the Windows manager does, the refusal comes with the current status.
            status = *current;
            return Fail(current->dwCurrentState == service::kStopped ? service::kErrorServiceNotActive
                                                                     : service::kErrorServiceCannotAcceptControl,
                        false);
        }
        if (!Launch(open->unit, "stop", service::kStopPending)) return false;
        status = PendingStatus(pending_.at(open->unit));
        return true;
    }

    bool EnumerateDependents(ServiceHandle handle, std::uint32_t serviceState, void*, std::uint32_t,
                             std::uint32_t& bytesNeeded, std::uint32_t& servicesReturned) override {
        bytesNeeded = 0;
        servicesReturned = 0;
        if (FindService(handle, service::kEnumerateDependents) == nullptr) return false;
        if (serviceState != service::kStateActive) return Fail(service::kErrorInvalidParameter, false);
        return true; // the init system stops the dependents of a unit itself
    }

    bool Close(ServiceHandle handle) override {
        if (handles_.erase(handle) == 0) return Fail(service::kErrorInvalidHandle, false);
        return true;
    }

    std::uint32_t TickCount() override { return clock_.TickCount(); }
    // While a start or stop runs, the sleep ends as soon as its command has ended, so the wait
    // reads the unit's state then rather than at the end of the hint.
    void Sleep(std::uint32_t milliseconds) override {
        const std::uint32_t begin = clock_.TickCount();
        for (;;) {
            const std::uint32_t elapsed = clock_.TickCount() - begin;
            if (elapsed >= milliseconds || CommandEnded()) return;
            clock_.Sleep(pending_.empty() ? milliseconds - elapsed : std::min(kCommandCheckMs, milliseconds - elapsed));
        }
    }
    std::uint32_t LastError() override { return lastError_; }

private:
    struct Open {
        bool isManager;
        std::string unit;
        std::uint32_t access;
    };
    // A start or stop under way: the `service` process and what the unit reports meanwhile.
    struct Pending {
        ChildProcess child;
        std::uint32_t state;
        std::uint32_t checkPoint = 0;
    };

    template <typename T> T Fail(std::uint32_t error, T result) {
        lastError_ = error;
        return result;
    }

    ServiceHandle NewHandle(Open open) {
        const ServiceHandle handle = nextHandle_++;
        handles_.emplace(handle, std::move(open));
        return handle;
    }

    const Open* Find(ServiceHandle handle) const {
        const auto it = handles_.find(handle);
        return it == handles_.end() ? nullptr : &it->second;
    }

    const Open* FindService(ServiceHandle handle, std::uint32_t right) {
        const Open* open = Find(handle);
        if (open == nullptr || open->isManager) return Fail<const Open*>(service::kErrorInvalidHandle, nullptr);
        if ((open->access & right) == 0) return Fail<const Open*>(service::kErrorAccessDenied, nullptr);
        return open;
    }

    bool Known(const std::string& unit) const {
        if (IsExecutableFile(options_.initScriptFolder + "/" + unit)) return true;
        if (!systemd_) return false;
        for (const std::string& folder : options_.unitFileFolders)
            if (PathExists(folder + "/" + unit + ".service")) return true;
        return false;
    }

    std::string UnitOf(const std::string& serviceName) {
        for (const auto& [name, units] : options_.services) {
            if (!EqualIgnoringCase(name, serviceName)) continue;
            std::vector<std::string> known;
            for (const std::string& unit : units)
                if (Known(unit)) known.push_back(unit);
            if (known.size() > 1)
                for (const std::string& unit : known) {
                    const std::optional<ServiceStatus> status = CurrentStatus(unit);
                    if (status && status->dwCurrentState == service::kRunning) return unit;
                }
            return known.empty() ? std::string() : known.front();
        }
        return {};
    }

    ServiceStatus PendingStatus(Pending& pending) const {
        ServiceStatus status;
        status.dwServiceType = service::kOwnProcess;
        status.dwCurrentState = pending.state;
        status.dwCheckPoint = ++pending.checkPoint;
        status.dwWaitHint = options_.pendingWaitHint;
        return status;
    }

    // The unit's state: pending while its start or stop runs, then what `service <unit> status` says.
    std::optional<ServiceStatus> CurrentStatus(const std::string& unit) {
        if (const auto it = pending_.find(unit); it != pending_.end()) {
            if (it->second.child.Running()) return PendingStatus(it->second);
            pending_.erase(it);
        }
        std::optional<ChildProcess> query = SpawnServiceCommand({options_.serviceCommand, unit, "status"});
        if (!query) return std::nullopt;
        const int code = query->Wait();
        const bool running = code == 0;
        if (!running && code != 3 && !(code == 1 && !systemd_)) return std::nullopt;
        ServiceStatus status;
        status.dwServiceType = service::kOwnProcess;
        status.dwCurrentState = running ? service::kRunning : service::kStopped;
        status.dwControlsAccepted = running ? service::kAcceptStop : 0;
        return status;
    }

    // A start or stop that follows a query of the same unit within statusReuseMs acts on the
    // state that query read, as the service control does (query, then command): another
    // `service status` costs a process start for the same answer. Should the unit have changed
    // meanwhile, the init system's start of a running unit or stop of a stopped one does no
    // harm, and the wait after the command reads the state afresh.
    std::optional<ServiceStatus> StatusBeforeCommand(const std::string& unit) {
        const auto it = lastRead_.find(unit);
        if (it != lastRead_.end() && !pending_.contains(unit) &&
            clock_.TickCount() - it->second.readAt < options_.statusReuseMs)
            return it->second.status;
        return CurrentStatus(unit);
    }

    // Reaps the start and stop commands that have ended; whether there was one.
    bool CommandEnded() {
        bool ended = false;
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->second.child.Running()) {
                ++it;
            } else {
                it = pending_.erase(it);
                ended = true;
            }
        }
        return ended;
    }

    bool Launch(const std::string& unit, const char* verb, std::uint32_t pendingState) {
        std::optional<ChildProcess> child = SpawnServiceCommand({options_.serviceCommand, unit, verb});
        if (!child) return Fail(kErrorServiceRequestTimeout, false);
        lastRead_.erase(unit);
        pending_.insert_or_assign(unit, Pending{std::move(*child), pendingState});
        return true;
    }

    LinuxServiceOptions options_;
    bool systemd_; // systemd is the init system in use
    PosixClock clock_;
    std::map<ServiceHandle, Open> handles_;
    std::map<std::string, Pending> pending_;
    struct StatusRead {
        ServiceStatus status;
        std::uint32_t readAt; // tick
    };
    std::map<std::string, StatusRead> lastRead_; // by unit, from QueryStatus
    ServiceHandle nextHandle_ = 0x5C000001;
    std::uint32_t lastError_ = 0;
};

} // namespace

LinuxServiceOptions::LinuxServiceOptions() : privileged(::geteuid() == 0) {}

std::unique_ptr<IServiceManager> MakeLinuxServiceManager(LinuxServiceOptions options) {
    return std::make_unique<LinuxServiceManager>(std::move(options));
}

} // namespace veltor::posix
