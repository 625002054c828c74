// The restore of a company's backup over fakes: which backup it takes, what it refuses before
// touching anything, the order of its steps around the server's service, and what it leaves on
// every way out. The same steps against the real server are in the restore's server tests.
#include "maintenance/CompanyRestore.h"
#include "config/PathParts.h"
#include "maintenance/BackupChoice.h"
#include "maintenance/CycleFiles.h"
#include "maintenance/ServiceMemo.h"
#include "maintenance/StoppedService.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeCatalogue.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeFirebirdService.h"
#include "tests/support/FakeMaintenance.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeRegionalFormats.h"
#include "tests/support/FakeRestoredDatabase.h"
#include "tests/support/InstallationOverFakes.h"
#include "tests/support/ScriptedServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The first bytes of a backup of `database`, as the server writes them.
std::string BackupBytes(const std::string& database) {
    std::string bytes("\x00\x02\x04\x0a\x00\x00\x00", 7);
    bytes += '\x07';
    bytes += static_cast<char>(database.size());
    bytes += database;
    const std::string date = "Mon Dec  7 09:30:00 2026";
    bytes += '\x01';
    bytes += static_cast<char>(date.size());
    bytes += date;
    bytes += '\x00';
    return bytes + std::string(64, '\x0e');
}

// Answers what the test says, and records each question.
class ScriptedConfirmation : public IConfirmation {
public:
    bool canAsk = true;
    bool answer = true;
    std::vector<std::string> questions;
    bool CanAsk() const override { return canAsk; }
    bool Confirm(const std::string& question) override {
        questions.push_back(question);
        return answer;
    }
};

// ------------------------------------------------------------------ the choice of a backup

CompanyStatus StatusWith(std::vector<BackupRecord> recent) {
    CompanyStatus status;
    status.id = "1";
    status.recentBackups = std::move(recent);
    return status;
}

BackupRecord Good(const std::string& file, std::optional<bool> verified) {
    BackupRecord record;
    record.file = file;
    record.outcome = kBackupDone;
    record.verified = verified;
    return record;
}

TEST(BackupChoice, OnlyTheCompanysOwnNamesNewestFirstWithWhatTheStatusFileKnows) {
    const std::string folder = "/b/";
    const std::vector<std::string> names = {"CONTA-20261205-1200.GBK",    "CONTA-20261207-0900-E1.GBK",
                                            "CONTA-20261206-1200-E2.GBK", "CONTA-20261206-0800-VerificacionFallida.GBK",
                                            "CONTAB-20261208-1200.GBK",   "CONTA-20261208-1200.GBK.tmp",
                                            "CONTA-20261204-1200.GBK",    "conta-20261203-1200.GBK"};
    const CompanyStatus status = StatusWith(
        {Good(folder + "CONTA-20261207-0900-E1.GBK", true), Good(folder + "CONTA-20261205-1200.GBK", std::nullopt)});

    const auto backups = CompanyBackups(names, folder, {"CONTA", "", true}, "1", &status, false);

    std::vector<std::string> seen;
    for (const CompanyBackup& backup : backups)
        seen.push_back(FileNameOf(backup.file, '/') + " " + BackupKnownText(backup.known));
    EXPECT_THAT(seen, ElementsAre("CONTA-20261207-0900-E1.GBK verificado",
                                  "CONTA-20261206-0800-VerificacionFallida.GBK verificación fallida",
                                  "CONTA-20261205-1200.GBK sin verificar", "CONTA-20261204-1200.GBK desconocido"));

    // Where another database shares the stem, a name without an id may be the other one's.
    const auto shared = CompanyBackups(names, folder, {"CONTA", "-E1", true}, "1", &status, false);
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(shared[0].file, folder + "CONTA-20261207-0900-E1.GBK");
    // Where the file system ignores letter case, so does the stem.
    EXPECT_EQ(CompanyBackups(names, folder, {"CONTA", "", true}, "1", nullptr, true).size(), 5u);
}

