#pragma once
#include <string>
#include <string_view>

namespace veltor {

// The single-byte form of a UTF-8 text in the Windows-1252 code page, as the month log
// stores it. Characters without a Windows-1252 form become '?'; bytes that are not part of
// a valid UTF-8 sequence pass through unchanged.
std::string Utf8ToWindows1252(std::string_view utf8);

} // namespace veltor
