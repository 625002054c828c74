// Faults in the middle of the backup-restore cycle on this machine's server: the server stopped
// during the backup and during the restore, a damaged backup file at the restore, and the
// process killed at each step. After each, the live database opens through the server and
// holds every committed row, the log shows how far the cycle got and what failed, and the next
// run cycles the company. These tests stop the shared server; they run alone and leave it
// running.
#include "dbserver/DatabaseState.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixMaintenance.h"
#include "tests/maintenance/CycleHarness.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/KillSteps.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ShortPauseClock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace veltor::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

ino_t Inode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

bool Has(const std::vector<std::string>& lines, const std::string& part) {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

// Waits for the next minute of the local clock: the side files of a cycle are named by the
// minute, and a kept copy left by an earlier cycle of the same minute is never overwritten.
void WaitForTheNextMinute() {
    const std::time_t now = std::time(nullptr);
    std::this_thread::sleep_for(std::chrono::seconds(61 - now % 60));
}

class CycleFault : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer()); }
    void TearDown() override {
        if (!FirebirdServerAnswers()) StartFirebirdServer();
    }

    // Read through the server ("localhost:").
    std::string Rows(const std::string& database) {
        return cycle.catalogueFiles.Value("SELECT COUNT(*) || '|' || SUM(VALOR) FROM MOVIMIENTOS", database);
    }
    std::string Folder() const { return cycle.catalogueFiles.folder.path(); }
    // Runs once more with no fault; the company is exchanged and stamped, the server runs.
    void ExpectTheNextRunCycles(const std::string& live, const std::string& rows) {
        cycle.view.onMemoLine = nullptr;
        cycle.view.onProcessEvents = nullptr;
        cycle.view.memo.clear();
        const ino_t before = Inode(live);
        EXPECT_NO_THROW(cycle.Run());
        EXPECT_TRUE(FirebirdServerAnswers());
        EXPECT_NE(Inode(live), before) << "the next run did not exchange the database";
        EXPECT_EQ(Rows(live), rows);
        EXPECT_TRUE(Has(cycle.LogLines(), " Finaliza BackupRestore "));
    }

    std::unique_ptr<IServiceManager> manager = posix::MakeLinuxServiceManager();
    posix::PosixShellLauncher shell;
    posix::PosixDatabaseFiles exchange;
    FirebirdDatabaseState databases{*fb::LoadClientApi(nullptr)};
    ShortPauseClock clock;
    CycleHarness cycle{*manager, shell, exchange, databases, clock};
};

TEST_F(CycleFault, ServerStoppedDuringTheBackupKeepsTheLiveDatabaseAndTheNextRunStartsItAgain) {
    // Large enough that the backup is still streaming when the server goes.
    const std::string live = cycle.OneCompany("emp1.fdb", 200000);
    const std::string rows = Rows(live);
    const ino_t before = Inode(live);
    bool stopped = false;
    cycle.view.onProcessEvents = [&] {
        if (stopped) return;
        stopped = true;
        EXPECT_TRUE(StopFirebirdServer());
    };

    // The catalogue cannot be connected again after the company: the run ends with that error.
    EXPECT_THROW(cycle.Run(), std::exception);
    ASSERT_TRUE(stopped);

    const auto log = cycle.LogLines();
    EXPECT_TRUE(Has(log, " Inicio BackupRestore: 001 - EMPRESA UNO"));
    EXPECT_TRUE(Has(log, " Advertencia en Backup: "));
    EXPECT_FALSE(Has(log, " Finaliza BackupRestore "));
    EXPECT_THAT(FilesLike(Folder(), "EMP1-(Restore|Copia)-.*"), IsEmpty());
    EXPECT_EQ(Inode(live), before);

    // The next run cannot read its company list from a stopped server: the server is started
    // by hand, and the next run cycles the company.
    ASSERT_TRUE(StartFirebirdServer());
    ExpectTheNextRunCycles(live, rows);
}

TEST_F(CycleFault, ServerStoppedDuringTheRestoreStillExchangesTheFilesAndStartsIt) {
    const std::string live = cycle.OneCompany("emp1.fdb", 20000);
    const std::string rows = Rows(live);
    const ino_t before = Inode(live);
    bool restoring = false, stopped = false;
    cycle.view.onMemoLine = [&](const std::string& line) {
        if (line.find(" Inicia Restore: ") != std::string::npos) restoring = true;
    };
    cycle.view.onProcessEvents = [&] {
        if (!restoring || stopped) return;
        stopped = true;
        EXPECT_TRUE(StopFirebirdServer());
    };

    EXPECT_NO_THROW(cycle.Run());
    ASSERT_TRUE(stopped);

    // The restore runs in this process's engine and goes on without the server; the stop
    // before the exchange finds it stopped, and the start after it brings it back.
    EXPECT_TRUE(FirebirdServerAnswers());
    EXPECT_NE(Inode(live), before);
    EXPECT_EQ(Rows(live), rows);
    EXPECT_EQ(FilesLike(Folder(), "EMP1-Copia-.*").size(), 1u);
    EXPECT_TRUE(Has(cycle.LogLines(), " Finaliza BackupRestore "));
}

