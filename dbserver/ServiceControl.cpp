#include "dbserver/ServiceControl.h"

#include "dbserver/ServerAddress.h"

#include <cstddef>
#include <memory>

namespace veltor {

namespace {

constexpr std::uint32_t kStopManagerAccess = service::kManagerConnect | service::kManagerLock; // 0x0009
constexpr std::uint32_t kStopServiceAccess =
    service::kStop | service::kEnumerateDependents | service::kQueryStatus;            // 0x002C
constexpr std::uint32_t kStartManagerAccess = service::kManagerConnect;                // 0x0001
constexpr std::uint32_t kStartServiceAccess = service::kQueryStatus | service::kStart; // 0x0014

// Owns one handle of the service manager and closes it when it goes.
class ScopedServiceHandle {
public:
    explicit ScopedServiceHandle(IServiceManager& manager, ServiceHandle handle = kNoServiceHandle) noexcept
        : manager_(manager), handle_(handle) {}
    ScopedServiceHandle(const ScopedServiceHandle&) = delete;
    ScopedServiceHandle& operator=(const ScopedServiceHandle&) = delete;
    ~ScopedServiceHandle() { Close(); }

    ServiceHandle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != kNoServiceHandle; }
    void reset(ServiceHandle handle) noexcept {
        Close();
        handle_ = handle;
    }

private:
    void Close() noexcept {
        if (handle_ == kNoServiceHandle) return;
        const ServiceHandle handle = handle_;
        handle_ = kNoServiceHandle;
        try {
            manager_.Close(handle);
        } catch (...) {
        }
    }

    IServiceManager& manager_;
    ServiceHandle handle_;
};

bool IsLocalMachine(const std::string& machineName) {
    if (machineName == "127.0.0.1" || machineName == "::1") return true;
    static constexpr char kLocal[] = "LOCALHOST";
    if (machineName.size() != sizeof kLocal - 1) return false;
    for (std::size_t i = 0; i < machineName.size(); ++i) {
        char c = machineName[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kLocal[i]) return false;
    }
    return true;
}

// Whether a wait goes on after reading `status`.
bool WaitGoesOn(const ServiceStatus& status, bool startWait) {
    switch (status.dwCurrentState) {
    case service::kStopped:
        return false;
    case service::kStartPending:
        return startWait || status.dwCheckPoint != 0;
    case service::kStopPending:
        return !startWait;
    default:
        // Running ends the start wait; in the stop wait it counts as any other state.
        if (startWait && status.dwCurrentState == service::kRunning) return false;
        return status.dwCheckPoint != 0;
    }
}

} // namespace

std::string ServiceStateName(std::uint32_t stateCode) {
    switch (stateCode) {
    case service::kStopped:
        return "SERVICE_STOPPED";
    case service::kStartPending:
        return "SERVICE_START_PENDING";
    case service::kStopPending:
        return "SERVICE_STOP_PENDING";
    case service::kRunning:
        return "SERVICE_RUNNING";
    case service::kPausePending:
        return "SERVICE_PAUSE_PENDING";
    case service::kPaused:
        return "SERVICE_PAUSED";
    default:
        return "Error de Apertura en SCM o Servicio";
    }
}

void ServiceControl::WaitForState(ServiceHandle service, ServiceStatus& status, WaitKind kind) {
    const std::uint32_t begin = manager_.TickCount();
    for (;;) {
        if (!manager_.QueryStatus(service, status)) return;
        // The whole hint is slept before the checks, so a wait may pass the limit by one hint.
        manager_.Sleep(status.dwWaitHint);
        const std::uint32_t elapsed = manager_.TickCount() - begin; // modulo 2^32: a wrap does not matter
        if (elapsed > ServiceWaitLimit) return;
        if (!WaitGoesOn(status, kind == WaitKind::Start)) return;
    }
}

ServiceHandle ServiceControl::OpenManagerOrReport(const std::string& machineName, const char* databaseName,
                                                  std::uint32_t access) {
    const std::string host = SplitServerText(machineName).host;
    const char* machine = IsLocalMachine(host) ? nullptr : host.c_str();
    const ServiceHandle handle = manager_.OpenManager(machine, databaseName, access);
    if (handle != kNoServiceHandle) return handle;

    const std::uint32_t error = manager_.LastError();
    std::string message;
    if (error == service::kErrorAccessDenied)
        message = "Error 5: Acceso denegado. Ejecute como Administrador.";
    else if (error == service::kErrorServiceDoesNotExist)
        message = "Error 1060: Servicio SCM no está ejecutándose";
    else
        message = "Error abriendo SCM: " + std::to_string(error);
    memo_.WriteMemoLine(memo_.StampPrefix() + message);
    return kNoServiceHandle;
}

