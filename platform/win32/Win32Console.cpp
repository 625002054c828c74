#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include <algorithm>
#include <io.h>
#include <iterator>

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

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void WriteToConsole(HANDLE console, const std::string& text) {
    const std::wstring wide = WideForDisplay(text);
    for (std::size_t at = 0; at < wide.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(console, wide.data() + at, chunk, &written, nullptr) || written == 0) return;
        at += written;
    }
}

} // namespace

void WriteText(std::FILE* stream, const std::string& text) {
    std::fflush(stream);
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (!IsConsole(handle)) {
        console::WriteToStream(stream, text);
        return;
    }
    WriteToConsole(handle, text);
}

bool Win32Confirmation::CanAsk() const {
    return IsConsole(GetStdHandle(STD_INPUT_HANDLE)) && IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
}

bool Win32Confirmation::Confirm(const std::string& question) {
    // On the console that CanAsk found, after what the program wrote before.
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (IsConsole(out))
        WriteToConsole(out, question);
    else
        WriteText(stdout, question);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!IsConsole(in)) return false;
    // The console's line input hands the line with its CR LF, in as many reads as it takes; a
    // console without line input hands the CR alone.
    std::wstring line;
    wchar_t buffer[256];
    while (line.find_first_of(L"\r\n") == std::wstring::npos) {
        DWORD got = 0;
        if (!ReadConsoleW(in, buffer, static_cast<DWORD>(std::size(buffer)), &got, nullptr) || got == 0) return false;
        line.append(buffer, got);
    }
    return IsConfirmingAnswer(Utf8FromWide(line));
}

} // namespace veltor::win32
