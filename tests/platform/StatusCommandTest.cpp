// veltor-backups-console --status as a monitoring system runs it, against the local server:
// the exit codes 0 to 3, the summary line first, and the same for machines with --json.

#include "status/Json.h"
#include "status/StatusFile.h"
#include "tests/support/CatalogueFixture.h"
#include "tests/support/FirebirdServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sys/wait.h>

namespace veltor::test {
namespace {

// As in the other process tests: the client library's exit is not leak-checked in children.
const bool kChildrenWithoutLeakCheck = (setenv("ASAN_OPTIONS", "detect_leaks=0", 1), true);

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Outcome {
    int exitCode = -1;
    std::string out;
};

// The local moment `hoursAgo` hours back, formatted.
std::string HoursAgo(int hoursAgo, const char* format) {
    const std::time_t then = std::time(nullptr) - hoursAgo * 3600;
    std::tm local{};
    localtime_r(&then, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

class StatusCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
        ASSERT_NO_FATAL_FAILURE(catalogue.CreateCatalogue());
        catalogue.WriteConfiguration(catalogue.folder.path());
    }

    Outcome Status(const std::string& options = "") {
        const std::string out = catalogue.folder / "stdout.txt";
        const std::string command = "cd '" + catalogue.folder.path() + "' && '" + VELTOR_CONSOLE_EXE + "' --status " +
                                    options + " >'" + out + "' 2>&1 </dev/null";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out)};
    }

    // A daily company due two hours ago, last backed up `hoursAgo` hours ago: stamped in the
    // catalogue and written down in the status file as the run does.
    void AddCompanyBackedUp(int id, int hoursAgo) {
        const std::string code = "00" + std::to_string(id);
        const std::string name = "EMPRESA " + std::to_string(id);
        catalogue.AddCompany(
            {.id = id, .codigo = code, .nombre = name, .archivo = "/x.fdb", .horaBackup01 = HoursAgo(2, "%H:%M")});
        catalogue.Sql("UPDATE EMPRESAS SET FECHAULTBACKUP = '" + HoursAgo(hoursAgo, "%Y-%m-%d") +
                      "', HORAULTBACKUP = '" + HoursAgo(hoursAgo, "%H:%M") +
                      "' WHERE EMPRESAID = " + std::to_string(id) + "; COMMIT;");
        CompanyStatus& company = book.Company(std::to_string(id), code, name);
        company.lastAttempt = company.lastGood =
            BackupRecord{HoursAgo(hoursAgo, "%Y-%m-%dT%H:%M:00"), kBackupDone, "", "", {}, {}, {}, ""};
        WriteStatusFile();
    }
    void WriteStatusFile() { WriteFile(StatusBook::PathIn(catalogue.backupFolder), book.ToJson("")); }

    CatalogueFixture catalogue;
    StatusBook book;
};

TEST_F(StatusCommandTest, TheExitCodeIsTheWorstCompanysState) {
    AddCompanyBackedUp(1, 1); // after its time: on time
    catalogue.AddCompany({.id = 9, .codigo = "009", .nombre = "SIN BACKUP", .archivo = "/y.fdb", .realizaBackup = "N"});
    Outcome outcome = Status();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.out;
    EXPECT_THAT(outcome.out, StartsWith("VELTOR BACKUPS OK - 1 empresas con Backup: 1 al día"));
    EXPECT_THAT(outcome.out, HasSubstr("\nOK 001 EMPRESA 1 | último Backup válido "));

    AddCompanyBackedUp(2, 3); // missed its time two hours ago: late
    outcome = Status();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.out;
    EXPECT_THAT(outcome.out, StartsWith("VELTOR BACKUPS WARNING - 2 empresas con Backup: 1 al día, 1 en advertencia"));

    AddCompanyBackedUp(3, 50); // missed its time 26 hours ago
    outcome = Status("--json");
    EXPECT_EQ(outcome.exitCode, 2) << outcome.out;
    const json::Value report = json::Parse(outcome.out);
    ASSERT_FALSE(report.is_discarded()) << outcome.out;
    EXPECT_EQ(report["status"], "CRITICAL");
    EXPECT_EQ(report["exitCode"], 2);
    const json::Value& companies = report["companies"];
    ASSERT_EQ(companies.size(), 3u);
    EXPECT_EQ(companies[1]["state"], "WARNING");
    EXPECT_EQ(companies[2]["state"], "CRITICAL");
}

TEST_F(StatusCommandTest, AFailedLastAttemptInTheStatusFileWarns) {
    AddCompanyBackedUp(1, 1);
    book.Company("1", "001", "EMPRESA 1").lastAttempt =
        BackupRecord{HoursAgo(0, "%Y-%m-%dT%H:%M:%S"), kBackupFailed, "I/O error", "", {}, {}, {}, ""};
    WriteStatusFile();
    const Outcome outcome = Status();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.out;
    EXPECT_THAT(outcome.out, HasSubstr("último intento: failed (I/O error)"));
}

// The catalogue's stamps are written before verification: without the status file the check
// cannot tell a good backup and says so.
TEST_F(StatusCommandTest, WithoutAReadableStatusFileTheCheckIsUnknown) {
    AddCompanyBackedUp(1, 1);
    const std::string path = StatusBook::PathIn(catalogue.backupFolder);
    std::remove(path.c_str());
    const Outcome outcome = Status();
    EXPECT_EQ(outcome.exitCode, 3) << outcome.out;
    EXPECT_THAT(outcome.out, StartsWith("VELTOR BACKUPS UNKNOWN - no se encontró el archivo de estado " + path +
                                        ": No such file or directory; no se juzga ningún Backup\n"));
}

// The timer's cycles take companies by REALIZARESTORE, whether or not they take backups.
TEST_F(StatusCommandTest, ACycleThatDidNotSwapWarnsForACompanyWithoutBackups) {
    AddCompanyBackedUp(1, 1);
    catalogue.AddCompany({.id = 9,
                          .codigo = "009",
                          .nombre = "SOLO CICLO",
                          .archivo = "/y.fdb",
                          .realizaBackup = "N",
                          .realizaRestore = "S",
                          .horaRestore = "03:00"});
    book.Company("9", "009", "SOLO CICLO").lastCycle =
        CycleRecord{HoursAgo(3, "%Y-%m-%dT%H:%M:%S"), kCycleRefused, "hubo 2 transacciones"};
    WriteStatusFile();
    const Outcome outcome = Status();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.out;
    EXPECT_THAT(outcome.out, HasSubstr("\nWARNING 009 SOLO CICLO | no toma Backups programados | "));
}

TEST_F(StatusCommandTest, ACatalogueThatCannotBeReadIsCritical) {
    WriteFile(catalogue.folder / "ADMINBD.inf", "RUTABD=/nonexistent/ADMIN.FDB\nSERVIDOR=localhost\n");
    Outcome outcome = Status();
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_THAT(outcome.out,
                StartsWith("VELTOR BACKUPS CRITICAL - no se pudo leer el catálogo localhost:/nonexistent"));
    // No configuration at all: the box's text is in the report, nothing waits for anybody.
    std::remove((catalogue.folder / "ADMINBD.inf").c_str());
    outcome = Status("--json");
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_THAT(json::Text(json::Parse(outcome.out), "problem"), HasSubstr("No se encontró el archivo ADMINBD.inf"));
}

} // namespace
} // namespace veltor::test
