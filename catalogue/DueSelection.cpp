#include "catalogue/DueSelection.h"

#include "config/TimeOfDay.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace veltor::catalogue {
namespace {

// The pieces of the statement in the order DueCompaniesStatement joins them, with nothing
// between them. Every blank belongs to the text; the statement is dialect 1, so double quotes
// delimit string literals.

// clang-format off
// The columns of the candidates, a common table expression.
constexpr std::string_view kCandidateColumns =
    "WITH empresasbackup AS (select ce.EMPRESAID,ce.CODIGO,ce.NOMBRE,ce.NIT,ce.ANOFIS,ce.ULTPERIODO,ce.ARCHIVO,"
    "ce.CONSOLIDA,ce.RUTALOGO, ce.solobackupmensual,max(HORABACKUP) HORABACKUP";
// Closes the union of the candidates of the three times; only companies that take part in
// backups.
constexpr std::string_view kTakesPartInBackups =
    ") ce where coalesce(REALIZABACKUP, \"N\") = \"S\"";
// Overdue: the last backup moment lies more than 1 (daily) or 31 days back.
constexpr std::string_view kOverdue =
    " and    ((iif(FECHAULTBACKUP is null or HORAULTBACKUP is null,\"01/01/1900 01:00\",FECHAULTBACKUP"
    "||\" 23:59\")<(cast(\"Now\" as date)-iif(DIAMESBACKUP=\"00\",1,31)))";
// Or: every day, or the day of the month (in February 28..31 count as 27)...
constexpr std::string_view kDayOfMonthDue =
    " or       ((DIAMESBACKUP=\"00\" or (DIAMESBACKUP<>\"00\" and iif(cast(DIAMESBACKUP as integer)>=28"
    " and cast((extract(month from cast(\"Now\" as date))) as integer)=2,27,"
    "cast(DIAMESBACKUP as integer))=cast((extract(day from cast(\"Now\" as date))) as integer)))";
// The server's clock at its minute, on the day of the candidate times (1 January 1900).
constexpr std::string_view kClockMinute =
    "cast(\"01/01/1900 \" || cast((extract(hour from cast(\"Now\" as date))) as integer) || \":\" "
    "|| cast(extract(minute from cast(\"Now\" as date)) as integer) as timestamp)";
// Candidates of one company with equal times collapse.
constexpr std::string_view kCollapseEqualTimes =
    "group by ce.EMPRESAID,ce.CODIGO,ce.NOMBRE,ce.NIT,ce.ANOFIS,ce.ULTPERIODO,ce.ARCHIVO,ce.CONSOLIDA,ce.RUTALOGO,"
    "ce.solobackupmensual,ce.HORABACKUP ";
// The candidate without a time of a monthly-only company.
constexpr std::string_view kOrMonthlyWithoutTime =
    "      OR ( eb.horabackup IS NULL AND TRIM(COALESCE(eb.solobackupmensual,'N')) = 'S' ) ";

// One candidate per company for the time column HORABACKUP0<n> (NULL when unset but
// monthly-only).
std::string CandidatesOfTime(char n) {
    const std::string column = std::string("HORABACKUP0") + n;
    const std::string lowerColumn = std::string("horabackup0") + n;
    return "select EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,REALIZABACKUP,FECHAULTBACKUP,"
           "HORAULTBACKUP,DIAMESBACKUP,solobackupmensual,IIF(trim(COALESCE(" + column + ",\":\"))=\":\",null, \"01/01/1900 \""
           "||" + column + ") HORABACKUP from EMPRESAS where ( TRIM(COALESCE(" + lowerColumn + ", ':')) <> ':' )"
           " OR ( TRIM(COALESCE(solobackupmensual,'N')) = 'S' )";
}
// clang-format on

// Digits of a positive value rounded to 15 significant digits, trailing zeros dropped,
// written without exponent.
std::string PlainDecimal(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string text(buffer, result.ptr); // d.ddddddddddddddde±xx
    const std::size_t e = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    const int exponent = std::atoi(text.c_str() + e + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int integerDigits = exponent + 1;
    if (integerDigits <= 0) return "0." + std::string(static_cast<std::size_t>(-integerDigits), '0') + digits;
    if (static_cast<std::size_t>(integerDigits) >= digits.size())
        return digits + std::string(static_cast<std::size_t>(integerDigits) - digits.size(), '0');
    return digits.substr(0, static_cast<std::size_t>(integerDigits)) + "." +
           digits.substr(static_cast<std::size_t>(integerDigits));
}

} // namespace

std::string BackupWindowText(long long hours, long long minutes) {
    const double window = (static_cast<double>(hours) * 60.0 + static_cast<double>(minutes)) / 1440.0;
    if (window == 0) return "0";
    if (window > 0) return PlainDecimal(window);
    // The sign is appended to a string of its own: GCC 12 at -O3 reads "-" + a temporary as a
    // copy that may overlap itself (-Wrestrict) and fails a build with warnings as errors.
    std::string text = "-";
    text += PlainDecimal(-window);
    return text;
}

std::string DueCompaniesStatement(std::string_view window) {
    const std::string time01 = CandidatesOfTime('1');
    const std::string time02 = CandidatesOfTime('2');
    const std::string time03 = CandidatesOfTime('3');
    // clang-format off
    const std::string_view pieces[] = {
        kCandidateColumns, " from (", time01, " union all ", time02, " union all ", time03, kTakesPartInBackups,
        kOverdue, kDayOfMonthDue,
        // ...and the candidate time in the window from the clock minus W up to the clock.
        " and         (", kClockMinute, "-", window, ")<=cast(ce.HORABACKUP as timestamp) and ",
        "        ", kClockMinute, ">=cast(ce.HORABACKUP as timestamp))) ",
        kCollapseEqualTimes, ") ",
        // The due rows are the collapsed candidates whose time lies in the window again...
        "SELECT eb.* ", "FROM empresasbackup eb ",
        "WHERE ( ( ", kClockMinute, " - ", window, ") <= cast(eb.HORABACKUP as timestamp) ",
        "      AND ", kClockMinute, " >= cast(eb.HORABACKUP as timestamp) ) ",
        // ...or have no time, sorted by company code.
        kOrMonthlyWithoutTime, "ORDER BY eb.CODIGO "};
    // clang-format on
    std::string sql;
    for (const std::string_view piece : pieces)
        sql += piece;
    return sql;
}

namespace {

constexpr long long kDay = 86400;
constexpr long long kLastMinute = 23 * 60 + 59;
// How far ahead a due moment is looked for: past any month without the company's day.
constexpr int kDaysAhead = 400;

bool IsSet(const std::string& time) {
    return TrimBlanks(time) != ":";
}

// Whether `day` (days since 1970) is the company's day of the month, February taking 28 and
// later days as the 27th.
bool IsScheduledDay(const BackupSchedule& schedule, long long day) {
    if (schedule.dayOfMonth == 0) return true;
    if (schedule.dayOfMonth < 0) return false;
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{day}}};
    const int wanted = (date.month() == std::chrono::February && schedule.dayOfMonth >= 28) ? 27 : schedule.dayOfMonth;
    return static_cast<int>(static_cast<unsigned>(date.day())) == wanted;
}

