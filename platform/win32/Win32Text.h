#pragma once
// Conversions between the UTF-8 texts of the program and the texts of the Windows API.

#include <cstdint>
#include <string>
#include <string_view>

namespace veltor::win32 {

std::wstring WideFromUtf8(std::string_view utf8);
// A text for the screen: UTF-8 when it is valid UTF-8, otherwise bytes of the ANSI code page
// (values read from ADMINBD.inf and from the database come in that form).
std::wstring WideForDisplay(std::string_view text);
std::string Utf8FromWide(std::wstring_view wide);
// A text in the system's ANSI code page, as UTF-8.
std::string Utf8FromAnsi(std::string_view ansi);
// A text in the system's ANSI code page, for the W calls.
std::wstring WideFromAnsi(std::string_view ansi);

// One argument of a command line as the C run-time's parser (CommandLineToArgvW) reads it back:
// quoted when it is empty or holds a blank or a quote, with the backslashes before a quote doubled.
std::string QuotedArgument(const std::string& argument);

// The system's message for an error code (GetLastError), in UTF-8 and without the line end
// the system puts after it; "Error <code>" when the system has no text for the code.
std::string SystemMessage(std::uint32_t code);

// Raises OsError with the system's message for the calling thread's last error.
[[noreturn]] void RaiseLastError();

} // namespace veltor::win32
