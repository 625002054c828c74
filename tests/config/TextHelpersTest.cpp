#include "config/Global.h"
#include "config/PathParts.h"
#include "tests/support/FakeOsVersion.h"

#include <gtest/gtest.h>

namespace veltor {
namespace {

// The one reading of TIMERBACKUPLICENCE: the window's timer, the due selection and --status.
TEST(TimerPeriod, SplitsAtTheColonDefaultsWhenEmptyAndRefusesWhatStrToIntRefuses) {
    const TimerPeriod period = TimerPeriodOf("01:15");
    EXPECT_EQ(period.hours, "01");
    EXPECT_EQ(period.minutes, "15");
    EXPECT_EQ(TimerPeriodSeconds(period), 4500);
    EXPECT_EQ(TimerPeriodSeconds(TimerPeriodOf("")), 1800);
    EXPECT_EQ(TimerPeriodSeconds(TimerPeriodOf("00:00")), 0);
    EXPECT_THROW(TimerPeriodSeconds(TimerPeriodOf("00:30x")), ConvertError);
    EXPECT_THROW(TimerPeriodSeconds(TimerPeriodOf("0030")), ConvertError);
}

TEST(WorkingBackupFolder, DropsTrailingBlanksThenEndsInOneSeparator) {
    EXPECT_EQ(WorkingBackupFolder("E:\\COPIAS  ", '\\'), "E:\\COPIAS\\");
    EXPECT_EQ(WorkingBackupFolder("E:\\COPIAS\\", '\\'), "E:\\COPIAS\\");
    EXPECT_EQ(WorkingBackupFolder("/srv/copias", '/'), "/srv/copias/");
    EXPECT_EQ(WorkingBackupFolder("/srv/copias/ ", '/'), "/srv/copias/");
}

TEST(PathParts, TakeTheNameAfterTheLastSeparatorOfThePlatform) {
    EXPECT_EQ(FileStemOf("D:\\Conta\\EMP.2026.GDB", '\\'), "EMP.2026");
    EXPECT_EQ(FileStemOf("D:EMPRESA1.GDB", '\\'), "EMPRESA1");
    EXPECT_EQ(FileStemOf("EMPRESA", '\\'), "EMPRESA");
    EXPECT_EQ(FileStemOf("/srv/conta/emp.2026.fdb", '/'), "emp.2026");
    // Some tools store Windows paths with forward slashes.
    EXPECT_EQ(FileStemOf("C:/Conta/EMP.GDB", '\\'), "EMP");
    EXPECT_EQ(FolderOf("C:/Conta/EMP.GDB", '\\'), "C:/Conta/");
    EXPECT_EQ(FolderOf("C:\\Conta/2026\\EMP.GDB", '\\'), "C:\\Conta/2026\\");
    EXPECT_EQ(FileNameOf("C:/Conta/EMP.GDB", '\\'), "EMP.GDB");
    // On Linux a colon and a backslash are part of the name.
    EXPECT_EQ(FileStemOf("/srv/a:b.fdb", '/'), "a:b");
    EXPECT_EQ(FolderOf("/srv/a\\b.fdb", '/'), "/srv/");
    EXPECT_EQ(FolderOf("EMP.GDB", '/'), "");
}

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
