// The status file's form, and the status check's judgement of a company against its schedule.

#include "backup/Json.h"
#include "backup/Moments.h"
#include "backup/StatusCheck.h"
#include "backup/StatusFile.h"
#include "backup/Verification.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace veltor::test {
namespace {

using ::testing::HasSubstr;

long long At(const char* iso) {
    return SecondsOf(*ParseIsoText(iso));
}

TEST(Json, ReadsWhatItWritesAndRefusesWhatIsNotJson) {
    const json::Value written(json::Object{{"text", "a \"quoted\" \\ line\nnext\x01"},
                                           {"number", 1234567890123},
                                           {"fraction", 2.5},
                                           {"flags", json::Array{true, false, nullptr}},
                                           {"empty", json::Object{}}});
    const std::optional<json::Value> read = json::Parse(json::Write(written));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Text("text"), "a \"quoted\" \\ line\nnext\x01");
    EXPECT_EQ(read->Number("number"), 1234567890123.0);
    EXPECT_EQ(read->Number("fraction"), 2.5);
    EXPECT_EQ(json::Write(*read), json::Write(written));
    EXPECT_EQ(json::Parse(R"({"a": "\u00e9\ud83d\ude00"})")->Text("a"), "\xC3\xA9\xF0\x9F\x98\x80");
    for (const char* bad :
         {"", "{", "{\"a\" 1}", "[1,]", "{\"a\":1}x", "\"\\ud800\"", "\"tab\there\"", "01x", "{\"a\": tru}", "-"})
        EXPECT_FALSE(json::Parse(bad)) << bad;
    std::string deep(65, '[');
    deep += std::string(65, ']');
    EXPECT_FALSE(json::Parse(deep));
    EXPECT_TRUE(json::Parse(std::string(64, '[') + std::string(64, ']')));
}

