// The cycle's lines, statements and decisions, with the real catalogue of the local server but a
// scripted backup and restore (which write their files), service control manager (the server
// keeps running) and transaction databases, and a recording script launch and file exchange.
#include "tests/maintenance/CycleHarness.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/PortRelay.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

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
            if (call == std::string("open ") + kService + " 0x4") {
                operations.push_back("query");
                const bool running = !runningAnswers.empty() && runningAnswers.front();
                if (!runningAnswers.empty()) runningAnswers.pop_front();
                auto& service = manager_.services[kService];
                service.openFails = false;
                service.queries = {MakeServiceStatus(running ? service::kRunning : service::kStopped)};
                return;
            }
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
    // What the queries of the service's state find, in order: running or not (not past the end).
    std::deque<bool> runningAnswers;
    std::vector<std::string> operations; // "stop", "start", "query" in order

private:
    FakeServiceManager& manager_;
};

class CycleRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
        cycle.scriptedServices = true;
        databases.online = true;
    }

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
    databases.answers = {40, 42};
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
    EXPECT_THAT(exchange.calls, ElementsAre("access " + live + "|" + restored, "link " + live + "|" + kept,
                                            "rename " + restored + "|" + live));
    // Read by this process's engine both times, with the server stopped: before the first start
    // and before the exchange.
    EXPECT_THAT(databases.asked, ElementsAre(live, live));
    EXPECT_THAT(databases.askedOnline, ElementsAre(restored));
    EXPECT_TRUE(std::filesystem::exists(gbk));
    // The backup through the server, written under its temporary name, collecting no garbage;
    // the restore by this process's engine, from the published backup.
    ASSERT_EQ(cycle.scriptedBackup.runs.size(), 1u);
    const auto& backup = cycle.scriptedBackup.runs[0];
    EXPECT_EQ(backup.serverName, "localhost");
    EXPECT_EQ(backup.protocol, fb::ServiceProtocol::Tcp);
    EXPECT_EQ(backup.parameters, AdministratorParameters());
    EXPECT_EQ(backup.backup.databasePath, live);
    EXPECT_THAT(backup.backup.backupFiles, ElementsAre(gbk + ".tmp"));
    EXPECT_EQ(backup.backup.options, fb::BackupRequest::kNoGarbageCollection);
    EXPECT_TRUE(backup.backup.verbose);
    ASSERT_EQ(cycle.scriptedRestore.runs.size(), 1u);
    const auto& restore = cycle.scriptedRestore.runs[0];
    EXPECT_EQ(restore.protocol, fb::ServiceProtocol::Local);
    EXPECT_EQ(restore.parameters, AdministratorParameters());
    EXPECT_THAT(restore.restore.backupFiles, ElementsAre(gbk));
    EXPECT_THAT(restore.restore.databasePaths, ElementsAre(restored));
    EXPECT_EQ(restore.restore.options, fb::RestoreRequest::kReplace | fb::RestoreRequest::kCreate);
    EXPECT_EQ(restore.restore.pageSize, 8192);
    EXPECT_TRUE(restore.restore.verbose);
    EXPECT_THAT(cycle.Stamp("FECHAULTRESTORE"), HasSubstr("2026-12-07"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "12:45");
    EXPECT_FALSE(std::filesystem::exists(cycle.catalogueFiles.folder.path() + "/ServicioDetenido.inf"));
}

TEST_F(CycleRun, ScriptThatOthersCouldChangeIsNotStartedSaysWhyAndTheSwapGoesOn) {
    const std::string live = cycle.OneCompany("emp1.fdb");
    databases.answers = {40, 42};
    shell.refusal = "otros usuarios pueden modificar la carpeta: /srv/veltor";
    cycle.Run();
    const std::string line =
        P + " No se ejecuta gfixonline.Bat: otros usuarios pueden modificar la carpeta: /srv/veltor";
    EXPECT_TRUE(cycle.MemoHas(line));
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(line));
    EXPECT_THAT(shell.launched, IsEmpty());
    EXPECT_THAT(clock.sleeps, ElementsAre(20000u));
    EXPECT_THAT(exchange.calls,
                ElementsAre(HasSubstr("access " + live), HasSubstr("link " + live), HasSubstr("rename ")));
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
    const std::string live = cycle.OneCompany();
    server.outcomes = {true, false};
    EXPECT_EQ(cycle.Run(), 1);
    EXPECT_THAT(cycle.MemoSteps(), ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO",
                                               P + " Stop al Servicio: 001 - EMPRESA UNO"));
    EXPECT_THAT(cycle.LogLines(),
                ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                            P + " Inicio BackupRestore: 001 - EMPRESA UNO", " ", P + " <=== Fin Backup "));
    EXPECT_THAT(databases.asked, ElementsAre(live)); // the mark, taken while the server was stopped
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "<null>");
}

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

