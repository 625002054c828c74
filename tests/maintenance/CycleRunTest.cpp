// The cycle's lines, statements and decisions, with the real catalogue, backup and restore of
// the local server but a scripted service control manager (the server keeps running), a
// recording script launch and file exchange, and a scripted transaction databases.
#include "tests/maintenance/CycleHarness.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/support/FirebirdServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kService = "FirebirdGuardianDefaultInstance";

// Each stop and start of the server's service is confirmed or not, in the order the script
// gives; past its end every operation is confirmed.
class ScriptedServer {
public:
    explicit ScriptedServer(FakeServiceManager& manager) : manager_(manager) {
        manager_.services[kService] = {};
        manager_.beforeCall = [this](const std::string& call) {
            const bool stop = call == std::string("open ") + kService + " 0x2c";
            const bool start = call == std::string("open ") + kService + " 0x14";
            if (!stop && !start) return;
            operations.push_back(stop ? "stop" : "start");
            const bool confirmed = outcomes.empty() || outcomes.front();
            if (!outcomes.empty()) outcomes.pop_front();
            auto& service = manager_.services[kService];
            service.openFails = !confirmed;
            service.queries = stop ? std::deque<std::optional<ServiceStatus>>{MakeServiceStatus(service::kRunning),
                                                                              MakeServiceStatus(service::kStopped)}
                                   : std::deque<std::optional<ServiceStatus>>{MakeServiceStatus(service::kStopped),
                                                                              MakeServiceStatus(service::kRunning)};
        };
    }
    std::deque<bool> outcomes;
    std::vector<std::string> operations; // "stop", "start" in order

private:
    FakeServiceManager& manager_;
};

class CycleRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer()); }

    FakeServiceManager manager;
    ScriptedServer server{manager};
    RecordingShell shell;
    RecordingDatabaseFiles exchange;
    ScriptedDatabases databases;
    FakeClock clock;
    CycleHarness cycle{manager, shell, exchange, databases, clock};

    const std::string P = "07/12/2026 - 12:45:03"; // before the pause
    const std::string Q = "07/12/2026 - 12:45:23"; // after it
};

TEST_F(CycleRun, CompanyIsBackedUpRestoredAndSwappedWithEveryLineInOrder) {
    const std::string live = cycle.OneCompany("emp1.fdb");
    const std::string folder = cycle.catalogueFiles.folder.path() + "/";
    const std::string gbk = cycle.catalogueFiles.backupFolder + "emp1-20261207-1245.GBK";
    const std::string restored = folder + "EMP1-Restore-20261207-1245.GDB";
    const std::string kept = folder + "EMP1-Copia-20261207-1245.GDB";
    databases.answers = {40, 41};
    shell.found = false; // a missing script changes nothing

    EXPECT_EQ(cycle.Run(), 0);

    EXPECT_THAT(cycle.MemoSteps(),
                ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO", P + " Stop al Servicio: 001 - EMPRESA UNO",
                            P + " Servicio Iniciado: 001 - EMPRESA UNO", P + " Inicia Backup: 001 - EMPRESA UNO",
                            P + " Archivo Backup: " + gbk, "  ", P + " Ruta del Backup Realizado: " + gbk, "  ",
                            P + " Inicia Restore: 001 - EMPRESA UNO", P + " Archivo Backup: " + gbk, "  ",
                            P + " Restore Finalizado: 001 - EMPRESA UNO",
                            P + " Ruta del Restore Realizado: " + restored, "  ",
                            Q + " Renombra Archivo Restaurado: 001 - EMPRESA UNO",
                            Q + " Renombra el Archivo Original: " + live + "\r\n por: " + kept,
                            Q + " Renombra el Archivo Restaurado: " + restored + "\r\n por: " + live));
    EXPECT_THAT(cycle.LogLines(),
                ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                            P + " Inicio BackupRestore: 001 - EMPRESA UNO", P + " Archivo Backup: " + gbk,
                            Q + " Finaliza BackupRestore ", " ", " ", Q + " <=== Fin Backup "));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    EXPECT_THAT(shell.launched, ElementsAre("gfixonline.Bat|" + restored));
    EXPECT_THAT(clock.sleeps, ElementsAre(20000u));
    EXPECT_THAT(exchange.calls,
                ElementsAre("access " + live + "|" + restored, "swap " + live + "|" + restored + "|" + kept));
    // Read through the server before the backup, by this process's engine with the server stopped.
    EXPECT_THAT(databases.asked, ElementsAre("localhost:" + live, live));
    EXPECT_THAT(databases.askedOnline, ElementsAre(restored));
    EXPECT_TRUE(std::filesystem::exists(gbk));
    // Root-owned until the exchange gives it the live file's owner: read by this process's engine.
    EXPECT_THAT(RunIsql("SELECT COUNT(*) FROM MOVIMIENTOS;", restored), HasSubstr("50"));
    EXPECT_THAT(cycle.Stamp("FECHAULTRESTORE"), HasSubstr("2026-12-07"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "12:45");
    EXPECT_FALSE(std::filesystem::exists(cycle.catalogueFiles.folder.path() + "/ServicioDetenido.inf"));
}

