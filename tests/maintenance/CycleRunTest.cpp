// The cycle's lines, statements and decisions over fakes: a catalogue held in memory, a
// scripted backup and restore (which write their files), service control manager and
// transaction databases, a file system in memory, and a recording script launch and file
// exchange.
#include "backup/Operations.h"
#include "catalogue/CycleSelection.h"
#include "dbserver/Administrator.h"
#include "maintenance/BackupRestoreCycle.h"
#include "maintenance/ServiceMemo.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeCatalogue.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeFirebirdService.h"
#include "tests/support/FakeMaintenance.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeRegionalFormats.h"
#include "tests/support/FakeRestoredDatabase.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/support/InstallationOverFakes.h"
#include "tests/support/ScriptedServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>

namespace veltor::test {
namespace {

using catalogue::CycleSelectionStatement;
using catalogue::kServerClockStatement;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// One installation: ADMINBD.inf in the current folder, the databases in kFolder, the backups
// in kBackups; the server's clock says Monday 12:45 of 2026.
class CycleRun : public ::testing::Test, protected InstallationOverFakes {
protected:
    CycleRun() {
        catalogue.answers[std::string(kServerClockStatement)] = {
            {{"DIA", "LUNES"}, {"HORA", "12:45"}, {"ANNO", "2026"}}};
        backup.SetProtocol(fb::ServiceProtocol::Tcp);
        restore.SetProtocol(fb::ServiceProtocol::Local);
        backup.files = &files;
        restore.files = &files;
    }

    // One company flagged for the cycle, its database `fileName` in kFolder; returns its path.
    std::string OneCompany(const std::string& fileName = "emp1.fdb") {
        catalogue.companies.clear();
        return AddCompany("1", "001", "EMPRESA UNO", fileName);
    }
    std::string AddCompany(const std::string& id, const std::string& code, const std::string& name,
                           const std::string& fileName) {
        const std::string path = kFolder + fileName;
        files.AddFile(path, "live database " + id);
        catalogue.companies.push_back(
            {{"EMPRESAID", id}, {"CODIGO", code}, {"NOMBRE", name}, {"ARCHIVO", path}, {"HORARESTORE", ""}});
        return path;
    }
    // Adds `lines` (KEY=value) to ADMINBD.inf.
    void Configure(const std::string& lines) { files.files["ADMINBD.inf"] += lines; }

    // Runs one cycle; the companies it counts as failed (those it names are in notDone).
    int Run() {
        BackupRestoreCycle cycle({global, catalogue, backup, restore, log, services, shell, exchange, databases, files,
                                  clock, view, restoreNow});
        cycle.SetOperations(&operations);
        cycle.RunBackupRestore();
        notDone = cycle.NotDone();
        return cycle.FailedCompanies();
    }
    std::vector<std::string> notDone;

