#pragma once
// The due rule: when a company is due for a backup. The runs ask the server, with the statement
// that selects the companies due now: one row per due (company, time) pair, ordered by CODIGO.
// The server decides everything with its own clock; the only value the client puts in is the
// backup window W, the timer period as a fraction of a day. The status check, which must also
// tell when a company was and will be due, reads the same rule from a company's columns
// (ScheduleOf, NextDueAfter); a test on a real catalogue holds the two readings together.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltor::catalogue {

// W for a period of `hours` and `minutes`: (hours * 60 + minutes) / 1440 in plain decimal
// notation, at most 15 significant digits, a point as separator whatever the locale and
// never an exponent ("0.0208333333333333" for 30 minutes, "1" for 24 hours).
std::string BackupWindowText(long long hours, long long minutes);

// The full selection statement for the window text `window`.
std::string DueCompaniesStatement(std::string_view window);

// When a company is due, as the due-backup selection decides it.
struct BackupSchedule {
    bool takesBackups = false; // REALIZABACKUP "S"
    std::vector<int> times;    // set times of day, in minutes after midnight, sorted, distinct
    bool untimed = false;      // monthly-only with a time column not set: due whenever overdue
    int dayOfMonth = 0;        // 0: every day ("00"); 1 to 31; -1: no day of its own
    int overdueDays = 31;      // 1 for "00", else 31
};

// The schedule of a company row, its texts as the catalogue holds them; a NULL time is read
// as ":" (not set), any other NULL as the empty text.
BackupSchedule ScheduleOf(const std::string& realizaBackup, const std::string& hora01, const std::string& hora02,
                          const std::string& hora03, const std::string& soloMensual, const std::string& diaMes);

// The first moment (seconds of the local clock) after `after` from which the due-backup
// selection, run by a backup timer of `periodSeconds`, picks one of the company's times (or its
// untimed run), given its last backup `lastBackup` (nothing: never backed up, always overdue);
// nothing when no moment within the next 400 days is. A run at moment t picks a time exactly
// when such a moment lies in [max(t's minute - period, t's midnight), t]: the selection's window
// holds both ends, counts whole minutes and does not reach back past midnight.
std::optional<long long> NextDueAfter(const BackupSchedule& schedule, std::optional<long long> lastBackup,
                                      long long after, long long periodSeconds);

// A text of the catalogue without the blanks around it (CHAR columns come padded).
std::string TrimBlanks(std::string_view text);

// The moment (seconds of the local clock) of a company's last backup as the selection reads
// its stamp: the day of the FECHAULTBACKUP text `date` ("YYYY-MM-DD..."; nothing for any other
// text) at the HORAULTBACKUP `time`, or at midnight when that is no time of day.
std::optional<long long> BackupStampOf(const std::string& date, const std::string& time);

} // namespace veltor::catalogue
