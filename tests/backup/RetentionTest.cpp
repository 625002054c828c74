// Which files retention may remove: only names the program makes for one company's stem, never
// the protected ones, and never more than lie beyond the newest N.

#include "backup/Retention.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeRegionalFormats.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RetentionSetting, OnlyAWholeNumberAboveZeroKeepsFiles) {
    EXPECT_FALSE(ReadRetentionSetting(std::nullopt).keep);
    EXPECT_FALSE(ReadRetentionSetting(std::nullopt).unusable);
    EXPECT_EQ(ReadRetentionSetting(std::string("1")).keep, 1);
    EXPECT_EQ(ReadRetentionSetting(std::string("30")).keep, 30);
    for (const char* unusable : {"0", "-1", "", "tres", "2x", "1.5", "+3"}) {
        const RetentionSetting setting = ReadRetentionSetting(std::string(unusable));
        EXPECT_FALSE(setting.keep) << unusable;
        EXPECT_TRUE(setting.unusable) << unusable;
    }
    // A count beyond any folder keeps everything instead of overflowing.
    EXPECT_EQ(ReadRetentionSetting(std::string("99999999999999999999999")).keep, 1'000'000'000);
}

TEST(MadeFileStamp, MatchesOnlyTheProgramsOwnNamesForTheStem) {
    const auto stamp = [](std::string_view name, std::string_view stem, bool ignoreCase = false) {
        return MadeFileStamp(name, stem, kBackupFiles, ignoreCase);
    };
    EXPECT_EQ(stamp("EMP-20261207-1245.GBK", "EMP"), 202612071245);
    // Stems that begin with another stem own their names alone, both ways round.
    EXPECT_FALSE(stamp("EMP-2024-20261207-1245.GBK", "EMP"));
    EXPECT_FALSE(stamp("EMP-20261207-1245.GBK", "EMP-2024"));
    EXPECT_EQ(stamp("EMP-2024-20261207-1245.GBK", "EMP-2024"), 202612071245);
    EXPECT_FALSE(stamp("EMP-20261207-20261208-0900.GBK", "EMP"));
    EXPECT_EQ(stamp("EMP-20261207-20261208-0900.GBK", "EMP-20261207"), 202612080900);
    // Files a person put there.
    for (const char* person :
         {"EMP-20261207-1245.GBK.bak", "copia de EMP-20261207-1245.GBK", "EMP-20261207-1245.gbk.zip",
          "EMP-2026127-1245.GBK", "EMP-20261207-12450.GBK", "EMP-20261207_1245.GBK", "EMP-2026120A-1245.GBK",
          "EMP-20261207-1245.GBK ", "EMP-20261307-1245.GBK", "EMP-20261232-1245.GBK", "EMP-20261207-2400.GBK",
          "EMP-20261207-1260.GBK", "EMP-20261207-1245.GDB", "EMP20261207-1245.GBK"})
        EXPECT_FALSE(stamp(person, "EMP")) << person;
    // Other letter cases are other files on Linux; a file system that ignores case matches them.
    EXPECT_FALSE(stamp("emp-20261207-1245.GBK", "EMP"));
    EXPECT_FALSE(stamp("EMP-20261207-1245.gbk", "EMP"));
    EXPECT_EQ(stamp("emp-20261207-1245.gbk", "EMP", true), 202612071245);
    // Edges of the date and the minute.
    EXPECT_EQ(stamp("EMP-20260101-0000.GBK", "EMP"), 202601010000);
    EXPECT_EQ(stamp("EMP-20261231-2359.GBK", "EMP"), 202612312359);
}

TEST(MadeFileStamp, KeptCopiesCarryTheirOwnTag) {
    EXPECT_EQ(MadeFileStamp("EMP2024-Copia-20250303-0705.GDB", "EMP2024", kKeptCopies, false), 202503030705);
    EXPECT_FALSE(MadeFileStamp("EMP2024-Restore-20250303-0705.GDB", "EMP2024", kKeptCopies, false));
    EXPECT_FALSE(MadeFileStamp("EMP2024-Copia-20250303-0705.GBK", "EMP2024", kKeptCopies, false));
    EXPECT_FALSE(MadeFileStamp("EMP2024-20250303-0705.GDB", "EMP2024", kKeptCopies, false));
}

TEST(FilesBeyondKeep, KeepsTheNewestAndWhatIsProtected) {
    const std::vector<std::string> folder = {"EMP-20261201-1245.GBK",
                                             "EMP-20261203-1245.GBK",
                                             "EMP-20261202-2000.GBK",
                                             "EMP-20261202-1245.GBK",
                                             "EMP-2024-20261101-1245.GBK",
                                             "emp-20261101-1245.GBK",
                                             "notas.txt",
                                             "Log Backup Veltor 202612.txt"};
    // Exactly as many as to keep: nothing goes; one more: the oldest goes.
    EXPECT_THAT(FilesBeyondKeep(folder, "EMP", kBackupFiles, false, 4, {}), IsEmpty());
    EXPECT_THAT(FilesBeyondKeep(folder, "EMP", kBackupFiles, false, 3, {}), ElementsAre("EMP-20261201-1245.GBK"));
    EXPECT_THAT(FilesBeyondKeep(folder, "EMP", kBackupFiles, false, 1, {}),
                ElementsAre("EMP-20261201-1245.GBK", "EMP-20261202-1245.GBK", "EMP-20261202-2000.GBK"));
    // A protected file stays whatever its age; when it is among the newest it takes its place.
    EXPECT_THAT(FilesBeyondKeep(folder, "EMP", kBackupFiles, false, 1, {"EMP-20261201-1245.GBK"}),
                ElementsAre("EMP-20261202-1245.GBK", "EMP-20261202-2000.GBK"));
    EXPECT_THAT(FilesBeyondKeep(folder, "EMP", kBackupFiles, false, 1, {"EMP-20261203-1245.GBK"}),
                ElementsAre("EMP-20261201-1245.GBK", "EMP-20261202-1245.GBK", "EMP-20261202-2000.GBK"));
    // Ignoring case, the lower-case name is the same company's and the oldest.
    EXPECT_THAT(FilesBeyondKeep(folder, "EMP", kBackupFiles, true, 4, {}), ElementsAre("emp-20261101-1245.GBK"));
}

