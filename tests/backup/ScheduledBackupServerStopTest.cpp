// The database server stopped while a backup streams its output. It stops the shared server,
// so it runs alone, and it always starts the server again.

#include "tests/backup/ScheduledRunHarness.h"
#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace veltor::test