long long FloorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
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
    schedule.untimed = anyUnset && TrimBlanks(soloMensual) == "S";
    if (diaMes == "00") {
        schedule.dayOfMonth = 0;
        schedule.overdueDays = 1;
    } else {
        const std::string day = TrimBlanks(diaMes);
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
        const bool scheduled = IsScheduledDay(schedule, day);
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

std::string TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

std::optional<long long> BackupStampOf(const std::string& date, const std::string& time) {
    if (date.size() < 10 || date[4] != '-' || date[7] != '-') return std::nullopt;
    int parts[3] = {0, 0, 0};
    for (std::size_t i = 0; i < 10; ++i) {
        if (i == 4 || i == 7) continue;
        if (date[i] < '0' || date[i] > '9') return std::nullopt;
        int& part = parts[i < 4 ? 0 : i < 7 ? 1 : 2];
        part = part * 10 + (date[i] - '0');
    }
    const std::chrono::year_month_day day{std::chrono::year{parts[0]},
                                          std::chrono::month{static_cast<unsigned>(parts[1])},
                                          std::chrono::day{static_cast<unsigned>(parts[2])}};
    if (!day.ok()) return std::nullopt;
    return std::chrono::sys_days{day}.time_since_epoch().count() * kDay + MinuteOfDay(time).value_or(0) * 60LL;
}

} // namespace veltor::catalogue
