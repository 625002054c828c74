// The local clock, the tick count and Sleep of Windows.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WinApi.h"

namespace veltor::win32 {

LocalDateTime Win32Clock::Now() const {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    LocalDateTime moment;
    moment.year = now.wYear;
    moment.month = now.wMonth;
    moment.day = now.wDay;
    moment.hour = now.wHour;
    moment.minute = now.wMinute;
    moment.second = now.wSecond;
    moment.weekday = now.wDayOfWeek; // 0 = Sunday, as ours
    return moment;
}

std::uint32_t Win32Clock::TickCount() const {
    return GetTickCount();
}

void Win32Clock::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

} // namespace veltor::win32
