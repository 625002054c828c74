#pragma once
// The status check for monitoring (veltor-backups-console --status): for every company that
// takes backups, its last good backup against its schedule, from the catalogue and the status
// file; for every company in backup-restore cycles, its last cycle. Exit codes as monitoring
// systems read them: 0 every company is on time, 1 (warning) one is late by more than one
// backup-timer period, its last attempt failed, its last cycle did not swap or its last good
// backup has had no checked copy in the second folder for a day, 2 (critical) one
// has had no good backup for more than a day past its schedule, or the catalogue cannot be
// read, 3 (unknown) the status file cannot be read, so no backup can be told good.

#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/FbClientApi.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"
#include "status/StatusFile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

// The status check judges the catalogue's companies by the due rule's reading in catalogue/.
using catalogue::BackupSchedule;
using catalogue::CompanyRow;

// Monitoring's exit codes. The report sums companies up from better to worse as OK, UNKNOWN,
// WARNING, CRITICAL (WorseState): a company known to be late outweighs one that cannot be judged.
enum class CheckState { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };
const char* CheckStateName(CheckState state);
CheckState WorseState(CheckState a, CheckState b);

// One company as the check sees it.
struct CompanyCheck {
    std::string id, code, name;
    bool takesBackups = true;
    std::optional<long long> lastGood; // seconds, from the status file only
    std::string lastOutcome;           // done, failed, skipped, or empty when unknown
    std::string lastMessage;
    std::optional<bool> lastVerified;
    // The catalogue's stamp, shown where the status file has no record of the company; it is
    // written before a backup is verified, so it never makes a backup good.
    std::optional<long long> unverifiedStamp;
    std::optional<CycleRecord> lastCycle; // of a company in backup-restore cycles
    std::optional<long long> firstMissed; // the first due moment after the last good backup
    std::optional<long long> nextDue;     // the first due moment from now on
    CheckState state = CheckState::Ok;
    std::string why; // for a state other than Ok
};

struct StatusSummary {
    CheckState state = CheckState::Ok;
    // What kept the check from judging: the catalogue (no company is listed then) or the status
    // file (every company is listed as UNKNOWN) could not be read.
    std::string problem;
    long long now = 0;
    long long periodSeconds = 1800;
    std::vector<CompanyCheck> companies; // those that take backups or have a cycle to tell
};

// Judges every company that takes backups, and every company in the timer's cycles that has a
// cycle in `book`, at `now` with a backup timer of `periodSeconds`. With `statusFileProblem`
// (the file could not be read) nothing is judged: every company is UNKNOWN, and so is the whole.
// With `copiesAsked` (COPIAEXTERNA), a company whose last good backup has had no checked copy
// in the second folder for more than a day is a WARNING.
StatusSummary EvaluateStatus(const std::vector<CompanyRow>& rows, const StatusBook& book, long long now,
                             long long periodSeconds, const std::string& statusFileProblem = {},
                             bool copiesAsked = false);

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
