// Short date and long time in the formats of the environment's locale.
#include "platform/posix/PosixPlatform.h"

#include <chrono>
#include <ctime>
#include <iconv.h>
#include <langinfo.h>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace veltor::posix {
namespace {

struct tm BrokenDown(const LocalDateTime& moment) {
    struct tm value {};
    value.tm_year = moment.year - 1900;
    value.tm_mon = moment.month - 1;
    value.tm_mday = moment.day;
    value.tm_hour = moment.hour;
    value.tm_min = moment.minute;
    value.tm_sec = moment.second;
    value.tm_wday = moment.weekday;
    using namespace std::chrono;
    const year_month_day date{year{moment.year}, month{static_cast<unsigned>(moment.month)},
                              day{static_cast<unsigned>(moment.day)}};
    if (date.ok()) value.tm_yday = (sys_days{date} - sys_days{date.year() / January / 1}).count();
    value.tm_isdst = -1;
    return value;
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// The text of a locale whose character set is not UTF-8, converted to UTF-8; unchanged when
// the conversion is not available.
std::string ToUtf8(std::string text, const char* codeset) {
    if (IsAscii(text) || codeset == nullptr || std::string_view(codeset) == "UTF-8") return text;
    const iconv_t converter = iconv_open("UTF-8", codeset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out(text.size() * 4, '\0');
    char* in = text.data();
    std::size_t inLeft = text.size();
    char* to = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &to, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) return text;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

PosixRegionalFormats::PosixRegionalFormats() {
    locale_ = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (locale_ == static_cast<locale_t>(nullptr))
        locale_ = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (locale_ == static_cast<locale_t>(nullptr)) throw std::runtime_error("no C locale");
}

PosixRegionalFormats::~PosixRegionalFormats() {
    freelocale(locale_);
}

std::string PosixRegionalFormats::Format(int item, const LocalDateTime& moment) const {
    const char* format = nl_langinfo_l(item, locale_);
    if (format == nullptr || *format == '\0') return {};
    const struct tm value = BrokenDown(moment);
    std::vector<char> buffer(128);
    for (;;) {
        const std::size_t length = strftime_l(buffer.data(), buffer.size(), format, &value, locale_);
        if (length > 0) return ToUtf8(std::string(buffer.data(), length), nl_langinfo_l(CODESET, locale_));
        // A format may give an empty text; it never needs more than a few hundred bytes.
        if (buffer.size() >= 4096) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string PosixRegionalFormats::ShortDate(const LocalDateTime& moment) const {
    return Format(D_FMT, moment);
}

std::string PosixRegionalFormats::LongTime(const LocalDateTime& moment) const {
    return Format(T_FMT, moment);
}

} // namespace veltor::posix
