#include "backup/BackupFiles.h"

#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeRegionalFormats.h"

#include <gtest/gtest.h>

namespace veltor {
namespace {

TEST(WorkingBackupFolder, DropsTrailingBlanksThenEndsInOneSeparator) {
    EXPECT_EQ(WorkingBackupFolder("E:\\COPIAS  ", '\\'), "E:\\COPIAS\\");
    EXPECT_EQ(WorkingBackupFolder("E:\\COPIAS\\", '\\'), "E:\\COPIAS\\");
    EXPECT_EQ(WorkingBackupFolder("/srv/copias", '/'), "/srv/copias/");
    EXPECT_EQ(WorkingBackupFolder("/srv/copias/ ", '/'), "/srv/copias/");
}

TEST(DatabaseFileStem, TakesTheNameAfterTheLastSeparatorUpToTheLastDot) {
    EXPECT_EQ(DatabaseFileStem("D:\\Conta\\EMP.2026.GDB", '\\'), "EMP.2026");
    EXPECT_EQ(DatabaseFileStem("D:EMPRESA1.GDB", '\\'), "EMPRESA1");
    EXPECT_EQ(DatabaseFileStem("EMPRESA", '\\'), "EMPRESA");
    EXPECT_EQ(DatabaseFileStem("/srv/conta/emp.2026.fdb", '/'), "emp.2026");
    // On Linux a colon is part of the name.
    EXPECT_EQ(DatabaseFileStem("/srv/a:b.fdb", '/'), "a:b");
}

TEST(BackupFileName, JoinsFolderStemDateAndStartMinute) {
    const LocalDateTime december7 = test::MakeDateTime(2026, 12, 7, 12, 45, 59);
    EXPECT_EQ(BackupFileName("C:\\Datos Veltor\\Backups\\", "D:\\Conta\\EMPRESA1.GDB", '\\', december7,
                             HourMinuteText(december7)),
              "C:\\Datos Veltor\\Backups\\EMPRESA1-20261207-1245.GBK");
    const LocalDateTime march3 = test::MakeDateTime(2025, 3, 3, 7, 5);
    EXPECT_EQ(BackupFileName("/b/", "/d/emp2024.gdb", '/', march3, HourMinuteText(march3)),
              "/b/emp2024-20250303-0705.GBK");
}

class EnsureBackupFolderTest : public ::testing::Test {
protected:
    test::FakeFileSystem files;
    test::FakeClock clock;
    test::FakeRegionalFormats formats;
    test::FakeActivityView view;
    TActivityLog log{files, clock, formats, view};
    ConfigurationRules rules;
};

TEST_F(EnsureBackupFolderTest, CreatesTheDataFolderFirstWhenBothAreMissing) {
    EnsureBackupFolder("C:\\Datos Veltor\\Backups\\", rules, files, log);
    EXPECT_EQ(files.createdDirectories,
              (std::vector<std::string>{"C:\\Datos Veltor\\", "C:\\Datos Veltor\\Backups\\"}));
    EXPECT_TRUE(view.memo.empty());
}

TEST_F(EnsureBackupFolderTest, WritesTheFailureToTheMemoAndGoesOn) {
    files.directories.insert("C:\\Datos Veltor\\");
    files.cannotCreate.insert("E:\\COPIAS\\");
    EnsureBackupFolder("E:\\COPIAS\\", rules, files, log);
    ASSERT_EQ(view.memo.size(), 5u);
    EXPECT_EQ(view.memo[0], " ");
    EXPECT_EQ(view.memo[1], log.StampPrefix() + " No se pudo crear Carpeta de Copias: E:\\COPIAS\\");
    EXPECT_EQ(view.memo[2], " ");
    EXPECT_FALSE(view.memo[3].empty());
    EXPECT_EQ(view.memo[4], " ");
}

} // namespace
} // namespace veltor
