#include "platform/win32/Win32EventLog.h"

#include "platform/win32/Win32Service.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include <cstring>

namespace veltor::win32 {

unsigned long AddEventSource() {
    HKEY key = nullptr;
    LSTATUS code = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE, nullptr, &key, nullptr);
    if (code != ERROR_SUCCESS) return static_cast<unsigned long>(code);
    const DWORD types = EVENTLOG_INFORMATION_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_ERROR_TYPE;
    code = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(kEventMessageFile),
                          static_cast<DWORD>(std::strlen(kEventMessageFile) + 1));
    if (code == ERROR_SUCCESS)
        code = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
    RegCloseKey(key);
    return static_cast<unsigned long>(code);
}

unsigned long RemoveEventSource() {
    const LSTATUS code = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEventSourceKey);
    return code == ERROR_FILE_NOT_FOUND ? 0 : static_cast<unsigned long>(code);
}

Win32EventLog::Win32EventLog() : source_(RegisterEventSourceW(nullptr, WideFromUtf8(kServiceName).c_str())) {}

Win32EventLog::~Win32EventLog() {
    if (source_ != nullptr) DeregisterEventSource(source_);
}

bool Win32EventLog::Report(unsigned short type, const std::string& text) {
    if (source_ == nullptr) return false;
    // Event Viewer breaks lines at CR LF.
    std::string lines;
    for (const char c : text)
        lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::wstring wide = WideFromUtf8(lines);
    const wchar_t* strings[] = {wide.c_str()};
    return ReportEventW(source_, type, 0, kEventId, nullptr, 1, 0, strings, nullptr) != 0;
}

void Win32EventLog::Info(const std::string& text) {
    Report(EVENTLOG_INFORMATION_TYPE, text);
}

void Win32EventLog::Warning(const std::string& text) {
    Report(EVENTLOG_WARNING_TYPE, text);
}

void Win32EventLog::Error(const std::string& text) {
    Report(EVENTLOG_ERROR_TYPE, text);
}

} // namespace veltor::win32
