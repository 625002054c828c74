#pragma once
// Stopping and starting the database server's service through the service control manager,
// with bounded waits for the change of state. The operations never raise: they return a state
// code, which ServiceStateName turns into the text that callers log and compare.

#include "ports/ServiceManager.h"

#include <cstdint>
#include <string>

namespace veltor {

// Where the service control reports that it could not reach the service manager: a line of
// the activity memo, written with the stamp prefix of activity lines.
class IServiceControlMemo {
public:
    virtual ~IServiceControlMemo() = default;
    // The current date and time as activity lines begin ("07/12/2026 - 12:45:03").
    virtual std::string StampPrefix() = 0;
    // Appends one line to the activity memo; cannot fail.
    virtual void WriteMemoLine(const std::string& line) = 0;
};

// A wait for a change of state ends at its first check after this many milliseconds.
inline constexpr std::uint32_t ServiceWaitLimit = 60000;

// "SERVICE_STOPPED", "SERVICE_RUNNING", ... for the codes 1 to 4, 6 and 7;
// "Error de Apertura en SCM o Servicio" for any other code.
std::string ServiceStateName(std::uint32_t stateCode);

class ServiceControl {
public:
    ServiceControl(IServiceManager& manager, IServiceControlMemo& memo) : manager_(manager), memo_(memo) {}

    // Stops the running dependents of the service, then the service, and waits for it to stop.
    // Returns the service's last known state; 0 when the manager or the service cannot be opened
    // or the service cannot be queried; the last error code after an unexpected failure.
    // The machine is the host of a server text ("localhost/3050" is "localhost"); "localhost"
    // in any case, 127.0.0.1 and ::1 name this machine.
    std::uint32_t StopWindowsService(const std::string& machineName, const std::string& serviceName);

    // Starts the service and waits while it is starting. Results as StopWindowsService; a
    // service that is already running gives 4 at once.
    std::uint32_t StartWindowsService(const std::string& machineName, const std::string& serviceName);

    // The service's current state, without changing it. Results as StopWindowsService.
    std::uint32_t QueryWindowsService(const std::string& machineName, const std::string& serviceName);

    // Stops each running dependent of an open service and waits for it; a dependent that cannot
    // be opened, queried or stopped is skipped. True when the list of dependents could be read.
    // Unexpected failures pass on to the caller.
    bool StopDependentServices(ServiceHandle manager, ServiceHandle service);

private:
    enum class WaitKind { Start, Stop };
    void WaitForState(ServiceHandle service, ServiceStatus& status, WaitKind kind);
    ServiceHandle OpenManagerOrReport(const std::string& machineName, const char* databaseName, std::uint32_t access);
    std::uint32_t ResultOfUnexpectedFailure();

    IServiceManager& manager_;
    IServiceControlMemo& memo_;
};

} // namespace veltor
