// UTF-8 and the texts of the Windows API.
#include "platform/win32/Win32Text.h"

#include "platform/win32/WinApi.h"
#include "ports/Errors.h"

#include <limits>
#include <stdexcept>

namespace veltor::win32 {
namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw std::length_error("text too long");
    return static_cast<int>(size);
}

std::wstring WideFrom(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int length = CheckedLength(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) RaiseLastError();
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
    return wide;
}

} // namespace

std::wstring WideFromUtf8(std::string_view utf8) {
    return WideFrom(CP_UTF8, utf8);
}

std::wstring WideForDisplay(std::string_view text) {
    if (text.empty()) return {};
    const int length = CheckedLength(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (needed > 0) {
        std::wstring wide(static_cast<std::size_t>(needed), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), needed);
        return wide;
    }
    return WideFrom(CP_ACP, text);
}

std::string Utf8FromAnsi(std::string_view ansi) {
    return Utf8FromWide(WideFrom(CP_ACP, ansi));
}

std::wstring WideFromAnsi(std::string_view ansi) {
    return WideFrom(CP_ACP, ansi);
}

std::string QuotedArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = CheckedLength(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) RaiseLastError();
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

std::string SystemMessage(std::uint32_t code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) return "Error " + std::to_string(code);
    try {
        return Utf8FromWide(message);
    } catch (const OsError&) {
        return "Error " + std::to_string(code);
    }
}

void RaiseLastError() {
    const DWORD code = GetLastError();
    throw OsError(SystemMessage(code), code);
}

} // namespace veltor::win32