    // The lines of the month log (CR LF taken off).
    std::vector<std::string> LogLines() const {
        const std::string text = files.Content(log.lastMonthLogPath()).value_or("");
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    // The memo without the output lines of the backup and restore services (lines that begin
    // with two blanks and hold more).
    std::vector<std::string> MemoSteps() const {
        std::vector<std::string> steps;
        for (const std::string& line : view.memo)
            if (!(line.size() > 2 && line.compare(0, 2, "  ") == 0)) steps.push_back(line);
        return steps;
    }
    bool MemoHas(const std::string& line) const {
        return std::find(view.memo.begin(), view.memo.end(), line) != view.memo.end();
    }
    StatusBook Book() const {
        const std::optional<StatusBook> book =
            StatusBook::FromJson(files.Content(StatusBook::PathIn(kBackups)).value_or(""));
        return book ? *book : StatusBook();
    }
    bool MonthLogExists() const { return files.FileExists(ActivityLog::MonthLogPath(kBackups, clock.Now())); }
    bool NoteExists() const { return files.FileExists(kStoppedServiceNoteFile); }
    // The statement that stamps company 1's cycle.
    static std::string StampOf(const std::string& date, const std::string& time) {
        return "UPDATE EMPRESAS SET FECHAULTRESTORE=\"" + date + "\", HORAULTRESTORE=\"" + time +
               "\" WHERE EMPRESAID=1";
    }

    FakeFirebirdService backup;
    FakeFirebirdService restore;
    RecordingShell shell;
    bool restoreNow = true;

    const std::string P = "07/12/2026 - 12:45:03"; // before the pause
    const std::string Q = "07/12/2026 - 12:45:23"; // after it
};

TEST_F(CycleRun, CompanyIsBackedUpRestoredAndSwappedWithEveryLineInOrder) {
    const std::string live = OneCompany("emp1.fdb");
    const std::string folder = kFolder;
    const std::string gbk = std::string(kBackups) + "emp1-20261207-1245.GBK";
    const std::string restored = folder + "EMP1-Restore-20261207-1245.GDB";
    const std::string kept = folder + "EMP1-Copia-20261207-1245.GDB";
    databases.answers = {40, 42};
    shell.found = false; // a missing script changes nothing

    EXPECT_EQ(Run(), 0);

    EXPECT_THAT(MemoSteps(),
                ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO", P + " Stop al Servicio: 001 - EMPRESA UNO",
                            P + " Servicio Iniciado: 001 - EMPRESA UNO", P + " Inicia Backup: 001 - EMPRESA UNO",
                            P + " Archivo Backup: " + gbk, "  ", P + " Ruta del Backup Realizado: " + gbk, "  ",
                            P + " Inicia Restore: 001 - EMPRESA UNO", P + " Archivo Backup: " + gbk, "  ",
                            P + " Restore Finalizado: 001 - EMPRESA UNO",
                            P + " Ruta del Restore Realizado: " + restored, "  ",
                            Q + " Renombra Archivo Restaurado: 001 - EMPRESA UNO",
                            Q + " Renombra el Archivo Original: " + live + "\r\n por: " + kept,
                            Q + " Renombra el Archivo Restaurado: " + restored + "\r\n por: " + live));
    EXPECT_THAT(LogLines(), ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
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
    EXPECT_TRUE(files.FileExists(gbk));
    // The backup through the server, written under its temporary name, collecting no garbage;
    // the restore by this process's engine, from the published backup.
    ASSERT_EQ(backup.runs.size(), 1u);
    const auto& backupRun = backup.runs[0];
    EXPECT_EQ(backupRun.serverName, "localhost");
    EXPECT_EQ(backupRun.protocol, fb::ServiceProtocol::Tcp);
    EXPECT_EQ(backupRun.parameters, AdministratorParameters());
    EXPECT_EQ(backupRun.backup.databasePath, live);
    EXPECT_THAT(backupRun.backup.backupFiles, ElementsAre(gbk + ".tmp"));
    EXPECT_EQ(backupRun.backup.options, fb::BackupRequest::kNoGarbageCollection);
    EXPECT_TRUE(backupRun.backup.verbose);
    ASSERT_EQ(restore.runs.size(), 1u);
    const auto& restoreRun = restore.runs[0];
    EXPECT_EQ(restoreRun.protocol, fb::ServiceProtocol::Local);
    EXPECT_EQ(restoreRun.parameters, AdministratorParameters());
    EXPECT_THAT(restoreRun.restore.backupFiles, ElementsAre(gbk));
    EXPECT_THAT(restoreRun.restore.databasePaths, ElementsAre(restored));
    EXPECT_EQ(restoreRun.restore.options, fb::RestoreRequest::kReplace | fb::RestoreRequest::kCreate);
    EXPECT_EQ(restoreRun.restore.pageSize, 8192);
    EXPECT_TRUE(restoreRun.restore.verbose);
    EXPECT_THAT(catalogue.commands, ElementsAre(StampOf("12/07/2026", "12:45")));
    // The companies as the server's clock selects them, and the catalogue connected again once
    // the server is back.
    EXPECT_THAT(catalogue.connections, ElementsAre("localhost:/srv/veltor/ADMIN.FDB"));
    EXPECT_THAT(catalogue.selections, ElementsAre(std::string(kServerClockStatement),
                                                  CycleSelectionStatement({"LUNES", "12:45", "2026"}, true)));
    EXPECT_EQ(catalogue.reconnections, 1);
    EXPECT_FALSE(NoteExists());
}

TEST_F(CycleRun, ScriptThatOthersCouldChangeIsNotStartedSaysWhyAndTheSwapGoesOn) {
    const std::string live = OneCompany("emp1.fdb");
    databases.answers = {40, 42};
    shell.refusal = "otros usuarios pueden modificar la carpeta: /srv/veltor";
    Run();
    const std::string line =
        P + " No se ejecuta gfixonline.Bat: otros usuarios pueden modificar la carpeta: /srv/veltor";
    EXPECT_TRUE(MemoHas(line));
    EXPECT_THAT(LogLines(), ::testing::Contains(line));
    EXPECT_THAT(shell.launched, IsEmpty());
    EXPECT_THAT(clock.sleeps, ElementsAre(20000u));
    EXPECT_THAT(exchange.calls,
                ElementsAre(HasSubstr("access " + live), HasSubstr("link " + live), HasSubstr("rename ")));
}

TEST_F(CycleRun, FirstStopNotConfirmedGivesTheCompanyUpWithOneMemoLine) {
    OneCompany();
    server.outcomes = {false};
    EXPECT_EQ(Run(), 1);
    EXPECT_THAT(
        notDone,
        ElementsAre("001 - EMPRESA UNO: NO se pudo hacer Stop al Servicio: Error de Apertura en SCM o Servicio"));
    EXPECT_THAT(
        MemoSteps(),
        ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO",
                    P + " NO se pudo hacer Stop al Servicio: 001 - EMPRESA UNOMensaje: Error de Apertura en SCM "
                        "o Servicio"));
    EXPECT_THAT(LogLines(), ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                                        P + " Inicio BackupRestore: 001 - EMPRESA UNO", P + " <=== Fin Backup "));
    EXPECT_THAT(catalogue.commands, IsEmpty());
}

TEST_F(CycleRun, StartNotConfirmedGivesTheCompanyUpSilently) {
    const std::string live = OneCompany();
    server.outcomes = {true, false};
    EXPECT_EQ(Run(), 1);
    EXPECT_THAT(MemoSteps(), ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO",
                                         P + " Stop al Servicio: 001 - EMPRESA UNO"));
    EXPECT_THAT(LogLines(), ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                                        P + " Inicio BackupRestore: 001 - EMPRESA UNO", " ", P + " <=== Fin Backup "));
    EXPECT_THAT(databases.asked, ElementsAre(live)); // the mark, taken while the server was stopped
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_THAT(catalogue.commands, IsEmpty());
}

