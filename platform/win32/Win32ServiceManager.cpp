// The service control manager of advapi32: each method forwards one call, ANSI forms.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinApi.h"

#include <cstddef>
#include <type_traits>

namespace veltor::win32 {
namespace {

static_assert(sizeof(ServiceStatus) == sizeof(SERVICE_STATUS));
static_assert(offsetof(ServiceStatus, dwCurrentState) == offsetof(SERVICE_STATUS, dwCurrentState));
static_assert(offsetof(ServiceStatus, dwCheckPoint) == offsetof(SERVICE_STATUS, dwCheckPoint));
static_assert(offsetof(ServiceStatus, dwWaitHint) == offsetof(SERVICE_STATUS, dwWaitHint));
static_assert(sizeof(EnumServiceStatusEntry) == sizeof(ENUM_SERVICE_STATUSA));
static_assert(offsetof(EnumServiceStatusEntry, lpServiceName) == offsetof(ENUM_SERVICE_STATUSA, lpServiceName));
static_assert(offsetof(EnumServiceStatusEntry, ServiceStatus) == offsetof(ENUM_SERVICE_STATUSA, ServiceStatus));
static_assert(service::kManagerConnect == SC_MANAGER_CONNECT && service::kManagerLock == SC_MANAGER_LOCK);
static_assert(service::kQueryStatus == SERVICE_QUERY_STATUS && service::kStart == SERVICE_START &&
              service::kStop == SERVICE_STOP && service::kEnumerateDependents == SERVICE_ENUMERATE_DEPENDENTS);
static_assert(service::kControlStop == SERVICE_CONTROL_STOP && service::kStateActive == SERVICE_ACTIVE);

SC_HANDLE Native(ServiceHandle handle) {
    return reinterpret_cast<SC_HANDLE>(handle);
}
ServiceHandle Ours(SC_HANDLE handle) {
    return reinterpret_cast<ServiceHandle>(handle);
}
SERVICE_STATUS* Native(ServiceStatus& status) {
    return reinterpret_cast<SERVICE_STATUS*>(&status);
}

} // namespace

ServiceHandle Win32ServiceManager::OpenManager(const char* machineName, const char* databaseName,
                                               std::uint32_t access) {
    return Ours(OpenSCManagerA(machineName, databaseName, access));
}

ServiceHandle Win32ServiceManager::OpenServiceByName(ServiceHandle manager, const char* serviceName,
                                                     std::uint32_t access) {
    return Ours(OpenServiceA(Native(manager), serviceName, access));
}

bool Win32ServiceManager::QueryStatus(ServiceHandle service, ServiceStatus& status) {
    return QueryServiceStatus(Native(service), Native(status)) != 0;
}

bool Win32ServiceManager::Start(ServiceHandle service) {
    return StartServiceA(Native(service), 0, nullptr) != 0;
}

bool Win32ServiceManager::Control(ServiceHandle service, std::uint32_t control, ServiceStatus& status) {
    // The record is filled only on success and for the refusals that report the service's
    // state; after any other failure its content is undefined, and Wine leaves garbage even
    // after those refusals. The caller's record then keeps the state it held.
    ServiceStatus reported = status;
    if (ControlService(Native(service), control, Native(reported))) {
        status = reported;
        return true;
    }
    const DWORD error = GetLastError();
    const bool reportsState = error == ERROR_INVALID_SERVICE_CONTROL || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
                              error == ERROR_SERVICE_NOT_ACTIVE;
    if (reportsState && reported.dwCurrentState >= service::kStopped && reported.dwCurrentState <= service::kPaused)
        status = reported;
    SetLastError(error);
    return false;
}

bool Win32ServiceManager::EnumerateDependents(ServiceHandle service, std::uint32_t serviceState, void* buffer,
                                              std::uint32_t bufferSize, std::uint32_t& bytesNeeded,
                                              std::uint32_t& servicesReturned) {
    DWORD needed = 0;
    DWORD returned = 0;
    const BOOL ok = EnumDependentServicesA(Native(service), serviceState, static_cast<LPENUM_SERVICE_STATUSA>(buffer),
                                           bufferSize, &needed, &returned);
    // Copying the counts leaves the thread's last error as the call set it.
    bytesNeeded = needed;
    servicesReturned = returned;
    return ok != 0;
}

bool Win32ServiceManager::Close(ServiceHandle handle) {
    return CloseServiceHandle(Native(handle)) != 0;
}

std::uint32_t Win32ServiceManager::TickCount() {
    return GetTickCount();
}

void Win32ServiceManager::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::uint32_t Win32ServiceManager::LastError() {
    return GetLastError();
}

} // namespace veltor::win32
