// Backups and restores through the Firebird server of this machine.
#include "dbserver/DatabaseState.h"
#include "dbserver/FirebirdError.h"
#include "dbserver/FirebirdServiceConnection.h"
#include "dbserver/SqlDatabase.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The client library keeps a few process-wide allocations until exit (as tests/lsan.supp
// says); named here too, as the suppressions file does not always reach this executable.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfbclient\nleak:libtommath\nleak:libicu\n";
}

namespace veltor::fb {
namespace {

using ::testing::HasSubstr;

// The process starts as the headless program does under a unit without a locale: LC_ALL=C and
// nothing set of its own. Only the client-library boundary, when it is loaded, changes it.
const bool kStartedInTheCLocale = (setenv("LC_ALL", "C", 1), std::setlocale(LC_ALL, "C") != nullptr);

const ClientApi& Api() {
    const char* why = nullptr;
    const ClientApi* api = LoadClientApi(&why);
    if (!api) throw std::runtime_error(std::string("no Firebird client library: ") + (why ? why : "?"));
    return *api;
}

const std::vector<std::string> kCredentials = {"user_name=SYSDBA", "password=" + std::string(test::kAdminPassword)};

// Reads the output of the started action to its end.
std::vector<std::string> ReadAll(FirebirdServiceConnection& connection) {
    std::vector<std::string> lines;
    while (!connection.AtEnd())
        lines.push_back(connection.ReadNextLine());
    return lines;
}

void CreateDatabaseWithRows(const std::string& path) {
    test::CreateDatabase(path);
    test::RunIsql("CREATE TABLE CLIENTES (ID INTEGER NOT NULL PRIMARY KEY, NOMBRE VARCHAR(40));\n"
                  "COMMIT;\n"
                  "INSERT INTO CLIENTES VALUES (1, 'Ana');\n"
                  "INSERT INTO CLIENTES VALUES (2, 'Bruno');\n"
                  "INSERT INTO CLIENTES VALUES (3, 'Carmen');\n"
                  "COMMIT;",
                  "localhost:" + path);
}

class ServiceConnectionServer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(test::RequireFirebirdServer()); }

    // The backup connection as the scheduled run sets it up, attached.
    void AttachBackup(FirebirdServiceConnection& connection) {
        connection.SetProtocol(ServiceProtocol::Tcp);
        connection.SetServerName("localhost");
        connection.SetParameters(kCredentials);
        connection.Attach();
    }

    // A verbose backup of `database` into `backupFile`.
    static BackupRequest VerboseBackup(const std::string& database, const std::string& backupFile) {
        BackupRequest request;
        request.databasePath = database;
        request.backupFiles = {backupFile};
        request.verbose = true;
        return request;
    }

    // Backs up `database` into `backupFile` over TCP, as the scheduled run does, and restores it
    // into `restored` through the local protocol, as the cycle does; returns the restore's lines.
    std::vector<std::string> BackupAndRestore(const std::string& database, const std::string& backupFile,
                                              const std::string& restored) {
        FirebirdServiceConnection backup(Api());
        AttachBackup(backup);
        backup.StartBackup(VerboseBackup(database, backupFile));
        const std::vector<std::string> backupLines = ReadAll(backup);
        backup.Detach();
        EXPECT_GT(backupLines.size(), 20u);
        EXPECT_EQ(backupLines.back(), "");
        EXPECT_THAT(backupLines, ::testing::Contains(HasSubstr("CLIENTES")));
        EXPECT_TRUE(std::filesystem::exists(backupFile));

        FirebirdServiceConnection restore(Api());
        restore.SetProtocol(ServiceProtocol::Local);
        restore.SetServerName("localhost");
        restore.SetParameters(kCredentials);
        restore.Attach();
        RestoreRequest restoreRequest;
        restoreRequest.backupFiles = {backupFile};
        restoreRequest.databasePaths = {restored};
        restoreRequest.options = RestoreRequest::kReplace | RestoreRequest::kCreate;
        restoreRequest.verbose = true;
        restoreRequest.pageSize = 8192;
        restore.StartRestore(restoreRequest);
        std::vector<std::string> restoreLines = ReadAll(restore);
        restore.Detach();
        return restoreLines;
    }

