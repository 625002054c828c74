// The database server stopped while a backup streams its output. It stops the shared server,
// so it runs alone, and it always starts the server again.

#include "backup/Operations.h"
#include "tests/backup/ScheduledRunHarness.h"
#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace veltor::test {
namespace {

// Starts the server again however the test ends.
struct ServerRestart {
    ~ServerRestart() {
        if (!FirebirdServerAnswers()) StartFirebirdServer();
    }
};

TEST(ScheduledBackupServerStop, ServerStoppedInTheMiddleOfABackupLosesNothingAndTheNextRunWorks) {
    ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
    ScheduledRunHarness h;
    CatalogueFixture& cat = h.catalogueFiles;
    ASSERT_NO_FATAL_FAILURE(cat.CreateCatalogue());
    cat.WriteConfiguration(cat.folder.path());
    // Large enough that its verbose output fills the service's buffer: the backup waits for
    // the reads that the stop holds up, so it cannot end before the server goes.
    const std::string big = cat.CreateCompanyDatabase("big.fdb", 200000);
    const std::string small = cat.CreateCompanyDatabase("small.fdb", 10);
    cat.AddCompany({.id = 1, .codigo = "001", .nombre = "GRANDE", .archivo = big, .horaBackup01 = CurrentHourMinute()});
    cat.AddCompany(
        {.id = 2, .codigo = "002", .nombre = "PEQUENA", .archivo = small, .horaBackup01 = CurrentHourMinute()});

    ServerRestart restart;
    bool stopped = false;
    h.view.onProcessEvents = [&] {
        if (stopped) return;
        stopped = true;
        ASSERT_TRUE(StopFirebirdServer());
    };
    EXPECT_NO_THROW(h.Run());
    h.view.onProcessEvents = nullptr;
    ASSERT_TRUE(stopped) << "no verbose line arrived";
    ASSERT_TRUE(StartFirebirdServer());

    // Both companies failed and the log says so; nothing is stamped.
    std::string log = ReadFile(h.MonthLogPath());
    std::erase(log, '\r');
    EXPECT_NE(log.find(" Advertencia en Backup: "), std::string::npos) << log;
    EXPECT_NE(log.find(" No terminado Backup: 001 - GRANDE"), std::string::npos) << log;
    EXPECT_NE(log.find(" No terminado Backup: 002 - PEQUENA"), std::string::npos) << log;
    EXPECT_NE(log.find(" <=== Fin Backup "), std::string::npos) << log;

    // Every database opens and holds every committed row.
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM MOVIMIENTOS", big), "200000");
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM MOVIMIENTOS", small), "10");
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NULL"), "2");

    // The next run reconnects and backs both up.
    h.view.memo.clear();
    h.Run();
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Finaliza Backup: 001 - GRANDE"));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Finaliza Backup: 002 - PEQUENA"));
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NOT NULL"), "2");
}

TEST(ScheduledBackupServerStop, ServerStoppedWhileBackupsRunAtOnceFailsEachOnItsOwnAndTheNextRunWorks) {
    ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
    ScheduledRunHarness h;
    CatalogueFixture& cat = h.catalogueFiles;
    ASSERT_NO_FATAL_FAILURE(cat.CreateCatalogue());
    cat.WriteConfiguration(cat.folder.path());
    WriteFile(cat.folder / "ADMINBD.inf", ReadFile(cat.folder / "ADMINBD.inf") + "BACKUPSPARALELO=2\n");
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 200000);
    const std::string dos = cat.CreateCompanyDatabase("dos.fdb", 200000);
    const std::string tres = cat.CreateCompanyDatabase("tres.fdb", 10);
    int id = 0;
    for (const std::string& database : {uno, dos, tres}) {
        ++id;
        cat.AddCompany({.id = id,
                        .codigo = "00" + std::to_string(id),
                        .nombre = "EMPRESA " + std::to_string(id),
                        .archivo = database,
                        .horaBackup01 = CurrentHourMinute()});
    }
    fb::FirebirdService verifyService{h.api};
    FirebirdRestoredDatabase databases{h.api};
    BackupOperations operations{{h.global, h.catalogue, h.log, h.files, h.clock, h.view, verifyService, databases}};
    auto run = [&] {
        CurrentDirectory inCatalogueFolder(cat.folder.path());
        ScheduledBackup backups(
            {h.global, h.catalogue, h.backup, h.log, h.files, h.clock, h.view, h.periodHours, h.periodMinutes,
             [&]() -> std::unique_ptr<fb::IFirebirdService> { return std::make_unique<fb::FirebirdService>(h.api); }});
        backups.SetOperations(&operations);
        backups.RunScheduledBackup();
    };
    // The server goes once both big backups are being written, while the run waits for them.
    auto writing = [&] {
        int temporaries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(cat.backupFolder))
            temporaries += entry.path().extension() == ".tmp";
        return temporaries;
    };

    ServerRestart restart;
    bool stopped = false;
    h.view.onProcessEvents = [&] {
        if (stopped || writing() < 2) return;
        stopped = true;
        ASSERT_TRUE(StopFirebirdServer());
    };
    EXPECT_NO_THROW(run());
    h.view.onProcessEvents = nullptr;
    ASSERT_TRUE(stopped) << "the two backups were not seen at once";
    ASSERT_TRUE(StartFirebirdServer());

    std::string log = ReadFile(h.MonthLogPath());
    std::erase(log, '\r');
    EXPECT_NE(log.find(" No terminado Backup: 001 - EMPRESA 1"), std::string::npos) << log;
    EXPECT_NE(log.find(" No terminado Backup: 002 - EMPRESA 2"), std::string::npos) << log;
    EXPECT_NE(log.find(" <=== Fin Backup "), std::string::npos) << log;
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM MOVIMIENTOS", uno), "200000");
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE EMPRESAID < 3 AND FECHAULTBACKUP IS NULL"), "2");

    // The next run backs up every company and leaves no temporary file.
    h.view.memo.clear();
    run();
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NOT NULL"), "3");
    EXPECT_EQ(writing(), 0);
    EXPECT_EQ(h.BackupFiles().size(), 3u);
}

} // namespace
} // namespace veltor::test