// The backup file is damaged between the backup and the restore, as `damage` does it.
class DamagedBackup : public CycleFault, public ::testing::WithParamInterface<const char*> {
protected:
    static void Damage(const std::string& file, const std::string& how) {
        const auto size = std::filesystem::file_size(file);
        if (how == "truncated") {
            std::filesystem::resize_file(file, size / 2);
            return;
        }
        // One bit in the middle, among the rows' values: the restore itself may well take it
        // without a word and give one row another value.
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekg(static_cast<std::streamoff>(size / 2));
        char c = 0;
        bytes.read(&c, 1);
        c = static_cast<char>(c ^ 0x10);
        bytes.seekp(static_cast<std::streamoff>(size / 2));
        bytes.write(&c, 1);
    }
};

TEST_P(DamagedBackup, NeverReplacesTheLiveDatabaseAndTheNextRunCycles) {
    const std::string live = cycle.OneCompany("emp1.fdb", 3000);
    const std::string rows = Rows(live);
    const ino_t before = Inode(live);
    bool damaged = false;
    cycle.view.onMemoLine = [&](const std::string& line) {
        const std::string mark = " Ruta del Backup Realizado: ";
        const auto at = line.find(mark);
        if (at == std::string::npos) return;
        Damage(line.substr(at + mark.size()), GetParam());
        damaged = true;
    };

    cycle.Run();
    ASSERT_TRUE(damaged);

    EXPECT_EQ(Inode(live), before);
    EXPECT_EQ(Rows(live), rows);
    EXPECT_THAT(FilesLike(Folder(), "EMP1-Copia-.*"), IsEmpty());
    EXPECT_TRUE(FirebirdServerAnswers());
    EXPECT_TRUE(Has(cycle.LogLines(), " Error n Restore: "));
    EXPECT_TRUE(Has(cycle.MemoSteps(), " Error en Restore: "));
    EXPECT_FALSE(Has(cycle.MemoSteps(), " Renombra el Archivo Original: "));
    EXPECT_THAT(FilesLike(Folder(), "EMP1-Restore-.*"), IsEmpty());

    ExpectTheNextRunCycles(live, rows);
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedBackup, ::testing::Values("truncated", "bitflip"));

// ---------------------------------------------------------------- the process killed

