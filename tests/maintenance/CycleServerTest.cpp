// The cycle end to end on this machine: the Debian server's service really stopped and started
// through its init script, the script launched, the files exchanged and the transactions read.
// These tests stop the shared server; they run alone.
#include "dbserver/DatabaseState.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixMaintenance.h"
#include "tests/maintenance/CycleHarness.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ShortPauseClock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <pwd.h>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The lines without their stamp prefix ("08/12/26 - 21:04:05" in any regional form).
std::vector<std::string> WithoutPrefix(const std::vector<std::string>& lines) {
    static const std::regex prefix("^[0-9/.-]+ - [0-9:]+ ");
    std::vector<std::string> out;
    for (const std::string& line : lines)
        out.push_back(std::regex_replace(line, prefix, " "));
    return out;
}

struct stat StatOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info;
}

class CycleServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer()); }
    void TearDown() override {
        // Whatever happened, the server is left running for everyone else.
        if (!FirebirdServerAnswers()) StartFirebirdServer();
    }

    // The script of the installation writes down the argument it was given. It runs as root,
    // so it lies in an installation folder that only root can write, with ADMINBD.inf.
    void InstallScript() {
        cycle.catalogueFiles.WriteConfiguration(installation.path());
        WriteFile(installation / "gfixonline.Bat", "#!/bin/sh\nprintf '%s' \"$1\" > script-argument\n");
        chmod((installation / "gfixonline.Bat").c_str(), 0755);
        cycle.installationFolder = installation.path();
    }
    std::string Rows(const std::string& database) {
        return cycle.catalogueFiles.Value("SELECT COUNT(*) || '|' || SUM(VALOR) FROM MOVIMIENTOS", database);
    }

    std::unique_ptr<IServiceManager> manager = posix::MakeLinuxServiceManager();
    posix::PosixShellLauncher shell;
    posix::PosixDatabaseFiles exchange;
    FirebirdDatabaseState databases{*fb::LoadClientApi(nullptr)};
    ShortPauseClock clock{1000};
    CycleHarness cycle{*manager, shell, exchange, databases, clock};
    ScratchFolder installation{"installation", Writers::RootOnly};
};

TEST_F(CycleServer, RestoredDatabaseTakesTheLivePlaceAndTheServerOpensIt) {
    const std::string live = cycle.OneCompany("emp1.fdb", 20000);
    const std::string folder = cycle.catalogueFiles.folder.path();
    InstallScript();
    const std::string rowsBefore = Rows(live);
    // A day's updates leave old record versions for the server's garbage collector; its
    // transactions are not a client's work and must not keep the database from being exchanged.
    RunIsql("UPDATE MOVIMIENTOS SET VALOR = VALOR + 1; COMMIT; UPDATE MOVIMIENTOS SET VALOR = VALOR - 1; COMMIT;",
            "localhost:" + live);
    const struct stat before = StatOf(live);

    cycle.Run();

    ASSERT_TRUE(FirebirdServerAnswers());
    const auto kept = FilesLike(folder, "EMP1-Copia-[0-9]{8}-[0-9]{4}\\.GDB");
    ASSERT_EQ(kept.size(), 1u);
    const std::string stamp = kept[0].substr(kept[0].size() - 17, 13);
    const std::string restored = folder + "/EMP1-Restore-" + stamp + ".GDB";
    const std::string gbk = cycle.catalogueFiles.backupFolder + "emp1-" + stamp.substr(0, 8) + "-" +
                            cycle.Stamp("HORAULTRESTORE").replace(2, 1, "") + ".GBK";
    // The old database under the kept name, the restored one in its place with the same rows,
    // belonging to the server's user, read and written through the server.
    EXPECT_EQ(StatOf(kept[0]).st_ino, before.st_ino);
    // The backup left the old versions alone (the restore drops them): a backup that collects
    // garbage wakes the server's collector, whose transactions the guard takes for a client's.
    EXPECT_GT(OldRecordVersions(kept[0], "MOVIMIENTOS"), 0);
    const struct stat after = StatOf(live);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(getpwuid(after.st_uid)->pw_name, std::string("firebird"));
    EXPECT_EQ(Rows(live), rowsBefore);
    RunIsql("INSERT INTO MOVIMIENTOS VALUES (99999, 'NUEVA', 1); COMMIT;", "localhost:" + live);
    EXPECT_FALSE(std::filesystem::exists(restored));
    EXPECT_TRUE(std::filesystem::exists(gbk)) << gbk;
    EXPECT_EQ(ReadFile(installation / "script-argument"), restored);
    EXPECT_THAT(cycle.Stamp("FECHAULTRESTORE"), ::testing::Not(HasSubstr("null")));

    EXPECT_THAT(WithoutPrefix(cycle.LogLines()),
                ElementsAre(" ", " Inicio BackupRestore: ===> ", " ", " Inicio BackupRestore: 001 - EMPRESA UNO",
                            " Archivo Backup: " + gbk, " Finaliza BackupRestore ", " ", " ", " <=== Fin Backup "));
    const auto memo = WithoutPrefix(cycle.MemoSteps());
    EXPECT_THAT(std::vector<std::string>(memo.end() - 3, memo.end()),
                ElementsAre(" Renombra Archivo Restaurado: 001 - EMPRESA UNO",
                            " Renombra el Archivo Original: " + live + "\r\n por: " + kept[0],
                            " Renombra el Archivo Restaurado: " + restored + "\r\n por: " + live));
}

