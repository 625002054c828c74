#pragma once
#include <string>
#include <string_view>

namespace veltor {

// The single-byte form of a UTF-8 text in the Windows-1252 code page, as the month log
// stores it. Characters without a Windows-1252 form become '?'; bytes that are not part of
// a valid UTF-8 sequence pass through unchanged.
std::string Utf8ToWindows1252(std::string_view utf8);

// A UTF-8 text with every character that could break or disguise a line written in a visible
// form: its code in hexadecimal capitals between angle brackets, at least two digits (a line
// feed is <0A>, a carriage return <0D>, a tab <09>). That is the C0 controls, DEL, the C1
// controls, the Unicode line and paragraph separators (<2028>, <2029>) and the bidirectional
// embeddings, overrides and isolates (<202A> to <202E>, <2066> to <2069>). Everything else,
// accented letters and bytes that are not UTF-8 included, stays as it is.
std::string VisibleControls(std::string_view utf8);

// A line as the program's own text, UTF-8. Values from outside (ADMINBD.inf, the catalogue,
// which has no character set) keep their bytes while the program uses them to reach files and
// rows, and are joined into its lines as they are; here they become characters: a valid UTF-8
// sequence stays, any other byte is the Windows-1252 character it stands for, as the month
// log reads it. So the windows show what the month log holds.
std::string ToProgramText(std::string_view line);

} // namespace veltor
