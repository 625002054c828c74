#pragma once
// The status check for monitoring (veltor-backups-console --status): for every company that
// takes backups, its last good backup against its schedule, from the catalogue and the status
// file. Exit codes as monitoring systems read them: 0 every company is on time, 1 (warning) one
// is late by more than one backup-timer period or its last attempt failed, 2 (critical) one has
// had no good backup for more than a day past its schedule, or the catalogue cannot be read.

#include "backup/StatusFile.h"
#include "config/Global.h"
#include "dbserver/FbClientApi.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

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

// The first moment (seconds of the local clock) after `after` at which the company is due,
// given its last good backup `lastGood` (nothing: never backed up, always overdue); nothing
// when no moment within the next 400 days is.
std::optional<long long> NextDueAfter(const BackupSchedule& schedule, std::optional<long long> lastGood,
                                      long long after);

enum class CheckState { Ok = 0, Warning = 1, Critical = 2 };
const char* CheckStateName(CheckState state);

// One company as the check sees it.
struct CompanyCheck {
    std::string id, code, name;
    std::optional<long long> lastGood; // seconds
    std::string lastOutcome;           // done, failed, skipped, or empty when unknown
    std::string lastMessage;
    std::optional<bool> lastVerified;
    std::optional<long long> firstMissed; // the first due moment after the last good backup
    std::optional<long long> nextDue;     // the first due moment from now on
    CheckState state = CheckState::Ok;
    std::string why; // for a state other than Ok
};

struct CompanyRow {
    std::string id, code, name;
    BackupSchedule schedule;
    std::optional<long long> stamped; // FECHAULTBACKUP's day at HORAULTBACKUP, seconds
};

struct StatusSummary {
    CheckState state = CheckState::Ok;
    std::string problem; // the catalogue could not be read
    long long now = 0;
    long long periodSeconds = 1800;
    std::vector<CompanyCheck> companies; // those that take backups
};

// Judges every company that takes backups at `now` with a backup timer of `periodSeconds`.
StatusSummary EvaluateStatus(const std::vector<CompanyRow>& rows, const StatusBook& book, long long now,
                             long long periodSeconds);

// The report for people (a summary line, then a line per company) and for machines.
std::string StatusText(const StatusSummary& summary);
std::string StatusJson(const StatusSummary& summary);

// Reads ADMINBD.inf (through `global`), the catalogue and the status file, and judges them.
StatusSummary CheckStatus(TGlobal& global, const fb::ClientApi& api, IFileSystem& files, const IClock& clock);

// The whole check of the console program's --status (--json for machines): ADMINBD.inf from
// the current folder, without elevation and without any window or box. `text` is what goes to
// standard output; the result is the exit code. The client library's work ends with it.
int RunStatusCommand(bool json, const fb::ClientApi& api, IFileSystem& files, const IClock& clock,
                     const ConfigurationRules& rules, std::string& text);

} // namespace veltor