// A read-only database (a closed year) has no work to lose and its counter never moves: the
// server's answer gives it up before any service action. A question that fails stops nothing.
TEST_F(CycleRun, ReadOnlyDatabaseIsGivenUpBeforeAnyServiceActionAndLeftAsItWas) {
    const std::string live = cycle.OneCompany();
    MakeReadOnly(live);
    const std::string bytes = ReadFile(live);
    EXPECT_EQ(cycle.Run(), 1);
    const std::string line = P + " No se hace Backup-Restore: 001 - EMPRESA UNO: la base de datos es de solo lectura";
    EXPECT_THAT(cycle.MemoSteps(), ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO", line));
    EXPECT_THAT(cycle.LogLines(),
                ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                            P + " Inicio BackupRestore: 001 - EMPRESA UNO", line, P + " <=== Fin Backup "));
    EXPECT_THAT(databases.askedReadOnly, ElementsAre("localhost:" + live));
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(databases.asked, IsEmpty());
    EXPECT_THAT(exchange.calls, IsEmpty());
    EXPECT_EQ(ReadFile(live), bytes);
    EXPECT_FALSE(std::filesystem::exists(cycle.catalogueFiles.backupFolder + "emp1-20261207-1245.GBK"));
    EXPECT_EQ(cycle.Book().Find("1")->lastCycle->outcome, kCycleGivenUp);
    EXPECT_EQ(cycle.Book().Find("1")->lastCycle->message,
              "No se hace Backup-Restore: la base de datos es de solo lectura");

    databases.readOnlyFails = true;
    server.outcomes = {false};
    cycle.Run();
    EXPECT_THAT(server.operations, ElementsAre("stop"));
}

// The port of SERVIDOR tells the server: the default instance's, written or not, is the one
// whose service the cycle stops on this machine; another server's company is given up before
// any service action, as its service is not known.
TEST_F(CycleRun, OnlyTheDefaultInstancesServerIsStoppedWhateverTheFormOfItsName) {
    const std::string live = cycle.OneCompany();
    cycle.Configure("SERVIDOR=localhost/3050\r\n");
    databases.answers = {40, 42};
    EXPECT_EQ(cycle.Run(), 0);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    ASSERT_FALSE(manager.managerOpenings.empty());
    for (const auto& opening : manager.managerOpenings)
        EXPECT_FALSE(opening.machine);
    EXPECT_EQ(cycle.Book().Find("1")->lastCycle->outcome, kCycleSwapped);

    PortRelay another(3050);
    const std::string text = "127.0.0.1/" + std::to_string(another.port());
    cycle.Configure("SERVIDOR=" + text + "\r\n");
    server.operations.clear();
    manager.managerOpenings.clear();
    cycle.view.memo.clear();
    EXPECT_EQ(cycle.Run(), 1);
    const std::string line = Q + " No se hace Backup-Restore: 001 - EMPRESA UNO: el servidor " + text +
                             " no es el de la instancia predeterminada (puerto 3050)";
    EXPECT_THAT(cycle.MemoSteps(), ElementsAre(Q + " Inicio Backup-Restore: 001 - EMPRESA UNO", line));
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(line));
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(manager.managerOpenings, IsEmpty());
    EXPECT_EQ(cycle.Book().Find("1")->lastCycle->outcome, kCycleGivenUp);
}