TEST_F(CycleServer, RowsCommittedDuringTheCycleStayInTheLiveDatabase) {
    const std::string live = cycle.OneCompany("emp1.fdb", 100);
    const std::string folder = cycle.catalogueFiles.folder.path();
    clock = ShortPauseClock(3000);

    // Another attachment commits one row after the other, all through the cycle; when the
    // server goes away it connects again.
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<int> committed;
    std::thread writer([&] {
        sql::SqlDatabase database(*fb::LoadClientApi(nullptr));
        database.SetDatabaseName("localhost:" + live);
        database.SetPassword(kAdminPassword);
        for (int id = 1001; !stop; ++id) {
            try {
                database.Run("INSERT INTO MOVIMIENTOS VALUES (" + std::to_string(id) + ", \"OTRO\", 1)", false);
                std::lock_guard<std::mutex> guard(lock);
                committed.push_back(id);
            } catch (const std::exception&) {
                database.Disconnect();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        database.Disconnect();
    });
    cycle.Run();
    stop = true;
    writer.join();

    ASSERT_TRUE(FirebirdServerAnswers());
    ASSERT_FALSE(committed.empty());
    std::string ids;
    for (int id : committed)
        ids += (ids.empty() ? "" : ",") + std::to_string(id);
    EXPECT_EQ(cycle.catalogueFiles.Value("SELECT COUNT(*) FROM MOVIMIENTOS WHERE ID IN (" + ids + ")", live),
              std::to_string(committed.size()));
    EXPECT_THAT(WithoutPrefix(cycle.MemoSteps()),
                ::testing::Contains(::testing::StartsWith(
                    " No se reemplaza la base de datos: hubo transacciones durante el Backup-Restore: "
                    "001 - EMPRESA UNO Transacciones: ")));
    EXPECT_THAT(FilesLike(folder, "EMP1-Copia-.*"), IsEmpty());
    EXPECT_THAT(FilesLike(folder, "EMP1-Restore-.*"), IsEmpty());
}

// The server the cycle starts again must still open such names, and this process's own engine
// reads the stopped server's files by them.
TEST_F(CycleServer, CompanyInAFolderNamedBeyondAsciiIsBackedUpRestoredAndSwapped) {
    const std::string folder = cycle.catalogueFiles.folder / "Compañía 2025";
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    chmod(folder.c_str(), 0777);
    const std::string live = cycle.OneCompany("Compañía 2025/conta.fdb", 50);
    const std::string rowsBefore = Rows(live);

    EXPECT_EQ(cycle.Run(), 0);

    ASSERT_TRUE(FirebirdServerAnswers());
    EXPECT_EQ(FilesLike(folder, "CONTA-Copia-[0-9]{8}-[0-9]{4}\\.GDB").size(), 1u);
    EXPECT_THAT(FilesLike(folder, "CONTA-Restore-.*"), IsEmpty());
    EXPECT_EQ(FilesLike(cycle.catalogueFiles.backupFolder, "conta-[0-9]{8}-[0-9]{4}\\.GBK").size(), 1u);
    EXPECT_EQ(Rows(live), rowsBefore);
}

// This machine's service control manager; `onRunning` runs once, inside the wait of a start,
// at the first query that finds the service running: the moment the start is confirmed.
class StartWatchingManager : public IServiceManager {
public:
    explicit StartWatchingManager(IServiceManager& real) : real_(real) {}
    std::function<void()> onRunning;

    ServiceHandle OpenManager(const char* machine, const char* database, std::uint32_t access) override {
        return real_.OpenManager(machine, database, access);
    }
    ServiceHandle OpenServiceByName(ServiceHandle manager, const char* name, std::uint32_t access) override {
        return real_.OpenServiceByName(manager, name, access);
    }
    bool QueryStatus(ServiceHandle service, ServiceStatus& status) override {
        const bool answered = real_.QueryStatus(service, status);
        if (answered && starting_ && status.dwCurrentState == service::kRunning && onRunning) {
            starting_ = false;
            std::exchange(onRunning, nullptr)();
        }
        return answered;
    }
    bool Start(ServiceHandle service) override { return starting_ = real_.Start(service); }
    bool Control(ServiceHandle service, std::uint32_t control, ServiceStatus& status) override {
        return real_.Control(service, control, status);
    }
    bool EnumerateDependents(ServiceHandle service, std::uint32_t state, void* buffer, std::uint32_t size,
                             std::uint32_t& needed, std::uint32_t& returned) override {
        return real_.EnumerateDependents(service, state, buffer, size, needed, returned);
    }
    bool Close(ServiceHandle handle) override { return real_.Close(handle); }
    std::uint32_t TickCount() override { return real_.TickCount(); }
    void Sleep(std::uint32_t milliseconds) override { real_.Sleep(milliseconds); }
    std::uint32_t LastError() override { return real_.LastError(); }

private:
    IServiceManager& real_;
    bool starting_ = false;
};

// The client that reconnects the moment the server is back: its transaction begins as soon as
// the first start is confirmed and commits while the backup runs, after the backup's own
// transaction began. Its row is in the live database after the cycle, whatever the cycle did.
TEST(CycleRace, ClientWhoseTransactionOpensAtTheStartAndCommitsDuringTheBackupKeepsItsRow) {
    ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
    const auto real = posix::MakeLinuxServiceManager();
    StartWatchingManager manager(*real);
    posix::PosixShellLauncher shell;
    posix::PosixDatabaseFiles exchange;
    FirebirdDatabaseState databases{*fb::LoadClientApi(nullptr)};
    ShortPauseClock clock{500};
    CycleHarness cycle{manager, shell, exchange, databases, clock};
    const std::string live = cycle.OneCompany("emp1.fdb", 20000);

    std::unique_ptr<IsqlSession> client;
    manager.onRunning = [&] {
        // Connects again until the server takes it; its transaction is open once the row is in.
        for (int attempt = 0; attempt < 50; ++attempt) {
            client = std::make_unique<IsqlSession>("localhost:" + live);
            client->Send("INSERT INTO MOVIMIENTOS VALUES (777777, 'CLIENTE', 7);\nSELECT 'LISTO' || 'ESCRITO' FROM "
                         "RDB$DATABASE;\n");
            if (client->WaitFor("LISTOESCRITO", 5)) return;
            client.reset();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    };
    int lines = 0;
    int committed = -2;
    cycle.view.onProcessEvents = [&] {
        // The backup's output is under way: its snapshot is taken.
        if (client && ++lines == 5) {
            client->Send("COMMIT;\nEXIT;\n");
            committed = client->Finish();
        }
    };

    cycle.Run();
    if (!FirebirdServerAnswers()) StartFirebirdServer();

    ASSERT_TRUE(client) << "the client never got in";
    EXPECT_EQ(committed, 0) << client->output();
    std::string memo;
    for (const std::string& line : cycle.MemoSteps())
        memo += line + "\n";
    EXPECT_EQ(cycle.catalogueFiles.Value("SELECT COUNT(*) FROM MOVIMIENTOS WHERE ID = 777777", live), "1") << memo;
    EXPECT_THAT(WithoutPrefix(cycle.MemoSteps()),
                ::testing::Contains(::testing::StartsWith(
                    " No se reemplaza la base de datos: hubo transacciones durante el Backup-Restore: "
                    "001 - EMPRESA UNO Transacciones: ")));
}

} // namespace
} // namespace veltor::test