TEST_F(CycleRun, WithoutTheLocalEngineEachCompanyIsGivenUpBeforeTheServiceIsStopped) {
    OneCompany();
    databases.noLocalRestore = "sin motor local";
    Run();
    const std::string line = P + " No se hace Backup-Restore: 001 - EMPRESA UNO: sin motor local";
    EXPECT_THAT(MemoSteps(), ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO", line));
    EXPECT_THAT(LogLines(),
                ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                            P + " Inicio BackupRestore: 001 - EMPRESA UNO", line, " ", P + " <=== Fin Backup "));
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(databases.asked, IsEmpty());
    EXPECT_THAT(catalogue.commands, IsEmpty());
}

// A read-only database (a closed year) has no work to lose and its counter never moves: the
// server's answer gives it up before any service action. A question that fails stops nothing.
TEST_F(CycleRun, ReadOnlyDatabaseIsGivenUpBeforeAnyServiceActionAndLeftAsItWas) {
    const std::string live = OneCompany();
    databases.readOnly = true;
    const std::string bytes = *files.Content(live);
    EXPECT_EQ(Run(), 1);
    const std::string line = P + " No se hace Backup-Restore: 001 - EMPRESA UNO: la base de datos es de solo lectura";
    EXPECT_THAT(MemoSteps(), ElementsAre(P + " Inicio Backup-Restore: 001 - EMPRESA UNO", line));
    EXPECT_THAT(LogLines(), ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                                        P + " Inicio BackupRestore: 001 - EMPRESA UNO", line, P + " <=== Fin Backup "));
    EXPECT_THAT(databases.askedReadOnly, ElementsAre("localhost:" + live));
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(databases.asked, IsEmpty());
    EXPECT_THAT(exchange.calls, IsEmpty());
    EXPECT_EQ(*files.Content(live), bytes);
    EXPECT_FALSE(files.FileExists(std::string(kBackups) + "emp1-20261207-1245.GBK"));
    EXPECT_EQ(Book().Find("1")->lastCycle->outcome, kCycleGivenUp);
    EXPECT_EQ(Book().Find("1")->lastCycle->message, "No se hace Backup-Restore: la base de datos es de solo lectura");

    databases.readOnlyFails = true;
    server.outcomes = {false};
    Run();
    EXPECT_THAT(server.operations, ElementsAre("stop"));
}

// The port of SERVIDOR tells the server: the default instance's, written or not, is the one
// whose service the cycle stops on this machine; another server's company is given up before
// any service action, as its service is not known.
TEST_F(CycleRun, OnlyTheDefaultInstancesServerIsStoppedWhateverTheFormOfItsName) {
    const std::string live = OneCompany();
    Configure("SERVIDOR=localhost/3050\r\n");
    databases.answers = {40, 42};
    EXPECT_EQ(Run(), 0);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    ASSERT_FALSE(manager.managerOpenings.empty());
    for (const auto& opening : manager.managerOpenings)
        EXPECT_FALSE(opening.machine);
    EXPECT_EQ(Book().Find("1")->lastCycle->outcome, kCycleSwapped);

    const std::string text = "127.0.0.1/3051";
    Configure("SERVIDOR=" + text + "\r\n");
    server.operations.clear();
    manager.managerOpenings.clear();
    view.memo.clear();
    EXPECT_EQ(Run(), 1);
    const std::string line = Q + " No se hace Backup-Restore: 001 - EMPRESA UNO: el servidor " + text +
                             " no es el de la instancia predeterminada (puerto 3050)";
    EXPECT_THAT(MemoSteps(), ElementsAre(Q + " Inicio Backup-Restore: 001 - EMPRESA UNO", line));
    EXPECT_THAT(LogLines(), ::testing::Contains(line));
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(manager.managerOpenings, IsEmpty());
    EXPECT_EQ(Book().Find("1")->lastCycle->outcome, kCycleGivenUp);
}