// A start that is not confirmed leaves the service perhaps stopped: the note stays, and the
// next run starts the service before anything else, once. A note whose service is found
// running goes without a line; a stop that could not have stopped anything leaves no note.
TEST_F(CycleRun, ServiceLeftPerhapsStoppedIsStartedByTheNextRunFirst) {
    cycle.OneCompany();
    const std::string note = cycle.catalogueFiles.folder.path() + "/ServicioDetenido.inf";
    server.outcomes = {true, false};
    cycle.Run();
    ASSERT_TRUE(std::filesystem::exists(note));
    EXPECT_EQ(ReadFile(note), "localhost\r\n");

    server.operations.clear();
    server.outcomes = {false};
    cycle.restoreNow = false; // the next runs select nothing
    cycle.Run();              // the start fails: the note stays for the run after
    EXPECT_THAT(server.operations, ElementsAre("query", "start"));
    EXPECT_TRUE(std::filesystem::exists(note));
    cycle.Run();
    EXPECT_THAT(server.operations, ElementsAre("query", "start", "query", "start"));
    EXPECT_FALSE(std::filesystem::exists(note));
    const auto memo = cycle.MemoSteps();
    EXPECT_THAT(memo[memo.size() - 2],
                HasSubstr(" NO se pudo iniciar el Servicio que un Backup-Restore que no terminó dejó detenido: "
                          "Mensaje: Error de Apertura en SCM o Servicio"));
    EXPECT_THAT(memo.back(), HasSubstr(" Servicio Iniciado: un Backup-Restore que no terminó pudo dejarlo detenido "));
    EXPECT_THAT(cycle.LogLines().back(), HasSubstr(" Servicio Iniciado: un Backup-Restore que no termin\xF3 pudo "));

    cycle.Run(); // nothing left to start
    EXPECT_EQ(server.operations.size(), 4u);

    // Somebody started the service meanwhile: the note goes, with no start and no line.
    WriteFile(note, "localhost\r\n");
    server.runningAnswers = {true};
    const std::size_t lines = cycle.view.memo.size();
    cycle.Run();
    EXPECT_THAT(server.operations, ElementsAre("query", "start", "query", "start", "query"));
    EXPECT_FALSE(std::filesystem::exists(note));
    EXPECT_EQ(cycle.view.memo.size(), lines);

    // A stop that could not open the service manager stopped nothing: no note.
    cycle.restoreNow = true;
    server.outcomes = {false};
    cycle.Run();
    EXPECT_FALSE(std::filesystem::exists(note));
}

// Refused at its start or failing once started (the file line written then), the backup leaves
// neither its file nor a stamp, and nothing is restored.
TEST_F(CycleRun, BackupErrorLeavesTheRowUnstampedRestoresNothingAndLeavesNoBackupFile) {
    const std::string live = cycle.OneCompany();
    const std::string gbk = cycle.catalogueFiles.backupFolder + "emp1-20261207-1245.GBK";
    const std::string damaged = "database file appears corrupt ()";
    for (const bool started : {false, true}) {
        SCOPED_TRACE(started);
        cycle.scriptedBackup.scripts = {started ? FakeFirebirdService::Script{{}, {"gbak:readied"}, damaged, {}}
                                                : FakeFirebirdService::Script{damaged, {}, {}, {}}};
        server.operations.clear();
        cycle.view.memo.clear();
        EXPECT_EQ(cycle.Run(), 1);
        std::vector<std::string> lines{" ", P + " Inicio BackupRestore: ===> ", " ",
                                       P + " Inicio BackupRestore: 001 - EMPRESA UNO"};
        if (started) lines.push_back(P + " Archivo Backup: " + gbk);
        for (const std::string& line : {P + " Advertencia en Backup: " + damaged, P + " No terminado BackupRestoer ",
                                        std::string(" "), P + " <=== Fin Backup "})
            lines.push_back(line);
        auto log = cycle.LogLines();
        if (started) log.erase(log.begin(), log.end() - static_cast<std::ptrdiff_t>(lines.size()));
        EXPECT_EQ(log, lines);
        const auto memo = cycle.MemoSteps();
        ASSERT_FALSE(memo.empty());
        EXPECT_EQ(memo.back(), P + " Advertencia en Backup: " + damaged + "001 - EMPRESA UNO");
        EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
        EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "<null>");
        EXPECT_FALSE(std::filesystem::exists(gbk));
        EXPECT_FALSE(std::filesystem::exists(gbk + ".tmp"));
        EXPECT_THAT(cycle.scriptedRestore.runs, IsEmpty());
    }
}

