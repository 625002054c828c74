// The status file's form, and the status check's judgement of a company against its schedule.

#include "status/Json.h"
#include "status/Moments.h"
#include "status/StatusCheck.h"
#include "status/StatusFile.h"
#include "tests/support/FakeFileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace veltor::test {
namespace {

using catalogue::ScheduleOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

long long At(const char* iso) {
    return SecondsOf(*ParseIsoText(iso));
}

// The form the program has always written: what the library writes otherwise is bridged here.
TEST(Json, WritesTwoBlanksALevelUtf8WholeNumbersAndEveryControlAsAnEscape) {
    const json::Value written = {{"text", "a \"q\" \\\n\t\b\f\x01\x7F"},
                                 {"name", "Compa\xF1\xED\x61 \x80"},
                                 {"whole", 2.0},
                                 {"fraction", 2.5},
                                 {"flags", {true, nullptr}},
                                 {"empty", json::Value::object()}};
    EXPECT_EQ(json::Write(written), "{\n"
                                    "  \"text\": \"a \\\"q\\\" \\\\\\n\\t\\u0008\\u000c\\u0001\x7F\",\n"
                                    "  \"name\": \"Compañía €\",\n"
                                    "  \"whole\": 2,\n"
                                    "  \"fraction\": 2.5,\n"
                                    "  \"flags\": [\n"
                                    "    true,\n"
                                    "    null\n"
                                    "  ],\n"
                                    "  \"empty\": {}\n"
                                    "}\n");
}

TEST(Json, ReadsBytesThatAreNotUtf8AsWindows1252) {
    const json::Value read = json::Parse("{\"name\": \"Compa\xF1\xED\x61\", \"n\": 1}");
    EXPECT_EQ(json::Text(read, "name"), "Compañía");
    EXPECT_EQ(json::Text(read, "n", "not a text"), "not a text");
    EXPECT_EQ(json::Text(json::Value::array(), "name"), "");
    EXPECT_TRUE(json::Parse("{\"name\": \"Compa").is_discarded());
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

TEST(Moments, RefuseWhatTheCalendarHasNotAndCountBefore1970) {
    EXPECT_FALSE(ParseIsoText("1900-02-29T00:00:00"));
    EXPECT_TRUE(ParseIsoText("2000-02-29T00:00:00"));
    for (const char* impossible : {"2026-04-31T00:00:00", "2026-13-01T00:00:00", "2026-00-10T00:00:00",
                                   "2026-12-00T00:00:00", "2026-12-07T23:60:00", "2026-12-07T23:59:60"})
        EXPECT_FALSE(ParseIsoText(impossible)) << impossible;
    EXPECT_EQ(IsoText(MomentOfSeconds(-1)), "1969-12-31T23:59:59");
    EXPECT_EQ(MomentOfSeconds(-1).weekday, 3); // a Wednesday
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

class StatusEvaluation : public ::testing::Test {
protected:
    CheckState StateAt(const char* now, const std::string& statusFileProblem = {}) {
        summary = EvaluateStatus(rows, book, At(now), 1800, statusFileProblem);
        return summary.companies.at(0).state;
    }
    // A backup of UNO that was done (and verified) at `at`, as the run writes it down.
    void GoodBackupAt(const char* at) {
        const BackupRecord good{at, kBackupDone, "", "/b/UNO.GBK", 8192, 1.5, true, ""};
        CompanyStatus& uno = book.Company("1", "001", "UNO");
        uno.lastAttempt = uno.lastGood = uno.lastVerified = good;
    }
    void CycleOf(const std::string& id, const char* outcome, const char* message = "") {
        book.Company(id, "00" + id, "").lastCycle = CycleRecord{"2026-12-07T03:00:00", outcome, message};
    }
    std::string Line(std::size_t company) const {
        const std::string text = StatusText(summary);
        std::size_t start = 0;
        for (std::size_t i = 0; i <= company; ++i)
            start = text.find('\n', start) + 1;
        return text.substr(start, text.find('\n', start) - start);
    }
    std::vector<CompanyRow> rows = {
        {"1", "001", "UNO", ScheduleOf("S", "12:45", ":", ":", "N", "00"), At("2026-12-06T12:45:00")},
        {"2", "002", "SIN BACKUP", ScheduleOf("N", "12:45", ":", ":", "N", "00"), std::nullopt}};
    StatusBook book;
    StatusSummary summary;
};

TEST_F(StatusEvaluation, LatenessIsMeasuredFromTheFirstMissedTime) {
    GoodBackupAt("2026-12-06T12:45:00");
    // Due again at 12:45 of the 7th; a period of half an hour is allowed, both ends included.
    EXPECT_EQ(StateAt("2026-12-07T13:15:00"), CheckState::Ok);
    EXPECT_EQ(StateAt("2026-12-07T13:16:00"), CheckState::Warning);
    EXPECT_EQ(StateAt("2026-12-08T12:45:00"), CheckState::Warning);
    EXPECT_EQ(StateAt("2026-12-08T12:46:00"), CheckState::Critical);
    EXPECT_EQ(summary.state, CheckState::Critical);
    // Companies that take no backups are not judged.
    EXPECT_EQ(summary.companies.size(), 1u);
    EXPECT_THAT(StatusText(summary), HasSubstr("VELTOR BACKUPS CRITICAL - 1 empresas con Backup: 0 al día"));
    EXPECT_EQ(json::Parse(StatusJson(summary))["exitCode"], 2);
}

// The run stamps the catalogue before it verifies, and writes the status file after: only the
// file can tell a good backup, and a failed verification never leaves a company OK.
TEST_F(StatusEvaluation, AFailedLastAttemptWarnsAndAFailedVerificationIsNoGoodBackup) {
    const BackupRecord failedVerification{
        "2026-12-07T12:45:00", kBackupFailed, "Verificación fallida: falta la tabla X", "", {}, {}, false, ""};
    book.Company("1", "001", "UNO").lastAttempt = failedVerification;
    // The catalogue's stamp of the same minute is the failed backup's own: it does not count,
    // and no good backup is known.
    rows[0].stamped = At("2026-12-07T12:45:00");
    EXPECT_EQ(StateAt("2026-12-07T12:50:00"), CheckState::Critical);
    EXPECT_FALSE(summary.companies[0].lastGood);
    // Nor does the stamp of a backup before the last attempt: the failed verification at 12:45,
    // then a backup at 20:00 that failed and stamped nothing.
    book.Company("1", "001", "UNO").lastAttempt =
        BackupRecord{"2026-12-07T20:00:00", kBackupFailed, "I/O error", "", {}, {}, {}, ""};
    EXPECT_EQ(StateAt("2026-12-07T20:05:00"), CheckState::Critical);
    EXPECT_FALSE(summary.companies[0].lastGood);
    // A good backup the file knows, older than the failed attempt, keeps it on time but not OK.
    GoodBackupAt("2026-12-06T20:00:00");
    book.Company("1", "001", "UNO").lastAttempt = failedVerification;
    rows[0].stamped = At("2026-12-07T12:45:00");
    EXPECT_EQ(StateAt("2026-12-07T12:50:00"), CheckState::Warning);
    EXPECT_EQ(summary.companies[0].lastGood, At("2026-12-06T20:00:00"));
    EXPECT_THAT(StatusText(summary), HasSubstr("último intento: failed (Verificación fallida: falta la tabla X)"));
    EXPECT_THAT(Line(0), HasSubstr(" | falló el último intento"));
    // A record that says its verification failed is no good backup, whatever its outcome says.
    CompanyStatus& uno = book.Company("1", "001", "UNO");
    uno.lastGood->verified = false;
    uno.lastAttempt = uno.lastGood;
    EXPECT_EQ(StateAt("2026-12-07T12:50:00"), CheckState::Critical);
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
    CycleOf("1", kCycleRefused, "hubo transacciones\nOK");
    rows[0].cycled = true;
    StateAt("2026-12-07T12:50:00");
    const std::string text = StatusText(summary);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_THAT(text, HasSubstr(" 001 UNO<0A>OK 002 FALSA | "));
    EXPECT_THAT(text, HasSubstr("(I/O error during \"open\"<0A>-Error while trying to open file)"));
    EXPECT_THAT(text, HasSubstr("(hubo transacciones<0A>OK)"));
    summary.problem = "no se pudo leer el cat\xE1logo\r\nOK";
    summary.companies.clear(); // as when the catalogue cannot be read
    summary.state = CheckState::Critical;
    EXPECT_EQ(StatusText(summary), "VELTOR BACKUPS CRITICAL - no se pudo leer el cat\xC3\xA1logo<0D><0A>OK\n");
}

TEST_F(StatusEvaluation, NeverBackedUpIsCritical) {
    rows[0].stamped.reset();
    EXPECT_EQ(StateAt("2026-12-07T12:00:00"), CheckState::Critical);
    EXPECT_EQ(summary.companies[0].nextDue, At("2026-12-07T12:45:00"));
}

// A cycle that did not swap warns until one swaps, while the timer's cycles take the company;
// one cycled without scheduled backups is listed for its cycles alone.
TEST_F(StatusEvaluation, ALastGoodBackupWithoutItsCheckedCopyForADayWarnsWhereCopiesAreAsked) {
    const auto state = [&](const char* now, bool copiesAsked) {
        summary = EvaluateStatus(rows, book, At(now), 1800, {}, copiesAsked);
        return summary.companies.at(0).state;
    };
    // A day after, the next day's backup is due but not late yet.
    GoodBackupAt("2026-12-07T12:46:00");
    EXPECT_EQ(state("2026-12-08T12:46:00", true), CheckState::Ok);
    EXPECT_EQ(state("2026-12-08T12:46:01", true), CheckState::Warning);
    EXPECT_THAT(summary.companies[0].why, HasSubstr("sin copia externa del último Backup desde hace"));
    EXPECT_EQ(state("2026-12-08T12:46:01", false), CheckState::Ok);
    // A checked copy of an older backup is not the copy of the last one.
    CompanyStatus& uno = book.Company("1", "001", "UNO");
    uno.lastCheckedCopy = CopyRecord{"2026-12-06T13:00:00", kCopyDone, "", "/b/OTRO.GBK", "/nas/OTRO.GBK"};
    EXPECT_EQ(state("2026-12-08T12:46:01", true), CheckState::Warning);
    uno.lastCheckedCopy->file = "/b/UNO.GBK";
    EXPECT_EQ(state("2026-12-08T12:46:01", true), CheckState::Ok);

    // The records of the copies are kept in the file.
    uno.lastCopy = CopyRecord{"2026-12-08T13:00:00", kCopyFailed, "sin red", "/b/UNO2.GBK", ""};
    const std::optional<StatusBook> again = StatusBook::FromJson(book.ToJson("2026-12-08T13:00:01"));
    const CompanyStatus* read = again->Find("1");
    EXPECT_EQ(read->lastCopy->message, "sin red");
    EXPECT_EQ(read->lastCheckedCopy->copy, "/nas/OTRO.GBK");
}

TEST_F(StatusEvaluation, ACycleThatDidNotSwapWarnsUntilOneSwaps) {
    GoodBackupAt("2026-12-07T12:45:00");
    rows[0].cycled = rows[1].cycled = true;
    for (const char* outcome : {kCycleRefused, kCycleGivenUp, kCycleFailed}) {
        CycleOf("1", outcome, "hubo 3 transacciones");
        EXPECT_EQ(StateAt("2026-12-07T13:00:00"), CheckState::Warning) << outcome;
        EXPECT_EQ(Line(0), std::string("WARNING 001 UNO | último Backup válido 2026-12-07 12:45 (hace 15 min) | ") +
                               "último intento: done | último Backup-Restore: " + outcome +
                               " (hubo 3 transacciones) | próximo 2026-12-08 12:45 | falló el último Backup-Restore");
    }
    const json::Value cycle = json::Parse(StatusJson(summary))["companies"][0]["lastCycle"];
    EXPECT_EQ(cycle["outcome"], kCycleFailed);
    EXPECT_EQ(cycle["message"], "hubo 3 transacciones");
    EXPECT_EQ(summary.companies.size(), 1u) << "SIN BACKUP has no cycle to tell";

    CycleOf("1", kCycleSwapped, "el servicio no volvió a iniciar");
    CycleOf("2", kCycleGivenUp, "sin espacio");
    EXPECT_EQ(StateAt("2026-12-07T13:00:00"), CheckState::Ok);
    EXPECT_THAT(Line(0), HasSubstr(" | último Backup-Restore: swapped (el servicio no volvió a iniciar) | "));
    EXPECT_EQ(Line(1), "WARNING 002 SIN BACKUP | no toma Backups programados | último Backup-Restore: given up "
                       "(sin espacio) | falló el último Backup-Restore");
    rows[1].cycled = false;
    EXPECT_EQ(StateAt("2026-12-07T13:00:00"), CheckState::Ok);
    EXPECT_EQ(summary.companies.size(), 1u);
}

// Without the status file no backup can be told good, however fresh the catalogue's stamps.
TEST_F(StatusEvaluation, WithoutAReadableStatusFileNothingIsJudged) {
    rows[0].stamped = At("2026-12-07T12:45:00");
    EXPECT_EQ(StateAt("2026-12-07T13:00:00", "no se encontró el archivo de estado /b/x.json"), CheckState::Unknown);
    EXPECT_EQ(summary.state, CheckState::Unknown);
    EXPECT_THAT(StatusText(summary), StartsWith("VELTOR BACKUPS UNKNOWN - no se encontró el archivo de estado /b/x.json"
                                                "\nUNKNOWN 001 UNO | Backup sin verificar según el catálogo "));
    EXPECT_EQ(json::Parse(StatusJson(summary))["exitCode"], 3);
}

// A company the status file does not know (backed up before the file had it): its stamp cannot
// make it OK, but it can show that the company is late all the same.
TEST_F(StatusEvaluation, AStampTheStatusFileDoesNotKnowIsNoGoodBackup) {
    EXPECT_EQ(StateAt("2026-12-07T13:15:00"), CheckState::Unknown);
    EXPECT_EQ(Line(0), "UNKNOWN 001 UNO | Backup sin verificar según el catálogo 2026-12-06 12:45 (hace 1 d 0 h) | "
                       "próximo 2026-12-08 12:45 | el archivo de estado no registra sus Backups");
    EXPECT_EQ(StateAt("2026-12-07T13:16:00"), CheckState::Warning);
    EXPECT_EQ(StateAt("2026-12-08T12:46:00"), CheckState::Critical);
    // In the sum, OK < UNKNOWN < WARNING < CRITICAL.
    EXPECT_EQ(WorseState(CheckState::Unknown, CheckState::Warning), CheckState::Warning);
    rows.push_back({"3", "003", "TRES", rows[0].schedule, {}});
    book.Company("3", "003", "TRES").lastGood =
        BackupRecord{"2026-12-07T12:45:00", kBackupDone, "", "", {}, {}, {}, ""};
    StateAt("2026-12-07T13:00:00");
    EXPECT_EQ(summary.state, CheckState::Unknown);
    EXPECT_THAT(StatusText(summary), StartsWith("VELTOR BACKUPS UNKNOWN - 2 empresas con Backup: 1 al día, 0 en "
                                                "advertencia, 0 críticas, 1 sin juzgar\n"));
}

TEST(StatusBook, KeepsTheLastRestoreAndTheRecentBackupsWithTheirCounters) {
    StatusBook book;
    CompanyStatus& uno = book.Company("1", "001", "UNO");
    uno.lastRestore = RestoreRecord{"2026-12-08T10:00:00", kRestoreDone, "", "/b/a.GBK", "/srv/a.fdb", true};
    for (int i = 0; i <= static_cast<int>(kRecentBackups); ++i) {
        BackupRecord record{"2026-12-07T12:45:03", kBackupDone, "", "/b/" + std::to_string(i) + ".GBK"};
        record.nextTransaction = i;
        uno.recentBackups.push_back(record);
    }
    uno.recentBackups[1].nextTransaction = std::nullopt;
    book.Company("2", "002", "DOS");

    std::string text = book.ToJson("2026-12-08T10:00:01");
    const std::optional<StatusBook> read = StatusBook::FromJson(text);
    ASSERT_TRUE(read);
    const CompanyStatus& again = *read->Find("1");
    ASSERT_TRUE(again.lastRestore);
    EXPECT_EQ(again.lastRestore->target, "/srv/a.fdb");
    EXPECT_TRUE(again.lastRestore->replaced);
    // A file with more than the limit is read up to it.
    ASSERT_EQ(again.recentBackups.size(), kRecentBackups);
    EXPECT_EQ(again.recentBackups.back().file, "/b/19.GBK");
    EXPECT_EQ(again.recentBackups[0].nextTransaction, 0);
    EXPECT_FALSE(again.recentBackups[1].nextTransaction);
    // A company without them is written as before.
    EXPECT_FALSE(json::Parse(text)["companies"][1].contains("recentBackups"));
    EXPECT_FALSE(json::Parse(text)["companies"][1].contains("lastRestore"));

    // A counter the program cannot have written is no counter.
    for (const char* bad : {"-1", "9223372036854775808", "1.5", "\"7\""}) {
        const std::string written = "\"nextTransaction\": 0";
        std::string edited = text;
        edited.replace(edited.find(written), written.size(), std::string("\"nextTransaction\": ") + bad);
        EXPECT_FALSE(StatusBook::FromJson(edited)->Find("1")->recentBackups[0].nextTransaction) << bad;
    }
}

TEST(StatusBook, LoadingSaysWhyAFileCouldNotBeRead) {
    test::FakeFileSystem files;
    const std::string path = "/b/" + std::string(kStatusFileName);
    const auto problem = [&] {
        std::string said;
        LoadStatusBook(files, path, &said);
        return said;
    };
    EXPECT_THAT(problem(), StartsWith("no se encontró el archivo de estado " + path + ": "));
    files.AddFile(path, "{\"program\": \"veltor-backups\", \"comp");
    EXPECT_EQ(problem(), "el archivo de estado no es legible: " + path);
    files.unreadable.insert(path);
    EXPECT_THAT(problem(), StartsWith("no se pudo leer el archivo de estado " + path + ": "));
    files.unreadable.clear();
    files.AddFile(path, StatusBook().ToJson(""));
    EXPECT_EQ(problem(), "");
}

} // namespace
} // namespace veltor::test
