// The side-file names the cycle builds from its run values, and the reading of the
// transaction counter's reply.
#include "dbserver/DatabaseState.h"
#include "maintenance/BackupRestoreCycle.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <string>

namespace veltor {
namespace {

TEST(CycleSideFiles, BaseIsUpperCasedAndTheExtensionBecomesGdbWhileTheFolderKeepsItsCase) {
    EXPECT_EQ(RestoredFileName("D:\\Data\\emp2024.fdb", '\\', "20250303-0705"),
              "D:\\Data\\EMP2024-Restore-20250303-0705.GDB");
    EXPECT_EQ(KeptCopyFileName("D:\\Data\\emp2024.fdb", '\\', "20250303-0705"),
              "D:\\Data\\EMP2024-Copia-20250303-0705.GDB");
    EXPECT_EQ(KeptCopyFileName("/srv/Datos Veltor/emp.2024.gdb", '/', "20250303-0705"),
              "/srv/Datos Veltor/EMP.2024-Copia-20250303-0705.GDB");
    // Only a to z change case; a name without a dot is taken whole.
    EXPECT_EQ(RestoredFileName("/srv/añoñ_x", '/', "20250303-0705"), "/srv/AñOñ_X-Restore-20250303-0705.GDB");
    EXPECT_EQ(RestoredFileName("emp", '/', "20250303-0705"), "EMP-Restore-20250303-0705.GDB");
}

TEST(CycleSideFiles, FileStampIsZeroFilledDateAndMinute) {
    EXPECT_EQ(FileStampOf(test::MakeDateTime(2025, 3, 3, 7, 5, 59)), "20250303-0705");
    EXPECT_EQ(FileStampOf(test::MakeDateTime(2026, 12, 31, 23, 59)), "20261231-2359");
}

TEST(DatabaseStateReply, ReadsTheLittleEndianValueOfAnyWidthAndRefusesOtherShapes) {
    const char four[] = {107, 4, 0, 0x39, 0x30, 0, 0, 1};
    EXPECT_EQ(FirebirdDatabaseState::ParseNextTransaction(four, sizeof four), 12345);
    const char eight[] = {107, 8, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(FirebirdDatabaseState::ParseNextTransaction(eight, sizeof eight), 0x100000001LL);
    const char truncated[] = {2, 1};
    EXPECT_THROW(FirebirdDatabaseState::ParseNextTransaction(truncated, sizeof truncated), fb::FirebirdError);
    const char unterminated[] = {107, 4, 0, 1, 0, 0, 0, 0};
    EXPECT_THROW(FirebirdDatabaseState::ParseNextTransaction(unterminated, sizeof unterminated), fb::FirebirdError);
    const char overlong[] = {107, 4, 0, 1, 0};
    EXPECT_THROW(FirebirdDatabaseState::ParseNextTransaction(overlong, sizeof overlong), fb::FirebirdError);
}

} // namespace
} // namespace veltor
