// A Windows service for the service-control tests:
//   veltor_test_service.exe <service name> <start delay ms> <stop delay ms> <wait hint ms>
// It reports "start pending" for the start delay, runs until it is asked to stop, then reports
// "stop pending" for the stop delay, with an advancing check point; every report carries the
// wait hint.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string serviceName;
DWORD startDelay = 0;
DWORD stopDelay = 0;
DWORD waitHint = 0;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopAsked = nullptr;
SERVICE_STATUS status{};

void Report(DWORD state) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    const bool settled = state == SERVICE_RUNNING || state == SERVICE_STOPPED;
    status.dwCheckPoint = settled ? 0 : status.dwCheckPoint + 1;
    // The hint even when settled: a wait that should not have begun shows as a sleep.
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

// Pending for `delay`, reporting again at every wait hint.
void Pending(DWORD state, DWORD delay) {
    const DWORD begun = GetTickCount();
    Report(state);
    while (GetTickCount() - begun < delay) {
        const DWORD left = delay - (GetTickCount() - begun);
        Sleep(waitHint != 0 && waitHint < left ? waitHint : left);
        Report(state);
    }
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        Report(SERVICE_STOP_PENDING);
        SetEvent(stopAsked);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, char**) {
    statusHandle = RegisterServiceCtrlHandlerExA(serviceName.c_str(), OnControl, nullptr);
    if (statusHandle == nullptr) return;
    stopAsked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Pending(SERVICE_START_PENDING, startDelay);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopAsked, INFINITE);
    Pending(SERVICE_STOP_PENDING, stopDelay);
    Report(SERVICE_STOPPED);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    serviceName = argv[1];
    startDelay = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    stopDelay = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    waitHint = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10));
    SERVICE_TABLE_ENTRYA table[] = {{serviceName.data(), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
