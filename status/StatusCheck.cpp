#include "status/StatusCheck.h"

#include "config/Global.h"
#include "config/PathParts.h"
#include "status/Json.h"
#include "status/Moments.h"
#include "text/Windows1252.h"

#include <algorithm>
#include <exception>

namespace veltor {
namespace {

constexpr long long kDay = 86400;

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

} // namespace

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

bool VerificationFailed(const BackupRecord& record) {
    return record.verified && !*record.verified;
}

// The moment of a good backup: done and, when it was verified, verified; anything else the
// status file might hold under its name is no good backup.
std::optional<long long> GoodBackupMoment(const std::optional<BackupRecord>& record) {
    if (!record || record->outcome != kBackupDone || VerificationFailed(*record)) return std::nullopt;
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
    const bool attemptFailed = attempt && (attempt->outcome == kBackupFailed || VerificationFailed(*attempt));
    if (attemptFailed && check.state == CheckState::Ok) {
        check.state = CheckState::Warning;
        why.push_back("falló el último intento");
    }
}

} // namespace

StatusSummary EvaluateStatus(const std::vector<CompanyRow>& rows, const StatusBook& book, long long now,
                             long long periodSeconds, const std::string& statusFileProblem, bool copiesAsked) {
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
        // The second folder is for the day the server is lost: a day without the copy of the
        // last good backup is a day at risk.
        if (judging && copiesAsked && check.takesBackups && status && status->lastGood) {
            const bool copied = status->lastCheckedCopy && status->lastCheckedCopy->file == status->lastGood->file;
            const std::optional<long long> since = GoodBackupMoment(status->lastGood);
            if (!copied && since && now - *since > kDay) {
                check.state = WorseState(check.state, CheckState::Warning);
                why.push_back("sin copia externa del último Backup desde hace " + AgeText(now - *since));
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

StatusSummary CheckStatus(TGlobal& global, const fb::ClientApi& api, IFileSystem& files, const IClock& clock) {
    global.ReadConfiguration();
    const long long now = SecondsOf(clock.Now());
    long long periodSeconds = 1800;
    try {
        periodSeconds = TimerPeriodSeconds(TimerPeriodOf(global.BackupTimerPeriod));
    } catch (const ConvertError&) {
        // A period the window's timer refuses runs no backup; the default's window is judged.
    }

    std::vector<CompanyRow> rows;
    try {
        rows = catalogue::ReadCompanyRows(api, global.AdminConnection);
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
    const std::string folder = WorkingBackupFolder(global.BackupFolder, global.rules().pathSeparator);
    std::string problem;
    const StatusBook book = LoadStatusBook(files, StatusBook::PathIn(folder), &problem);
    if (!problem.empty()) problem += "; no se juzga ningún Backup";
    const bool copiesAsked =
        global.ExternalFolder && global.ExternalFolder->find_first_not_of(' ') != std::string::npos;
    return EvaluateStatus(rows, book, now, periodSeconds, problem, copiesAsked);
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
