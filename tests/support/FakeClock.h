#pragma once
// A clock for unit tests: the wall clock and the tick count are set by hand; Sleep records the
// wait and moves both forward by it.

#include "ports/Clock.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace veltor::test {

inline LocalDateTime MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    LocalDateTime moment;
    moment.year = year;
    moment.month = month;
    moment.day = day;
    moment.hour = hour;
    moment.minute = minute;
    moment.second = second;
    moment.weekday = static_cast<int>(weekday(sys_days(date)).c_encoding());
    return moment;
}

class FakeClock : public IClock {
public:
    LocalDateTime now = MakeDateTime(2026, 12, 7, 12, 45, 3);
    std::uint32_t tick = 0;
    std::vector<std::uint32_t> sleeps;

    LocalDateTime Now() const override { return now; }
    std::uint32_t TickCount() const override { return tick; }
    void Sleep(std::uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        Advance(milliseconds);
    }

    void Set(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
        now = MakeDateTime(year, month, day, hour, minute, second);
    }

    // Moves the tick count (wrapping at 2^32) and the wall clock forward; the wall clock keeps
    // whole seconds and carries the rest over to the next advance.
    void Advance(std::uint64_t milliseconds) {
        tick = static_cast<std::uint32_t>(tick + milliseconds);
        carriedMilliseconds_ += milliseconds;
        AdvanceSeconds(static_cast<long long>(carriedMilliseconds_ / 1000));
        carriedMilliseconds_ %= 1000;
    }

    void AdvanceSeconds(long long seconds) {
        using namespace std::chrono;
        const year_month_day date{std::chrono::year(now.year), std::chrono::month(static_cast<unsigned>(now.month)),
                                  std::chrono::day(static_cast<unsigned>(now.day))};
        const sys_seconds moment =
            sys_days(date) + hours(now.hour) + minutes(now.minute) + std::chrono::seconds(now.second + seconds);
        const sys_days day = floor<days>(moment);
        const year_month_day next{day};
        const hh_mm_ss<std::chrono::seconds> time{moment - day};
        now = MakeDateTime(static_cast<int>(next.year()), static_cast<int>(static_cast<unsigned>(next.month())),
                           static_cast<int>(static_cast<unsigned>(next.day())), static_cast<int>(time.hours().count()),
                           static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()));
    }

private:
    std::uint64_t carriedMilliseconds_ = 0;
};

} // namespace veltor::test
