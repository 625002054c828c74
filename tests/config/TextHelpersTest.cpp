#include "config/Global.h"
#include "tests/support/FakeOsVersion.h"

#include <gtest/gtest.h>

#include <vector>

namespace veltor {
namespace {

struct FieldCase {
    const char* text;
    int index;
    const char* field;
};

void ExpectFieldsAtColons(const std::vector<FieldCase>& cases) {
    for (const FieldCase& c : cases)
        EXPECT_EQ(TGlobal::FieldOf(c.text, c.index, ':'), c.field) << '"' << c.text << "\" field " << c.index;
}

TEST(FieldOf, SplitsAtTheSeparatorCountingFromZero) {
    ExpectFieldsAtColons({{"01:30", 0, "01"}, {"01:30", 1, "30"}, {"01:30", 2, ""}, {"30", 0, "30"}, {"30", 1, ""}});
}

TEST(FieldOf, EmptyFieldsCount) {
    ExpectFieldsAtColons({{"a::b", 1, ""}, {"a::b", 2, "b"}, {"a:", 1, ""}, {":b", 0, ""}, {"", 0, ""}});
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

struct VersionCase {
    std::uint32_t platformId, major, minor;
    int generation;
};

TEST(OsGeneration, MapsTheVersionRecordToItsGeneration) {
    EXPECT_EQ(TGlobal::OsGeneration(test::FakeOsVersion()), 0);
    const VersionCase cases[] = {{1, 4, 10, 3}, {2, 3, 51, 4}, {2, 4, 0, 4}, {2, 5, 0, 4},  {2, 5, 1, 5}, {2, 5, 2, 0},
                                 {2, 6, 0, 6},  {2, 6, 1, 7},  {2, 6, 2, 0}, {2, 10, 0, 0}, {0, 3, 1, 0}, {3, 5, 1, 0}};
    for (const VersionCase& c : cases)
        EXPECT_EQ(TGlobal::OsGeneration(test::FakeOsVersion(c.platformId, c.major, c.minor)), c.generation)
            << "platform " << c.platformId << ", version " << c.major << '.' << c.minor;
}

} // namespace
} // namespace veltor
