// Column values as text, from the buffers a fetch fills.
#include "dbserver/ColumnText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace veltor::sql {
namespace {

// A column of the given type whose buffers hold `bytes`.
struct Column {
    Column(std::int16_t type, std::int16_t length, std::vector<char> bytes, std::int16_t scale = 0)
        : data(std::move(bytes)) {
        var = {};
        var.sqltype = static_cast<std::int16_t>(type | 1);
        var.sqllen = length;
        var.sqlscale = scale;
        var.sqldata = data.data();
        var.sqlind = &indicator;
    }
    template <typename T> static std::vector<char> Bytes(T value) {
        std::vector<char> bytes(sizeof value);
        std::memcpy(bytes.data(), &value, sizeof value);
        return bytes;
    }
    std::vector<char> data;
    std::int16_t indicator = 0;
    fb::SqlVar var;
};

TEST(ColumnText, NullReadsAsTheEmptyTextWhateverTheType) {
    Column text(fb::kSqlText, 3, {'a', 'b', 'c'});
    text.indicator = -1;
    EXPECT_EQ(ColumnText(text.var), "");
    Column number(fb::kSqlLong, 4, Column::Bytes<std::int32_t>(17));
    number.indicator = -1;
    EXPECT_EQ(ColumnText(number.var), "");
}

TEST(ColumnText, CharKeepsItsPaddingAndVarcharItsLength) {
    EXPECT_EQ(ColumnText(Column(fb::kSqlText, 5, {'S', ' ', ' ', ' ', ' '}).var), "S    ");
    EXPECT_EQ(ColumnText(Column(fb::kSqlVarying, 13, {5, 0, '1', '2', ':', '4', '5', 'x', 'x'}).var), "12:45");
    EXPECT_EQ(ColumnText(Column(fb::kSqlVarying, 13, {0, 0}).var), "");
}

TEST(ColumnText, IntegersAndScaledNumbersAreDecimalWithAPoint) {
    EXPECT_EQ(ColumnText(Column(fb::kSqlShort, 2, Column::Bytes<std::int16_t>(-7)).var), "-7");
    EXPECT_EQ(ColumnText(Column(fb::kSqlLong, 4, Column::Bytes<std::int32_t>(2026)).var), "2026");
    EXPECT_EQ(ColumnText(Column(fb::kSqlInt64, 8, Column::Bytes<std::int64_t>(-12345), -2).var), "-123.45");
    EXPECT_EQ(ColumnText(Column(fb::kSqlInt64, 8, Column::Bytes<std::int64_t>(5), -3).var), "0.005");
    EXPECT_EQ(ColumnText(Column(fb::kSqlLong, 4, Column::Bytes<std::int32_t>(0), -2).var), "0.00");
    EXPECT_EQ(ColumnText(Column(fb::kSqlInt64, 8, Column::Bytes<std::int64_t>(INT64_MIN)).var), "-9223372036854775808");
    EXPECT_EQ(ColumnText(Column(fb::kSqlDouble, 8, Column::Bytes<double>(0.0625)).var), "0.0625");
}

TEST(ColumnText, DatesAndTimesHaveAFixedForm) {
    // Day 0 of the server is 17 November 1858; 2026-02-27 is day 61098.
    EXPECT_EQ(DateText(0), "1858-11-17");
    EXPECT_EQ(DateText(61098), "2026-02-27");
    EXPECT_EQ(DateText(15020), "1900-01-01");
    EXPECT_EQ(TimeText((12 * 3600 + 45 * 60 + 7) * 10000 + 9999), "12:45:07");
    std::vector<char> stamp = Column::Bytes<std::int32_t>(61098);
    const std::vector<char> time = Column::Bytes<std::uint32_t>((23 * 3600 + 59 * 60) * 10000);
    stamp.insert(stamp.end(), time.begin(), time.end());
    EXPECT_EQ(ColumnText(Column(fb::kSqlTimestamp, 8, stamp).var), "2026-02-27 23:59:00");
}

} // namespace
} // namespace veltor::sql