// A start that is not confirmed leaves the service perhaps stopped: the note stays, and the
// next run starts the service before anything else, once. A note whose service is found
// running goes without a line; a stop that could not have stopped anything leaves no note.
TEST_F(CycleRun, ServiceLeftPerhapsStoppedIsStartedByTheNextRunFirst) {
    OneCompany();
    const std::string note = kStoppedServiceNoteFile;
    server.outcomes = {true, false};
    Run();
    ASSERT_TRUE(files.FileExists(note));
    EXPECT_EQ(*files.Content(note), "localhost\r\n");

    server.operations.clear();
    server.outcomes = {false};
    catalogue.companies.clear(); // the next runs select nothing
    Run();                       // the start fails: the note stays for the run after
    EXPECT_THAT(server.operations, ElementsAre("query", "start"));
    EXPECT_TRUE(files.FileExists(note));
    Run();
    EXPECT_THAT(server.operations, ElementsAre("query", "start", "query", "start"));
    EXPECT_FALSE(files.FileExists(note));
    const auto memo = MemoSteps();
    EXPECT_THAT(memo[memo.size() - 2],
                HasSubstr(" NO se pudo iniciar el Servicio que un Backup-Restore que no terminó dejó detenido: "
                          "Mensaje: Error de Apertura en SCM o Servicio"));
    EXPECT_THAT(memo.back(), HasSubstr(" Servicio Iniciado: un Backup-Restore que no terminó pudo dejarlo detenido "));
    EXPECT_THAT(LogLines().back(), HasSubstr(" Servicio Iniciado: un Backup-Restore que no termin\xF3 pudo "));

    Run(); // nothing left to start
    EXPECT_EQ(server.operations.size(), 4u);

    // Somebody started the service meanwhile: the note goes, with no start and no line.
    files.AddFile(note, "localhost\r\n");
    server.runningAnswers = {true};
    const std::size_t lines = view.memo.size();
    Run();
    EXPECT_THAT(server.operations, ElementsAre("query", "start", "query", "start", "query"));
    EXPECT_FALSE(files.FileExists(note));
    EXPECT_EQ(view.memo.size(), lines);

    // A stop that could not open the service manager stopped nothing: no note.
    OneCompany();
    server.outcomes = {false};
    Run();
    EXPECT_FALSE(files.FileExists(note));
}

// Refused at its start or failing once started (the file line written then), the backup leaves
// neither its file nor a stamp, and nothing is restored.
TEST_F(CycleRun, BackupErrorLeavesTheRowUnstampedRestoresNothingAndLeavesNoBackupFile) {
    const std::string live = OneCompany();
    const std::string gbk = std::string(kBackups) + "emp1-20261207-1245.GBK";
    const std::string damaged = "database file appears corrupt ()";
    for (const bool started : {false, true}) {
        SCOPED_TRACE(started);
        backup.scripts = {started ? FakeFirebirdService::Script{{}, {"gbak:readied"}, damaged, {}}
                                  : FakeFirebirdService::Script{damaged, {}, {}, {}}};
        server.operations.clear();
        view.memo.clear();
        EXPECT_EQ(Run(), 1);
        std::vector<std::string> lines{" ", P + " Inicio BackupRestore: ===> ", " ",
                                       P + " Inicio BackupRestore: 001 - EMPRESA UNO"};
        if (started) lines.push_back(P + " Archivo Backup: " + gbk);
        for (const std::string& line : {P + " Advertencia en Backup: " + damaged, P + " No terminado BackupRestoer ",
                                        std::string(" "), P + " <=== Fin Backup "})
            lines.push_back(line);
        auto logged = LogLines();
        if (started) logged.erase(logged.begin(), logged.end() - static_cast<std::ptrdiff_t>(lines.size()));
        EXPECT_EQ(logged, lines);
        const auto memo = MemoSteps();
        ASSERT_FALSE(memo.empty());
        EXPECT_EQ(memo.back(), P + " Advertencia en Backup: " + damaged + "001 - EMPRESA UNO");
        EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
        EXPECT_THAT(catalogue.commands, IsEmpty());
        EXPECT_FALSE(files.FileExists(gbk));
        EXPECT_FALSE(files.FileExists(gbk + ".tmp"));
        EXPECT_THAT(restore.runs, IsEmpty());
    }
}

// A restore whose output ends without an error but leaves its database shut down (a backup
// cut short) fails; what it left goes, and the company is stamped for its backup.
TEST_F(CycleRun, RestoreErrorOfATruncatedBackupStillStampsTheCompany) {
    const std::string live = OneCompany("emp1.fdb");
    databases.online = false;
    EXPECT_EQ(Run(), 1);
    const auto logged = LogLines();
    ASSERT_EQ(logged.size(), 11u);
    // (The month log is in Windows-1252.)
    EXPECT_EQ(logged[5], P + " Error n Restore: El Restore no termin\xF3: la base de datos restaurada qued\xF3 en "
                             "mantenimiento 001 - EMPRESA UNO");
    // What the restore left goes.
    EXPECT_EQ(logged[6], P + " Se borra el Archivo Restaurado que no reemplaz\xF3 la base de datos: " +
                             std::string(kFolder) + "EMP1-Restore-20261207-1245.GDB");
    EXPECT_EQ(logged[7], P + " Finaliza BackupRestore ");
    const auto memo = MemoSteps();
    EXPECT_THAT(memo[memo.size() - 2], ::testing::StartsWith(P + " Error en Restore: "));
    EXPECT_THAT(shell.launched, IsEmpty());
    EXPECT_THAT(exchange.calls, ElementsAre("remove " + std::string(kFolder) + "EMP1-Restore-20261207-1245.GDB"));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_THAT(catalogue.commands, ElementsAre(StampOf("12/07/2026", "12:45")));
}