TEST_F(CycleRun, FirstStopNotConfirmedGivesTheCompanyUpWithOneMemoLine) {
    cycle.OneCompany();
    server.outcomes = {false};
    EXPECT_EQ(cycle.Run(), 1);
    EXPECT_THAT(
        cycle.MemoSteps(),
        ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO",
                    P + " NO se pudo hacer Stop al Servicio: 001 - EMPRESA UNOMensaje: Error de Apertura en SCM "
                        "o Servicio"));
    EXPECT_THAT(cycle.LogLines(), ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                                              P + " Inicio BackupRestore: 001 - EMPRESA UNO", P + " <=== Fin Backup "));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "<null>");
}

TEST_F(CycleRun, StartNotConfirmedGivesTheCompanyUpSilently) {
    cycle.OneCompany();
    server.outcomes = {true, false};
    EXPECT_EQ(cycle.Run(), 1);
    EXPECT_THAT(cycle.MemoSteps(), ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO",
                                               P + " Stop al Servicio: 001 - EMPRESA UNO"));
    EXPECT_THAT(cycle.LogLines(),
                ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                            P + " Inicio BackupRestore: 001 - EMPRESA UNO", " ", P + " <=== Fin Backup "));
    EXPECT_THAT(databases.asked, IsEmpty());
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "<null>");
}

// A start that is not confirmed, or a second stop that is not, leaves the service perhaps
// stopped: the note stays, and the next run starts the service before anything else, once.
TEST_F(CycleRun, WithoutTheLocalEngineEachCompanyIsGivenUpBeforeTheServiceIsStopped) {
    cycle.OneCompany();
    databases.noLocalRestore = "sin motor local";
    cycle.Run();
    const std::string line = P + " No se hace Backup-Restore: 001 - EMPRESA UNO: sin motor local";
    EXPECT_THAT(cycle.MemoSteps(), ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO", line));
    EXPECT_THAT(cycle.LogLines(),
                ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                            P + " Inicio BackupRestore: 001 - EMPRESA UNO", line, " ", P + " <=== Fin Backup "));
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(databases.asked, IsEmpty());
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "<null>");
}