TEST(Json, BytesThatAreNotUtf8AreReadAsWindows1252) {
    // "Compañía" from a catalogue in the Windows code page, and the euro sign.
    EXPECT_EQ(json::ToUtf8("Compa\xF1\xED\x61 \x80"), "Compañía €");
    EXPECT_EQ(json::ToUtf8("Compañía"), "Compañía");
    // Overlong and cut sequences are not UTF-8.
    EXPECT_EQ(json::ToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(json::ToUtf8("\xE2\x82"), "\xC3\xA2\xE2\x80\x9A");
}

TEST(Moments, CountAcrossMonthsAndLeapYears) {
    EXPECT_EQ(IsoText(MomentOfSeconds(At("2024-02-28T23:59:00") + 60)), "2024-02-29T00:00:00");
    EXPECT_EQ(IsoText(MomentOfSeconds(At("2026-12-31T23:59:59") + 1)), "2027-01-01T00:00:00");
    EXPECT_EQ(MomentOfSeconds(At("2026-12-07T12:00:00")).weekday, 1); // a Monday
    EXPECT_FALSE(ParseIsoText("2026-02-29T00:00:00"));
    EXPECT_TRUE(ParseIsoText("2024-02-29T00:00:00"));
    EXPECT_FALSE(ParseIsoText("2026-12-07 12:00:00"));
    EXPECT_FALSE(ParseIsoText("2026-12-07T24:00:00"));
}

TEST(StatusBook, KeepsOneEntryPerCompanyAndDropsThoseThatLeft) {
    StatusBook book;
    BackupRecord good{"2026-12-07T12:45:03", kBackupDone, "", "/b/UNO-20261207-1245.GBK", 8192, 1.5, true, ""};
    book.Company("1", "001", "UNO").lastGood = good;
    book.Company("2", "002", "DOS").lastCycle = CycleRecord{"2026-12-07T03:00:00", kCycleRefused, "hubo transacciones"};
    book.Company("1", "001", "UNO NUEVO").lastAttempt = good;
    ASSERT_EQ(book.companies().size(), 2u);

    const std::optional<StatusBook> read = StatusBook::FromJson(book.ToJson("2026-12-07T12:46:00"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->updatedAt(), "2026-12-07T12:46:00");
    const CompanyStatus* uno = read->Find("1");
    ASSERT_TRUE(uno);
    EXPECT_EQ(uno->name, "UNO NUEVO");
    ASSERT_TRUE(uno->lastGood);
    EXPECT_EQ(uno->lastGood->bytes, 8192u);
    EXPECT_EQ(uno->lastGood->verified, true);
    EXPECT_FALSE(uno->lastVerified);
    EXPECT_EQ(read->Find("2")->lastCycle->outcome, kCycleRefused);

    book.KeepOnly({"2"});
    EXPECT_FALSE(book.Find("1"));
    EXPECT_TRUE(book.Find("2"));
    EXPECT_FALSE(StatusBook::FromJson("{\"program\": \"other\", \"companies\": []}"));
    EXPECT_FALSE(StatusBook::FromJson("{\"program\": \"veltor-backups\", \"comp"));
}

TEST(BackupSchedule, FollowsTheDueSelectionsRule) {
    // Daily at 12:45 and 20:00.
    const BackupSchedule daily = ScheduleOf("S", "12:45", "20:00", ":", "N", "00");
    EXPECT_EQ(NextDueAfter(daily, At("2026-12-07T12:45:00"), At("2026-12-07T12:45:00")), At("2026-12-07T20:00:00"));
    EXPECT_EQ(NextDueAfter(daily, At("2026-12-07T20:00:00"), At("2026-12-07T20:00:00")), At("2026-12-08T12:45:00"));
    // Blank but not NULL is midnight; ":" is not set; a time the server would refuse is left out.
    EXPECT_EQ(ScheduleOf("S", "  ", " : ", "25:00", "N", "00").times, std::vector<int>{0});
    EXPECT_FALSE(ScheduleOf("N", "12:45", ":", ":", "N", "00").takesBackups);
    EXPECT_FALSE(NextDueAfter(ScheduleOf("N", "12:45", ":", ":", "N", "00"), std::nullopt, 0));
    // The 30th is the 27th in February; a monthly company is due any day once 31 days are past.
    const BackupSchedule monthly = ScheduleOf("S", "12:45", ":", ":", "N", "30");
    EXPECT_EQ(NextDueAfter(monthly, At("2026-01-30T12:45:00"), At("2026-01-30T12:45:00")), At("2026-02-27T12:45:00"));
    const BackupSchedule day31 = ScheduleOf("S", "12:45", ":", ":", "N", "31");
    EXPECT_EQ(NextDueAfter(day31, At("2026-03-31T12:45:00"), At("2026-03-31T12:45:00")), At("2026-05-02T12:45:00"));
    // Monthly-only with a time not set: due at the first run once overdue, at whatever time.
    const BackupSchedule untimed = ScheduleOf("S", ":", ":", ":", "S", "01");
    EXPECT_EQ(NextDueAfter(untimed, At("2026-11-01T10:00:00"), At("2026-11-01T10:00:00")), At("2026-12-03T00:00:00"));
    EXPECT_EQ(NextDueAfter(untimed, std::nullopt, At("2026-11-01T10:00:00")), At("2026-11-01T10:01:00"));
    // No time and not monthly-only: never due.
    EXPECT_FALSE(NextDueAfter(ScheduleOf("S", ":", ":", ":", "N", "00"), std::nullopt, 0));
}

class StatusEvaluation : public ::testing::Test {
protected:
    CheckState StateAt(const char* now) {
        summary = EvaluateStatus(rows, book, At(now), 1800);
        return summary.companies.at(0).state;
    }
    std::vector<CompanyRow> rows = {
        {"1", "001", "UNO", ScheduleOf("S", "12:45", ":", ":", "N", "00"), At("2026-12-06T12:45:00")},
        {"2", "002", "SIN BACKUP", ScheduleOf("N", "12:45", ":", ":", "N", "00"), std::nullopt}};
    StatusBook book;
    StatusSummary summary;
};

TEST_F(StatusEvaluation, LatenessIsMeasuredFromTheFirstMissedTime) {
    // Due again at 12:45 of the 7th; a period of half an hour is allowed, both ends included.
    EXPECT_EQ(StateAt("2026-12-07T13:15:00"), CheckState::Ok);
    EXPECT_EQ(StateAt("2026-12-07T13:16:00"), CheckState::Warning);
    EXPECT_EQ(StateAt("2026-12-08T12:45:00"), CheckState::Warning);
    EXPECT_EQ(StateAt("2026-12-08T12:46:00"), CheckState::Critical);
    EXPECT_EQ(summary.state, CheckState::Critical);
    // Companies that take no backups are not judged.
    EXPECT_EQ(summary.companies.size(), 1u);
    EXPECT_THAT(StatusText(summary), HasSubstr("VELTOR BACKUPS CRITICAL - 1 empresas con Backup: 0 al día"));
    EXPECT_EQ(json::Parse(StatusJson(summary))->Number("exitCode"), 2.0);
}

TEST_F(StatusEvaluation, AFailedLastAttemptWarnsAndAFailedVerificationIsNoGoodBackup) {
    book.Company("1", "001", "UNO").lastAttempt = BackupRecord{
        "2026-12-07T12:45:00", kBackupFailed, "Verificación fallida: falta la tabla X", "", {}, {}, false, ""};
    // The catalogue's stamp of the same minute is the failed backup's own: it does not count,
    // and no good backup is known.
    rows[0].stamped = At("2026-12-07T12:45:00");
    EXPECT_EQ(StateAt("2026-12-07T12:50:00"), CheckState::Critical);
    EXPECT_FALSE(summary.companies[0].lastGood);
    // The stamp of an earlier backup counts.
    rows[0].stamped = At("2026-12-06T20:00:00");
    EXPECT_EQ(StateAt("2026-12-07T12:50:00"), CheckState::Warning);
    EXPECT_EQ(summary.companies[0].lastGood, At("2026-12-06T20:00:00"));
    EXPECT_THAT(StatusText(summary), HasSubstr("último intento: failed (Verificación fallida: falta la tabla X)"));
}

// A server's message spans lines, a name may hold anything: each company stays on its line, as
// monitoring reads one line per company after the summary.
TEST_F(StatusEvaluation, EachCompanyIsOneLineWhateverItsValuesHold) {
    rows[0].name = "UNO\nOK 002 FALSA";
    book.Company("1", "001", "UNO").lastAttempt =
        BackupRecord{"2026-12-07T12:45:00",
                     kBackupFailed,
                     "I/O error during \"open\"\n-Error while trying to open file",
                     "",
                     {},
                     {},
                     {},
                     ""};
    StateAt("2026-12-07T12:50:00");
    const std::string text = StatusText(summary);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_THAT(text, HasSubstr(" 001 UNO<0A>OK 002 FALSA | "));
    EXPECT_THAT(text, HasSubstr("(I/O error during \"open\"<0A>-Error while trying to open file)"));
    summary.problem = "no se pudo leer el cat\xE1logo\r\nOK";
    EXPECT_EQ(StatusText(summary), "VELTOR BACKUPS WARNING - no se pudo leer el cat\xC3\xA1logo<0D><0A>OK\n");
}

TEST_F(StatusEvaluation, NeverBackedUpIsCritical) {
    rows[0].stamped.reset();
    EXPECT_EQ(StateAt("2026-12-07T12:00:00"), CheckState::Critical);
    EXPECT_EQ(summary.companies[0].nextDue, At("2026-12-07T12:45:00"));
}

TEST(BackupOutput, TablesAndRowsAreTheLastCountOfEachTable) {
    const TableRows rows = TableRowsOfBackupOutput(
        {"gbak:writing tables ", "gbak:    writing table MOVS ", "gbak:    writing data for table EMPTY1 ",
         "gbak:0 records written ", "gbak:    writing data for table lower t ", "gbak:1 records written ",
         "gbak:    writing data for table MOVS ", "gbak:10000 records written ", "gbak:45002 records written ",
         "gbak:writing security classes "});
    EXPECT_EQ(rows, (TableRows{{"EMPTY1", 0}, {"lower t", 1}, {"MOVS", 45002}}));
    EXPECT_EQ(CompareTableRows(rows, rows), "");
    EXPECT_EQ(CompareTableRows(rows, {{"EMPTY1", 0}, {"MOVS", 45001}, {"OTRA", 3}}),
              "la tabla MOVS tiene 45001 filas en lugar de 45002; falta la tabla lower t; la tabla OTRA no está en el "
              "Backup");
    EXPECT_EQ(ScratchDatabaseName("/b/UNO-20261207-1245.GBK"), "/b/UNO-20261207-1245-Verifica.FDB");
}

} // namespace
} // namespace veltor::test