TEST_F(CycleRun, SecondStopNotConfirmedStartsTheServiceAgainAndRemovesTheRestoredFile) {
    const std::string live = OneCompany();
    const std::string restored = std::string(kFolder) + "EMP1-Restore-20261207-1245.GDB";
    server.outcomes = {true, true, false};
    EXPECT_EQ(Run(), 1);
    const std::string why =
        Q + " NO se pudo hacer Stop al Servicio: 001 - EMPRESA UNOMensaje: Error de Apertura en SCM o Servicio";
    const std::string removed = Q + " Se borra el Archivo Restaurado que no reemplazó la base de datos: " + restored;
    const auto memo = MemoSteps();
    EXPECT_THAT(std::vector<std::string>(memo.end() - 2, memo.end()), ElementsAre(why, removed));
    EXPECT_THAT(LogLines(), ::testing::Contains(why));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    EXPECT_THAT(exchange.calls, ElementsAre("access " + live + "|" + restored, "remove " + restored));
    EXPECT_EQ(databases.asked.size(), 1u);
    EXPECT_THAT(catalogue.commands, ElementsAre(StampOf("12/07/2026", "12:45")));
    EXPECT_FALSE(NoteExists());
}

// The restored file that cannot take the live one's access (Windows: an owner or access list
// refused) is a failed cycle: no script, no swap, the restored file removed.
TEST_F(CycleRun, AccessNotMatchedFailsTheCompanyAndRemovesTheRestoredFile) {
    const std::string live = OneCompany();
    const std::string restored = std::string(kFolder) + "EMP1-Restore-20261207-1245.GDB";
    exchange.failures.emplace("access", OsError("Acceso denegado.", 5));
    databases.answers = {40, 42};
    EXPECT_EQ(Run(), 1);
    const std::string why = P + " No se pudo dar al Archivo Restaurado los permisos de la base de datos: 001 - "
                                "EMPRESA UNO Mensaje: Acceso denegado.";
    const auto memo = MemoSteps();
    ASSERT_GE(memo.size(), 2u);
    EXPECT_THAT(std::vector<std::string>(memo.end() - 2, memo.end()),
                ElementsAre(why, P + " Se borra el Archivo Restaurado que no reemplazó la base de datos: " + restored));
    EXPECT_THAT(LogLines(), ::testing::Contains(why));
    EXPECT_THAT(shell.launched, IsEmpty());
    EXPECT_THAT(exchange.calls, ElementsAre("access " + live + "|" + restored, "remove " + restored));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
}

// The counter gains exactly the server's first attachment and the backup when nobody else
// worked: one more, or one fewer (another file at the live name, a counter gone back), keeps
// the live database, and the restored file goes.
TEST_F(CycleRun, TransactionGuardSwapsOnlyWhenTheCounterGainedExactlyTheCyclesOwn) {
    const std::string live = OneCompany();
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
        view.memo.clear();
        databases.answers = {40, c.after};
        EXPECT_EQ(Run(), c.why == nullptr ? 0 : 1);
        const auto memo = MemoSteps();
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
    const std::string live = OneCompany();
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
        EXPECT_EQ(Run(), 0);
        EXPECT_THAT(databases.collected, ElementsAre(live));
        EXPECT_THAT(operationsThen, ElementsAre("stop"));
        EXPECT_EQ(readingsThen, 0u);
        EXPECT_EQ(exchange.CallsOf("rename").size(), 1u);
    }
}

