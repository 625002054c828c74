#pragma once
// The statement that selects the companies due for a backup now: one row per due
// (company, time) pair, ordered by CODIGO. The server decides everything with its own
// clock; the only value the client puts in is the backup window W, the timer period as a
// fraction of a day.

#include <string>
#include <string_view>

namespace veltor::catalogue {

// W for a period of `hours` and `minutes`: (hours * 60 + minutes) / 1440 in plain decimal
// notation, at most 15 significant digits, a point as separator whatever the locale and
// never an exponent ("0.0208333333333333" for 30 minutes, "1" for 24 hours).
std::string BackupWindowText(long long hours, long long minutes);

// The full selection statement for the window text `window`.
std::string DueCompaniesStatement(std::string_view window);

} // namespace veltor::catalogue
