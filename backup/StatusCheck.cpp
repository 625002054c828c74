#include "backup/StatusCheck.h"

#include "backup/Json.h"
#include "backup/Moments.h"
#include "backup/ServiceOutput.h"
#include "backup/Windows1252.h"
#include "dbserver/SqlDatabase.h"

#include <algorithm>
#include <exception>

namespace veltor {
namespace {

constexpr long long kDay = 86400;
// How far ahead a due moment is looked for: past any month without the company's day.
constexpr int kDaysAhead = 400;

std::string Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

// A time of day as the server casts "01/01/1900 " + text: hours and minutes of one or two
// digits; blanks alone are midnight. Nothing for a text the server would refuse.
std::optional<int> MinuteOfDay(const std::string& text) {
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return 0;
    const std::size_t colon = trimmed.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || trimmed.size() - colon - 1 < 1 ||
        trimmed.size() - colon - 1 > 2)
        return std::nullopt;
    int hour = 0;
    int minute = 0;
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        if (i == colon) continue;
        if (trimmed[i] < '0' || trimmed[i] > '9') return std::nullopt;
        (i < colon ? hour : minute) = (i < colon ? hour : minute) * 10 + (trimmed[i] - '0');
    }
    if (hour > 23 || minute > 59) return std::nullopt;
    return hour * 60 + minute;
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

// The catalogue's stamp: FECHAULTBACKUP's day at HORAULTBACKUP.
std::optional<long long> StampOf(const std::string& date, const std::string& time) {
    if (date.size() < 10 || Trim(time).empty()) return std::nullopt;
    const std::optional<LocalDateTime> day = ParseIsoText(date.substr(0, 10) + "T00:00:00");
    const std::optional<int> minute = MinuteOfDay(time);
    if (!day || !minute) return std::nullopt;
    return SecondsOf(*day) + *minute * 60LL;
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

std::optional<long long> NextDueAfter(const BackupSchedule& schedule, std::optional<long long> lastGood,
                                      long long after) {
    if (!schedule.takesBackups) return std::nullopt;
    // Overdue once the moment passes 23:59 of the last backup's day plus the days of the rule.
    std::optional<long long> overdueFrom;
    if (lastGood) overdueFrom = FloorDiv(*lastGood, kDay) * kDay + 23 * 3600 + 59 * 60 + schedule.overdueDays * kDay;
    const auto overdueAt = [&](long long moment) { return !overdueFrom || moment > *overdueFrom; };

    std::optional<long long> best;
    if (schedule.untimed) best = overdueFrom ? std::max(after, *overdueFrom) + 60 : after + 60;
    const long long firstDay = FloorDiv(after, kDay);
    for (long long day = firstDay; day <= firstDay + kDaysAhead; ++day) {
        if (best && day * kDay > *best) break;
        const bool scheduled = ScheduledDay(schedule, day);
        for (const int minute : schedule.times) {
            const long long moment = day * kDay + minute * 60LL;
            if (moment <= after || !(scheduled || overdueAt(moment))) continue;
            if (!best || moment < *best) best = moment;
            break;
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
    }
    return "UNKNOWN";
}

StatusSummary EvaluateStatus(const std::vector<CompanyRow>& rows, const StatusBook& book, long long now,
                             long long periodSeconds) {
    StatusSummary summary;
    summary.now = now;
    summary.periodSeconds = periodSeconds;
    for (const CompanyRow& row : rows) {
        if (!row.schedule.takesBackups) continue;
        CompanyCheck check{row.id, row.code, row.name, {}, {}, {}, {}, {}, {}, CheckState::Ok, {}};
        // The status file knows about verification; the catalogue's stamp counts where the
        // file has nothing newer to say (a stamp older than the last attempt is a backup made
        // before it).
        const CompanyStatus* status = book.Find(row.id);
        std::optional<long long> attemptAt;
        if (status && status->lastAttempt) {
            check.lastOutcome = status->lastAttempt->outcome;
            check.lastMessage = status->lastAttempt->message;
            check.lastVerified = status->lastAttempt->verified;
            if (const auto at = ParseIsoText(status->lastAttempt->at)) attemptAt = SecondsOf(*at);
        }
        if (status && status->lastGood) {
            if (const auto at = ParseIsoText(status->lastGood->at)) check.lastGood = SecondsOf(*at);
        }
        if (row.stamped && (!attemptAt || *row.stamped < *attemptAt - 60))
            check.lastGood = check.lastGood ? std::max(*check.lastGood, *row.stamped) : *row.stamped;

        check.nextDue = NextDueAfter(row.schedule, check.lastGood, now - 1);
        if (!check.lastGood) {
            check.state = CheckState::Critical;
            check.why = "nunca tuvo un Backup válido";
        } else {
            check.firstMissed = NextDueAfter(row.schedule, check.lastGood, *check.lastGood);
            const long long late = check.firstMissed ? now - *check.firstMissed : 0;
            if (late > kDay) {
                check.state = CheckState::Critical;
                check.why =
                    "sin Backup válido desde hace " + AgeText(now - *check.lastGood) + ", atrasado " + AgeText(late);
            } else if (late > periodSeconds) {
                check.state = CheckState::Warning;
                check.why = "atrasado " + AgeText(late);
            }
        }
        if (check.lastOutcome == kBackupFailed && check.state == CheckState::Ok) {
            check.state = CheckState::Warning;
            check.why = "falló el último intento";
        }
        summary.state = std::max(summary.state, check.state);
        summary.companies.push_back(std::move(check));
    }
    return summary;
}

std::string StatusText(const StatusSummary& summary) {
    // Values from outside as characters, on one line each: a message of the server spans lines.
    const auto shown = [](const std::string& value) { return VisibleControls(json::ToUtf8(value)); };
    std::string text = std::string("VELTOR BACKUPS ") + CheckStateName(summary.state) + " - ";
    if (!summary.problem.empty()) return text + shown(summary.problem) + "\n";
    int counts[3] = {0, 0, 0};
    for (const CompanyCheck& check : summary.companies)
        ++counts[static_cast<int>(check.state)];
    text += std::to_string(summary.companies.size()) + " empresas con Backup: " + std::to_string(counts[0]) +
            " al día, " + std::to_string(counts[1]) + " en advertencia, " + std::to_string(counts[2]) + " críticas\n";
    for (const CompanyCheck& check : summary.companies) {
        text += std::string(CheckStateName(check.state)) + " " + shown(check.code) + " " + shown(check.name);
        text += check.lastGood ? " | último Backup válido " + MomentText(*check.lastGood) + " (hace " +
                                     AgeText(summary.now - *check.lastGood) + ")"
                               : std::string(" | sin Backup válido");
        if (!check.lastOutcome.empty()) {
            text += " | último intento: " + check.lastOutcome;
            if (!check.lastMessage.empty()) text += " (" + shown(check.lastMessage) + ")";
        }
        text += check.nextDue ? " | próximo " + MomentText(*check.nextDue) : std::string(" | sin horario");
        if (!check.why.empty()) text += " | " + check.why;
        text += "\n";
    }
    return json::ToUtf8(text);
}

std::string StatusJson(const StatusSummary& summary) {
    const auto moment = [](const std::optional<long long>& seconds) {
        return seconds ? json::Value(IsoText(MomentOfSeconds(*seconds))) : json::Value();
    };
    json::Array companies;
    for (const CompanyCheck& check : summary.companies) {
        json::Object entry = {
            {"id", check.id},
            {"code", check.code},
            {"name", check.name},
            {"state", CheckStateName(check.state)},
            {"lastGoodBackup", moment(check.lastGood)},
            {"ageSeconds", check.lastGood ? json::Value(summary.now - *check.lastGood) : json::Value()},
            {"lastOutcome", check.lastOutcome.empty() ? json::Value() : json::Value(check.lastOutcome)},
            {"lastMessage", check.lastMessage.empty() ? json::Value() : json::Value(check.lastMessage)},
            {"lastVerified", check.lastVerified ? json::Value(*check.lastVerified) : json::Value()},
            {"nextDue", moment(check.nextDue)},
            {"why", check.why.empty() ? json::Value() : json::Value(check.why)}};
        companies.emplace_back(std::move(entry));
    }
    json::Object document = {{"status", CheckStateName(summary.state)},
                             {"exitCode", static_cast<int>(summary.state)},
                             {"checkedAt", IsoText(MomentOfSeconds(summary.now))},
                             {"periodSeconds", summary.periodSeconds}};
    if (!summary.problem.empty()) document.emplace_back("problem", summary.problem);
    document.emplace_back("companies", std::move(companies));
    return json::Write(document);
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
        sql::SqlDatabase catalogue(api);
        catalogue.SetDatabaseName(global.AdminConnection);
        catalogue.SetPassword(kAdministratorPassword);
        const sql::RowSet set =
            catalogue.Run("SELECT EMPRESAID, CODIGO, NOMBRE, REALIZABACKUP, COALESCE(HORABACKUP01, ':'), "
                          "COALESCE(HORABACKUP02, ':'), "
                          "COALESCE(HORABACKUP03, ':'), SOLOBACKUPMENSUAL, DIAMESBACKUP, FECHAULTBACKUP, HORAULTBACKUP "
                          "FROM EMPRESAS ORDER BY CODIGO",
                          true);
        catalogue.Disconnect();
        for (const auto& r : set.rows) {
            if (r.size() != 11) throw std::runtime_error("respuesta inesperada del catálogo");
            rows.push_back({Trim(r[0]), Trim(r[1]), Trim(r[2]), ScheduleOf(Trim(r[3]), r[4], r[5], r[6], r[7], r[8]),
                            StampOf(r[9], r[10])});
        }
    } catch (const std::exception& e) {
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
    const StatusBook book = LoadStatusBook(files, StatusBook::PathIn(folder));
    return EvaluateStatus(rows, book, now, periodSeconds);
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
