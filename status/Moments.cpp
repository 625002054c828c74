#include "status/Moments.h"

#include "config/Global.h"

#include <chrono>

namespace veltor {
namespace {

std::chrono::year_month_day CivilDate(const LocalDateTime& moment) {
    return {std::chrono::year{moment.year}, std::chrono::month{static_cast<unsigned>(moment.month)},
            std::chrono::day{static_cast<unsigned>(moment.day)}};
}

} // namespace

long long SecondsOf(const LocalDateTime& moment) {
    const std::chrono::sys_days day{CivilDate(moment)};
    return day.time_since_epoch().count() * 86400LL + moment.hour * 3600LL + moment.minute * 60LL + moment.second;
}

LocalDateTime MomentOfSeconds(long long seconds) {
    using namespace std::chrono;
    const sys_seconds at{std::chrono::seconds{seconds}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    LocalDateTime moment;
    moment.year = static_cast<int>(date.year());
    moment.month = static_cast<int>(static_cast<unsigned>(date.month()));
    moment.day = static_cast<int>(static_cast<unsigned>(date.day()));
    moment.hour = static_cast<int>(time.hours().count());
    moment.minute = static_cast<int>(time.minutes().count());
    moment.second = static_cast<int>(time.seconds().count());
    moment.weekday = static_cast<int>(weekday{day}.c_encoding());
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
    if (moment.year < 0 || moment.month < 0 || moment.day < 0 || !CivilDate(moment).ok() || moment.hour < 0 ||
        moment.hour > 23 || moment.minute < 0 || moment.minute > 59 || moment.second < 0 || moment.second > 59)
        return std::nullopt;
    return MomentOfSeconds(SecondsOf(moment));
}

} // namespace veltor