TEST_F(CycleRun, FailedSwapIsReportedAndTheServiceStartedAgainAcrossMidnight) {
    const std::string live = OneCompany();
    const std::string restored = std::string(kFolder) + "EMP1-Restore-20261231-2359.GDB";
    // Named at 23:59, stamped after the pause, on the next day.
    clock.Set(2026, 12, 31, 23, 59, 50);
    exchange.failures.emplace("link", OsError("File exists", 17));
    databases.answers = {40, 42};
    Run();
    const std::string after = "01/01/2027 - 00:00:10";
    const std::string kept = std::string(kFolder) + "EMP1-Copia-20261231-2359.GDB";
    const std::string why = after +
                            " No se pudo reemplazar la base de datos: 001 - EMPRESA UNO Mensaje: no se pudo "
                            "dar a la base de datos el nombre " +
                            kept + ": File exists";
    const auto memo = MemoSteps();
    EXPECT_THAT(
        std::vector<std::string>(memo.end() - 2, memo.end()),
        ElementsAre(why, after + " Se borra el Archivo Restaurado que no reemplazó la base de datos: " + restored));
    EXPECT_THAT(memo[memo.size() - 3], HasSubstr(" Renombra el Archivo Restaurado: "));
    EXPECT_THAT(exchange.CallsOf("rename"), IsEmpty());
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    EXPECT_THAT(LogLines(), ::testing::Contains(why));
    EXPECT_THAT(LogLines(), ::testing::Contains(after + " Finaliza BackupRestore "));
    EXPECT_THAT(catalogue.commands, ElementsAre(StampOf("01/01/2027", "23:59")));
    EXPECT_THAT(shell.launched, ElementsAre(::testing::HasSubstr("EMP1-Restore-20261231-2359.GDB")));
}

// The room is checked before the first stop; a first stop that is refused shows that the check
// let the company through.
TEST_F(CycleRun, RoomForTheRestoredCopyAndTheBackupIsCheckedAtItsLimitBeforeAnyServiceAction) {
    const std::string live = OneCompany();
    const std::string folder = kFolder;
    const std::string backups = std::string(kBackups);
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
        view.memo.clear();
        Run();
        const std::string last = MemoSteps().back();
        if (c.given == nullptr) {
            EXPECT_THAT(server.operations, ElementsAre("stop"));
            EXPECT_THAT(last, HasSubstr(" NO se pudo hacer Stop al Servicio: "));
            continue;
        }
        EXPECT_THAT(server.operations, IsEmpty());
        EXPECT_THAT(last, HasSubstr(tooSmall + c.given));
        EXPECT_THAT(LogLines(), ::testing::Contains(last));
    }
    EXPECT_THAT(MemoSteps().back(), ::testing::EndsWith(tooSmall + "301 MB en " + backups + " Disponible: 300 MB"));

    exchange.failures.emplace("size", OsError("No such file or directory", 2));
    Run();
    EXPECT_THAT(MemoSteps().back(),
                ::testing::EndsWith(" No se pudo medir el espacio para el Backup-Restore: 001 - EMPRESA UNO Mensaje: "
                                    "No such file or directory"));
    EXPECT_THAT(server.operations, IsEmpty());
}

// Before anything else a company's cycle takes away what an earlier cycle cut short left: kept
// names that are still the live file, then restored files of any stamp.
TEST_F(CycleRun, LeftOversOfACycleCutShortAreTakenAwayWhateverTheirMinute) {
    const std::string live = OneCompany();
    const std::string folder = kFolder;
    exchange.folders[folder] = {"emp1.fdb", "EMP1-Copia-20261101-0300.GDB", "EMP1-Restore-20261101-0300.GDB",
                                "EMP1-Copia-20261001-0300.GDB"};
    exchange.sameFiles.insert({folder + "EMP1-Copia-20261101-0300.GDB", live});
    server.outcomes = {false};
    Run();
    EXPECT_THAT(exchange.calls, ElementsAre("remove " + folder + "EMP1-Copia-20261101-0300.GDB",
                                            "remove " + folder + "EMP1-Restore-20261101-0300.GDB"));
    const auto memo = MemoSteps();
    ASSERT_EQ(memo.size(), 4u);
    EXPECT_EQ(memo[1],
              P + " Se deshace el cambio de archivos que no terminó: " + folder + "EMP1-Copia-20261101-0300.GDB");
    EXPECT_EQ(memo[2], P + " Se borra el Archivo Restaurado de un Backup-Restore que no terminó: " + folder +
                           "EMP1-Restore-20261101-0300.GDB");
    EXPECT_EQ(LogLines().size(), 7u); // the same two lines in the log

    exchange.failures.emplace("remove", OsError("Permission denied", 13));
    view.memo.clear();
    Run();
    EXPECT_THAT(MemoSteps(), ::testing::Contains(P + " No se pudo borrar el Archivo Restaurado: " + folder +
                                                 "EMP1-Restore-20261101-0300.GDB Mensaje: Permission denied"));
}

// A line that cannot be written (a full disk) ends the run with its error; a service that the
// cycle stopped is started on the way out, after either stop.
TEST_F(CycleRun, ServiceStoppedByTheCycleIsStartedWhenALineFailsAfterEitherStop) {
    OneCompany();
    for (const std::string failing : {" Stop al Servicio: ", " Renombra el Archivo Original: "}) {
        SCOPED_TRACE(failing);
        server.operations.clear();
        databases.answers = {40, 42};
        view.onMemoLine = [&](const std::string& line) {
            if (line.find(failing) != std::string::npos) throw std::runtime_error("No space left on device");
        };
        EXPECT_THROW(Run(), std::runtime_error);
        view.onMemoLine = nullptr;
        EXPECT_EQ(server.operations.back(), "start");
        EXPECT_EQ(std::count(server.operations.begin(), server.operations.end(), "stop"),
                  std::count(server.operations.begin(), server.operations.end(), "start"));
        EXPECT_FALSE(NoteExists());
        log.CloseMonthLog();
    }
}

