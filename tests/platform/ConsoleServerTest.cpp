// The headless program as an administrator runs it, against the local Firebird server.

#include "tests/support/CatalogueFixture.h"
#include "tests/support/FirebirdServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

namespace veltor::test {
namespace {

// Whether this minute lies from 12:45 to 13:15, where the backup timer's default window of 30
// minutes holds 12:45.
bool InTheWindowOf1245() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    const int minute = local.tm_hour * 60 + local.tm_min;
    return minute >= 12 * 60 + 45 && minute <= 13 * 60 + 15;
}

// The programs run here load the Firebird client library, whose threads may still be winding
// down at exit, where LeakSanitizer's tracer can crash; their code is leak-checked by the unit
// tests, so the child processes run without the leak check.
const bool kChildrenWithoutLeakCheck = (setenv("ASAN_OPTIONS", "detect_leaks=0", 1), true);

using ::testing::HasSubstr;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome RunConsole(const CatalogueFixture& catalogue, const std::string& option) {
    const std::string out = catalogue.folder / "stdout.txt";
    const std::string err = catalogue.folder / "stderr.txt";
    const std::string command = "cd '" + catalogue.folder.path() + "' && '" + VELTOR_CONSOLE_EXE + "' " + option +
                                " >'" + out + "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    Outcome outcome;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    return outcome;
}

class ConsoleServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
        ASSERT_NO_FATAL_FAILURE(catalogue.CreateCatalogue(false));
        uno = catalogue.CreateCompanyDatabase("uno.fdb", 20);
    }

    std::vector<std::string> Backups() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(catalogue.backupFolder))
            if (entry.path().extension() == ".GBK") names.push_back(entry.path().filename());
        return names;
    }

    CatalogueFixture catalogue;
    std::string uno;
};

TEST_F(ConsoleServerTest, ATickUpgradesTheCatalogueFillsDefaultsAndBacksUpTheDueCompany) {
    // A company never configured: the defaults of an earlier fiscal year make it monthly-only,
    // and never backed up, it is due at once.
    catalogue.Sql(
        "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, NOMBRE, ANOFIS, ARCHIVO) VALUES (1, '001', 'UNO', '2001', '" + uno +
        "'); COMMIT;");
    catalogue.WriteConfiguration(catalogue.folder.path());
    // What a cycle killed with the service stopped leaves; here the server runs all along, so
    // the note goes without a start and without a line.
    WriteFile(catalogue.folder / "ServicioDetenido.inf", "localhost\r\n");

    // Its default time is 12:45: a tick whose window (the default 30 minutes) holds that minute
    // selects the company at its time too, besides the candidate without a time of every
    // monthly-only company, and backs it up twice.
    const bool atItsTimeBefore = InTheWindowOf1245();
    const Outcome tick = RunConsole(catalogue, "--tick");
    const bool atItsTimeAfter = InTheWindowOf1245();
    EXPECT_EQ(tick.exitCode, 0) << tick.err;
    EXPECT_EQ(tick.err, "");
    EXPECT_THAT(tick.out, ::testing::Not(HasSubstr(" Servicio Iniciado: un Backup-Restore que no terminó ")));
    EXPECT_FALSE(std::filesystem::exists(catalogue.folder / "ServicioDetenido.inf"));
    if (atItsTimeBefore == atItsTimeAfter) {
        EXPECT_THAT(tick.out, HasSubstr(atItsTimeBefore ? " Empresas Pendientes de Backup: 2\n"
                                                        : " Empresas Pendientes de Backup: 1\n"));
    }
    EXPECT_THAT(tick.out, HasSubstr(" Finaliza Backup: 001 - UNO\n"));
    EXPECT_THAT(tick.out, HasSubstr("  gbak:"));
    EXPECT_EQ(Backups().size(), 1u);
    EXPECT_EQ(catalogue.Value("SELECT REALIZABACKUP || SOLOBACKUPMENSUAL || DIAMESBACKUP FROM EMPRESAS"), "SS01");

    // Stamped: the next tick finds nothing due.
    const Outcome again = RunConsole(catalogue, "--tick");
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_THAT(again.out, HasSubstr(" Empresas Pendientes de Backup: 0\n"));
    EXPECT_THAT(again.out, ::testing::Not(HasSubstr(" Servicio Iniciado: ")));
}