// A restore whose output ends without an error but leaves its database shut down (a backup
// cut short) fails; what it left goes, and the company is stamped for its backup.
TEST_F(CycleRun, RestoreErrorOfATruncatedBackupStillStampsTheCompany) {
    const std::string live = cycle.OneCompany("emp1.fdb");
    databases.online = false;
    EXPECT_EQ(cycle.Run(), 1);
    const auto log = cycle.LogLines();
    ASSERT_EQ(log.size(), 11u);
    // (The month log is in Windows-1252.)
    EXPECT_EQ(log[5], P + " Error n Restore: El Restore no termin\xF3: la base de datos restaurada qued\xF3 en "
                          "mantenimiento 001 - EMPRESA UNO");
    // What the restore left goes.
    EXPECT_EQ(log[6], P + " Se borra el Archivo Restaurado que no reemplaz\xF3 la base de datos: " +
                          cycle.catalogueFiles.folder.path() + "/EMP1-Restore-20261207-1245.GDB");
    EXPECT_EQ(log[7], P + " Finaliza BackupRestore ");
    const auto memo = cycle.MemoSteps();
    EXPECT_THAT(memo[memo.size() - 2], ::testing::StartsWith(P + " Error en Restore: "));
    EXPECT_THAT(shell.launched, IsEmpty());
    EXPECT_THAT(exchange.calls,
                ElementsAre("remove " + cycle.catalogueFiles.folder.path() + "/EMP1-Restore-20261207-1245.GDB"));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "12:45");
}

TEST_F(CycleRun, SecondStopNotConfirmedStartsTheServiceAgainAndRemovesTheRestoredFile) {
    const std::string live = cycle.OneCompany();
    const std::string restored = cycle.catalogueFiles.folder.path() + "/EMP1-Restore-20261207-1245.GDB";
    server.outcomes = {true, true, false};
    EXPECT_EQ(cycle.Run(), 1);
    const std::string why =
        Q + " NO se pudo hacer Stop al Servicio: 001 - EMPRESA UNOMensaje: Error de Apertura en SCM o Servicio";
    const std::string removed = Q + " Se borra el Archivo Restaurado que no reemplazó la base de datos: " + restored;
    const auto memo = cycle.MemoSteps();
    EXPECT_THAT(std::vector<std::string>(memo.end() - 2, memo.end()), ElementsAre(why, removed));
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(why));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    EXPECT_THAT(exchange.calls, ElementsAre("access " + live + "|" + restored, "remove " + restored));
    EXPECT_EQ(databases.asked.size(), 1u);
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "12:45");
    EXPECT_FALSE(std::filesystem::exists(cycle.catalogueFiles.folder.path() + "/ServicioDetenido.inf"));
}

// The counter gains exactly the server's first attachment and the backup when nobody else
// worked: one more, or one fewer (another file at the live name, a counter gone back), keeps
// the live database, and the restored file goes.
TEST_F(CycleRun, TransactionGuardSwapsOnlyWhenTheCounterGainedExactlyTheCyclesOwn) {
    const std::string live = cycle.OneCompany();
    struct Case {
        std::int64_t after;
        const char* why; // nullptr: swapped
    };
    for (const Case& c :
         {Case{43, " No se reemplaza la base de datos: hubo transacciones durante el Backup-Restore: "},
          Case{42, nullptr}, Case{41, " No se reemplaza la base de datos: el archivo no es el mismo que se respaldó: "},
          Case{39, " No se reemplaza la base de datos: el archivo no es el mismo que se respaldó: "}}) {
        SCOPED_TRACE(c.after);
        exchange.calls.clear();
        cycle.view.memo.clear();
        databases.answers = {40, c.after};
        EXPECT_EQ(cycle.Run(), c.why == nullptr ? 0 : 1);
        const auto memo = cycle.MemoSteps();
        const std::string restored = exchange.CallsOf("access")[0].substr(live.size() + 1);
        if (c.why == nullptr) {
            EXPECT_THAT(exchange.CallsOf("rename"), ElementsAre(restored + "|" + live));
            EXPECT_THAT(exchange.CallsOf("remove"), IsEmpty());
            continue;
        }
        ASSERT_GE(memo.size(), 2u);
        EXPECT_THAT(memo[memo.size() - 2],
                    ::testing::EndsWith(c.why + std::string("001 - EMPRESA UNO Transacciones: 40 antes, ") +
                                        std::to_string(c.after) + " después, 2 del Backup-Restore"));
        EXPECT_THAT(memo.back(), ::testing::EndsWith(
                                     " Se borra el Archivo Restaurado que no reemplazó la base de datos: " + restored));
        EXPECT_THAT(exchange.CallsOf("link"), IsEmpty());
        EXPECT_THAT(exchange.CallsOf("remove"), ElementsAre(restored));
    }
}

