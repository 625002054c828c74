// The way back against this machine's server, through the headless program as an administrator
// types it: an older backup put in place of a live database that had work since, a backup
// restored into a new file with the live database and the server left alone, bad input that
// touches nothing, and a replacement killed between each two of its steps. These tests stop the
// shared server; they run alone and leave it running.
#include "dbserver/Administrator.h"
#include "dbserver/FirebirdService.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixMaintenance.h"
#include "tests/maintenance/CycleHarness.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/KillSteps.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ShortPauseClock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltor::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class RestoreServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
        live = cycle.OneCompany("emp1.fdb", 50);
    }
    void TearDown() override {
        if (mounted_.size()) umount(mounted_.c_str());
        if (!FirebirdServerAnswers()) StartFirebirdServer();
    }

    std::string Folder() const { return cycle.catalogueFiles.folder.path(); }
    std::string Backups() const { return cycle.catalogueFiles.backupFolder; }
    std::string Rows(const std::string& database) {
        return cycle.catalogueFiles.Value("SELECT COUNT(*) FROM MOVIMIENTOS", database);
    }
    // Work since the backup: `rows` more rows, committed through the server.
    void AddRows(const std::string& database, int rows) {
        RunIsql("SET TERM ^;\nEXECUTE BLOCK AS DECLARE I INTEGER = 100001; BEGIN WHILE (I <= " +
                    std::to_string(100000 + rows) +
                    ") DO BEGIN INSERT INTO MOVIMIENTOS VALUES (:I, 'NUEVA', 1); I = I + 1; END END^\n"
                    "SET TERM ;^\nCOMMIT;\n",
                "localhost:" + database);
    }
    // A backup of `database` in the backup folder under `name`, made by the server as the
    // scheduled run makes them.
    std::string Backup(const std::string& database, const std::string& name) {
        fb::FirebirdService service(*fb::LoadClientApi(nullptr));
        service.SetProtocol(fb::ServiceProtocol::Tcp);
        service.SetServerName("localhost");
        service.SetParameters(AdministratorParameters());
        fb::BackupRequest request;
        request.backupFiles = {Backups() + name};
        request.databasePath = database;
        service.RunBackup(request, {});
        return Backups() + name;
    }
    // The headless program in the installation folder, nobody at its terminal; its output.
    std::string Program(const std::string& arguments, int& code) {
        return CommandOutput("cd '" + Folder() + "' && " + std::string(VELTOR_CONSOLE_PROGRAM) + " " + arguments +
                                 " -elevated </dev/null 2>&1",
                             code);
    }
    static int Exit(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
    std::vector<std::string> SideFiles(const std::string& tag) { return FilesLike(Folder(), "EMP1-" + tag + "-.*"); }
    std::string ServerProcess() {
        int code = 0;
        return CommandOutput("pidof firebird", code);
    }
    void MountSmallVolume(const std::string& folder) {
        ASSERT_EQ(mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m,mode=0777"), 0) << "mount needs root";
        mounted_ = folder;
    }

    std::unique_ptr<IServiceManager> manager = posix::MakeLinuxServiceManager();
    posix::PosixShellLauncher shell;
    posix::PosixDatabaseFiles exchange;
    FirebirdDatabaseState databases{*fb::LoadClientApi(nullptr)};
    ShortPauseClock clock;
    CycleHarness cycle{*manager, shell, exchange, databases, clock};
    std::string live;

private:
    std::string mounted_;
};

TEST_F(RestoreServer, AnOlderBackupReplacesALiveDatabaseThatHadWorkSinceAndTheLiveFileIsKept) {
    Backup(live, "emp1-20261201-1200.GBK");
    AddRows(live, 25);
    ASSERT_EQ(Rows(live), "75");

    int code = 0;
    const std::string list = Program("--list 001", code);
    EXPECT_EQ(Exit(code), 0) << list;
    EXPECT_THAT(list, HasSubstr(" Backups de 001 - EMPRESA UNO en " + Backups() + ": 1"));
    EXPECT_THAT(list, HasSubstr("  emp1-20261201-1200.GBK  01/12/2026 12:00  "));

    // Nobody at the terminal to confirm: refused, nothing touched.
    const std::string asked = Program("--restore 001 --replace", code);
    EXPECT_EQ(Exit(code), 2) << asked;
    EXPECT_THAT(asked, HasSubstr("nadie puede confirmar el reemplazo en la terminal"));
    EXPECT_THAT(asked, HasSubstr(" Base de datos actual: " + live));
    EXPECT_EQ(Rows(live), "75");

    const std::string output = Program("--restore 001 --replace --yes", code);
    EXPECT_EQ(Exit(code), 0) << output;
    EXPECT_TRUE(FirebirdServerAnswers());
    EXPECT_EQ(Rows(live), "50");
    const auto kept = SideFiles("Copia");
    ASSERT_EQ(kept.size(), 1u) << output;
    EXPECT_EQ(Rows(kept[0]), "75");
    EXPECT_THAT(output, HasSubstr(" La base de datos anterior queda en: " + kept[0]));
    EXPECT_THAT(SideFiles("Restore"), IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/ServicioDetenido.inf"));
    const StatusBook book = cycle.Book();
    const CompanyStatus* status = book.Find("1");
    ASSERT_TRUE(status && status->lastRestore);
    EXPECT_EQ(status->lastRestore->outcome, kRestoreDone);
    EXPECT_TRUE(status->lastRestore->replaced);
}

TEST_F(RestoreServer, IntoANewFileLeavesTheLiveDatabaseAndTheServerAlone) {
    Backup(live, "emp1-20261201-1200.GBK");
    AddRows(live, 5);
    const std::string server = ServerProcess();
    const std::string target = Folder() + "/revision.fdb";

    int code = 0;
    const std::string output = Program("--restore 001 --to " + target, code);
    EXPECT_EQ(Exit(code), 0) << output;
    EXPECT_EQ(Rows(target), "50");
    EXPECT_EQ(Rows(live), "55");
    EXPECT_EQ(ServerProcess(), server) << "the server was restarted";
    EXPECT_THAT(output, Not(HasSubstr("Stop al Servicio")));

    const std::string again = Program("--restore 001 --to " + target, code);
    EXPECT_EQ(Exit(code), 2) << again;
    EXPECT_THAT(again, HasSubstr("ya existe " + target));
    EXPECT_EQ(Rows(target), "50");
}

TEST_F(RestoreServer, BadInputGetsItsLineAndTouchesNothing) {
    const std::string good = Backup(live, "emp1-20261201-1200.GBK");
    const std::string other = cycle.catalogueFiles.CreateCompanyDatabase("emp2.fdb", 7);
    const std::string foreign = Backup(other, "emp2-20261201-1200.GBK");
    int code = 0;

    std::string output = Program("--restore 009 --to " + Folder() + "/x.fdb", code);
    EXPECT_EQ(Exit(code), 2) << output;
    EXPECT_THAT(output, HasSubstr("no existe la empresa de código 009"));

    output = Program("--restore 001 --replace --from " + foreign, code);
    EXPECT_EQ(Exit(code), 2) << output;
    EXPECT_THAT(output, HasSubstr(" El Backup " + foreign + " es de la base de datos " + other + ", no de " + live));

    // A backup cut short: the restore fails and leaves nothing, the live database as it was.
    const std::string damaged = Backups() + "emp1-20261202-1200.GBK";
    std::filesystem::copy_file(good, damaged);
    std::filesystem::resize_file(damaged, std::filesystem::file_size(good) / 2);
    output = Program("--restore 001 --to " + Folder() + "/damaged.fdb --from " + damaged, code);
    EXPECT_EQ(Exit(code), 1) << output;
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/damaged.fdb"));
    output = Program("--restore 001 --replace --yes --from " + damaged, code);
    EXPECT_EQ(Exit(code), 1) << output;
    EXPECT_EQ(Rows(live), "50");
    EXPECT_THAT(SideFiles("Restore"), IsEmpty());
    EXPECT_THAT(SideFiles("Copia"), IsEmpty());
    EXPECT_TRUE(FirebirdServerAnswers());

    // A folder the server cannot write, and one without room.
    const std::string closed = Folder() + "/closed";
    std::filesystem::create_directory(closed);
    ASSERT_EQ(chmod(closed.c_str(), 0700), 0);
    output = Program("--restore 001 --to " + closed + "/x.fdb", code);
    EXPECT_EQ(Exit(code), 1) << output;
    EXPECT_THAT(output, HasSubstr("Error en Restore: "));
    EXPECT_TRUE(std::filesystem::is_empty(closed));
    const std::string small = Folder() + "/small";
    std::filesystem::create_directory(small);
    ASSERT_NO_FATAL_FAILURE(MountSmallVolume(small));
    output = Program("--restore 001 --to " + small + "/x.fdb", code);
    EXPECT_EQ(Exit(code), 2) << output;
    EXPECT_THAT(output, HasSubstr("no hay espacio en " + small));
}

// ---------------------------------------------------------------- the replacement killed

// Runs the probe's restore of company 001 in `folder`, killed at `step` ("-": not killed);
// its wait status.
int RunRestoreProbe(const std::string& folder, const std::string& step, std::string& output, int minutesAhead = 0) {
    int code = 0;
    output = CommandOutput("cd '" + folder + "' && VELTOR_PROBE_MINUTES_AHEAD=" + std::to_string(minutesAhead) +
                               " exec " + std::string(VELTOR_CYCLE_FAULT_PROBE) + " 1000 " + step + " restore 001 2>&1",
                           code);
    return code;
}

struct RestoreKill {
    const char* step;
    bool serverStopped; // the kill comes while the restore has the server stopped
    friend void PrintTo(const RestoreKill& kill, std::ostream* out) { *out << kill.step; }
};

class RestoreKilled : public RestoreServer, public ::testing::WithParamInterface<RestoreKill> {};

TEST_P(RestoreKilled, LiveDatabaseStaysWholeAndTheNextRestoreTakesAwayWhatItLeft) {
    Backup(live, "emp1-20261201-1200.GBK");
    AddRows(live, 10);

    std::string output;
    const int status = RunRestoreProbe(Folder(), GetParam().step, output);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << output;
    EXPECT_TRUE(std::filesystem::exists(live));
    const bool leftStopped = !FirebirdServerAnswers();
    EXPECT_EQ(leftStopped, GetParam().serverStopped) << output;
    EXPECT_TRUE(!leftStopped || std::filesystem::exists(Folder() + "/ServicioDetenido.inf"));
    // The live name holds one whole database: the old one or the restored one.
    if (!leftStopped) {
        EXPECT_THAT(Rows(live), ::testing::AnyOf("60", "50"));
    }

    // A minute later, so its kept copy never meets the killed one's.
    const int next = RunRestoreProbe(Folder(), "-", output, 1);
    EXPECT_TRUE(WIFEXITED(next) && WEXITSTATUS(next) == 0) << output;
    EXPECT_EQ(output.find(" Servicio Iniciado: un Backup-Restore que no terminó pudo dejarlo detenido") !=
                  std::string::npos,
              leftStopped)
        << output;
    ASSERT_TRUE(FirebirdServerAnswers());
    EXPECT_EQ(Rows(live), "50");
    EXPECT_THAT(SideFiles("Restore"), IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/ServicioDetenido.inf"));
    EXPECT_EQ(output.find(" Se deshace el cambio de archivos que no terminó: ") != std::string::npos,
              std::string(GetParam().step) == "between-swap-steps")
        << output;
}

INSTANTIATE_TEST_SUITE_P(Steps, RestoreKilled,
                         ::testing::Values(RestoreKill{"during-restore", false}, RestoreKill{"after-restored", false},
                                           RestoreKill{"after-second-stop", true},
                                           RestoreKill{"between-swap-steps", true},
                                           RestoreKill{"before-restart", true}),
                         [](const ::testing::TestParamInfo<RestoreKill>& kill) {
                             return StepTestName(kill.param.step);
                         });

} // namespace
} // namespace veltor::test
