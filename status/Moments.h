#pragma once
// Moments of the local wall clock as whole minutes and seconds on one line, for the status
// file and the status check: arithmetic across days and months, and the text form
// YYYY-MM-DDTHH:MM:SS. No time zone takes part; a moment is what the local clock showed.

#include "ports/Clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace veltor {

// Seconds since 1970-01-01 00:00:00 of the local clock (proleptic Gregorian calendar), and back
// (the weekday is set too).
long long SecondsOf(const LocalDateTime& moment);
LocalDateTime MomentOfSeconds(long long seconds);

// YYYY-MM-DDTHH:MM:SS
std::string IsoText(const LocalDateTime& moment);
// Reads IsoText's form; nothing for any other text or an impossible date or time.
std::optional<LocalDateTime> ParseIsoText(std::string_view text);

} // namespace veltor