TEST_F(ConsoleServerTest, ConfigurationMadeFromTheTemplateDrivesTheImmediateRun) {
    catalogue.Sql(
        "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, NOMBRE, ANOFIS, ARCHIVO) VALUES (1, '001', 'UNO', '2001', '" + uno +
        "'); COMMIT;");
    catalogue.WriteConfiguration(catalogue.folder.path());
    std::filesystem::rename(catalogue.folder / "ADMINBD.inf", catalogue.folder / "ADMINBD.cop");

    const Outcome now = RunConsole(catalogue, "--now");
    EXPECT_EQ(now.exitCode, 0) << now.err;
    EXPECT_EQ(now.err, "");
    EXPECT_TRUE(std::filesystem::exists(catalogue.folder / "ADMINBD.inf"));
    EXPECT_THAT(now.out, HasSubstr(" Finaliza Backup: 001 - UNO\n"));
    EXPECT_EQ(Backups().size(), 1u);
}

TEST_F(ConsoleServerTest, ACompanyWhoseBackupFailsEndsTheTickWithOneAfterTheOthersAreDone) {
    catalogue.Sql(
        "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, NOMBRE, ANOFIS, ARCHIVO) VALUES (1, '001', 'UNO', '2001', '" + uno +
        "'); INSERT INTO EMPRESAS (EMPRESAID, CODIGO, NOMBRE, ANOFIS, ARCHIVO) VALUES (2, '002', 'DOS', "
        "'2001', '" +
        (catalogue.folder / "dos-is-gone.fdb") + "'); COMMIT;");
    catalogue.WriteConfiguration(catalogue.folder.path());

    const Outcome tick = RunConsole(catalogue, "--tick");
    EXPECT_EQ(tick.exitCode, 1) << tick.err;
    EXPECT_THAT(tick.out, HasSubstr(" Finaliza Backup: 001 - UNO\n"));
    EXPECT_THAT(tick.out, HasSubstr(" No terminado Backup: 002 - DOS\n"));
    EXPECT_EQ(Backups().size(), 1u);
}

TEST_F(ConsoleServerTest, ATickKilledWhileBackupsRunAtOnceLeavesOnlyTemporaryFilesThatTheNextTickRemoves) {
    for (int id = 1; id <= 2; ++id) {
        const std::string database = catalogue.CreateCompanyDatabase("grande" + std::to_string(id) + ".fdb", 200000);
        catalogue.Sql("INSERT INTO EMPRESAS (EMPRESAID, CODIGO, NOMBRE, ANOFIS, ARCHIVO) VALUES (" +
                      std::to_string(id) + ", '00" + std::to_string(id) + "', 'GRANDE', '2001', '" + database +
                      "'); COMMIT;");
    }
    catalogue.WriteConfiguration(catalogue.folder.path());
    WriteFile(catalogue.folder / "ADMINBD.inf", ReadFile(catalogue.folder / "ADMINBD.inf") + "BACKUPSPARALELO=2\n");
    const std::string pidFile = catalogue.folder / "tick.pid";
    const std::string command = "cd '" + catalogue.folder.path() + "' && { '" + VELTOR_CONSOLE_EXE +
                                "' --tick >/dev/null 2>&1 </dev/null & echo $! >'" + pidFile + "'; }";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const pid_t tick = std::stoi(ReadFile(pidFile));
    auto temporaries = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(catalogue.backupFolder))
            count += entry.path().extension() == ".tmp";
        return count;
    };
    // Killed once the server writes both backups.
    const auto begun = std::chrono::steady_clock::now();
    while (temporaries() < 2 && std::chrono::steady_clock::now() - begun < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(kill(tick, SIGKILL), 0);
    while (kill(tick, 0) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(temporaries(), 2);
    EXPECT_THAT(Backups(), ::testing::IsEmpty()) << "a backup took its name before its turn";

    const Outcome next = RunConsole(catalogue, "--tick");
    EXPECT_EQ(next.exitCode, 0) << next.out;
    EXPECT_THAT(next.out, HasSubstr(" Se borra el archivo de un Backup que no terminó: "));
    EXPECT_THAT(next.out, HasSubstr(" Finaliza Backup: 001 - GRANDE\n"));
    EXPECT_THAT(next.out, HasSubstr(" Finaliza Backup: 002 - GRANDE\n"));
    EXPECT_EQ(temporaries(), 0);
}

TEST_F(ConsoleServerTest, WithoutAConfigurationTheRunReportsNothingIsBackedUpAndTheExitCodeIsTwo) {
    const Outcome tick = RunConsole(catalogue, "--tick");
    EXPECT_EQ(tick.exitCode, 2);
    EXPECT_THAT(tick.err, HasSubstr("No se encontró el archivo ADMINBD.inf"));
    EXPECT_THAT(tick.out, HasSubstr(" No se pudo conectar a lista Empresas ... \n"));
    EXPECT_TRUE(Backups().empty());
}

} // namespace
} // namespace veltor::test