TEST(BackupChoice, TheNewestGoodIsTheNewestVerifiedWhenBackupsAreVerified) {
    std::vector<CompanyBackup> backups(4);
    backups[0].known = BackupKnown::FailedVerification;
    backups[1].known = BackupKnown::Unknown;
    backups[2].known = BackupKnown::Verified;
    backups[3].known = BackupKnown::NotVerified;
    EXPECT_EQ(NewestGoodBackup(backups, true), &backups[2]);
    EXPECT_EQ(NewestGoodBackup(backups, false), &backups[1]);
    backups[2].known = BackupKnown::FailedVerification;
    EXPECT_EQ(NewestGoodBackup(backups, true), nullptr);
    EXPECT_EQ(NewestGoodBackup({}, false), nullptr);
}

TEST(BackupChoice, ListLineShowsTheNameTheMinuteTheSizeAndWhatIsKnown) {
    CompanyBackup backup;
    backup.file = "/b/CONTA-20261207-0905.GBK";
    backup.stamp = 202612070905;
    backup.bytes = 3 * 1024 * 1024 + 512 * 1024;
    backup.known = BackupKnown::Verified;
    EXPECT_EQ(BackupListLine(backup, '/'), "  CONTA-20261207-0905.GBK  07/12/2026 09:05  3.5 MB  verificado");
}

// ------------------------------------------------------------------ the restore

// One installation as in the cycle's tests; company 001's database /srv/veltor/conta.fdb has
// backups in kBackups.
class Restore : public ::testing::Test, protected InstallationOverFakes {
protected:
    const std::string live = "/srv/veltor/conta.fdb";
    const std::string older = std::string(kBackups) + "conta-20261205-1200.GBK";
    const std::string newer = std::string(kBackups) + "conta-20261207-0900.GBK";
    const std::string restored = "/srv/veltor/CONTA-Restore-20261207-1245.GDB";
    const std::string kept = "/srv/veltor/CONTA-Copia-20261207-1245.GDB";

    Restore() {
        files.directories.insert(kFolder);
        files.AddFile(live, "live database");
        exchange.kinds[live] = NameHolds::RegularFile;
        exchange.sizes[live] = 10 * 1024 * 1024;
        catalogue.companies.push_back(
            {{"EMPRESAID", "1"}, {"CODIGO", "001"}, {"NOMBRE", "EMPRESA UNO"}, {"ARCHIVO", live}});
        catalogue.companies.push_back(
            {{"EMPRESAID", "2"}, {"CODIGO", "002"}, {"NOMBRE", "EMPRESA DOS"}, {"ARCHIVO", "/srv/veltor/dos.fdb"}});
        files.AddFile(older, BackupBytes(live));
        files.AddFile(newer, BackupBytes(live));
        local.files = &files;
        remote.files = &files;
    }

    CompanyRestore::Ending Run(RestoreOrder order) {
        CompanyRestore restore(
            {global, catalogue, remote, local, log, services, exchange, databases, files, clock, view, operations});
        return restore.Restore(order, confirmation);
    }
    RestoreOrder Replace(const std::string& from = {}) { return {"001", from, {}, true, true}; }
    bool MemoHas(const std::string& part) const {
        return std::any_of(view.memo.begin(), view.memo.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }
    // Nothing was restored and the service was left alone.
    void ExpectNothingTouched() {
        EXPECT_THAT(local.runs, IsEmpty());
        EXPECT_THAT(remote.runs, IsEmpty());
        EXPECT_THAT(server.operations, IsEmpty());
        EXPECT_THAT(exchange.CallsOf("rename"), IsEmpty());
    }
    std::optional<RestoreRecord> LastRestore() const {
        const std::optional<StatusBook> book =
            StatusBook::FromJson(files.Content(StatusBook::PathIn(kBackups)).value_or(""));
        const CompanyStatus* status = book ? book->Find("1") : nullptr;
        return status ? status->lastRestore : std::nullopt;
    }

    FakeFirebirdService local;
    FakeFirebirdService remote;
    ScriptedConfirmation confirmation;
};

TEST_F(Restore, ReplacementRestoresBesideTheLiveFileAndStopsTheServerOnlyForTheExchange) {
    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Done);