// The old versions of the live database's system tables are collected with the server stopped
// and before the mark, so the collection's own transactions come before the counter's first
// reading and the server's garbage collector finds nothing there; a collection that fails
// leaves the guard to decide as always.
TEST_F(CycleRun, SystemTablesAreCollectedWithTheServerStoppedBeforeTheMark) {
    const std::string live = cycle.OneCompany();
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        server.operations.clear();
        databases.asked.clear();
        databases.collected.clear();
        exchange.calls.clear();
        databases.collectFails = fails;
        std::vector<std::string> operationsThen;
        std::size_t readingsThen = 99;
        databases.onCollect = [&] {
            operationsThen = server.operations;
            readingsThen = databases.asked.size();
        };
        databases.answers = {40, 42};
        EXPECT_EQ(cycle.Run(), 0);
        EXPECT_THAT(databases.collected, ElementsAre(live));
        EXPECT_THAT(operationsThen, ElementsAre("stop"));
        EXPECT_EQ(readingsThen, 0u);
        EXPECT_EQ(exchange.CallsOf("rename").size(), 1u);
    }
}

TEST_F(CycleRun, FailedSwapIsReportedAndTheServiceStartedAgainAcrossMidnight) {
    const std::string live = cycle.OneCompany();
    const std::string restored = cycle.catalogueFiles.folder.path() + "/EMP1-Restore-20261231-2359.GDB";
    // Named at 23:59, stamped after the pause, on the next day.
    clock.Set(2026, 12, 31, 23, 59, 50);
    exchange.failures.emplace("link", OsError("File exists", 17));
    databases.answers = {40, 42};
    cycle.Run();
    const std::string after = "01/01/2027 - 00:00:10";
    const std::string kept = cycle.catalogueFiles.folder.path() + "/EMP1-Copia-20261231-2359.GDB";
    const std::string why = after +
                            " No se pudo reemplazar la base de datos: 001 - EMPRESA UNO Mensaje: no se pudo "
                            "dar a la base de datos el nombre " +
                            kept + ": File exists";
    const auto memo = cycle.MemoSteps();
    EXPECT_THAT(
        std::vector<std::string>(memo.end() - 2, memo.end()),
        ElementsAre(why, after + " Se borra el Archivo Restaurado que no reemplazó la base de datos: " + restored));
    EXPECT_THAT(memo[memo.size() - 3], HasSubstr(" Renombra el Archivo Restaurado: "));
    EXPECT_THAT(exchange.CallsOf("rename"), IsEmpty());
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(why));
    EXPECT_THAT(cycle.LogLines(), ::testing::Contains(after + " Finaliza BackupRestore "));
    EXPECT_THAT(cycle.Stamp("FECHAULTRESTORE"), HasSubstr("2027-01-01"));
    EXPECT_EQ(cycle.Stamp("HORAULTRESTORE"), "23:59");
    EXPECT_THAT(shell.launched, ElementsAre(::testing::HasSubstr("EMP1-Restore-20261231-2359.GDB")));
}

// The room is checked before the first stop; a first stop that is refused shows that the check
// let the company through.
TEST_F(CycleRun, RoomForTheRestoredCopyAndTheBackupIsCheckedAtItsLimitBeforeAnyServiceAction) {
    const std::string live = cycle.OneCompany();
    const std::string folder = cycle.catalogueFiles.folder.path() + "/";
    const std::string backups = cycle.catalogueFiles.backupFolder;
    const std::uint64_t size = 300 * 1024 * 1024 + 1;
    const std::uint64_t restoreNeed = size + size / 20 + 64 * 1024 * 1024;
    exchange.sizes[live] = size;
    struct Case {
        VolumeRoom live;
        VolumeRoom backup;
        const char* given; // nullptr: through
    };
    const std::string tooSmall = " No hay espacio para el Backup-Restore: 001 - EMPRESA UNO Necesita: ";
    for (const Case& c :
         {Case{{restoreNeed + size, 1}, {restoreNeed + size, 1}, nullptr},
          Case{{restoreNeed + size - 1, 1}, {restoreNeed + size - 1, 1}, "680 MB en "},
          Case{{restoreNeed, 1}, {size, 2}, nullptr}, Case{{restoreNeed - 1, 1}, {size, 2}, "380 MB en "},
          Case{{restoreNeed, 1}, {size - 1, 2}, "301 MB en "}}) {
        SCOPED_TRACE(c.live.available);
        exchange.rooms[folder] = c.live;
        exchange.rooms[backups] = c.backup;
        server.operations.clear();
        server.outcomes = {false};
        cycle.view.memo.clear();
        cycle.Run();
        const std::string last = cycle.MemoSteps().back();
        if (c.given == nullptr) {
            EXPECT_THAT(server.operations, ElementsAre("stop"));
            EXPECT_THAT(last, HasSubstr(" NO se pudo hacer Stop al Servicio: "));
            continue;
        }
        EXPECT_THAT(server.operations, IsEmpty());
        EXPECT_THAT(last, HasSubstr(tooSmall + c.given));
        EXPECT_THAT(cycle.LogLines(), ::testing::Contains(last));
    }
    EXPECT_THAT(cycle.MemoSteps().back(),
                ::testing::EndsWith(tooSmall + "301 MB en " + backups + " Disponible: 300 MB"));

    exchange.failures.emplace("size", OsError("No such file or directory", 2));
    cycle.Run();
    EXPECT_THAT(cycle.MemoSteps().back(),
                ::testing::EndsWith(" No se pudo medir el espacio para el Backup-Restore: 001 - EMPRESA UNO Mensaje: "
                                    "No such file or directory"));
    EXPECT_THAT(server.operations, IsEmpty());
}

