// The local clock, the tick count and Sleep of Windows.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinApi.h"

namespace veltor::win32 {

LocalDateTime LocalDateTimeOf(const SYSTEMTIME& local) {
    LocalDateTime moment;
    moment.year = local.wYear;
    moment.month = local.wMonth;
    moment.day = local.wDay;
    moment.hour = local.wHour;
    moment.minute = local.wMinute;
    moment.second = local.wSecond;
    moment.weekday = local.wDayOfWeek;
    return moment;
}

LocalDateTime Win32Clock::Now() const {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalDateTimeOf(now);
}

std::uint32_t Win32Clock::TickCount() const {
    return GetTickCount();
}

void Win32Clock::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

} // namespace veltor::win32