    ASSERT_EQ(local.runs.size(), 1u);
    EXPECT_EQ(local.runs[0].protocol, fb::ServiceProtocol::Local);
    EXPECT_THAT(local.runs[0].restore.backupFiles, ElementsAre(newer));
    EXPECT_THAT(local.runs[0].restore.databasePaths, ElementsAre(restored));
    EXPECT_EQ(local.runs[0].restore.pageSize, 0); // the backup's own
    EXPECT_THAT(databases.askedOnline, ElementsAre(restored));
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_THAT(exchange.calls, ElementsAre("access " + live + "|" + restored, "link " + live + "|" + kept,
                                            "rename " + restored + "|" + live));
    EXPECT_FALSE(files.FileExists(kStoppedServiceNoteFile));
    EXPECT_TRUE(MemoHas(" La base de datos anterior queda en: " + kept));
    const auto record = LastRestore();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->outcome, kRestoreDone);
    EXPECT_EQ(record->file, newer);
    EXPECT_TRUE(record->replaced);
    EXPECT_THAT(confirmation.questions, IsEmpty());
}

TEST_F(Restore, WithoutYesTheReplacementIsAskedAndRefusedWhenNobodyCanAnswerOrSaysNo) {
    RestoreOrder order = Replace(older);
    order.yes = false;
    confirmation.canAsk = false;
    EXPECT_EQ(Run(order), CompanyRestore::Ending::Refused);
    EXPECT_THAT(confirmation.questions, IsEmpty());
    EXPECT_TRUE(MemoHas("nadie puede confirmar el reemplazo en la terminal; --yes lo confirma"));
    ExpectNothingTouched();

    confirmation.canAsk = true;
    confirmation.answer = false;
    EXPECT_EQ(Run(order), CompanyRestore::Ending::Refused);
    ASSERT_EQ(confirmation.questions.size(), 1u);
    EXPECT_THAT(confirmation.questions[0], HasSubstr("Escriba SI"));
    ExpectNothingTouched();
    EXPECT_FALSE(LastRestore());

    confirmation.answer = true;
    EXPECT_EQ(Run(order), CompanyRestore::Ending::Done);
    EXPECT_THAT(local.runs[0].restore.backupFiles, ElementsAre(older));
}

TEST_F(Restore, WhatIsReplacedTellsTheTransactionsSinceTheBackupOnlyForTheSameFile) {
    BackupRecord record = Good(newer, std::nullopt);
    record.at = "2026-12-07T09:00:00";
    record.nextTransaction = 100;
    operations.RunStarted(kBackups);
    StatusBook book;
    book.Company("1", "001", "EMPRESA UNO").recentBackups = {record};
    files.AddFile(StatusBook::PathIn(kBackups), book.ToJson("2026-12-07T09:10:00"));
    databases.answers = {150};
    exchange.written[live] = LocalDateTime{2026, 12, 7, 11, 58, 0, 1};

    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Done);
    EXPECT_TRUE(MemoHas(" Base de datos actual: " + live + " (10 MB, último cambio 07/12/2026 11:58)"));
    EXPECT_TRUE(MemoHas(" Backup que la reemplaza: " + newer + " del 07/12/2026 09:00 (sin verificar)"));
    EXPECT_TRUE(MemoHas(" Transacciones en la base de datos desde el Backup: 50"));
    EXPECT_THAT(databases.asked, ElementsAre("localhost:" + live));

    // A cycle swapped another file in after the backup: its counter started again.
    book.Company("1", "001", "EMPRESA UNO").lastCycle = CycleRecord{"2026-12-07T10:00:00", kCycleSwapped, ""};
    files.AddFile(StatusBook::PathIn(kBackups), book.ToJson("2026-12-07T10:10:00"));
    clock.Set(2026, 12, 7, 12, 46);
    view.memo.clear();
    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Done);
    EXPECT_TRUE(MemoHas("desde el Backup: no se sabe (la base de datos se reconstruyó después del Backup)"));
}