// Runs the probe in `folder` with its output collected; its wait status.
int RunProbe(const std::string& folder, const std::string& step, std::string& output) {
    int pipe[2];
    if (::pipe(pipe) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        ::dup2(pipe[1], 1);
        ::dup2(pipe[1], 2);
        ::close(pipe[0]);
        if (::chdir(folder.c_str()) != 0) _exit(126);
        const char* pause = "1000";
        if (step.empty())
            ::execl(VELTOR_CYCLE_FAULT_PROBE, "cycle_fault_probe", pause, nullptr);
        else
            ::execl(VELTOR_CYCLE_FAULT_PROBE, "cycle_fault_probe", pause, step.c_str(), nullptr);
        _exit(127);
    }
    ::close(pipe[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

// A second process of the installation whose tick comes while the first one's cycle has the
// server stopped: it starts no run, leaves the server stopped and the note in place, and the
// first one's cycle ends as if alone.
TEST_F(CycleFault, ASecondProcessWhoseTickComesWhileACycleHasTheServerStoppedStartsNothing) {
    const std::string live = cycle.OneCompany("emp1.fdb", 100);
    const std::string rows = Rows(live);
    const std::string output = Folder() + "/probe.out";
    const pid_t first = fork();
    if (first == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (::chdir(Folder().c_str()) != 0) _exit(126);
        ::execl(VELTOR_CYCLE_FAULT_PROBE, "cycle_fault_probe", "1000", "hold-after-first-stop", nullptr);
        _exit(127);
    }
    const auto stopped = [&] {
        return std::filesystem::exists(output) && ReadFile(output).find(" Stop al Servicio: ") != std::string::npos;
    };
    for (int i = 0; i < 600 && !stopped(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(stopped()) << ReadFile(output);
    ASSERT_FALSE(FirebirdServerAnswers());
    const std::string note = ReadFile(Folder() + "/ServicioDetenido.inf");

    int code = 0;
    const std::string second = CommandOutput(
        "cd '" + Folder() + "' && " + std::string(VELTOR_CONSOLE_PROGRAM) + " --tick -elevated 2>&1", code);

    EXPECT_TRUE(WIFEXITED(code) && WEXITSTATUS(code) == 2) << second;
    EXPECT_THAT(second, HasSubstr(" No se inicia el Backup: otro proceso de Veltor Backups está trabajando"));
    EXPECT_THAT(second, Not(HasSubstr("Servicio")));
    EXPECT_THAT(second, Not(HasSubstr("Inicia Backup")));
    EXPECT_FALSE(FirebirdServerAnswers());
    EXPECT_EQ(ReadFile(Folder() + "/ServicioDetenido.inf"), note);

    WriteFile(Folder() + "/continuar", "");
    int status = 0;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(output);
    EXPECT_THAT(ReadFile(output), HasSubstr(" Renombra el Archivo Restaurado: "));
    EXPECT_TRUE(FirebirdServerAnswers());
    EXPECT_EQ(Rows(live), rows);
}

struct KillStep {
    const char* step;
    const char* lastLogLine; // how far the killed cycle's log goes
    bool serverStopped;      // the kill comes while the cycle has the server stopped
    friend void PrintTo(const KillStep& kill, std::ostream* out) { *out << kill.step; }
};

// The lines of this month's log in the catalogue's backup folder (written by the probe).
std::vector<std::string> MonthLog(const CycleHarness& cycle) {
    const std::string text =
        ReadFile(ActivityLog::MonthLogPath(cycle.catalogueFiles.backupFolder, posix::PosixClock().Now()));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class CycleKilled : public CycleFault, public ::testing::WithParamInterface<KillStep> {};

TEST_P(CycleKilled, LiveDatabaseKeepsItsRowsAndTheNextRunCycles) {
    const std::string live = cycle.OneCompany("emp1.fdb", 3000);
    const std::string rows = Rows(live);

    std::string output;
    const int status = RunProbe(Folder(), GetParam().step, output);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << output;

    // Whatever the step, the live name holds a whole database: the old one or the restored one.
    EXPECT_TRUE(std::filesystem::exists(live));
    const auto log = MonthLog(cycle);
    ASSERT_FALSE(log.empty()) << output;
    EXPECT_THAT(log.back(), HasSubstr(GetParam().lastLogLine)) << output;
    EXPECT_FALSE(Has(log, " Finaliza BackupRestore "));

    // A cycle killed while it had the server stopped leaves it so, with the note that says so:
    // the next run starts it before anything else. A kept copy of this very minute, made before
    // the kill, keeps its name for good: the next run comes a minute later.
    const bool leftStopped = !FirebirdServerAnswers();
    EXPECT_EQ(leftStopped, GetParam().serverStopped);
    EXPECT_TRUE(!leftStopped || std::filesystem::exists(Folder() + "/ServicioDetenido.inf"));
    if (!FilesLike(Folder(), "EMP1-Copia-.*").empty() && Inode(FilesLike(Folder(), "EMP1-Copia-.*")[0]) != Inode(live))
        WaitForTheNextMinute();
    // The company's users open the database before the next cycle comes, as they do between two
    // cycles, when the server lets them.
    if (!leftStopped) {
        EXPECT_EQ(Rows(live), rows);
    }
    output.clear();
    const int next = RunProbe(Folder(), "", output);
    EXPECT_TRUE(WIFEXITED(next) && WEXITSTATUS(next) == 0) << output;
    EXPECT_EQ(output.find(" Servicio Iniciado: un Backup-Restore que no terminó pudo dejarlo detenido") !=
                  std::string::npos,
              leftStopped)
        << output;
    EXPECT_FALSE(std::filesystem::exists(Folder() + "/ServicioDetenido.inf"));
    EXPECT_THAT(output, HasSubstr(" Renombra el Archivo Restaurado: "));
    EXPECT_THAT(output, Not(HasSubstr(" No se pudo reemplazar ")));
    ASSERT_TRUE(FirebirdServerAnswers());
    EXPECT_EQ(Rows(live), rows);
    EXPECT_TRUE(Has(MonthLog(cycle), " Finaliza BackupRestore "));
    EXPECT_THAT(FilesLike(Folder(), "EMP1-Copia-.*"), Not(IsEmpty()));
    // Nothing full-size is left beside the live database but the kept copy.
    EXPECT_THAT(FilesLike(Folder(), "EMP1-Restore-.*"), IsEmpty());
    EXPECT_EQ(output.find(" Se deshace el cambio de archivos que no terminó: ") != std::string::npos,
              std::string(GetParam().step) == "between-swap-steps")
        << output;
}

INSTANTIATE_TEST_SUITE_P(Steps, CycleKilled,
                         ::testing::Values(KillStep{"after-first-stop", " Inicio BackupRestore: 001 - EMPRESA UNO",
                                                    true},
                                           KillStep{"after-start", " Inicio BackupRestore: 001 - EMPRESA UNO", false},
                                           KillStep{"during-backup", " Archivo Backup: ", false},
                                           KillStep{"during-restore", " Archivo Backup: ", false},
                                           KillStep{"during-pause", " Archivo Backup: ", false},
                                           KillStep{"after-second-stop", " Archivo Backup: ", true},
                                           KillStep{"between-swap-steps", " Archivo Backup: ", true},
                                           KillStep{"before-restart", " Archivo Backup: ", true}),
                         [](const ::testing::TestParamInfo<KillStep>& step) { return StepTestName(step.param.step); });

} // namespace
} // namespace veltor::test
