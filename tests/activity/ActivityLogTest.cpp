#include "activity/ActivityLog.h"
#include "platform/posix/PosixPlatform.h"
#include "ports/Errors.h"
#include "tests/support/ActivityLogOverFakes.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeRegionalFormats.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltor {
namespace {

using ::testing::ElementsAre;

const std::string kFolder = "/copias/";
const std::string kDecemberLog = "/copias/Log Backup Veltor 202612.txt";

class MonthLogAndMemo : public ::testing::Test, protected test::ActivityLogOverFakes {};

TEST_F(MonthLogAndMemo, StampPrefixFollowsTheClockAndFormatsOfEachLine) {
    clock.Set(2026, 12, 7, 12, 45, 3);
    EXPECT_EQ(log.StampPrefix(), "07/12/2026 - 12:45:03");
    clock.AdvanceSeconds(67);
    EXPECT_EQ(log.StampPrefix(), "07/12/2026 - 12:46:10");
    formats.shortDate = [](const LocalDateTime& m) { return std::to_string(m.year) + "-" + std::to_string(m.month); };
    formats.longTime = [](const LocalDateTime& m) { return std::to_string(m.hour) + "h"; };
    EXPECT_EQ(log.StampPrefix(), "2026-12 - 12h");
}

TEST_F(MonthLogAndMemo, MonthLogIsNamedByYearAndMonth) {
    EXPECT_EQ(ActivityLog::MonthLogPath("C:\\Datos Veltor\\Backups\\", test::MakeDateTime(2026, 12, 7)),
              "C:\\Datos Veltor\\Backups\\Log Backup Veltor 202612.txt");
    EXPECT_EQ(ActivityLog::MonthLogPath("/b/", test::MakeDateTime(2027, 1, 31)), "/b/Log Backup Veltor 202701.txt");
}

TEST_F(MonthLogAndMemo, LinesAreWindows1252EndedByCrLf) {
    log.OpenMonthLog(kFolder);
    log.WriteLogLine(" ");
    log.WriteLogLine("Error de Conexión");
    log.WriteLogLine(" Verifique que no se esté realizando otro proceso");
    log.WriteLogLine("");
    log.CloseMonthLog();
    EXPECT_EQ(files.Content(kDecemberLog), " \r\nError de Conexi\xF3n\r\n Verifique que no se est\xE9 realizando otro "
                                           "proceso\r\n\r\n");
}

TEST_F(MonthLogAndMemo, OpeningAppendsToTheMonthsExistingFile) {
    files.AddFile(kDecemberLog, "anterior\r\n");
    log.OpenMonthLog(kFolder);
    EXPECT_EQ(log.lastMonthLogPath(), kDecemberLog);
    log.WriteLogLine("nueva");
    log.CloseMonthLog();
    EXPECT_EQ(files.Content(kDecemberLog), "anterior\r\nnueva\r\n");
}

TEST_F(MonthLogAndMemo, RunAcrossTheMonthEndKeepsItsFileAndTheNextOpensTheNewMonth) {
    clock.Set(2026, 12, 31, 23, 59, 59);
    log.OpenMonthLog(kFolder);
    clock.AdvanceSeconds(2);
    log.WriteLogLine("tarde");
    log.CloseMonthLog();
    log.OpenMonthLog(kFolder);
    EXPECT_EQ(log.lastMonthLogPath(), "/copias/Log Backup Veltor 202701.txt");
    log.CloseMonthLog();
    EXPECT_EQ(files.Content(kDecemberLog), "tarde\r\n");
    EXPECT_EQ(files.Content("/copias/Log Backup Veltor 202701.txt"), "");
}

TEST_F(MonthLogAndMemo, FileHeldByAnotherWriterIsRefusedWithItsPath) {
    files.heldByOtherWriter.insert(kDecemberLog);
    EXPECT_THROW(log.OpenMonthLog(kFolder), OsError);
    EXPECT_EQ(log.lastMonthLogPath(), kDecemberLog);
    EXPECT_FALSE(log.isMonthLogOpen());
    EXPECT_THROW(log.WriteLogLine("x"), MonthLogNotOpen);
}

TEST_F(MonthLogAndMemo, SecondLogOfTheSameProcessIsRefused) {
    ActivityLog other(files, clock, formats, view);
    log.OpenMonthLog(kFolder);
    EXPECT_THROW(other.OpenMonthLog(kFolder), OsError);
    log.CloseMonthLog();
    EXPECT_NO_THROW(other.OpenMonthLog(kFolder));
}

TEST_F(MonthLogAndMemo, ClosingOrWritingWithNoFileOpenRaises) {
    EXPECT_THROW(log.CloseMonthLog(), MonthLogNotOpen);
    EXPECT_THROW(log.WriteLogLine("x"), MonthLogNotOpen);
    log.OpenMonthLog(kFolder);
    log.CloseMonthLog();
    EXPECT_THROW(log.CloseMonthLog(), MonthLogNotOpen);
}

TEST_F(MonthLogAndMemo, FailedWriteOutRaisesAndStillReleasesTheFile) {
    log.OpenMonthLog(kFolder);
    log.WriteLogLine("x");
    files.writeOutFails.insert(kDecemberLog);
    EXPECT_THROW(log.CloseMonthLog(), OsError);
    EXPECT_FALSE(log.isMonthLogOpen());
    EXPECT_TRUE(files.openForAppend.empty());
}

TEST_F(MonthLogAndMemo, OpeningWhileOpenClosesTheEarlierFileFirst) {
    log.OpenMonthLog(kFolder);
    log.WriteLogLine("primera");
    log.OpenMonthLog("/otras/");
    log.WriteLogLine("segunda");
    log.CloseMonthLog();
    EXPECT_EQ(files.Content(kDecemberLog), "primera\r\n");
    EXPECT_EQ(files.Content("/otras/Log Backup Veltor 202612.txt"), "segunda\r\n");
}

TEST_F(MonthLogAndMemo, MemoLinesAreAppendedAsGivenWithOrWithoutAFile) {
    log.WriteMemoLine(" ");
    log.WriteMemoLine("  ");
    log.WriteMemoLines({"Conexión", "b"});
    log.WriteMemoLines({});
    EXPECT_THAT(view.memo, ElementsAre(" ", "  ", "Conexión", "b"));
    EXPECT_THAT(view.batches, ElementsAre(1u, 1u, 2u));
    EXPECT_TRUE(files.files.empty());
}

TEST_F(MonthLogAndMemo, TextFromOutsideCannotBreakALineOfTheFileOrTheMemo) {
    const std::string name = "001 - COMPAÑÍA\r\n07/12/2026 - 12:45:03 Finaliza Backup: 009 - FALSA";
    log.OpenMonthLog(kFolder);
    log.WriteLogLine("07/12/2026 - 12:45:03 Inicio Backup: " + name);
    log.CloseMonthLog();
    EXPECT_EQ(files.Content(kDecemberLog), "07/12/2026 - 12:45:03 Inicio Backup: 001 - COMPA\xD1\xCD"
                                           "A<0D><0A>07/12/2026 - 12:45:03 Finaliza Backup: 009 - FALSA\r\n");
    log.WriteMemoLine("Inicio Backup: " + name);
    log.WriteMemoLines({"  gbak: nombre\u2028falso", "  "});
    // The one memo entry the program itself shows on two lines keeps its line end.
    log.WriteMemoText({"Renombra el Archivo Original: /d/emp\n.fdb", " por: /d/EMP-Copia-20261207-1245.GDB"});
    EXPECT_THAT(view.memo,
                ElementsAre("Inicio Backup: 001 - COMPAÑÍA<0D><0A>07/12/2026 - 12:45:03 Finaliza Backup: 009 - FALSA",
                            "  gbak: nombre<2028>falso", "  ",
                            "Renombra el Archivo Original: /d/emp<0A>.fdb\r\n por: /d/EMP-Copia-20261207-1245.GDB"));
}

// The same through the real file system.
class ActivityLogFile : public ::testing::Test {
protected:
    test::ScratchFolder folder{"activitylog"};
    posix::PosixFileSystem files;
    test::FakeClock clock;
    test::FakeRegionalFormats formats;
    test::FakeActivityView view;
    ActivityLog log{files, clock, formats, view};
    std::string backupFolder = folder.path() + "/";
    std::string path = folder / "Log Backup Veltor 202612.txt";
};

TEST_F(ActivityLogFile, CreatesThenAppendsExactBytes) {
    log.OpenMonthLog(backupFolder);
    log.WriteLogLine(" ");
    log.WriteLogLine(log.StampPrefix() + " Inicio Backup: ===> ");
    log.CloseMonthLog();
    log.OpenMonthLog(backupFolder);
    log.WriteLogLine("Conexión");
    log.CloseMonthLog();
    EXPECT_EQ(test::ReadFile(path), " \r\n07/12/2026 - 12:45:03 Inicio Backup: ===> \r\nConexi\xF3n\r\n");
}

TEST_F(ActivityLogFile, SecondWriterIsRefusedUntilTheFirstCloses) {
    ActivityLog other(files, clock, formats, view);
    log.OpenMonthLog(backupFolder);
    try {
        other.OpenMonthLog(backupFolder);
        FAIL() << "the second writer was let in";
    } catch (const OsError& e) {
        EXPECT_STRNE(e.what(), "");
        EXPECT_EQ(other.lastMonthLogPath(), path);
    }
    log.WriteLogLine("uno");
    log.CloseMonthLog();
    other.OpenMonthLog(backupFolder);
    other.WriteLogLine("dos");
    other.CloseMonthLog();
    EXPECT_EQ(test::ReadFile(path), "uno\r\ndos\r\n");
}

TEST_F(ActivityLogFile, MissingFolderIsRaised) {
    EXPECT_THROW(log.OpenMonthLog(folder / "no-existe/"), OsError);
    EXPECT_EQ(log.lastMonthLogPath(), folder / "no-existe/Log Backup Veltor 202612.txt");
}

} // namespace
} // namespace veltor
