#include "status/StatusCheck.h"

#include "config/Global.h"
#include "config/TimeOfDay.h"
#include "dbserver/SqlDatabase.h"
#include "status/Json.h"
#include "status/Moments.h"
#include "text/Windows1252.h"

#include <algorithm>
#include <exception>

namespace veltor {
namespace {

constexpr long long kDay = 86400;
constexpr long long kLastMinute = 23 * 60 + 59;
// How far ahead a due moment is looked for: past any month without the company's day.
constexpr int kDaysAhead = 400;

std::string Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

bool IsSet(const std::string& time) {
    return Trim(time) != ":";
}

// Whether `day` (days since 1970) is the company's day of the month, February taking 28 and
// later days as the 27th.
bool ScheduledDay(const BackupSchedule& schedule, long long day) {
    if (schedule.dayOfMonth == 0) return true;
    if (schedule.dayOfMonth < 0) return false;
    const LocalDateTime date = MomentOfSeconds(day * kDay);
    const int wanted = (date.month == 2 && schedule.dayOfMonth >= 28) ? 27 : schedule.dayOfMonth;
    return date.day == wanted;
}

long long FloorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::string MomentText(long long seconds) {
    const std::string iso = IsoText(MomentOfSeconds(seconds));
    return iso.substr(0, 10) + " " + iso.substr(11, 5);
}

std::string AgeText(long long seconds) {
    if (seconds < 0) seconds = 0;
    const long long days = seconds / kDay;
    const long long hours = seconds % kDay / 3600;
    const long long minutes = seconds % 3600 / 60;
    if (days > 0) return std::to_string(days) + " d " + std::to_string(hours) + " h";
    if (hours > 0) return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
    return std::to_string(minutes) + " min";
}

// The catalogue's stamp: FECHAULTBACKUP's day (empty: not backed up) at HORAULTBACKUP, or at
// midnight when that is no time of day.
std::optional<long long> StampOf(const std::string& date, const std::string& time) {
    if (date.size() < 10) return std::nullopt;
    const std::optional<LocalDateTime> day = ParseIsoText(date.substr(0, 10) + "T00:00:00");
    if (!day) return std::nullopt;
    return SecondsOf(*day) + MinuteOfDay(time).value_or(0) * 60LL;
}

} // namespace

BackupSchedule ScheduleOf(const std::string& realizaBackup, const std::string& hora01, const std::string& hora02,
                          const std::string& hora03, const std::string& soloMensual, const std::string& diaMes) {
    BackupSchedule schedule;
    schedule.takesBackups = realizaBackup == "S";
    bool anyUnset = false;
    for (const std::string* time : {&hora01, &hora02, &hora03}) {
        if (!IsSet(*time)) {
            anyUnset = true;
            continue;
        }
        if (const std::optional<int> minute = MinuteOfDay(*time)) schedule.times.push_back(*minute);
    }
    std::sort(schedule.times.begin(), schedule.times.end());
    schedule.times.erase(std::unique(schedule.times.begin(), schedule.times.end()), schedule.times.end());
    schedule.untimed = anyUnset && Trim(soloMensual) == "S";
    if (diaMes == "00") {
        schedule.dayOfMonth = 0;
        schedule.overdueDays = 1;
    } else {
        const std::string day = Trim(diaMes);
        const bool number = !day.empty() && day.size() <= 2 &&
                            std::all_of(day.begin(), day.end(), [](char c) { return c >= '0' && c <= '9'; });
        const int value = number ? std::stoi(day) : -1;
        schedule.dayOfMonth = value >= 1 && value <= 31 ? value : -1;
        schedule.overdueDays = 31;
    }
    return schedule;
}

std::optional<long long> NextDueAfter(const BackupSchedule& schedule, std::optional<long long> lastBackup,
                                      long long after, long long periodSeconds) {
    if (!schedule.takesBackups) return std::nullopt;
    // The selection finds a company overdue at a run later than 23:59 of its last backup's day
    // plus the days of the rule; its clock has milliseconds, so from that whole second on.
    std::optional<long long> overdueFrom;
    if (lastBackup) overdueFrom = FloorDiv(*lastBackup, kDay) * kDay + kLastMinute * 60 + schedule.overdueDays * kDay;
    const auto overdueAt = [&](long long moment) { return !overdueFrom || moment >= *overdueFrom; };

    std::optional<long long> best;
    if (schedule.untimed) best = overdueFrom ? std::max(after + 1, *overdueFrom) : after + 1;
    const long long windowMinutes = periodSeconds / 60;
    const long long firstDay = FloorDiv(after, kDay);
    for (long long day = firstDay; day <= firstDay + kDaysAhead; ++day) {
        if (best && day * kDay > *best) break;
        const bool scheduled = ScheduledDay(schedule, day);
        for (const int minute : schedule.times) {
            // A time is picked by the runs whose clock minute lies from the time to the time
            // plus the window, on the same day; on a day that is not its own, only once the
            // company is overdue, which may come within the window (at 23:59).
            const long long opens = day * kDay + minute * 60LL;
            const long long closes = day * kDay + std::min<long long>(minute + windowMinutes, kLastMinute) * 60;
            long long moment = opens;
            if (!scheduled && !overdueAt(opens)) {
                if (!overdueAt(closes)) continue;
                moment = *overdueFrom;
            }
            if (moment > closes || moment <= after) continue;
            if (!best || moment < *best) best = moment;
        }
    }
    return best;
}

const char* CheckStateName(CheckState state) {
    switch (state) {
    case CheckState::Ok:
        return "OK";
    case CheckState::Warning:
        return "WARNING";
    case CheckState::Critical:
        return "CRITICAL";
    case CheckState::Unknown:
        break;
    }
    return "UNKNOWN";
}

CheckState WorseState(CheckState a, CheckState b) {
    const auto rank = [](CheckState state) {
        switch (state) {
        case CheckState::Ok:
            return 0;
        case CheckState::Unknown:
            return 1;
        case CheckState::Warning:
            return 2;
        case CheckState::Critical:
            return 3;
        }
        return 1;
    };
    return rank(a) >= rank(b) ? a : b;
}

namespace {

std::optional<long long> MomentOf(const std::string& iso) {
    const std::optional<LocalDateTime> moment = ParseIsoText(iso);
    return moment ? std::optional<long long>(SecondsOf(*moment)) : std::nullopt;
}

bool FailedVerification(const BackupRecord& record) {
    return record.verified && !*record.verified;
}

// The moment of a good backup: done and, when it was verified, verified; anything else the
// status file might hold under its name is no good backup.
std::optional<long long> GoodBackupMoment(const std::optional<BackupRecord>& record) {
    if (!record || record->outcome != kBackupDone || FailedVerification(*record)) return std::nullopt;
    return MomentOf(record->at);
}

// How late the company is after the backup at `last`: its first due moment after it, missed
// once the backup timer's period has passed, critical a day later.
CheckState Lateness(const BackupSchedule& schedule, long long last, long long now, long long periodSeconds,
                    CompanyCheck& check, std::string& late) {
    check.firstMissed = NextDueAfter(schedule, last, last, periodSeconds);
    const long long behind = check.firstMissed ? now - *check.firstMissed : 0;
    late = "atrasado " + AgeText(behind);
    if (behind > kDay) return CheckState::Critical;
    if (behind > periodSeconds) return CheckState::Warning;
    return CheckState::Ok;
}

// The backups of a company that takes them, from its entry in the status file (nothing: none).
void JudgeBackups(const CompanyRow& row, const CompanyStatus* status, long long now, long long periodSeconds,
                  CompanyCheck& check, std::vector<std::string>& why) {
    const std::optional<BackupRecord> attempt = status ? status->lastAttempt : std::nullopt;
    if (attempt) {
        check.lastOutcome = attempt->outcome;
        check.lastMessage = attempt->message;
        check.lastVerified = attempt->verified;
    }
    check.lastGood = GoodBackupMoment(status ? status->lastGood : std::nullopt);
    const bool recorded = status && (status->lastAttempt || status->lastGood);
    std::string late;
    if (!recorded && row.stamped) {
        // Backed up before the status file knew the company: the stamp cannot tell whether that
        // backup was good, but every backup since would be in the file, so none is newer than
        // the stamp and lateness from it is lateness all the same.
        check.unverifiedStamp = row.stamped;
        check.state =
            WorseState(CheckState::Unknown, Lateness(row.schedule, *row.stamped, now, periodSeconds, check, late));
        why.push_back("el archivo de estado no registra sus Backups");
        if (check.state != CheckState::Unknown) why.push_back(late + " según el catálogo");
    } else if (!check.lastGood) {
        check.state = CheckState::Critical;
        why.push_back("nunca tuvo un Backup válido");
    } else {
        check.state = Lateness(row.schedule, *check.lastGood, now, periodSeconds, check, late);
        if (check.state == CheckState::Critical)
            why.push_back("sin Backup válido desde hace " + AgeText(now - *check.lastGood) + ", " + late);
        else if (check.state == CheckState::Warning)
            why.push_back(late);
    }
    const bool attemptFailed = attempt && (attempt->outcome == kBackupFailed || FailedVerification(*attempt));
    if (attemptFailed && check.state == CheckState::Ok) {
        check.state = CheckState::Warning;
        why.push_back("falló el último intento");
    }
}

} // namespace

StatusSummary EvaluateStatus(const std::vector<CompanyRow>& rows, const StatusBook& book, long long now,
                             long long periodSeconds, const std::string& statusFileProblem) {
    StatusSummary summary;
    summary.now = now;
    summary.periodSeconds = periodSeconds;
    summary.problem = statusFileProblem;
    // Without the status file no backup can be told good: the catalogue's stamps are written
    // before verification. The companies are listed with what the catalogue says, unjudged.
    const bool judging = statusFileProblem.empty();
    if (!judging) summary.state = CheckState::Unknown;
    for (const CompanyRow& row : rows) {
        const CompanyStatus* status = judging ? book.Find(row.id) : nullptr;
        const bool cycleCounts = row.cycled && status && status->lastCycle;
        if (!row.schedule.takesBackups && !cycleCounts) continue;
        CompanyCheck check;
        check.id = row.id;
        check.code = row.code;
        check.name = row.name;
        check.takesBackups = row.schedule.takesBackups;
        std::vector<std::string> why;
        if (check.takesBackups) {
            // What the selection will do next follows the stamp, which is what it reads.
            check.nextDue = NextDueAfter(row.schedule, row.stamped, now - 1, periodSeconds);
            if (judging) {
                JudgeBackups(row, status, now, periodSeconds, check, why);
            } else {
                check.unverifiedStamp = row.stamped;
                check.state = CheckState::Unknown;
                why.push_back("sin el archivo de estado no se sabe si hay un Backup válido");
            }
        }
        // A cycle that did not swap left the live database unmaintained until one swaps.
        if (cycleCounts) {
            check.lastCycle = status->lastCycle;
            if (check.lastCycle->outcome != kCycleSwapped) {
                check.state = WorseState(check.state, CheckState::Warning);
                why.push_back("falló el último Backup-Restore");
            }
        }
        for (const std::string& reason : why)
            check.why += (check.why.empty() ? "" : "; ") + reason;
        if (judging) summary.state = WorseState(summary.state, check.state);
        summary.companies.push_back(std::move(check));
    }
    return summary;
}

std::string StatusText(const StatusSummary& summary) {
    // Values from outside as characters, on one line each: a message of the server spans lines.
    const auto shown = [](const std::string& value) { return VisibleControls(ToProgramText(value)); };
    std::string text = std::string("VELTOR BACKUPS ") + CheckStateName(summary.state) + " - ";
    if (!summary.problem.empty()) {
        text += shown(summary.problem) + "\n";
    } else {
        const auto count = [&](CheckState state) {
            return std::to_string(std::count_if(summary.companies.begin(), summary.companies.end(),
                                                [&](const CompanyCheck& check) { return check.state == state; }));
        };
        text += std::to_string(summary.companies.size()) + " empresas con Backup: " + count(CheckState::Ok) +
                " al día, " + count(CheckState::Warning) + " en advertencia, " + count(CheckState::Critical) +
                " críticas";
        const std::string unknown = count(CheckState::Unknown);
        if (unknown != "0") text += ", " + unknown + " sin juzgar";
        text += "\n";
    }
    for (const CompanyCheck& check : summary.companies) {
        text += std::string(CheckStateName(check.state)) + " " + shown(check.code) + " " + shown(check.name);
        if (!check.takesBackups) {
            text += " | no toma Backups programados";
        } else if (check.lastGood) {
            text += " | último Backup válido " + MomentText(*check.lastGood) + " (hace " +
                    AgeText(summary.now - *check.lastGood) + ")";
        } else if (check.unverifiedStamp) {
            text += " | Backup sin verificar según el catálogo " + MomentText(*check.unverifiedStamp) + " (hace " +
                    AgeText(summary.now - *check.unverifiedStamp) + ")";
        } else {
            text += " | sin Backup válido";
        }
        if (!check.lastOutcome.empty()) {
            text += " | último intento: " + check.lastOutcome;
            if (!check.lastMessage.empty()) text += " (" + shown(check.lastMessage) + ")";
        }
        if (check.lastCycle && (check.lastCycle->outcome != kCycleSwapped || !check.lastCycle->message.empty())) {
            text += " | último Backup-Restore: " + shown(check.lastCycle->outcome);
            if (!check.lastCycle->message.empty()) text += " (" + shown(check.lastCycle->message) + ")";
        }
        if (check.takesBackups)
            text += check.nextDue ? " | próximo " + MomentText(*check.nextDue) : std::string(" | sin horario");
        if (!check.why.empty()) text += " | " + check.why;
        text += "\n";
    }
    return ToProgramText(text);
}

std::string StatusJson(const StatusSummary& summary) {
    const auto moment = [](const std::optional<long long>& seconds) {
        return seconds ? json::Value(IsoText(MomentOfSeconds(*seconds))) : json::Value();
    };
    const auto text = [](const std::string& value) { return value.empty() ? json::Value() : json::Value(value); };
    json::Value companies = json::Value::array();
    for (const CompanyCheck& check : summary.companies) {
        companies.push_back(
            {{"id", check.id},
             {"code", check.code},
             {"name", check.name},
             {"state", CheckStateName(check.state)},
             {"takesBackups", check.takesBackups},
             {"lastGoodBackup", moment(check.lastGood)},
             {"ageSeconds", check.lastGood ? json::Value(summary.now - *check.lastGood) : json::Value()},
             {"lastOutcome", text(check.lastOutcome)},
             {"lastMessage", text(check.lastMessage)},
             {"lastVerified", check.lastVerified ? json::Value(*check.lastVerified) : json::Value()},
             {"unverifiedStamp", moment(check.unverifiedStamp)},
             {"lastCycle", check.lastCycle ? json::Value({{"at", check.lastCycle->at},
                                                          {"outcome", check.lastCycle->outcome},
                                                          {"message", check.lastCycle->message}})
                                           : json::Value()},
             {"nextDue", moment(check.nextDue)},
             {"why", text(check.why)}});
    }
    json::Value document = {{"status", CheckStateName(summary.state)},
                            {"exitCode", static_cast<int>(summary.state)},
                            {"checkedAt", IsoText(MomentOfSeconds(summary.now))},
                            {"periodSeconds", summary.periodSeconds}};
    if (!summary.problem.empty()) document["problem"] = summary.problem;
    document["companies"] = std::move(companies);
    return json::Write(std::move(document));
}

std::vector<CompanyRow> ReadCompanyRows(const fb::ClientApi& api, const std::string& connection) {
    std::vector<CompanyRow> rows;
    sql::SqlDatabase catalogue(api);
    catalogue.SetDatabaseName(connection);
    catalogue.SetPassword(kAdministratorPassword);
    // The stamp's day only where the selection counts the company as backed up at all.
    const sql::RowSet set = catalogue.Run(
        "SELECT EMPRESAID, CODIGO, NOMBRE, REALIZABACKUP, COALESCE(HORABACKUP01, ':'), COALESCE(HORABACKUP02, ':'), "
        "COALESCE(HORABACKUP03, ':'), SOLOBACKUPMENSUAL, DIAMESBACKUP, "
        "IIF(HORAULTBACKUP IS NULL, NULL, FECHAULTBACKUP), HORAULTBACKUP, REALIZARESTORE "
        "FROM EMPRESAS ORDER BY CODIGO",
        true);
    catalogue.Disconnect();
    for (const auto& r : set.rows) {
        if (r.size() != 12) throw std::runtime_error("respuesta inesperada del catálogo");
        rows.push_back({Trim(r[0]), Trim(r[1]), Trim(r[2]), ScheduleOf(Trim(r[3]), r[4], r[5], r[6], r[7], r[8]),
                        StampOf(r[9], r[10]), Trim(r[11]) == "S"});
    }
    return rows;
}

StatusSummary CheckStatus(TGlobal& global, const fb::ClientApi& api, IFileSystem& files, const IClock& clock) {
    global.ReadConfiguration();
    const long long now = SecondsOf(clock.Now());
    const std::string period = global.BackupTimerPeriod.empty() ? "00:30" : global.BackupTimerPeriod;
    long long periodSeconds = 1800;
    try {
        periodSeconds =
            std::stoll(TGlobal::FieldOf(period, 0, ':')) * 3600 + std::stoll(TGlobal::FieldOf(period, 1, ':')) * 60;
    } catch (const std::exception&) {
        // The window falls back the same way on a period it cannot read.
    }

    std::vector<CompanyRow> rows;
    try {
        rows = ReadCompanyRows(api, global.AdminConnection);
    } catch (const std::exception& e) {
        // Critical rather than unknown: the scheduled runs start by reading the same catalogue
        // through the same ADMINBD.inf, so what keeps the check from it keeps the backups from
        // being made.
        StatusSummary failed;
        failed.state = CheckState::Critical;
        failed.now = now;
        failed.periodSeconds = periodSeconds;
        failed.problem = std::string("no se pudo leer el catálogo ") + global.AdminConnection + ": " + e.what();
        return failed;
    }
    const char separator = global.rules().pathSeparator;
    std::string folder = global.BackupFolder;
    while (!folder.empty() && folder.back() == ' ')
        folder.pop_back();
    if (folder.empty() || folder.back() != separator) folder += separator;
    std::string problem;
    const StatusBook book = LoadStatusBook(files, StatusBook::PathIn(folder), &problem);
    if (!problem.empty()) problem += "; no se juzga ningún Backup";
    return EvaluateStatus(rows, book, now, periodSeconds, problem);
}

} // namespace veltor

namespace veltor {
namespace {

// The configuration's error boxes, kept to be told in the report.
class CollectedMessages final : public IMessageBox {
public:
    void ShowError(const std::string& text) override { texts += (texts.empty() ? "" : "; ") + text; }
    std::string texts;
};

} // namespace

int RunStatusCommand(bool json, const fb::ClientApi& api, IFileSystem& files, const IClock& clock,
                     const ConfigurationRules& rules, std::string& text) {
    CollectedMessages messages;
    TGlobal global(files, messages, rules);
    StatusSummary summary = CheckStatus(global, api, files, clock);
    api.shutdown(10000, fb::kShutdownApplicationStopped);
    if (!messages.texts.empty() && !summary.problem.empty()) summary.problem = messages.texts + "; " + summary.problem;
    text = json ? StatusJson(summary) : StatusText(summary);
    return static_cast<int>(summary.state);
}

} // namespace veltor
