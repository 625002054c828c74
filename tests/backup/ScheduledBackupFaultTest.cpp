// Faults around one company's backup: the backup folder full or closed to the server, and
// company rows whose database path is empty or absurd. After each, every database still holds
// its rows, the log names the failure, and the next run backs up what is due.

#include "tests/backup/ScheduledRunHarness.h"
#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>

namespace veltor::test {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ScheduledBackupFault : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
        ASSERT_NO_FATAL_FAILURE(h.catalogueFiles.CreateCatalogue());
        h.catalogueFiles.WriteConfiguration(h.catalogueFiles.folder.path());
    }
    void TearDown() override {
        if (mounted_ && umount(cat.backupFolder.c_str()) != 0) ADD_FAILURE() << "cannot unmount " << cat.backupFolder;
    }

    // A tmpfs of `size` (mount's own notation) over the backup folder.
    void MountBackupFolder(const std::string& size) {
        const std::string options = "size=" + size + ",mode=0777";
        ASSERT_EQ(mount("tmpfs", cat.backupFolder.c_str(), "tmpfs", 0, options.c_str()), 0) << "mount needs root";
        mounted_ = true;
    }

    void AddDueCompany(int id, const std::string& archivo) {
        cat.AddCompany({.id = id,
                        .codigo = "00" + std::to_string(id),
                        .nombre = "EMPRESA " + std::to_string(id),
                        .archivo = archivo,
                        .horaBackup01 = CurrentHourMinute()});
    }
    std::string Stamped(int id) {
        return cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NOT NULL AND EMPRESAID = " +
                         std::to_string(id));
    }
    std::string Rows(const std::string& database) { return cat.Value("SELECT COUNT(*) FROM MOVIMIENTOS", database); }
    // The log of this month, without the Windows line ends.
    std::string Log() {
        std::string log = ReadFile(h.MonthLogPath());
        std::erase(log, '\r');
        return log;
    }

    ScheduledRunHarness h;
    CatalogueFixture& cat = h.catalogueFiles;

private:
    bool mounted_ = false;
};

TEST_F(ScheduledBackupFault, FullBackupFolderFailsTheBackupAndTheNextRunWorksOnceThereIsRoom) {
    const std::string big = cat.CreateCompanyDatabase("big.fdb", 60000);
    const std::string small = cat.CreateCompanyDatabase("small.fdb", 10);
    AddDueCompany(1, big);
    AddDueCompany(2, small);
    ASSERT_NO_FATAL_FAILURE(MountBackupFolder("512k"));

    h.Run();

    EXPECT_TRUE(h.MemoHasLineEndingWith(" No terminado Backup: 001 - EMPRESA 1"));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Backup Finalizado "));
    EXPECT_EQ(Stamped(1), "0");
    EXPECT_EQ(Rows(big), "60000");
    EXPECT_EQ(Rows(small), "10");
    const std::string log = Log();
    EXPECT_TRUE(Contains(log, " Advertencia en Backup: ")) << log;
    EXPECT_TRUE(Contains(log, " No terminado Backup: 001 - EMPRESA 1")) << log;
    // The server removes what it wrote of the failed backup; the next company fits.
    ASSERT_EQ(h.BackupFiles().size(), 1u);
    EXPECT_EQ(h.BackupFiles()[0].rfind("small-", 0), 0u);

    // The operator makes room; the failed company is still due and goes through.
    ASSERT_EQ(mount("tmpfs", cat.backupFolder.c_str(), "tmpfs", MS_REMOUNT, "size=64m,mode=0777"), 0);
    h.view.memo.clear();
    h.Run();
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Finaliza Backup: 001 - EMPRESA 1"));
    EXPECT_EQ(Stamped(1), "1");
    EXPECT_EQ(Stamped(2), "1");
}

TEST_F(ScheduledBackupFault, FolderTheServerCannotWriteFailsEachBackupAndIsLogged) {
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 20);
    AddDueCompany(1, uno);
    // Ours (root) alone: the log can be written, the server's backup file cannot.
    ASSERT_EQ(chmod(cat.backupFolder.c_str(), 0700), 0);

    h.Run();

    EXPECT_EQ(Stamped(1), "0");
    EXPECT_EQ(Rows(uno), "20");
    const std::string log = Log();
    EXPECT_TRUE(Contains(log, " Advertencia en Backup: ")) << log;
    EXPECT_TRUE(Contains(log, " No terminado Backup: 001 - EMPRESA 1")) << log;
    EXPECT_TRUE(h.BackupFiles().empty());

    ASSERT_EQ(chmod(cat.backupFolder.c_str(), 0777), 0);
    h.Run();
    EXPECT_EQ(Stamped(1), "1");
    EXPECT_EQ(h.BackupFiles().size(), 1u);
}

TEST_F(ScheduledBackupFault, EmptyOrAbsurdDatabasePathsFailTheirRowsOnly) {
    // The suite's column holds 255 characters; a wider one lets a 10,000-character path in.
    cat.Sql("ALTER TABLE EMPRESAS ALTER ARCHIVO TYPE VARCHAR(12000); COMMIT;");
    const std::string good = cat.CreateCompanyDatabase("good.fdb", 30);
    AddDueCompany(1, "");
    AddDueCompany(2, "");
    AddDueCompany(3, "");
    AddDueCompany(4, good);
    cat.Sql("UPDATE EMPRESAS SET ARCHIVO = '' WHERE EMPRESAID = 2; UPDATE EMPRESAS SET ARCHIVO = '" +
            cat.folder.path() + "/" + std::string(10000 - cat.folder.path().size() - 1, 'x') +
            "' WHERE EMPRESAID = 3; COMMIT;");
    ASSERT_EQ(cat.Value("SELECT CHAR_LENGTH(ARCHIVO) FROM EMPRESAS WHERE EMPRESAID = 3"), "10000");

    h.Run();

    const std::string log = Log();
    for (const char* company : {"001 - EMPRESA 1", "002 - EMPRESA 2", "003 - EMPRESA 3"})
        EXPECT_TRUE(Contains(log, std::string(" No terminado Backup: ") + company)) << log;
    EXPECT_TRUE(Contains(log, " Finaliza Backup: 004 - EMPRESA 4")) << log;
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NOT NULL"), "1");
    EXPECT_EQ(Rows(good), "30");

    // Once the rows name the database, the next run backs them up (the daily company that
    // went through is due again at the same time).
    cat.Sql("UPDATE EMPRESAS SET ARCHIVO = '" + good + "' WHERE EMPRESAID IN (1, 2, 3); COMMIT;");
    h.view.memo.clear();
    h.Run();
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Empresas Pendientes de Backup: 4"));
    for (const char* company : {"001 - EMPRESA 1", "002 - EMPRESA 2", "003 - EMPRESA 3"})
        EXPECT_TRUE(h.MemoHasLineEndingWith(std::string(" Finaliza Backup: ") + company)) << company;
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NOT NULL"), "4");
}

} // namespace
} // namespace veltor::test
