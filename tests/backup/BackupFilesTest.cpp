#include "backup/BackupFiles.h"
#include "backup/BackupHeader.h"

#include "tests/support/ActivityLogOverFakes.h"
#include "tests/support/FakeFileSystem.h"

#include <gtest/gtest.h>

namespace veltor {
namespace {

TEST(BackupFileName, JoinsFolderStemDateStartMinuteAndOwner) {
    const LocalDateTime december7 = test::MakeDateTime(2026, 12, 7, 12, 45, 59);
    EXPECT_EQ(
        BackupFileName("C:\\Datos Veltor\\Backups\\", {"EMPRESA1", "", true}, december7, HourMinuteText(december7)),
        "C:\\Datos Veltor\\Backups\\EMPRESA1-20261207-1245.GBK");
    const LocalDateTime march3 = test::MakeDateTime(2025, 3, 3, 7, 5);
    EXPECT_EQ(BackupFileName("/b/", {"emp2024", "-E17", true}, march3, HourMinuteText(march3)),
              "/b/emp2024-20250303-0705-E17.GBK");
    EXPECT_EQ(TemporaryBackupName("/b/emp-20250303-0705.GBK"), "/b/emp-20250303-0705.GBK.tmp");
    EXPECT_EQ(FailedVerificationName("/b/emp-20250303-0705-E17.GBK"),
              "/b/emp-20250303-0705-E17-VerificacionFallida.GBK");
}

// One folder per fiscal year with the same file name: each database gets names of its own.
// The first bytes of a backup as the server writes them: the record type, the format, two
// attributes the header does not need, the database's name, the date and the record's end.
std::string HeaderBytes(const std::string& database) {
    std::string bytes("\x00\x02\x04\x0a\x00\x00\x00\x06\x04\x00\x40\x00\x00", 13);
    bytes += '\x07';
    bytes += static_cast<char>(database.size());
    bytes += database;
    bytes += "\x01\x18Thu Dec 10 10:55:30 2026";
    bytes += '\x00';
    bytes += "\x0e\x0e rest of the backup";
    return bytes;
}

TEST(BackupHeader, NamesTheDatabaseOnlyOfAWholeHeader) {
    const std::string whole = HeaderBytes("/srv/veltor/conta.fdb");
    const std::optional<BackupHeader> header = ParseBackupHeader(whole);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->databasePath, "/srv/veltor/conta.fdb");
    EXPECT_EQ(header->date, "Thu Dec 10 10:55:30 2026");
    // Cut anywhere before the record's end, or of another shape, it is no header.
    const std::size_t end = whole.find("\x0e\x0e");
    for (std::size_t size = 0; size < end; ++size)
        EXPECT_FALSE(ParseBackupHeader(whole.substr(0, size))) << size;
    EXPECT_TRUE(ParseBackupHeader(whole.substr(0, end)));
    EXPECT_FALSE(ParseBackupHeader("\x01" + whole.substr(1)));
    EXPECT_FALSE(ParseBackupHeader(std::string("\x00\x02\x04\x0a\x00\x00\x00\x00", 8))) << "without a name";
    EXPECT_FALSE(ParseBackupHeader("[ADMINBD]\r\nRUTABD=x"));

    test::FakeFileSystem files;
    files.AddFile("/b/conta.GBK", whole);
    files.AddFile("/b/texto.GBK", "not a backup");
    EXPECT_EQ(ReadBackupHeader(files, "/b/conta.GBK").databasePath, "/srv/veltor/conta.fdb");
    EXPECT_THROW(
        {
            try {
                ReadBackupHeader(files, "/b/texto.GBK");
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "no es un archivo de Backup de Firebird");
                throw;
            }
        },
        std::runtime_error);
}

TEST(BackupHeader, NamesTheDatabaseBareOrBehindItsServer) {
    EXPECT_TRUE(HeaderNamesDatabase("/srv/conta.fdb", "/srv/conta.fdb", false));
    EXPECT_TRUE(HeaderNamesDatabase("localhost:/srv/conta.fdb", "/srv/conta.fdb", false));
    EXPECT_FALSE(HeaderNamesDatabase("/srv/CONTA.FDB", "/srv/conta.fdb", false));
    EXPECT_TRUE(HeaderNamesDatabase("servidor:C:\\CONTA\\EMP.GDB", "c:\\conta\\emp.gdb", true));
    // A drive letter is no server's name.
    EXPECT_FALSE(HeaderNamesDatabase("C:\\EMP.GDB", "\\EMP.GDB", true));
    EXPECT_FALSE(HeaderNamesDatabase("localhost:/srv/otra.fdb", "/srv/conta.fdb", false));
}