// Before anything else a company's cycle takes away what an earlier cycle cut short left: kept
// names that are still the live file, then restored files of any stamp.
TEST_F(CycleRun, LeftOversOfACycleCutShortAreTakenAwayWhateverTheirMinute) {
    const std::string live = cycle.OneCompany();
    const std::string folder = cycle.catalogueFiles.folder.path() + "/";
    exchange.folders[folder] = {"emp1.fdb", "EMP1-Copia-20261101-0300.GDB", "EMP1-Restore-20261101-0300.GDB",
                                "EMP1-Copia-20261001-0300.GDB"};
    exchange.sameFiles.insert({folder + "EMP1-Copia-20261101-0300.GDB", live});
    server.outcomes = {false};
    cycle.Run();
    EXPECT_THAT(exchange.calls, ElementsAre("remove " + folder + "EMP1-Copia-20261101-0300.GDB",
                                            "remove " + folder + "EMP1-Restore-20261101-0300.GDB"));
    const auto memo = cycle.MemoSteps();
    ASSERT_EQ(memo.size(), 4u);
    EXPECT_EQ(memo[1],
              P + " Se deshace el cambio de archivos que no terminó: " + folder + "EMP1-Copia-20261101-0300.GDB");
    EXPECT_EQ(memo[2], P + " Se borra el Archivo Restaurado de un Backup-Restore que no terminó: " + folder +
                           "EMP1-Restore-20261101-0300.GDB");
    EXPECT_EQ(cycle.LogLines().size(), 7u); // the same two lines in the log

    exchange.failures.emplace("remove", OsError("Permission denied", 13));
    cycle.view.memo.clear();
    cycle.Run();
    EXPECT_THAT(cycle.MemoSteps(), ::testing::Contains(P + " No se pudo borrar el Archivo Restaurado: " + folder +
                                                       "EMP1-Restore-20261101-0300.GDB Mensaje: Permission denied"));
}

// A line that cannot be written (a full disk) ends the run with its error; a service that the
// cycle stopped is started on the way out, after either stop.
TEST_F(CycleRun, ServiceStoppedByTheCycleIsStartedWhenALineFailsAfterEitherStop) {
    cycle.OneCompany();
    for (const std::string failing : {" Stop al Servicio: ", " Renombra el Archivo Original: "}) {
        SCOPED_TRACE(failing);
        server.operations.clear();
        databases.answers = {40, 42};
        cycle.view.onMemoLine = [&](const std::string& line) {
            if (line.find(failing) != std::string::npos) throw std::runtime_error("No space left on device");
        };
        EXPECT_THROW(cycle.Run(), std::runtime_error);
        cycle.view.onMemoLine = nullptr;
        EXPECT_EQ(server.operations.back(), "start");
        EXPECT_EQ(std::count(server.operations.begin(), server.operations.end(), "stop"),
                  std::count(server.operations.begin(), server.operations.end(), "start"));
        EXPECT_FALSE(std::filesystem::exists(cycle.catalogueFiles.folder.path() + "/ServicioDetenido.inf"));
        cycle.log.CloseMonthLog();
    }
}

