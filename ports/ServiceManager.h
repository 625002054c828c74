#pragma once
// The operating system's service control manager, one call per operation of the Windows
// API (advapi32 and kernel32, ANSI forms), so that the Windows adapter forwards each call
// unchanged. Handles are opaque values; 0 stands for no handle. A failing call leaves its
// reason in LastError, as the Windows calls do. Method names avoid those that the Windows
// headers define as macros (OpenService, StartService, ...).

#include <cstdint>

namespace veltor {

using ServiceHandle = std::uintptr_t;
inline constexpr ServiceHandle kNoServiceHandle = 0;

// Laid out as SERVICE_STATUS (seven 32-bit fields in this order).
struct ServiceStatus {
    std::uint32_t dwServiceType = 0;
    std::uint32_t dwCurrentState = 0;
    std::uint32_t dwControlsAccepted = 0;
    std::uint32_t dwWin32ExitCode = 0;
    std::uint32_t dwServiceSpecificExitCode = 0;
    std::uint32_t dwCheckPoint = 0;
    std::uint32_t dwWaitHint = 0; // milliseconds
};

// Laid out as ENUM_SERVICE_STATUSA: one entry of the dependents list. The names point into
// the same buffer, behind the array of entries.
struct EnumServiceStatusEntry {
    char* lpServiceName;
    char* lpDisplayName;
    veltor::ServiceStatus ServiceStatus;
};

namespace service {
// Service states (dwCurrentState).
inline constexpr std::uint32_t kStopped = 1;
inline constexpr std::uint32_t kStartPending = 2;
inline constexpr std::uint32_t kStopPending = 3;
inline constexpr std::uint32_t kRunning = 4;
inline constexpr std::uint32_t kContinuePending = 5;
inline constexpr std::uint32_t kPausePending = 6;
inline constexpr std::uint32_t kPaused = 7;

// Access rights of the manager.
inline constexpr std::uint32_t kManagerConnect = 0x0001;
inline constexpr std::uint32_t kManagerLock = 0x0008;
// Access rights of a service.
inline constexpr std::uint32_t kQueryStatus = 0x0004;
inline constexpr std::uint32_t kEnumerateDependents = 0x0008;
inline constexpr std::uint32_t kStart = 0x0010;
inline constexpr std::uint32_t kStop = 0x0020;

inline constexpr std::uint32_t kControlStop = 1;   // SERVICE_CONTROL_STOP
inline constexpr std::uint32_t kStateActive = 1;   // SERVICE_ACTIVE, for the dependents list
inline constexpr std::uint32_t kOwnProcess = 0x10; // SERVICE_WIN32_OWN_PROCESS
inline constexpr std::uint32_t kAcceptStop = 0x01; // SERVICE_ACCEPT_STOP
inline constexpr const char* kActiveDatabase = "ServicesActive";

// Error codes (GetLastError) that the manager reports.
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorServiceAlreadyRunning = 1056;
inline constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kErrorServiceCannotAcceptControl = 1061;
inline constexpr std::uint32_t kErrorServiceNotActive = 1062;
inline constexpr std::uint32_t kErrorDatabaseDoesNotExist = 1065;
inline constexpr std::uint32_t kErrorRpcServerUnavailable = 1722;
} // namespace service

class IServiceManager {
public:
    virtual ~IServiceManager() = default;

    // OpenSCManagerA: machineName and databaseName may be null (this machine; the active
    // database).
    virtual ServiceHandle OpenManager(const char* machineName, const char* databaseName, std::uint32_t access) = 0;
    // OpenServiceA.
    virtual ServiceHandle OpenServiceByName(ServiceHandle manager, const char* serviceName, std::uint32_t access) = 0;
    // QueryServiceStatus.
    virtual bool QueryStatus(ServiceHandle service, ServiceStatus& status) = 0;
    // StartServiceA with no arguments.
    virtual bool Start(ServiceHandle service) = 0;
    // ControlService; the status is filled on success and for some refusals.
    virtual bool Control(ServiceHandle service, std::uint32_t control, ServiceStatus& status) = 0;
    // EnumDependentServicesA: buffer holds bufferSize bytes (it may be null when bufferSize is
    // 0) and receives an array of EnumServiceStatusEntry followed by their names. A buffer
    // too small fails with kErrorMoreData and reports the size needed in bytesNeeded.
    virtual bool EnumerateDependents(ServiceHandle service, std::uint32_t serviceState, void* buffer,
                                     std::uint32_t bufferSize, std::uint32_t& bytesNeeded,
                                     std::uint32_t& servicesReturned) = 0;
    // CloseServiceHandle.
    virtual bool Close(ServiceHandle handle) = 0;
    // GetTickCount: milliseconds since some fixed point; wraps at 2^32.
    virtual std::uint32_t TickCount() = 0;
    // Sleep: blocks the calling thread.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // GetLastError: the reason of the calling thread's last failed call.
    virtual std::uint32_t LastError() = 0;
};

} // namespace veltor