TEST_F(Restore, AStopOrAnExchangeThatFailsStartsTheServerAndTakesAwayTheRestoredFile) {
    server.outcomes = {false};
    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Failed);
    EXPECT_THAT(exchange.CallsOf("rename"), IsEmpty());
    EXPECT_THAT(exchange.CallsOf("remove"), ElementsAre(restored));
    EXPECT_TRUE(MemoHas("NO se pudo hacer Stop al Servicio"));
    EXPECT_EQ(LastRestore()->outcome, kRestoreFailed);
    EXPECT_FALSE(LastRestore()->replaced);

    server.operations.clear();
    exchange.calls.clear();
    exchange.failures.emplace("rename", OsError("Permission denied", 13));
    clock.Set(2026, 12, 7, 12, 46);
    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Failed);
    EXPECT_THAT(server.operations, ElementsAre("stop", "start"));
    EXPECT_THAT(exchange.CallsOf("remove"), ElementsAre("/srv/veltor/CONTA-Copia-20261207-1246.GDB",
                                                        "/srv/veltor/CONTA-Restore-20261207-1246.GDB"));
    EXPECT_FALSE(files.FileExists(kStoppedServiceNoteFile));
}

TEST_F(Restore, ARestoreThatLeavesItsDatabaseShutDownNeverReachesTheServerStop) {
    databases.online = false;
    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Failed);
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(exchange.CallsOf("remove"), ElementsAre(restored));
    EXPECT_TRUE(MemoHas("el Backup está dañado"));
}

TEST_F(Restore, IntoANewFileThroughTheServerWithoutTouchingTheService) {
    const std::string target = "/srv/veltor/revision.fdb";
    EXPECT_EQ(Run({"001", older, target, false, false}), CompanyRestore::Ending::Done);
    ASSERT_EQ(remote.runs.size(), 1u);
    EXPECT_EQ(remote.runs[0].protocol, fb::ServiceProtocol::Tcp);
    EXPECT_EQ(remote.runs[0].serverName, "localhost");
    EXPECT_EQ(remote.runs[0].restore.options, fb::RestoreRequest::kCreate); // never over a file
    EXPECT_THAT(remote.runs[0].restore.databasePaths, ElementsAre(target));
    EXPECT_THAT(databases.askedOnline, ElementsAre("localhost:" + target));
    EXPECT_THAT(server.operations, IsEmpty());
    EXPECT_THAT(local.runs, IsEmpty());
    EXPECT_FALSE(LastRestore()->replaced);

    // A failed restore takes away what it wrote under the free name.
    remote.scripts = {{{}, {"gbak: ERROR:cannot open"}, "I/O error during \"open\" operation", {}}};
    const std::string other = "/srv/veltor/revision2.fdb";
    EXPECT_EQ(Run({"001", older, other, false, false}), CompanyRestore::Ending::Failed);
    EXPECT_THAT(exchange.CallsOf("remove"), ElementsAre(other));
}

TEST_F(Restore, BadInputIsRefusedBeforeAnythingIsTouched) {
    const auto refused = [&](RestoreOrder order, const std::string& why) {
        view.memo.clear();
        EXPECT_EQ(Run(order), CompanyRestore::Ending::Refused) << why;
        EXPECT_TRUE(MemoHas(why)) << why;
        ExpectNothingTouched();
    };
    refused({"009", {}, {}, true, true}, "no existe la empresa de código 009");
    exchange.kinds["/srv/veltor/taken.fdb"] = NameHolds::RegularFile;
    refused({"001", {}, "/srv/veltor/taken.fdb", false, false}, "ya existe /srv/veltor/taken.fdb");
    refused({"001", {}, "revision.fdb", false, false}, "debe ser completa");
    refused({"001", {}, "/no/such/revision.fdb", false, false}, "no existe la carpeta /no/such/");
    refused(Replace("conta-20261201-1200.GBK"), "no existe el archivo de Backup " + std::string(kBackups));
    files.AddFile("/tmp/notes.GBK", "not a backup at all");
    refused(Replace("/tmp/notes.GBK"), "/tmp/notes.GBK: ");
    files.AddFile(std::string(kBackups) + "conta-20261206-1200-VerificacionFallida.GBK", BackupBytes(live));
    refused(Replace("conta-20261206-1200-VerificacionFallida.GBK"), "falló su verificación");
    global.ReadConfiguration();
    files.AddFile("ADMINBD.inf", *files.Content("ADMINBD.inf") + "VERIFICARBACKUP=S\r\n");
    refused({"001", {}, "/srv/veltor/revision.fdb", false, false}, "no hay un Backup verificado de la empresa");
}

