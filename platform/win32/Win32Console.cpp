#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include <algorithm>
#include <io.h>

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

void WriteText(std::FILE* stream, const std::string& text) {
    std::fflush(stream);
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        console::WriteToStream(stream, text);
        return;
    }
    const std::wstring wide = WideForDisplay(text);
    for (std::size_t at = 0; at < wide.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(handle, wide.data() + at, chunk, &written, nullptr) || written == 0) return;
        at += written;
    }
}

} // namespace veltor::win32