    // Hands a file this process made to the server's user.
    static void GiveToTheServer(const std::string& path) {
        const passwd* server = getpwnam("firebird");
        ASSERT_NE(server, nullptr);
        ASSERT_EQ(chown(path.c_str(), server->pw_uid, server->pw_gid), 0);
    }

    // Backs up `database` and expects the server to fail; returns its failure.
    FirebirdError FailedBackup(const std::string& database, const std::string& backupFile) {
        FirebirdServiceConnection connection(Api());
        AttachBackup(connection);
        try {
            connection.StartBackup(VerboseBackup(database, backupFile));
            ReadAll(connection);
        } catch (const FirebirdError& e) {
            EXPECT_FALSE(connection.IsAttached());
            EXPECT_NE(e.engineCode(), 0);
            EXPECT_FALSE(std::string(e.message()).ends_with("."));
            return e;
        }
        ADD_FAILURE() << "the backup of " << database << " into " << backupFile << " did not fail";
        return FirebirdError("");
    }

    test::ScratchFolder folder{"services"};
};

TEST_F(ServiceConnectionServer, BackupOverTcpAndLocalRestoreKeepTheRows) {
    const std::string database = folder / "EMPRESA.FDB";
    const std::string backupFile = folder / "EMPRESA-20240105-0300.GBK";
    const std::string restored = folder / "EMPRESA-Restore.FDB";
    CreateDatabaseWithRows(database);

    const std::vector<std::string> restoreLines = BackupAndRestore(database, backupFile, restored);
    EXPECT_GT(restoreLines.size(), 10u);
    EXPECT_EQ(restoreLines.back(), "");

    // The local restore ran in this process, so the file is ours until handed to the server.
    struct stat info {};
    ASSERT_EQ(stat(restored.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, geteuid());
    ASSERT_NO_FATAL_FAILURE(GiveToTheServer(restored));

    const std::string rows = test::RunIsql("SELECT ID, NOMBRE FROM CLIENTES ORDER BY ID;", "localhost:" + restored);
    EXPECT_THAT(rows, HasSubstr("Ana"));
    EXPECT_THAT(rows, HasSubstr("Bruno"));
    EXPECT_THAT(rows, HasSubstr("Carmen"));
    const std::string pageSize = test::RunIsql("SELECT MON$PAGE_SIZE FROM MON$DATABASE;", "localhost:" + restored);
    EXPECT_THAT(pageSize, HasSubstr("8192"));
}

// The library reads names through the process's character set, ASCII in the C locale, and the
// server through its own (scripts/start-firebird starts it in a UTF-8 one).
TEST_F(ServiceConnectionServer, NamesBeyondAsciiAreBackedUpRestoredAndReadInTheCLocale) {
    ASSERT_TRUE(kStartedInTheCLocale);
    const std::string company = folder / "Compañía 2025";
    std::filesystem::create_directory(company);
    chmod(company.c_str(), 0777);
    const std::string database = company + "/CONTA.FDB";
    const std::string restored = company + "/CONTA-Restore.GDB";
    CreateDatabaseWithRows(database);

    const std::vector<std::string> restoreLines = BackupAndRestore(database, company + "/CONTA.GBK", restored);
    EXPECT_GT(restoreLines.size(), 10u);
    // What the cycle asks of the files with this process's own engine, and the server's
    // attachment by name, as the catalogue's connection makes it.
    FirebirdDatabaseState state(Api());
    EXPECT_TRUE(state.IsOnline(restored));
    EXPECT_GT(state.NextTransaction(restored), 0);
    ASSERT_NO_FATAL_FAILURE(GiveToTheServer(restored));
    sql::SqlDatabase server(Api());
    server.SetDatabaseName("localhost:" + restored);
    server.SetPassword(test::kAdminPassword);
    const sql::RowSet rows = server.Run("SELECT COUNT(*) FROM CLIENTES", true);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(rows.rows[0][0], "3");
}

// A restored database keeps old versions in its system tables, which the server's garbage
// collector would take away in a transaction of its own once the file is the live one; this
// process's engine collects them.
TEST_F(ServiceConnectionServer, RestoredSystemTablesKeepOldVersionsThatTheCollectionTakesAway) {
    const std::string database = folder / "EMPRESA.FDB";
    const std::string restored = folder / "EMPRESA-Restore.GDB";
    CreateDatabaseWithRows(database);
    BackupAndRestore(database, folder / "EMPRESA.GBK", restored);
    ASSERT_GT(test::OldRecordVersions(restored, "RDB$SECURITY_CLASSES"), 0);

    FirebirdDatabaseState(Api()).CollectSystemGarbage(restored);

    for (const char* table : {"RDB$SECURITY_CLASSES", "RDB$RELATIONS", "RDB$DATABASE"}) {
        SCOPED_TRACE(table);
        EXPECT_EQ(test::OldRecordVersions(restored, table), 0);
    }
    EXPECT_THAT(test::RunIsql("SELECT COUNT(*) FROM CLIENTES;", restored), HasSubstr("3"));
}

// What the cycle asks the running server before it stops it: whether the database is read-only
// (a closed year), and a server written with the default instance's port, as installations
// with two servers write SERVIDOR, reaches the same server.
TEST_F(ServiceConnectionServer, ReadOnlyIsToldThroughTheServerAndItsPortNamesTheSameServer) {
    const std::string database = folder / "CIERRE.FDB";
    CreateDatabaseWithRows(database);
    FirebirdDatabaseState state(Api());
    EXPECT_FALSE(state.IsReadOnly("localhost/3050:" + database));
    ASSERT_NO_FATAL_FAILURE(test::MakeReadOnly(database));
    EXPECT_TRUE(state.IsReadOnly("localhost/3050:" + database));

    FirebirdServiceConnection backup(Api());
    backup.SetProtocol(ServiceProtocol::Tcp);
    backup.SetServerName("localhost/3050");
    backup.SetParameters(kCredentials);
    backup.Attach();
    backup.StartBackup(VerboseBackup(database, folder / "CIERRE.GBK"));
    EXPECT_THAT(ReadAll(backup), ::testing::Contains(HasSubstr("CLIENTES")));
    backup.Detach();
}

TEST_F(ServiceConnectionServer, UnwritableBackupFolderFailsWithTheServersText) {
    const std::string database = folder / "EMPRESA.FDB";
    test::CreateDatabase(database);
    const std::string closed = folder / "closed";
    std::filesystem::create_directory(closed);
    chmod(closed.c_str(), 0755); // ours; the server's user cannot write here
    const FirebirdError e = FailedBackup(database, closed + "/EMPRESA.GBK");
    EXPECT_THAT(e.message(), HasSubstr("cannot open backup file " + closed + "/EMPRESA.GBK"));
}

TEST_F(ServiceConnectionServer, WrongPasswordIsRefusedAndLeavesItDetached) {
    FirebirdServiceConnection connection(Api());
    connection.SetServerName("localhost");
    connection.SetParameters({"user_name=SYSDBA", "password=wrong"});
    try {
        connection.Attach();
        ADD_FAILURE() << "attached with a wrong password";
    } catch (const FirebirdError& e) {
        EXPECT_THAT(e.message(), HasSubstr("user name and password are not defined"));
        EXPECT_NE(e.engineCode(), 0);
    }
    EXPECT_FALSE(connection.IsAttached());
    EXPECT_NO_THROW(connection.Detach());
}

// Open sockets of this process.
int OpenSockets() {
    int sockets = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored).string().starts_with("socket:")) ++sockets;
    }
    return sockets;
}

TEST_F(ServiceConnectionServer, MissingDatabaseFailsWithTheServersTextAndLeavesNoConnectionOpen) {
    const FirebirdError e = FailedBackup(folder / "NOEXISTE.FDB", folder / "NOEXISTE.GBK");
    EXPECT_THAT(e.message(), HasSubstr("I/O error during \"open\" operation for file"));
    EXPECT_THAT(e.message(), HasSubstr("NOEXISTE.FDB\"\r\nError while trying to open file"));
    // A failure that ends the attachment also closes its connection to the server.
    const int before = OpenSockets();
    for (int i = 0; i < 3; ++i)
        FailedBackup(folder / "NOEXISTE.FDB", folder / "NOEXISTE.GBK");
    EXPECT_EQ(OpenSockets(), before);
}

} // namespace
} // namespace veltor::fb