// How each company's cycle ended goes to the status file: swapped, refused and why, given up
// and why. The lines stay the cycle's own (every test here runs with the status file).
TEST_F(CycleRun, StatusFileTellsHowEachCompanysCycleEnded) {
    OneCompany("emp1.fdb");
    AddCompany("2", "002", "EMPRESA DOS", "emp2.fdb");
    const std::string three = AddCompany("3", "003", "EMPRESA TRES", "emp3.fdb");
    databases.answers = {40, 42, 40, 45};
    exchange.sizes[three] = 1ULL << 50;

    EXPECT_EQ(Run(), 2);

    const StatusBook book = Book();
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
    const std::vector<std::string> listed = files.ListFiles(kBackups);
    const std::set<std::string> names(listed.begin(), listed.end());
    EXPECT_THAT(names, ElementsAre("Estado Backup Veltor.json", "Log Backup Veltor 202612.txt",
                                   "emp1-20261207-1245.GBK", "emp2-20261207-1245.GBK"));

    // A company the run gives up for want of the local engine, and a failed backup.
    databases.noLocalRestore = "no se encuentra el motor local";
    Run();
    EXPECT_EQ(Book().Find("1")->lastCycle->outcome, kCycleGivenUp);
    EXPECT_EQ(Book().Find("1")->lastCycle->message, "No se hace Backup-Restore: no se encuentra el motor local");
}

// After a swap the kept copies beyond CONSERVARCOPIAS go, the newest stay, the one just made
// always; only names the cycle makes for this database count. A refused swap removes nothing.
TEST_F(CycleRun, KeptCopiesBeyondTheCountGoAfterASwapOnly) {
    OneCompany("emp1.fdb");
    Configure("CONSERVARCOPIAS=2\r\n");
    const std::string folder = kFolder;
    // The exchange is recorded only: the kept name is made here, as its link would make it.
    exchange.afterCall = [&](const std::string& operation) {
        if (operation != "link") return;
        const std::string& call = exchange.calls.back();
        files.AddFile(call.substr(call.find('|') + 1), "x");
    };
    const std::vector<std::string> others = {
        "emp1-Copia-20200101-0000.GDB",  // another letter case: another database's on Linux
        "EMP10-Copia-20200101-0000.GDB", // a database whose name begins with this one's
        "EMP1-Copia-20200101-0000.GDB.bak", "EMP1-Copia-2020010-0000.GDB",       "EMP1-Copia-20200101-0000.GBK",
        "EMP1-20200101-0000.GDB",           "copia EMP1-Copia-20200101-0000.GDB"};
    for (const std::string& name : others)
        files.AddFile(folder + name, "x");
    for (const char* own :
         {"EMP1-Copia-20261204-1245.GDB", "EMP1-Copia-20261205-1245.GDB", "EMP1-Copia-20261206-1245.GDB"})
        files.AddFile(folder + own, "x");

    databases.answers = {40, 45};
    Run();
    for (const char* own :
         {"EMP1-Copia-20261204-1245.GDB", "EMP1-Copia-20261205-1245.GDB", "EMP1-Copia-20261206-1245.GDB"})
        EXPECT_TRUE(files.FileExists(folder + own)) << own;

    clock.Set(2026, 12, 7, 13, 0, 3);
    databases.answers = {40, 42};
    Run();
    EXPECT_FALSE(files.FileExists(folder + "EMP1-Copia-20261204-1245.GDB"));
    EXPECT_FALSE(files.FileExists(folder + "EMP1-Copia-20261205-1245.GDB"));
    EXPECT_TRUE(files.FileExists(folder + "EMP1-Copia-20261206-1245.GDB"));
    EXPECT_TRUE(files.FileExists(folder + "EMP1-Copia-20261207-1300.GDB"));
    for (const std::string& name : others)
        EXPECT_TRUE(files.FileExists(folder + name)) << name;
    const std::string removed = "07/12/2026 - 13:00:23 Elimina Copia antigua: " + folder;
    EXPECT_THAT(LogLines(), ::testing::IsSupersetOf(
                                {removed + "EMP1-Copia-20261204-1245.GDB", removed + "EMP1-Copia-20261205-1245.GDB"}));
    EXPECT_TRUE(MemoHas(removed + "EMP1-Copia-20261204-1245.GDB"));
}