// How each company's cycle ended goes to the status file: swapped, refused and why, given up
// and why. The lines stay the cycle's own (every test here runs with the status file).
TEST_F(CycleRun, StatusFileTellsHowEachCompanysCycleEnded) {
    cycle.OneCompany("emp1.fdb");
    auto& cat = cycle.catalogueFiles;
    const std::string two = cat.CreateCompanyDatabase("emp2.fdb", 10);
    cat.AddCompany({.id = 2, .codigo = "002", .nombre = "EMPRESA DOS", .archivo = two, .realizaRestore = "S"});
    const std::string three = cat.CreateCompanyDatabase("emp3.fdb", 10);
    cat.AddCompany({.id = 3, .codigo = "003", .nombre = "EMPRESA TRES", .archivo = three, .realizaRestore = "S"});
    databases.answers = {40, 42, 40, 45};
    exchange.sizes[three] = 1ULL << 50;

    EXPECT_EQ(cycle.Run(), 2);

    const StatusBook book = cycle.Book();
    ASSERT_EQ(book.companies().size(), 3u);
    const CompanyStatus* one = book.Find("1");
    ASSERT_TRUE(one && one->lastCycle);
    EXPECT_EQ(one->code, "001");
    EXPECT_EQ(one->lastCycle->outcome, kCycleSwapped);
    EXPECT_EQ(one->lastCycle->message, "");
    EXPECT_EQ(one->lastCycle->at, "2026-12-07T12:45:23");
    EXPECT_FALSE(one->lastAttempt); // the cycle's backup is no scheduled backup
    const CompanyStatus* refused = book.Find("2");
    ASSERT_TRUE(refused && refused->lastCycle);
    EXPECT_EQ(refused->lastCycle->outcome, kCycleRefused);
    EXPECT_EQ(refused->lastCycle->message,
              "No se reemplaza la base de datos: hubo transacciones durante el Backup-Restore: 002 - EMPRESA DOS "
              "Transacciones: 40 antes, 45 después, 2 del Backup-Restore");
    const CompanyStatus* given = book.Find("3");
    ASSERT_TRUE(given && given->lastCycle);
    EXPECT_EQ(given->lastCycle->outcome, kCycleGivenUp);
    EXPECT_THAT(given->lastCycle->message, ::testing::StartsWith("No hay espacio para el Backup-Restore: Necesita: "));
    // Beside the backups and the month log, the status file alone.
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(cat.backupFolder))
        names.insert(entry.path().filename());
    EXPECT_THAT(names, ElementsAre("Estado Backup Veltor.json", "Log Backup Veltor 202612.txt",
                                   "emp1-20261207-1245.GBK", "emp2-20261207-1245.GBK"));

    // A company the run gives up for want of the local engine, and a failed backup.
    databases.noLocalRestore = "no se encuentra el motor local";
    cycle.Run();
    EXPECT_EQ(cycle.Book().Find("1")->lastCycle->outcome, kCycleGivenUp);
    EXPECT_EQ(cycle.Book().Find("1")->lastCycle->message, "No se hace Backup-Restore: no se encuentra el motor local");
}

// After a swap the kept copies beyond CONSERVARCOPIAS go, the newest stay, the one just made
// always; only names the cycle makes for this database count. A refused swap removes nothing.
TEST_F(CycleRun, KeptCopiesBeyondTheCountGoAfterASwapOnly) {
    cycle.OneCompany("emp1.fdb");
    cycle.Configure("CONSERVARCOPIAS=2\r\n");
    const std::string folder = cycle.catalogueFiles.folder.path() + "/";
    // The exchange is recorded only: the kept name is made here, as its link would make it.
    exchange.afterCall = [&](const std::string& operation) {
        if (operation != "link") return;
        const std::string& call = exchange.calls.back();
        WriteFile(call.substr(call.find('|') + 1), "x");
    };
    const std::vector<std::string> others = {
        "emp1-Copia-20200101-0000.GDB",  // another letter case: another database's on Linux
        "EMP10-Copia-20200101-0000.GDB", // a database whose name begins with this one's
        "EMP1-Copia-20200101-0000.GDB.bak", "EMP1-Copia-2020010-0000.GDB",       "EMP1-Copia-20200101-0000.GBK",
        "EMP1-20200101-0000.GDB",           "copia EMP1-Copia-20200101-0000.GDB"};
    for (const std::string& name : others)
        WriteFile(folder + name, "x");
    for (const char* own :
         {"EMP1-Copia-20261204-1245.GDB", "EMP1-Copia-20261205-1245.GDB", "EMP1-Copia-20261206-1245.GDB"})
        WriteFile(folder + own, "x");

    databases.answers = {40, 45};
    cycle.Run();
    for (const char* own :
         {"EMP1-Copia-20261204-1245.GDB", "EMP1-Copia-20261205-1245.GDB", "EMP1-Copia-20261206-1245.GDB"})
        EXPECT_TRUE(std::filesystem::exists(folder + own)) << own;

    clock.Set(2026, 12, 7, 13, 0, 3);
    databases.answers = {40, 42};
    cycle.Run();
    EXPECT_FALSE(std::filesystem::exists(folder + "EMP1-Copia-20261204-1245.GDB"));
    EXPECT_FALSE(std::filesystem::exists(folder + "EMP1-Copia-20261205-1245.GDB"));
    EXPECT_TRUE(std::filesystem::exists(folder + "EMP1-Copia-20261206-1245.GDB"));
    EXPECT_TRUE(std::filesystem::exists(folder + "EMP1-Copia-20261207-1300.GDB"));
    for (const std::string& name : others)
        EXPECT_TRUE(std::filesystem::exists(folder + name)) << name;
    const std::string removed = "07/12/2026 - 13:00:23 Elimina Copia antigua: " + folder;
    EXPECT_THAT(cycle.LogLines(), ::testing::IsSupersetOf({removed + "EMP1-Copia-20261204-1245.GDB",
                                                           removed + "EMP1-Copia-20261205-1245.GDB"}));
    EXPECT_TRUE(cycle.MemoHas(removed + "EMP1-Copia-20261204-1245.GDB"));
}