// An unexpected failure gives the thread's last error code. A code that ServiceStateName would
// name as a state (1 to 4, 6, 7) would let the caller take the failure for a stopped or running
// service, so it gives 0 instead, which names the failure as such.
std::uint32_t ServiceControl::ResultOfUnexpectedFailure() {
    try {
        const std::uint32_t error = manager_.LastError();
        const bool readsAsState =
            error >= service::kStopped && error <= service::kPaused && error != service::kContinuePending;
        return readsAsState ? 0 : error;
    } catch (...) {
        return 0;
    }
}

std::uint32_t ServiceControl::StopWindowsService(const std::string& machineName, const std::string& serviceName) {
    ScopedServiceHandle manager(manager_);
    ScopedServiceHandle service(manager_);
    try {
        ServiceStatus status;
        manager.reset(OpenManagerOrReport(machineName, nullptr, kStopManagerAccess));
        if (!manager) return 0;
        service.reset(manager_.OpenServiceByName(manager.get(), serviceName.c_str(), kStopServiceAccess));
        if (!service) return 0;
        if (!manager_.QueryStatus(service.get(), status)) return 0;

        StopDependentServices(manager.get(), service.get()); // the service is stopped in any case

        // A refused stop skips the wait; the record holds what came with the refusal or the
        // state read above (1 for a service that is already stopped).
        if (manager_.Control(service.get(), service::kControlStop, status))
            WaitForState(service.get(), status, WaitKind::Stop);
        return status.dwCurrentState;
    } catch (...) {
        return ResultOfUnexpectedFailure();
    }
}

std::uint32_t ServiceControl::StartWindowsService(const std::string& machineName, const std::string& serviceName) {
    ScopedServiceHandle manager(manager_);
    ScopedServiceHandle service(manager_);
    try {
        ServiceStatus status;
        manager.reset(OpenManagerOrReport(machineName, service::kActiveDatabase, kStartManagerAccess));
        if (!manager) return 0;
        service.reset(manager_.OpenServiceByName(manager.get(), serviceName.c_str(), kStartServiceAccess));
        if (!service) return 0;
        if (!manager_.QueryStatus(service.get(), status)) return 0;

        // A refused start (a running service, for one) skips the wait and gives the state read above.
        if (manager_.Start(service.get())) WaitForState(service.get(), status, WaitKind::Start);
        return status.dwCurrentState;
    } catch (...) {
        return ResultOfUnexpectedFailure();
    }
}

std::uint32_t ServiceControl::QueryWindowsService(const std::string& machineName, const std::string& serviceName) {
    ScopedServiceHandle manager(manager_);
    ScopedServiceHandle service(manager_);
    try {
        ServiceStatus status;
        manager.reset(OpenManagerOrReport(machineName, service::kActiveDatabase, service::kManagerConnect));
        if (!manager) return 0;
        service.reset(manager_.OpenServiceByName(manager.get(), serviceName.c_str(), service::kQueryStatus));
        if (!service) return 0;
        if (!manager_.QueryStatus(service.get(), status)) return 0;
        return status.dwCurrentState;
    } catch (...) {
        return ResultOfUnexpectedFailure();
    }
}

bool ServiceControl::StopDependentServices(ServiceHandle manager, ServiceHandle service) {
    std::uint32_t bytesNeeded = 0;
    std::uint32_t count = 0;
    // Only the size needed matters here; the outcome of this call does not.
    manager_.EnumerateDependents(service, service::kStateActive, nullptr, 0, bytesNeeded, count);

    // new[] of bytes aligns for any entry; the () fills it with zeros.
    const std::uint32_t size = bytesNeeded;
    const std::unique_ptr<std::byte[]> buffer(new std::byte[size]());
    count = 0;
    if (!manager_.EnumerateDependents(service, service::kStateActive, buffer.get(), size, bytesNeeded, count))
        return false;

    const auto* entries = reinterpret_cast<const EnumServiceStatusEntry*>(buffer.get());
    const std::size_t fits = size / sizeof(EnumServiceStatusEntry);
    ServiceStatus status;
    for (std::size_t i = 0; i < count && i < fits; ++i) {
        if (entries[i].lpServiceName == nullptr) continue;
        ScopedServiceHandle dependent(
            manager_, manager_.OpenServiceByName(manager, entries[i].lpServiceName, kStopServiceAccess));
        if (!dependent) continue;
        if (manager_.QueryStatus(dependent.get(), status) &&
            manager_.Control(dependent.get(), service::kControlStop, status))
            WaitForState(dependent.get(), status, WaitKind::Stop);
    }
    return true;
}

} // namespace veltor
