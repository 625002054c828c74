#include "status/Moments.h"

#include "config/Global.h"

namespace veltor {

long long DaysFromCivil(int year, int month, int day) {
    const long long y = month <= 2 ? year - 1 : year;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yearOfEra = y - era * 400;
    const long long dayOfYear = (153LL * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
    return kDays[(month - 1) % 12];
}

long long SecondsOf(const LocalDateTime& moment) {
    return DaysFromCivil(moment.year, moment.month, moment.day) * 86400 + moment.hour * 3600LL + moment.minute * 60LL +
           moment.second;
}

LocalDateTime MomentOfSeconds(long long seconds) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // The inverse of DaysFromCivil.
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long dayOfEra = z - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    LocalDateTime moment;
    moment.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    moment.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    moment.year = static_cast<int>(yearOfEra + era * 400 + (moment.month <= 2 ? 1 : 0));
    moment.hour = static_cast<int>(rest / 3600);
    moment.minute = static_cast<int>(rest / 60 % 60);
    moment.second = static_cast<int>(rest % 60);
    moment.weekday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
    return moment;
}

std::string IsoText(const LocalDateTime& moment) {
    return TGlobal::PadNumber(moment.year, 4) + "-" + TGlobal::PadNumber(moment.month, 2) + "-" +
           TGlobal::PadNumber(moment.day, 2) + "T" + TGlobal::PadNumber(moment.hour, 2) + ":" +
           TGlobal::PadNumber(moment.minute, 2) + ":" + TGlobal::PadNumber(moment.second, 2);
}

std::optional<LocalDateTime> ParseIsoText(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t length) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    LocalDateTime moment;
    moment.year = number(0, 4);
    moment.month = number(5, 2);
    moment.day = number(8, 2);
    moment.hour = number(11, 2);
    moment.minute = number(14, 2);
    moment.second = number(17, 2);
    if (moment.year < 0 || moment.month < 1 || moment.month > 12 || moment.day < 1 ||
        moment.day > DaysInMonth(moment.year, moment.month) || moment.hour < 0 || moment.hour > 23 ||
        moment.minute < 0 || moment.minute > 59 || moment.second < 0 || moment.second > 59)
        return std::nullopt;
    return MomentOfSeconds(SecondsOf(moment));
}

} // namespace veltor
