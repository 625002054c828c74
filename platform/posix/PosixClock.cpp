// The local clock, the monotonic tick and sleeping, through the POSIX calls.
#include "platform/posix/PosixPlatform.h"

#include <cerrno>
#include <ctime>

namespace veltor::posix {

LocalDateTime LocalDateTimeOf(std::time_t when) {
    struct tm local {};
    localtime_r(&when, &local);
    LocalDateTime moment;
    moment.year = local.tm_year + 1900;
    moment.month = local.tm_mon + 1;
    moment.day = local.tm_mday;
    moment.hour = local.tm_hour;
    moment.minute = local.tm_min;
    moment.second = local.tm_sec;
    moment.weekday = local.tm_wday;
    return moment;
}

LocalDateTime PosixClock::Now() const {
    return LocalDateTimeOf(std::time(nullptr));
}

std::uint32_t PosixClock::TickCount() const {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
}

void PosixClock::Sleep(std::uint32_t milliseconds) {
    struct timespec remaining {};
    remaining.tv_sec = static_cast<std::time_t>(milliseconds / 1000u);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace veltor::posix