TEST(NamingOf, TellsDatabasesThatShareAStemApartByTheirCompany) {
    const std::vector<catalogue::CompanyFile> catalogue = {{"1", "/srv/conta/2025/CONTA.FDB"},
                                                           {"2", "/srv/conta/2026/CONTA.FDB"},
                                                           {"3", "/srv/otra/UNICA.FDB"},
                                                           {"4", "/srv/otra/UNICA.FDB"},
                                                           {"5", "/srv/minus/conta.fdb"}};
    const auto naming = [&](const std::string& id, const std::string& path, bool ignoreCase) {
        const BackupNaming n = NamingOf(id, path, catalogue, '/', ignoreCase);
        return n.stem + "|" + n.owner + "|" + (n.known ? "known" : "unknown");
    };
    EXPECT_EQ(naming("1", "/srv/conta/2025/CONTA.FDB", false), "CONTA|-E1|known");
    EXPECT_EQ(naming("2", "/srv/conta/2026/CONTA.FDB", false), "CONTA|-E2|known");
    // One database listed twice is one database: its names stay as they were.
    EXPECT_EQ(naming("3", "/srv/otra/UNICA.FDB", false), "UNICA||known");
    // Another letter case is another name on Linux, the same one on Windows.
    EXPECT_EQ(naming("5", "/srv/minus/conta.fdb", false), "conta||known");
    EXPECT_EQ(naming("5", "/srv/minus/conta.fdb", true), "conta|-E5|known");
    // Without the catalogue's list, or without a number to tell them apart, nobody can tell.
    EXPECT_EQ(NamingOf("1", "/srv/conta/2025/CONTA.FDB", std::nullopt, '/', false).known, false);
    EXPECT_EQ(naming("X1", "/srv/conta/2025/CONTA.FDB", false), "CONTA||unknown");
    const BackupNaming windows =
        NamingOf("7", "C:/Conta/EMP.GDB", std::vector<catalogue::CompanyFile>{{"8", "D:\\Otra\\emp.gdb"}}, '\\', true);
    EXPECT_EQ(windows.stem, "EMP");
    EXPECT_EQ(windows.owner, "-E7");
}

// A backup never takes a name it cannot tell is its own database's.
TEST(PublishBackup, ReplacesAnEarlierFileOnlyWhenTheNamingIsKnown) {
    test::FakeFileSystem files;
    files.AddFile("/b/CONTA-20261207-1245.GBK", "anterior");
    files.AddFile("/b/CONTA-20261207-1245.GBK.tmp", "nuevo");
    EXPECT_ANY_THROW(
        PublishBackup(files, "/b/CONTA-20261207-1245.GBK.tmp", "/b/CONTA-20261207-1245.GBK", {"CONTA", "", false}));
    EXPECT_EQ(files.Content("/b/CONTA-20261207-1245.GBK"), "anterior");
    EXPECT_EQ(files.Content("/b/CONTA-20261207-1245.GBK.tmp"), "nuevo");
    PublishBackup(files, "/b/CONTA-20261207-1245.GBK.tmp", "/b/CONTA-20261207-1245.GBK", {"CONTA", "", true});
    EXPECT_EQ(files.Content("/b/CONTA-20261207-1245.GBK"), "nuevo");
    EXPECT_FALSE(files.Content("/b/CONTA-20261207-1245.GBK.tmp"));
}

class EnsureBackupFolderTest : public ::testing::Test, protected test::ActivityLogOverFakes {
protected:
    ConfigurationRules rules;
};

TEST_F(EnsureBackupFolderTest, CreatesTheDataFolderFirstWhenBothAreMissing) {
    EnsureBackupFolder("C:\\Datos Veltor\\Backups\\", rules, files, log);
    EXPECT_EQ(files.createdDirectories,
              (std::vector<std::string>{"C:\\Datos Veltor\\", "C:\\Datos Veltor\\Backups\\"}));
    EXPECT_TRUE(view.memo.empty());
}

TEST_F(EnsureBackupFolderTest, WritesTheFailureToTheMemoAndGoesOn) {
    files.directories.insert("C:\\Datos Veltor\\");
    files.cannotCreate.insert("E:\\COPIAS\\");
    EnsureBackupFolder("E:\\COPIAS\\", rules, files, log);
    ASSERT_EQ(view.memo.size(), 5u);
    EXPECT_EQ(view.memo[0], " ");
    EXPECT_EQ(view.memo[1], log.StampPrefix() + " No se pudo crear Carpeta de Copias: E:\\COPIAS\\");
    EXPECT_EQ(view.memo[2], " ");
    EXPECT_FALSE(view.memo[3].empty());
    EXPECT_EQ(view.memo[4], " ");
}

} // namespace
} // namespace veltor
