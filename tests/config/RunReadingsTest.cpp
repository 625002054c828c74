// The readings of ADMINBD.inf's values that the runs and --status share: the backup timer's
// period, the working backup folder and the parts of a path.
#include "config/Global.h"
#include "config/PathParts.h"

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

} // namespace
} // namespace veltor