TEST_F(Restore, ABackupOfAnotherDatabaseIsReplacedOnlyWhenConfirmed) {
    const std::string moved = std::string(kBackups) + "conta-20261201-1200.GBK";
    files.AddFile(moved, BackupBytes("/old/place/conta.fdb"));
    RestoreOrder order = Replace(moved);
    order.yes = false;
    confirmation.answer = false;
    EXPECT_EQ(Run(order), CompanyRestore::Ending::Refused);
    EXPECT_TRUE(MemoHas(" El Backup " + moved + " es de la base de datos /old/place/conta.fdb, no de " + live));
    ASSERT_EQ(confirmation.questions.size(), 1u);
    EXPECT_THAT(confirmation.questions[0], HasSubstr("El Backup es de otra base de datos."));
    ExpectNothingTouched();

    EXPECT_EQ(Run(Replace(moved)), CompanyRestore::Ending::Done);
}

TEST_F(Restore, TheStatusFileKeepsTheLastGoodBackupsNewestFirstWithTheirCounters) {
    operations.RunStarted(kBackups);
    const CompanyRef company{"1", "001", "EMPRESA UNO", live};
    for (int i = 0; i <= static_cast<int>(kRecentBackups); ++i)
        operations.BackupDone(company, kBackups + std::to_string(i) + ".GBK", clock.Now(), 1.0, std::nullopt, i);
    const std::vector<BackupRecord>* recent = &operations.book().Find("1")->recentBackups;
    ASSERT_EQ(recent->size(), kRecentBackups);
    EXPECT_EQ(recent->front().file, kBackups + std::to_string(kRecentBackups) + ".GBK");
    EXPECT_EQ(recent->back().file, std::string(kBackups) + "1.GBK");
    EXPECT_EQ(recent->front().nextTransaction, static_cast<std::int64_t>(kRecentBackups));
    // A backup made again under a name takes the place of the record of that name.
    operations.BackupDone(company, std::string(kBackups) + "5.GBK", clock.Now(), 1.0, true, 99);
    recent = &operations.book().Find("1")->recentBackups;
    EXPECT_EQ(recent->size(), kRecentBackups);
    EXPECT_EQ(recent->front().nextTransaction, 99);
    EXPECT_EQ(std::count_if(recent->begin(), recent->end(),
                            [&](const BackupRecord& r) { return r.file == std::string(kBackups) + "5.GBK"; }),
              1);
}

TEST_F(Restore, TheListShowsTheSecondFoldersCopiesToo) {
    files.files["ADMINBD.inf"] += "COPIAEXTERNA=/nas/copias\r\n";
    files.directories.insert("/nas/copias/");
    files.AddFile("/nas/copias/conta-20261205-1200.GBK", "copy");
    files.AddFile("/nas/copias/otra-20261205-1200.GBK", "another company's");
    CompanyRestore restore(
        {global, catalogue, remote, local, log, services, exchange, databases, files, clock, view, operations});
    EXPECT_EQ(restore.List("001"), CompanyRestore::Ending::Done);
    EXPECT_TRUE(MemoHas(" Backups de 001 - EMPRESA UNO en /srv/veltor/Backups/: 2"));
    EXPECT_TRUE(MemoHas(" Copias externas de 001 - EMPRESA UNO en /nas/copias/: 1"));
    EXPECT_TRUE(MemoHas("  conta-20261205-1200.GBK  05/12/2026 12:00"));
}

TEST_F(Restore, RoomForTheRestoredFileIsCheckedOnTheLiveVolume) {
    // The live database of 10 MB needs itself, 5 % and 64 MB.
    const std::uint64_t need = RestoreRoomFor(10 * 1024 * 1024);
    exchange.rooms["/srv/veltor/"] = {need - 1, 1};
    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Refused);
    EXPECT_TRUE(MemoHas("no hay espacio en /srv/veltor/"));
    ExpectNothingTouched();
    exchange.rooms["/srv/veltor/"] = {need, 1};
    EXPECT_EQ(Run(Replace()), CompanyRestore::Ending::Done);
}

} // namespace
} // namespace veltor::test