TEST_F(CycleRun, ServiceLeftPerhapsStoppedIsStartedByTheNextRunFirst) {
    cycle.OneCompany();
    const std::string note = cycle.catalogueFiles.folder.path() + "/ServicioDetenido.inf";
    for (const std::deque<bool>& outcomes : {std::deque<bool>{true, false}, std::deque<bool>{true, true, false}}) {
        server.operations.clear();
        server.outcomes = outcomes;
        cycle.restoreNow = true;
        cycle.Run();
        ASSERT_TRUE(std::filesystem::exists(note));
        EXPECT_EQ(ReadFile(note), "localhost\r\n");

        server.operations.clear();
        server.outcomes = {false};
        cycle.restoreNow = false; // the next runs select nothing
        cycle.Run();              // the start fails: the note stays for the run after
        EXPECT_EQ(server.operations.front(), "start");
        EXPECT_TRUE(std::filesystem::exists(note));
        cycle.Run();
        EXPECT_THAT(server.operations, ElementsAre("start", "start"));
        EXPECT_FALSE(std::filesystem::exists(note));
        const auto& memo = cycle.MemoSteps();
        EXPECT_THAT(memo[memo.size() - 2],
                    HasSubstr(" NO se pudo iniciar el Servicio que un Backup-Restore que no terminó dejó detenido: "
                              "Mensaje: Error de Apertura en SCM o Servicio"));
        EXPECT_THAT(memo.back(),
                    HasSubstr(" Servicio Iniciado: un Backup-Restore que no terminó pudo dejarlo detenido "));
        EXPECT_THAT(cycle.LogLines().back(),
                    HasSubstr(" Servicio Iniciado: un Backup-Restore que no termin\xF3 pudo "));

        cycle.Run(); // nothing left to start
        EXPECT_THAT(server.operations, ElementsAre("start", "start"));
    }
}

TEST_F(CycleRun, BackupErrorLeavesTheRowUnstampedAndRestoresNothing) {
    const std::string live = cycle.OneCompany();
    std::filesystem::remove(live);
    EXPECT_EQ(cycle.Run(), 1);
    // The server's message may run over several lines, and the server refuses the missing
    // database either when the backup starts or at its first read: the file line is written
    // only in the second case.
    auto log = cycle.LogLines();
    std::erase_if(log, [&](const std::string& line) { return line.starts_with(P + " Archivo Backup: "); });
    ASSERT_GE(log.size(), 8u);
    EXPECT_THAT(log[4], ::testing::StartsWith(P + " Advertencia en Backup: "));
    EXPECT_THAT(std::vector<std::string>(log.end() - 3, log.end()),
                ElementsAre(P + " No terminado BackupRestoer ", " ", P + " <=== Fin Backup "));
    const auto memo = cycle.MemoSteps();
    ASSERT_FALSE(memo.empty());
    EXPECT_THAT(memo.back(), ::testing::StartsWith(P + " Advertencia en Backup: "));
    EXPECT_THAT(memo.back(), ::testing::EndsWith("001 - EMPRESA UNO"));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "<null>");
}

TEST_F(CycleRun, RestoreErrorOfATruncatedBackupStillStampsTheCompany) {
    const std::string live = cycle.OneCompany("emp1.fdb", 2000);
    const std::string gbk = cycle.catalogueFiles.backupFolder + "emp1-20261207-1245.GBK";
    // Once the backup has ended, its file loses its second half.
    bool truncated = false;
    cycle.view.onProcessEvents = [&] {
        if (truncated || !cycle.backup.AtEnd()) return;
        truncated = true;
        std::filesystem::resize_file(gbk, std::filesystem::file_size(gbk) / 2);
    };
    EXPECT_EQ(cycle.Run(), 1);
    ASSERT_TRUE(truncated);
    const auto log = cycle.LogLines();
    ASSERT_EQ(log.size(), 10u);
    // The restore service reports no error; the new database is left shut down half restored.
    // (The month log is in Windows-1252.)
    EXPECT_EQ(log[5], P + " Error n Restore: El Restore no termin\xF3: la base de datos restaurada qued\xF3 en "
                          "mantenimiento 001 - EMPRESA UNO");
    EXPECT_THAT(log[5], ::testing::EndsWith("001 - EMPRESA UNO"));
    EXPECT_EQ(log[6], P + " Finaliza BackupRestore ");
    const auto memo = cycle.MemoSteps();
    EXPECT_THAT(memo.back(), ::testing::StartsWith(P + " Error en Restore: "));
    EXPECT_THAT(shell.launched, IsEmpty());
    EXPECT_THAT(exchange.calls, IsEmpty());
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "12:45");
}

