#include "dbserver/ColumnText.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace veltor::sql {
namespace {

template <typename T> T Load(const char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

std::int16_t BaseType(const fb::SqlVar& column) {
    return static_cast<std::int16_t>(column.sqltype & ~1);
}

std::string DoubleText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

} // namespace

bool HasText(const fb::SqlVar& column) {
    switch (BaseType(column)) {
    case fb::kSqlBlob:
    case fb::kSqlArray:
    case fb::kSqlQuad:
        return false;
    default:
        return true;
    }
}

std::size_t ValueBufferSize(const fb::SqlVar& column) {
    const std::size_t length = static_cast<std::size_t>(column.sqllen < 0 ? 0 : column.sqllen);
    return BaseType(column) == fb::kSqlVarying ? length + 2 : (length == 0 ? 1 : length);
}

std::string DateText(int serverDay) {
    // The server counts days from 1858-11-17, 40587 days before 1970-01-01.
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{serverDay - 40587LL}}};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return buffer;
}

std::string TimeText(unsigned int serverTime) {
    const unsigned int seconds = serverTime / 10000;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", (seconds / 3600) % 100, (seconds / 60) % 60, seconds % 60);
    return buffer;
}

std::string ScaledText(long long value, int scale) {
    const bool negative = value < 0;
    // The magnitude as unsigned so that the smallest BIGINT has one too.
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
    std::string digits = std::to_string(magnitude);
    if (scale > 0) {
        if (magnitude != 0) digits.append(static_cast<std::size_t>(scale), '0');
    } else if (scale < 0) {
        const std::size_t decimals = static_cast<std::size_t>(-scale);
        if (digits.size() <= decimals) digits.insert(0, decimals - digits.size() + 1, '0');
        digits.insert(digits.size() - decimals, 1, '.');
    }
    return negative ? "-" + digits : digits;
}

std::string ColumnText(const fb::SqlVar& column) {
    if ((column.sqltype & 1) != 0 && column.sqlind != nullptr && *column.sqlind < 0) return {};
    const char* data = column.sqldata;
    if (data == nullptr) return {};
    switch (BaseType(column)) {
    case fb::kSqlText:
        return std::string(data, static_cast<std::size_t>(column.sqllen));
    case fb::kSqlVarying: {
        std::size_t length = Load<std::uint16_t>(data);
        if (length > static_cast<std::size_t>(column.sqllen)) length = static_cast<std::size_t>(column.sqllen);
        return std::string(data + 2, length);
    }
    case fb::kSqlShort:
        return ScaledText(Load<std::int16_t>(data), column.sqlscale);
    case fb::kSqlLong:
        return ScaledText(Load<std::int32_t>(data), column.sqlscale);
    case fb::kSqlInt64:
        return ScaledText(Load<std::int64_t>(data), column.sqlscale);
    case fb::kSqlFloat:
        return DoubleText(Load<float>(data));
    case fb::kSqlDouble:
    case fb::kSqlDFloat:
        return DoubleText(Load<double>(data));
    case fb::kSqlTimestamp:
        return DateText(Load<std::int32_t>(data)) + " " + TimeText(Load<std::uint32_t>(data + 4));
    case fb::kSqlDate:
        return DateText(Load<std::int32_t>(data));
    case fb::kSqlTime:
        return TimeText(Load<std::uint32_t>(data));
    case fb::kSqlBoolean:
        return data[0] != 0 ? "True" : "False";
    default:
        return {};
    }
}

} // namespace veltor::sql
