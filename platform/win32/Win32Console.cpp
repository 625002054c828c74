#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

namespace veltor::win32 {
namespace {

// Auto-reset: a wait that returns it takes every request that came before.
HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        SetEvent(stopEvent);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Returning would end the process at once; it ends from the main thread instead.
        SetEvent(stopEvent);
        Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

Win32ConsoleStops::~Win32ConsoleStops() {
    if (!installed_) return;
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    // A handler thread may still sleep in the handler; the event stays for it.
}

void Win32ConsoleStops::Install() {
    if (installed_) return;
    if (stopEvent == nullptr) {
        stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (stopEvent == nullptr) RaiseLastError();
    }
    ResetEvent(stopEvent);
    if (!SetConsoleCtrlHandler(OnConsoleControl, TRUE)) RaiseLastError();
    // A process started in a new process group has Ctrl-C switched off; it is wanted here.
    SetConsoleCtrlHandler(nullptr, FALSE);
    installed_ = true;
}

bool Win32ConsoleStops::Take(int timeoutMilliseconds) {
    if (!installed_) return false;
    const DWORD wait = timeoutMilliseconds < 0 ? INFINITE : static_cast<DWORD>(timeoutMilliseconds);
    return WaitForSingleObject(stopEvent, wait) == WAIT_OBJECT_0;
}

Utf8ConsoleOutput::Utf8ConsoleOutput() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
    previous_ = GetConsoleOutputCP();
    if (!SetConsoleOutputCP(CP_UTF8)) previous_ = 0;
}

Utf8ConsoleOutput::~Utf8ConsoleOutput() {
    if (previous_ != 0) SetConsoleOutputCP(previous_);
}

} // namespace veltor::win32