// An unusable count removes nothing and is said once in the memo, however many runs read it.
TEST_F(CycleRun, AnUnusableCopyCountRemovesNothingAndIsSaidOnce) {
    cycle.OneCompany("emp1.fdb");
    cycle.Configure("CONSERVARCOPIAS=-1\r\n");
    const std::string folder = cycle.catalogueFiles.folder.path() + "/";
    WriteFile(folder + "EMP1-Copia-20261201-1245.GDB", "x");
    server.outcomes = {false, false};
    cycle.Run();
    cycle.Run();
    EXPECT_EQ(
        std::count(cycle.view.memo.begin(), cycle.view.memo.end(),
                   P + " CONSERVARCOPIAS=-1 no es un número de archivos a conservar: no se elimina ningún archivo"),
        1);
    databases.answers = {40, 42};
    cycle.Run();
    EXPECT_TRUE(std::filesystem::exists(folder + "EMP1-Copia-20261201-1245.GDB"));
}

// With a timer period shorter than the half hour the selection holds a company, the ticks after
// its cycle find it stamped and leave it.
TEST_F(CycleRun, TheTimersCycleRunsOncePerRestoreWindow) {
    cycle.OneCompany("emp1.fdb", 5);
    cycle.restoreNow = false;
    const std::string now = CurrentHourMinute();
    cycle.catalogueFiles.Sql("UPDATE EMPRESAS SET HORARESTORE = '" + now +
                             "', RESTORELUNES = 'S', RESTOREMARTES = 'S', RESTOREMIERCOLES = 'S', RESTOREJUEVES = 'S', "
                             "RESTOREVIERNES = 'S', RESTORESABADO = 'S', RESTOREDOMINGO = 'S', FECHAULTRESTORE = "
                             "CURRENT_DATE, HORAULTRESTORE = '" +
                             now + "'; COMMIT;");
    EXPECT_EQ(cycle.Run(), 0);
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(cycle.view.memo, ElementsAre(P + " Backup-Restore ya realizado a las " + now + ": 001 - EMPRESA UNO"));
    EXPECT_FALSE(std::filesystem::exists(ActivityLog::MonthLogPath(cycle.catalogueFiles.backupFolder, clock.Now())));

    // Yesterday's cycle is no cycle of today's window.
    cycle.catalogueFiles.Sql("UPDATE EMPRESAS SET FECHAULTRESTORE = CURRENT_DATE - 1; COMMIT;");
    databases.answers = {40, 42};
    EXPECT_EQ(cycle.Run(), 0);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
}

TEST_F(CycleRun, NothingSelectedOpensNoLogAndWritesNothing) {
    cycle.catalogueFiles.CreateCatalogue();
    cycle.catalogueFiles.WriteConfiguration(cycle.catalogueFiles.folder.path());
    EXPECT_EQ(cycle.Run(), 0);
    EXPECT_THAT(cycle.view.memo, IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(ActivityLog::MonthLogPath(cycle.catalogueFiles.backupFolder, clock.Now())));
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
    EXPECT_FALSE(std::filesystem::exists(ActivityLog::MonthLogPath(cycle.catalogueFiles.backupFolder, clock.Now())));
}

} // namespace
} // namespace veltor::test
