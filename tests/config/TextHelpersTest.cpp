#include "config/Global.h"
#include "tests/support/FakeOsVersion.h"

#include <gtest/gtest.h>

namespace veltor {
namespace {

TEST(FieldOf, SplitsAtTheSeparatorCountingFromZero) {
    EXPECT_EQ(TGlobal::FieldOf("01:30", 0, ':'), "01");
    EXPECT_EQ(TGlobal::FieldOf("01:30", 1, ':'), "30");
    EXPECT_EQ(TGlobal::FieldOf("01:30", 2, ':'), "");
    EXPECT_EQ(TGlobal::FieldOf("30", 0, ':'), "30");
    EXPECT_EQ(TGlobal::FieldOf("30", 1, ':'), "");
}

TEST(FieldOf, EmptyFieldsCount) {
    EXPECT_EQ(TGlobal::FieldOf("a::b", 1, ':'), "");
    EXPECT_EQ(TGlobal::FieldOf("a::b", 2, ':'), "b");
    EXPECT_EQ(TGlobal::FieldOf("a:", 1, ':'), "");
    EXPECT_EQ(TGlobal::FieldOf(":b", 0, ':'), "");
    EXPECT_EQ(TGlobal::FieldOf("", 0, ':'), "");
}

TEST(PadNumber, FillsWithZerosAndKeepsTheLastDigits) {
    EXPECT_EQ(TGlobal::PadNumber(5, 4), "0005");
    EXPECT_EQ(TGlobal::PadNumber(7, 2), "07");
    EXPECT_EQ(TGlobal::PadNumber(0, 2), "00");
    EXPECT_EQ(TGlobal::PadNumber(2026, 4), "2026");
    EXPECT_EQ(TGlobal::PadNumber(123, 2), "23");
    EXPECT_EQ(TGlobal::PadNumber(9, 0), "");
}

TEST(SqlDateText, PutsTheMonthFirst) {
    LocalDateTime date;
    date.year = 2026, date.month = 12, date.day = 31;
    EXPECT_EQ(TGlobal::SqlDateText(date), "12/31/2026");
    date.month = 3, date.day = 7;
    EXPECT_EQ(TGlobal::SqlDateText(date), "03/07/2026");
    EXPECT_EQ(TGlobal::DayOfDate(date), 7);
    EXPECT_EQ(TGlobal::MonthOfDate(date), 3);
    EXPECT_EQ(TGlobal::YearOfDate(date), 2026);
}

int Generation(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor) {
    return TGlobal::OsGeneration(test::FakeOsVersion(platformId, major, minor));
}

TEST(OsGeneration, MapsTheVersionRecordToItsGeneration) {
    EXPECT_EQ(TGlobal::OsGeneration(test::FakeOsVersion()), 0);
    EXPECT_EQ(Generation(1, 4, 10), 3);
    EXPECT_EQ(Generation(2, 3, 51), 4);
    EXPECT_EQ(Generation(2, 4, 0), 4);
    EXPECT_EQ(Generation(2, 5, 0), 4);
    EXPECT_EQ(Generation(2, 5, 1), 5);
    EXPECT_EQ(Generation(2, 5, 2), 0);
    EXPECT_EQ(Generation(2, 6, 0), 6);
    EXPECT_EQ(Generation(2, 6, 1), 7);
    EXPECT_EQ(Generation(2, 6, 2), 0);
    EXPECT_EQ(Generation(2, 10, 0), 0);
    EXPECT_EQ(Generation(0, 3, 1), 0);
    EXPECT_EQ(Generation(3, 5, 1), 0);
}

} // namespace
} // namespace veltor
