#pragma once
// Times of day as the catalogue holds them (HORABACKUP01, HORARESTORE, HORAULTRESTORE ...): texts
// that the server reads by casting "01/01/1900 " + text to a timestamp.

#include <optional>
#include <string_view>

namespace veltor {

// Minutes after midnight of a time of day as the server casts it: hours and minutes of one or
// two digits around a colon, blanks around; blanks alone are midnight. Nothing for a text the
// server would refuse.
std::optional<int> MinuteOfDay(std::string_view text);

} // namespace veltor
