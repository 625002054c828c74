// The user's short date and long time formats of the Windows regional settings.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

namespace veltor::win32 {
namespace {

SYSTEMTIME SystemTimeOf(const LocalDateTime& moment) {
    SYSTEMTIME value{};
    value.wYear = static_cast<WORD>(moment.year);
    value.wMonth = static_cast<WORD>(moment.month);
    value.wDay = static_cast<WORD>(moment.day);
    value.wDayOfWeek = static_cast<WORD>(moment.weekday);
    value.wHour = static_cast<WORD>(moment.hour);
    value.wMinute = static_cast<WORD>(moment.minute);
    value.wSecond = static_cast<WORD>(moment.second);
    return value;
}

// The wide forms give the text without a detour through the ANSI code page; an invalid
// moment gives an empty text.
template <typename Format> std::string Formatted(Format format) {
    wchar_t buffer[128];
    const int length = format(buffer, static_cast<int>(std::size(buffer)));
    if (length <= 1) return {};
    return Utf8FromWide(std::wstring_view(buffer, static_cast<std::size_t>(length - 1)));
}

} // namespace

std::string Win32RegionalFormats::ShortDate(const LocalDateTime& moment) const {
    const SYSTEMTIME value = SystemTimeOf(moment);
    return Formatted([&value](wchar_t* buffer, int size) {
        return GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &value, nullptr, buffer, size);
    });
}

std::string Win32RegionalFormats::LongTime(const LocalDateTime& moment) const {
    const SYSTEMTIME value = SystemTimeOf(moment);
    return Formatted([&value](wchar_t* buffer, int size) {
        return GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &value, nullptr, buffer, size);
    });
}

} // namespace veltor::win32