// An unusable count removes nothing and is said once in the memo, however many runs read it.
TEST_F(CycleRun, AnUnusableCopyCountRemovesNothingAndIsSaidOnce) {
    OneCompany("emp1.fdb");
    Configure("CONSERVARCOPIAS=-1\r\n");
    const std::string folder = kFolder;
    files.AddFile(folder + "EMP1-Copia-20261201-1245.GDB", "x");
    server.outcomes = {false, false};
    Run();
    Run();
    EXPECT_EQ(
        std::count(view.memo.begin(), view.memo.end(),
                   P + " CONSERVARCOPIAS=-1 no es un número de archivos a conservar: no se elimina ningún archivo"),
        1);
    databases.answers = {40, 42};
    Run();
    EXPECT_TRUE(files.FileExists(folder + "EMP1-Copia-20261201-1245.GDB"));
}

// With a timer period shorter than the half hour the selection holds a company, the ticks after
// its cycle find it stamped and leave it.
TEST_F(CycleRun, TheTimersCycleRunsOncePerRestoreWindow) {
    OneCompany("emp1.fdb");
    catalogue.companies[0]["HORARESTORE"] = "12:30";
    catalogue.restoredToday = {{"1", "12:30"}};
    restoreNow = false;
    EXPECT_EQ(Run(), 0);
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(view.memo, ElementsAre(P + " Backup-Restore ya realizado a las 12:30: 001 - EMPRESA UNO"));
    EXPECT_FALSE(MonthLogExists());
    EXPECT_EQ(catalogue.selections.back(), CycleSelectionStatement({"LUNES", "12:45", "2026"}, false));

    // A cycle stamped today before the restore hour is no cycle of this window.
    catalogue.restoredToday = {{"1", "12:29"}};
    databases.answers = {40, 42};
    EXPECT_EQ(Run(), 0);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));

    // The stamps cannot be read: the selection decides.
    catalogue.failures["today"] = "lock time-out on wait transaction";
    catalogue.restoredToday = {{"1", "12:45"}};
    databases.answers = {40, 42};
    server.operations.clear();
    EXPECT_EQ(Run(), 0);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
}

// "Backup Restore Ahora" cycles every company it selects, stamped today or not.
TEST_F(CycleRun, TheButtonCyclesACompanyCycledInThisWindow) {
    OneCompany("emp1.fdb");
    catalogue.companies[0]["HORARESTORE"] = "12:30";
    catalogue.restoredToday = {{"1", "12:30"}};
    databases.answers = {40, 42};
    EXPECT_EQ(Run(), 0);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
}

TEST_F(CycleRun, NothingSelectedOpensNoLogAndWritesNothing) {
    EXPECT_EQ(Run(), 0);
    EXPECT_THAT(view.memo, IsEmpty());
    EXPECT_FALSE(MonthLogExists());
    EXPECT_THAT(server.operations, IsEmpty());
}

// The catalogue not reachable: the connection and the company list say so, and the run ends.
TEST_F(CycleRun, UnreachableCatalogueWritesItsLinesAndEndsTheRunWithAnError) {
    OneCompany();
    catalogue.failures["connect"] = "Unable to complete network request to host \"localhost\".";
    EXPECT_THROW(Run(), std::exception);
    const auto memo = MemoSteps();
    ASSERT_EQ(memo.size(), 8u);
    EXPECT_EQ(memo[1], P + " No se pudo conectar a lista Empresas ... ");
    EXPECT_EQ(memo[2], P + " Conexión: localhost:/srv/veltor/ADMIN.FDB  Clave: quillbank");
    EXPECT_EQ(memo[3], P + " Advertencia en Backup: Unable to complete network request to host \"localhost\".");
    EXPECT_EQ(memo[5], P + " No se pudo consultar lista Empresas para Backup ... ");
    EXPECT_FALSE(MonthLogExists());
    EXPECT_THAT(server.operations, IsEmpty());
}

// A stamp that fails leaves the company not done, without a line of its own; a catalogue that
// cannot be connected again once the server is back ends the run.
TEST_F(CycleRun, FailedStampCountsTheCompanyAndAFailedReconnectionEndsTheRun) {
    OneCompany();
    databases.answers = {40, 42};
    catalogue.failures["command"] = "lock conflict on no wait transaction";
    EXPECT_EQ(Run(), 1);
    const std::string gbk = std::string(kBackups) + "emp1-20261207-1245.GBK";
    EXPECT_THAT(LogLines(), ElementsAre(" ", P + " Inicio BackupRestore: ===> ", " ",
                                        P + " Inicio BackupRestore: 001 - EMPRESA UNO", P + " Archivo Backup: " + gbk,
                                        " ", Q + " <=== Fin Backup "));
    EXPECT_EQ(exchange.CallsOf("rename").size(), 1u);
    EXPECT_THAT(catalogue.commands, IsEmpty());

    catalogue.failures = {{"reconnect", "Unable to complete network request to host \"localhost\"."}};
    clock.Set(2026, 12, 7, 13, 0, 3);
    databases.answers = {40, 42};
    server.operations.clear();
    EXPECT_THROW(Run(), fb::FirebirdError);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start", "stop", "start"));
    EXPECT_THAT(catalogue.commands, IsEmpty());
}

} // namespace
} // namespace veltor::test