TEST_F(CycleRun, SecondStopNotConfirmedLeavesBothFilesAndTheServiceAsTheStopLeftIt) {
    cycle.OneCompany();
    server.outcomes = {true, true, false};
    EXPECT_EQ(cycle.Run(), 1);
    const std::string why =
        Q + " NO se pudo hacer Stop al Servicio: 001 - EMPRESA UNOMensaje: Error de Apertura en SCM o Servicio";
    EXPECT_EQ(cycle.MemoSteps().back(), why);
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(why));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop"));
    EXPECT_THAT(exchange.calls, IsEmpty());
    EXPECT_EQ(databases.asked.size(), 1u);
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "12:45");
}

TEST_F(CycleRun, WorkOfOthersDuringTheCycleKeepsTheLiveDatabase) {
    cycle.OneCompany();
    databases.answers = {40, 43}; // the backup's own transaction and two more
    EXPECT_EQ(cycle.Run(), 1);
    const std::string why = Q +
                            " No se reemplaza la base de datos: hubo transacciones durante el Backup-Restore: 001 - "
                            "EMPRESA UNO";
    EXPECT_EQ(cycle.MemoSteps().back(), why);
    const auto log = cycle.LogLines();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[5], why);
    EXPECT_EQ(log[6], Q + " Finaliza BackupRestore ");
    EXPECT_THAT(exchange.calls, IsEmpty());
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
}

TEST_F(CycleRun, FailedSwapIsReportedAndTheServiceStartedAgainAcrossMidnight) {
    const std::string live = cycle.OneCompany();
    // Named at 23:59, stamped after the pause, on the next day.
    clock.Set(2026, 12, 31, 23, 59, 50);
    exchange.swapFailure = OsError("File exists", 17);
    EXPECT_EQ(cycle.Run(), 1);
    const std::string after = "01/01/2027 - 00:00:10";
    const std::string why = after + " No se pudo reemplazar la base de datos: 001 - EMPRESA UNO Mensaje: File exists";
    EXPECT_EQ(cycle.MemoSteps().back(), why);
    EXPECT_THAT(cycle.MemoSteps()[cycle.MemoSteps().size() - 2], HasSubstr(" Renombra el Archivo Restaurado: "));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(why));
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(after + " Finaliza BackupRestore "));
    EXPECT_THAT(cycle.Stamp("FECHAULTRESTORE"), HasSubstr("2027-01-01"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "23:59");
    EXPECT_THAT(shell.launched, ElementsAre(::testing::HasSubstr("EMP1-Restore-20261231-2359.GDB")));
}

TEST_F(CycleRun, NothingSelectedOpensNoLogAndWritesNothing) {
    cycle.catalogueFiles.CreateCatalogue();
    cycle.catalogueFiles.WriteConfiguration(cycle.catalogueFiles.folder.path());
    EXPECT_EQ(cycle.Run(), 0);
    EXPECT_THAT(cycle.view.memo, IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(TActivityLog::MonthLogPath(cycle.catalogueFiles.backupFolder, clock.Now())));
    EXPECT_THAT(server.operations, IsEmpty());
}

TEST_F(CycleRun, UnreachableCatalogueWritesItsLinesAndEndsTheRunWithAnError) {
    cycle.catalogueFiles.WriteConfiguration(cycle.catalogueFiles.folder.path()); // no catalogue there
    EXPECT_THROW(cycle.Run(), std::exception);
    const auto memo = cycle.MemoSteps();
    ASSERT_EQ(memo.size(), 8u);
    EXPECT_EQ(memo[1], P + " No se pudo conectar a lista Empresas ... ");
    EXPECT_EQ(memo[2], P + " Conexión: localhost:" + cycle.catalogueFiles.adminPath + "  Clave: quillbank");
    EXPECT_EQ(memo[5], P + " No se pudo consultar lista Empresas para Backup ... ");
    EXPECT_FALSE(std::filesystem::exists(TActivityLog::MonthLogPath(cycle.catalogueFiles.backupFolder, clock.Now())));
}

} // namespace
} // namespace veltor::test