TEST(RemoveMadeFiles, WritesEachRemovalAndLeavesWhatCannotBeRemoved) {
    FakeFileSystem files;
    FakeClock clock;
    FakeRegionalFormats formats;
    FakeActivityView view;
    ActivityLog log(files, clock, formats, view);
    files.directories.insert("/b");
    for (const char* name : {"EMP-20261201-1245.GBK", "EMP-20261202-1245.GBK", "EMP-20261203-1245.GBK"})
        files.AddFile(std::string("/b/") + name, "x");
    files.notWritable.insert("/b/EMP-20261201-1245.GBK");
    log.OpenMonthLog("/b/");

    RemoveMadeFiles(files, log, "/b/", FilesBeyondKeep(files.ListFiles("/b/"), "EMP", kBackupFiles, false, 1, {}),
                    " Elimina Backup antiguo: ");

    EXPECT_TRUE(files.FileExists("/b/EMP-20261201-1245.GBK"));
    EXPECT_FALSE(files.FileExists("/b/EMP-20261202-1245.GBK"));
    EXPECT_TRUE(files.FileExists("/b/EMP-20261203-1245.GBK"));
    ASSERT_EQ(view.memo.size(), 2u);
    EXPECT_THAT(view.memo[0], ::testing::HasSubstr(" No se pudo eliminar: /b/EMP-20261201-1245.GBK Mensaje: "));
    EXPECT_THAT(view.memo[1], ::testing::EndsWith(" Elimina Backup antiguo: /b/EMP-20261202-1245.GBK"));
}

// Two databases of one stem: each company counts only the names with its own id, and the
// names without an id only while it is alone with its stem.
TEST(FilesBeyondKeep, CountsOnlyTheNamesOfTheOwnersGiven) {
    const std::vector<std::string> folder = {"CONTA-20261201-1245.GBK",     "CONTA-20261202-1245-E17.GBK",
                                             "CONTA-20261203-1245-E17.GBK", "CONTA-20261204-1245-E170.GBK",
                                             "CONTA-20261205-1245-E1.GBK",  "CONTA-E17-20261206-1245.GBK"};
    EXPECT_THAT(FilesBeyondKeep(folder, "CONTA", kBackupFiles, false, 1, {}, {"-E17"}),
                ElementsAre("CONTA-20261202-1245-E17.GBK"));
    EXPECT_THAT(FilesBeyondKeep(folder, "CONTA", kBackupFiles, false, 1, {}, {"", "-E17"}),
                ElementsAre("CONTA-20261201-1245.GBK", "CONTA-20261202-1245-E17.GBK"));
    // Another company whose own stem looks like a stem with an id keeps its names.
    EXPECT_THAT(FilesBeyondKeep(folder, "CONTA-E17", kBackupFiles, false, 0, {}),
                ElementsAre("CONTA-E17-20261206-1245.GBK"));
    EXPECT_THAT(FilesBeyondKeep(folder, "CONTA", kBackupFiles, true, 0, {}, {"-e1"}),
                ElementsAre("CONTA-20261205-1245-E1.GBK"));
}

TEST(IsLeftOverName, TakesOnlyTheTemporaryAndScratchNamesOfMadeBackups) {
    for (const char* name : {"CONTA-20261207-1245.GBK.tmp", "CONTA-20261207-1245-E17.GBK.tmp",
                             "CONTA-20261207-1245-Verifica.FDB", "A-20261207-1245-E3-Verifica.FDB"})
        EXPECT_TRUE(IsLeftOverName(name, false)) << name;
    for (const char* name :
         {"CONTA-20261207-1245.GBK", "Estado Backup Veltor.json.tmp", "CONTA.GBK.tmp", "-20261207-1245.GBK.tmp",
          "CONTA-20261307-1245.GBK.tmp", "CONTA-20261207-1260.GBK.tmp", "CONTA-20261207-1245-E.GBK.tmp",
          "CONTA-20261207-1245.gbk.tmp", "notas-Verifica.FDB", "CONTA-20261207-1245-VerificacionFallida.GBK"})
        EXPECT_FALSE(IsLeftOverName(name, false)) << name;
    EXPECT_TRUE(IsLeftOverName("CONTA-20261207-1245.gbk.TMP", true));
}

} // namespace
} // namespace veltor::test
