// The status file, verification and retention in scheduled runs against the local Firebird
// server: real backups, real restores, real files in the backup folder.

#include "backup/Operations.h"
#include "platform/posix/PosixCheckedCopier.h"
#include "platform/posix/PosixHookRunner.h"
#include "status/StatusCheck.h"
#include "tests/backup/ScheduledRunHarness.h"
#include "tests/support/FirebirdServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>
#include <string_view>
#include <sys/mount.h>
#include <sys/stat.h>

namespace veltor::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class OperationsServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
        ASSERT_NO_FATAL_FAILURE(cat.CreateCatalogue());
    }

    // ADMINBD.inf of the catalogue with `extra` lines.
    void Configure(const std::string& extra) {
        WriteFile(cat.folder / "ADMINBD.inf",
                  "RUTABD=" + cat.adminPath + "\nSERVIDOR=localhost\nRUTABACKUP=" + cat.backupFolder + "\n" + extra);
    }

    // Two companies due now: the first with a database of 30 rows (its path returned), the
    // second whose database is missing.
    std::string TwoCompaniesDueTheSecondMissing() {
        const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 30);
        cat.AddCompany(
            {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
        cat.AddCompany({.id = 2,
                        .codigo = "002",
                        .nombre = "EMPRESA DOS",
                        .archivo = cat.folder / "missing.fdb",
                        .horaBackup01 = CurrentHourMinute()});
        return uno;
    }

    void Run() { RunWith(operations); }
    void RunWith(BackupOperations& withOperations) {
        CurrentDirectory inCatalogueFolder(cat.folder.path());
        ScheduledBackup run({h.global, h.catalogue, h.backup, h.log, h.files, h.clock, h.view, h.periodHours,
                             h.periodMinutes, [this]() -> std::unique_ptr<fb::IFirebirdService> {
                                 ++connectionsMade;
                                 return std::make_unique<fb::FirebirdService>(h.api);
                             }});
        run.SetOperations(&withOperations);
        run.RunScheduledBackup();
    }

    std::set<std::string> FolderNames() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(cat.backupFolder))
            names.insert(entry.path().filename());
        return names;
    }

    StatusBook Book() { return *StatusBook::FromJson(ReadFile(StatusBook::PathIn(cat.backupFolder))); }

    std::string Memo() const {
        std::string all;
        for (const std::string& line : h.view.memo)
            all += line + "\n";
        return all;
    }

    ScheduledRunHarness h;
    CatalogueFixture& cat = h.catalogueFiles;
    int connectionsMade = 0; // for backups beside the first
    fb::FirebirdService verifyService{h.api};
    FirebirdRestoredDatabase databases{h.api};
    BackupOperations operations{{h.global, h.catalogue, h.log, h.files, h.clock, h.view, verifyService, databases}};
};

TEST_F(OperationsServerTest, WithoutTheKeysOnlyTheStatusFileIsAddedAndItFollowsTheCatalogue) {
    Configure("");
    const std::string uno = TwoCompaniesDueTheSecondMissing();
    // An old backup of the first company, as a person would have kept it.
    WriteFile(cat.backupFolder + "uno-20200101-1245.GBK", "old");

    Run();

    // The backup, the month log, the status file and the old file: nothing else, nothing removed.
    const std::set<std::string> names = FolderNames();
    EXPECT_EQ(names.size(), 4u);
    EXPECT_TRUE(names.count("uno-20200101-1245.GBK"));
    EXPECT_TRUE(names.count(kStatusFileName));
    const std::string log = ReadFile(h.MonthLogPath());
    EXPECT_THAT(log, Not(HasSubstr("Verific")));
    EXPECT_THAT(log, Not(HasSubstr("Elimina")));
    EXPECT_THAT(Memo(), Not(HasSubstr("Estado")));

    StatusBook book = Book();
    const CompanyStatus* first = book.Find("1");
    ASSERT_TRUE(first && first->lastAttempt && first->lastGood);
    EXPECT_EQ(first->lastAttempt->outcome, kBackupDone);
    EXPECT_FALSE(first->lastAttempt->verified);
    EXPECT_GT(*first->lastGood->bytes, 0u);
    EXPECT_EQ(*first->lastGood->bytes, std::filesystem::file_size(first->lastGood->file));
    const CompanyStatus* second = book.Find("2");
    ASSERT_TRUE(second && second->lastAttempt);
    EXPECT_EQ(second->lastAttempt->outcome, kBackupFailed);
    EXPECT_THAT(second->lastAttempt->message, HasSubstr("missing.fdb"));
    EXPECT_FALSE(second->lastGood);

    // The second company leaves the catalogue; the first is backed up again in a later run.
    cat.Sql("DELETE FROM EMPRESAS WHERE EMPRESAID = 2; UPDATE EMPRESAS SET FECHAULTBACKUP = NULL; COMMIT;");
    Run();
    book = Book();
    EXPECT_TRUE(book.Find("1"));
    EXPECT_FALSE(book.Find("2"));
    // No temporary file is left beside it.
    for (const std::string& name : FolderNames())
        EXPECT_THAT(name, Not(HasSubstr(".tmp")));
}

// Digits masked: the minutes of two runs may differ. The server answers a backup of a missing
// file with an error either at the start of the service or in its first output, as its own
// thread happens to run, so the file line of that company is written in some runs only; it is
// left out of both sides.
std::string Masked(std::string text) {
    for (char& c : text)
        if (c >= '0' && c <= '9') c = '#';
    std::string kept;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view line(text.data() + from, end - from);
        if (line.find("Archivo Backup:") == std::string_view::npos || line.find("/missing-") == std::string_view::npos)
            kept.append(line);
        from = end;
    }
    return kept;
}

// With none of the keys the same run writes the same memo and log lines, files and stamps
// as a run without the operations at all, and the status file besides.
TEST_F(OperationsServerTest, WithoutTheKeysARunWritesWhatItWroteBeforeAndTheStatusFile) {
    Configure("");
    const std::string uno = TwoCompaniesDueTheSecondMissing();
    struct Written {
        std::string memo, log, stamps;
        std::set<std::string> names;
    };
    const auto runOnce = [&](bool withOperations) {
        cat.Sql("UPDATE EMPRESAS SET FECHAULTBACKUP = NULL, HORAULTBACKUP = NULL; COMMIT;");
        for (const auto& entry : std::filesystem::directory_iterator(cat.backupFolder))
            std::filesystem::remove(entry.path());
        h.view.memo.clear();
        if (withOperations)
            Run();
        else
            h.Run();
        Written written{Masked(Memo()),
                        Masked(ReadFile(h.MonthLogPath())),
                        Masked(cat.Value("SELECT LIST(COALESCE(CAST(FECHAULTBACKUP AS VARCHAR(30)), 'null') || ' ' || "
                                         "COALESCE(HORAULTBACKUP, 'null'), ',') FROM EMPRESAS")),
                        {}};
        for (const std::string& name : FolderNames())
            written.names.insert(Masked(name));
        return written;
    };
    const Written before = runOnce(false);
    const Written now = runOnce(true);
    EXPECT_EQ(now.memo, before.memo);
    EXPECT_EQ(now.log, before.log);
    EXPECT_EQ(now.stamps, before.stamps);
    std::set<std::string> expected = before.names;
    expected.insert(kStatusFileName);
    EXPECT_EQ(now.names, expected);
    EXPECT_THAT(before.stamps, HasSubstr("null")); // the failed company stays unstamped
}

TEST_F(OperationsServerTest, VerificationRestoresEachBackupChecksItAndRemovesTheScratchDatabase) {
    Configure("VERIFICARBACKUP=S\n");
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 250);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});

    Run();

    EXPECT_THAT(Memo(), HasSubstr(" Inicia Verificación: 001 - EMPRESA UNO"));
    EXPECT_THAT(Memo(), HasSubstr(" Backup Verificado: 001 - EMPRESA UNO ("));
    EXPECT_THAT(Memo(), HasSubstr(" 250 filas)"));
    EXPECT_THAT(ReadFile(h.MonthLogPath()), HasSubstr(" Backup Verificado: 001 - EMPRESA UNO"));
    for (const std::string& name : FolderNames())
        EXPECT_THAT(name, Not(HasSubstr("Verifica")));
    const StatusBook book = Book();
    const CompanyStatus* status = book.Find("1");
    ASSERT_TRUE(status && status->lastVerified);
    EXPECT_EQ(status->lastAttempt->verified, true);
    EXPECT_EQ(status->lastVerified->file, status->lastGood->file);
}

TEST_F(OperationsServerTest, AVerificationThatFailsLeavesNoScratchAndTouchesNoFileOfAnotherOwner) {
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 40);
    const std::string gbk = cat.backupFolder + "UNO-20261207-1245.GBK";
    ASSERT_EQ(std::system(("gbak -b -user SYSDBA -password quillbank 'localhost:" + uno + "' '" + gbk + "'").c_str()),
              0);
    BackupVerifier verifier(verifyService, databases, h.files, h.view);

    // Counts that disagree with the backup.
    VerificationResult result = verifier.Verify("localhost", gbk, {{"MOVIMIENTOS", 41}});
    EXPECT_FALSE(result.passed);
    EXPECT_THAT(result.message, HasSubstr("la tabla MOVIMIENTOS tiene 40 filas en lugar de 41"));
    EXPECT_FALSE(std::filesystem::exists(ScratchDatabaseName(gbk)));

    // A backup cut short.
    const std::string cut = cat.backupFolder + "CUT-20261207-1245.GBK";
    const std::string bytes = ReadFile(gbk);
    WriteFile(cut, bytes.substr(0, bytes.size() / 2));
    result = verifier.Verify("localhost", cut, {{"MOVIMIENTOS", 40}});
    EXPECT_FALSE(result.passed);
    EXPECT_FALSE(std::filesystem::exists(ScratchDatabaseName(cut)));

    // A file of the scratch name that was there before is left as it is.
    WriteFile(ScratchDatabaseName(gbk), "somebody's");
    result = verifier.Verify("localhost", gbk, {{"MOVIMIENTOS", 40}});
    EXPECT_FALSE(result.passed);
    EXPECT_EQ(ReadFile(ScratchDatabaseName(gbk)), "somebody's");
    std::filesystem::remove(ScratchDatabaseName(gbk));

    // And the good case through the same verifier.
    result = verifier.Verify("localhost", gbk, {{"MOVIMIENTOS", 40}});
    EXPECT_TRUE(result.passed) << result.message;
    // The server still words the output of the backups after the restore that failed.
    std::vector<std::string> lines;
    fb::BackupRequest next;
    next.databasePath = uno;
    next.backupFiles = {cat.backupFolder + "NEXT.GBK"};
    next.verbose = true;
    h.backup.SetParameters(AdministratorParameters());
    h.backup.SetServerName("localhost");
    h.backup.SetProtocol(fb::ServiceProtocol::Tcp);
    h.backup.RunBackup(next, {nullptr, [&](const std::string& line) { lines.push_back(line); }});
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines.front(), HasSubstr("gbak:readied database")) << "the server lost its messages";
}

TEST_F(OperationsServerTest, RetentionRemovesOnlyThisCompanysOwnOlderBackups) {
    Configure("CONSERVARBACKUPS=2\n");
    const std::string uno = cat.CreateCompanyDatabase("emp.fdb", 10);
    cat.AddCompany({.id = 1, .codigo = "001", .nombre = "EMP", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    cat.AddCompany(
        {.id = 2, .codigo = "002", .nombre = "EMP 2024", .archivo = cat.folder / "emp-2024.fdb", .realizaBackup = "N"});
    const std::vector<std::string> kept = {
        "emp-2024-20200101-1245.GBK", // the company whose stem begins with this one's
        "EMP-20200101-1245.GBK",      // another letter case: another company on Linux
        "emp-20200101-1245.GBK.bak", "notas emp-20200101-1245.GBK",
        "emp-20261207-1245.GBK"}; // the newest before this run
    for (const std::string& name : kept)
        WriteFile(cat.backupFolder + name, "x");
    WriteFile(cat.backupFolder + "emp-20200101-1245.GBK", "x");
    WriteFile(cat.backupFolder + "emp-20200102-1245.GBK", "x");

    Run();

    std::set<std::string> names = FolderNames();
    for (const std::string& name : kept)
        EXPECT_TRUE(names.count(name)) << name;
    EXPECT_FALSE(names.count("emp-20200101-1245.GBK"));
    EXPECT_FALSE(names.count("emp-20200102-1245.GBK"));
    const std::string written = Book().Find("1")->lastGood->file; // copied before the book goes
    EXPECT_TRUE(std::filesystem::exists(written));
    const std::string log = ReadFile(h.MonthLogPath());
    EXPECT_THAT(log, HasSubstr(" Elimina Backup antiguo: " + cat.backupFolder + "emp-20200101-1245.GBK\r\n"));
    EXPECT_THAT(log, HasSubstr(" Elimina Backup antiguo: " + cat.backupFolder + "emp-20200102-1245.GBK\r\n"));

    // A second database of the same file name elsewhere: the company's backups carry its id from
    // now on, the names without one could be either's and stay, and the memo says so once.
    cat.Sql("UPDATE EMPRESAS SET ARCHIVO = '/otra/carpeta/emp.gdb', REALIZABACKUP = 'N' WHERE EMPRESAID = 2; "
            "UPDATE EMPRESAS SET FECHAULTBACKUP = NULL; COMMIT;");
    Run();
    EXPECT_TRUE(std::filesystem::exists(cat.backupFolder + "emp-20261207-1245.GBK"));
    EXPECT_THAT(Book().Find("1")->lastGood->file, ::testing::EndsWith("-E1.GBK"));
    EXPECT_THAT(Memo(), HasSubstr(" No se eliminan Backups de emp sin número de empresa: otra base de datos del "
                                  "catálogo da archivos del mismo nombre"));
}

// The newest verified backup stays when it is beyond the count (verification since turned
// off); the unverified one just as old goes.
TEST_F(OperationsServerTest, RetentionNeverRemovesTheNewestVerifiedBackup) {
    Configure("CONSERVARBACKUPS=1\n");
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    const std::string verified = cat.backupFolder + "uno-20200102-1245.GBK";
    for (const char* name : {"uno-20200101-1245.GBK", "uno-20200102-1245.GBK", "uno-20200103-1245.GBK"})
        WriteFile(cat.backupFolder + name, "x");
    StatusBook book;
    book.Company("1", "001", "EMPRESA UNO").lastVerified =
        BackupRecord{"2020-01-02T12:45:00", kBackupDone, "", verified, 1, 1.0, true, ""};
    WriteFile(StatusBook::PathIn(cat.backupFolder), book.ToJson("2020-01-02T12:46:00"));

    Run();

    EXPECT_FALSE(std::filesystem::exists(cat.backupFolder + "uno-20200101-1245.GBK"));
    EXPECT_TRUE(std::filesystem::exists(verified));
    EXPECT_FALSE(std::filesystem::exists(cat.backupFolder + "uno-20200103-1245.GBK"));
    EXPECT_EQ(h.BackupFiles().size(), 2u);
    EXPECT_EQ(Book().Find("1")->lastVerified->file, verified);
}

TEST_F(OperationsServerTest, AnUnusableCountRemovesNothingAndIsSaidOnce) {
    Configure("CONSERVARBACKUPS=0\nCONSERVARCOPIAS=dos\nVERIFICARBACKUP=SI\nBACKUPSPARALELO=muchos\n");
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    WriteFile(cat.backupFolder + "uno-20200101-1245.GBK", "x");
    Run();
    cat.Sql("UPDATE EMPRESAS SET FECHAULTBACKUP = NULL; COMMIT;");
    Run();
    EXPECT_TRUE(std::filesystem::exists(cat.backupFolder + "uno-20200101-1245.GBK"));
    const std::string memo = Memo();
    const auto count = [&](const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = memo.find(part); at != std::string::npos; at = memo.find(part, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(" CONSERVARBACKUPS=0 no es un número de archivos a conservar"), 1u);
    EXPECT_EQ(count(" CONSERVARCOPIAS=dos no es un número de archivos a conservar"), 1u);
    // A flag that is neither S nor N leaves verification off, and says so where it is read later.
    EXPECT_EQ(count(" VERIFICARBACKUP=SI no se entiende (S o N): no se verifican los Backups"), 1u);
    EXPECT_EQ(count("Verificación"), 0u);
    EXPECT_EQ(count(" BACKUPSPARALELO=muchos no es un número de Backups a la vez: se hacen de a uno"), 1u);
    EXPECT_EQ(connectionsMade, 0);
    const std::string log = ReadFile(h.MonthLogPath());
    EXPECT_THAT(log, HasSubstr(" VERIFICARBACKUP=SI no se entiende (S o N): no se verifican los Backups\r\n"));
    EXPECT_THAT(log, HasSubstr(" CONSERVARBACKUPS=0 no es un n\xFAmero de archivos a conservar"));
}

TEST_F(OperationsServerTest, VerificationIsAskedWithAnSInEitherCase) {
    Configure("VERIFICARBACKUP=s\n");
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    Run();
    EXPECT_THAT(Memo(), HasSubstr(" Backup Verificado: 001 - EMPRESA UNO"));
    EXPECT_THAT(Memo(), Not(HasSubstr("no se entiende")));
}

// The restored scratch database reads as shut down: every verification fails, whatever the
// backup holds.
class ShutDownScratch final : public IRestoredDatabase {
public:
    bool IsOnline(const std::string&) override { return !failing; }
    TableRows CountRows(const std::string& database) override { return real.CountRows(database); }
    bool failing = true;
    FirebirdRestoredDatabase real{*fb::LoadClientApi(nullptr)};
};

// A week of backups that fail their verification, then a good one: the good backups stay, no
// failed one is published under a backup's name or counted, and only the newest failed one is
// kept for a look.
TEST_F(OperationsServerTest, BackupsThatFailVerificationAreNeverCountedNorStampedAndOnlyTheNewestIsKept) {
    Configure("VERIFICARBACKUP=S\nCONSERVARBACKUPS=2\n");
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    const std::vector<std::string> good = {"uno-20201201-1245.GBK", "uno-20201202-1245.GBK"};
    for (const std::string& name : good)
        WriteFile(cat.backupFolder + name, "verificado");
    // The failed backups of earlier days, as the runs of those days left them.
    for (const char* name : {"uno-20201203-1245-VerificacionFallida.GBK", "uno-20201204-1245-VerificacionFallida.GBK"})
        WriteFile(cat.backupFolder + name, "fallido");
    ShutDownScratch scratch;
    BackupOperations failing{{h.global, h.catalogue, h.log, h.files, h.clock, h.view, verifyService, scratch}};
    const auto RunWith = [&](BackupOperations& with) {
        CurrentDirectory inCatalogueFolder(cat.folder.path());
        ScheduledBackup run({h.global, h.catalogue, h.backup, h.log, h.files, h.clock, h.view, h.periodHours,
                             h.periodMinutes, [this]() -> std::unique_ptr<fb::IFirebirdService> {
                                 ++connectionsMade;
                                 return std::make_unique<fb::FirebirdService>(h.api);
                             }});
        run.SetOperations(&with);
        run.RunScheduledBackup();
        return run.FailedCompanies();
    };

    for (int day = 0; day < 3; ++day) {
        EXPECT_EQ(RunWith(failing), 1);
        // Not stamped: the company stays due, as after any failed backup.
        EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NULL"), "1");
    }
    const auto namesEnding = [&](bool failedOnes) {
        std::vector<std::string> found;
        for (const std::string& name : FolderNames())
            if (name.ends_with(".GBK") && (name.find("-VerificacionFallida") != std::string::npos) == failedOnes)
                found.push_back(name);
        return found;
    };
    EXPECT_EQ(namesEnding(false), good); // no failed backup under a backup's name
    std::vector<std::string> failed = namesEnding(true);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_GT(std::filesystem::file_size(cat.backupFolder + failed[0]), 1000u); // the real backup
    EXPECT_THAT(Memo(), HasSubstr(" Elimina Backup con verificación fallida: " + cat.backupFolder +
                                  "uno-20201203-1245-VerificacionFallida.GBK"));
    EXPECT_THAT(Memo(), Not(HasSubstr(" Finaliza Backup: 001")));
    EXPECT_THAT(Memo(), HasSubstr(" No terminado Backup: 001 - EMPRESA UNO"));
    StatusBook book = Book();
    ASSERT_TRUE(book.Find("1") && book.Find("1")->lastAttempt);
    EXPECT_EQ(book.Find("1")->lastAttempt->outcome, kBackupFailed);
    EXPECT_EQ(book.Find("1")->lastAttempt->verified, false);
    EXPECT_EQ(book.Find("1")->lastAttempt->file, cat.backupFolder + failed[0]);
    EXPECT_FALSE(book.Find("1")->lastGood);

    // The day it passes: the new backup and the newest good one before it are the two kept.
    scratch.failing = false;
    EXPECT_EQ(RunWith(failing), 0) << Memo();
    const std::vector<std::string> kept = namesEnding(false);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_THAT(namesEnding(true), ::testing::IsEmpty());
    EXPECT_EQ(kept[0], good[1]);
    EXPECT_EQ(Book().Find("1")->lastGood->file, cat.backupFolder + kept[1]);
    EXPECT_EQ(Book().Find("1")->lastVerified->file, cat.backupFolder + kept[1]);
}

// One folder per fiscal year, each with its CONTA.FDB: each company gets a backup of its own
// database, under a name of its own, run after run; a company alone with its stem keeps the
// names it always had.
// What two runs of the same companies write, without their times (every digit as #), and
// without the lines that name `missing`'s backup file: whether the server refuses a database
// that is not there at the start of its backup, or a moment later in its output, is the
// server's own timing.
std::string WithoutTimes(const std::string& text, const std::string& missing) {
    std::string kept;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(begin, end - begin);
        if (line.find(" Archivo Backup: " + missing) == std::string::npos) kept += line;
        begin = end;
    }
    for (char& c : kept)
        if (c >= '0' && c <= '9') c = '#';
    return kept;
}

TEST_F(OperationsServerTest, BackupsAtOnceWriteWhatOneAfterAnotherWritesAndAFailureInTheMiddleStaysItsOwn) {
    for (int id = 1; id <= 5; ++id) {
        const std::string name = "e" + std::to_string(id) + ".fdb";
        cat.AddCompany({.id = id,
                        .codigo = "00" + std::to_string(id),
                        .nombre = "EMPRESA " + std::to_string(id),
                        .archivo = id == 3 ? std::string(cat.folder / name) : cat.CreateCompanyDatabase(name, 500 * id),
                        .horaBackup01 = CurrentHourMinute()});
    }
    Configure("VERIFICARBACKUP=S\n");
    Run();
    const std::string oneAfterAnother = ReadFile(h.MonthLogPath());
    const std::string oneAfterAnotherMemo = Memo();
    EXPECT_EQ(connectionsMade, 0);

    cat.Sql("UPDATE EMPRESAS SET FECHAULTBACKUP = NULL; COMMIT;");
    h.view.memo.clear();
    Configure("VERIFICARBACKUP=S\nBACKUPSPARALELO=3\n");
    Run();
    EXPECT_EQ(connectionsMade, 2);
    const std::string atOnce = ReadFile(h.MonthLogPath()).substr(oneAfterAnother.size());
    const std::string missing = cat.backupFolder + "e3-";
    EXPECT_EQ(WithoutTimes(atOnce, missing), WithoutTimes(oneAfterAnother, missing));
    EXPECT_EQ(WithoutTimes(Memo(), missing), WithoutTimes(oneAfterAnotherMemo, missing));
    EXPECT_THAT(atOnce, HasSubstr(" Advertencia en Backup: "));
    EXPECT_THAT(atOnce, HasSubstr(" No terminado Backup: 003 - EMPRESA 3\r\n"));

    // The others are backed up, verified, stamped and on record; nothing of the run is left.
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NOT NULL"), "4");
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NULL AND EMPRESAID = 3"), "1");
    StatusBook book = Book();
    for (const char* id : {"1", "2", "4", "5"}) {
        const CompanyStatus* company = book.Find(id);
        ASSERT_TRUE(company && company->lastAttempt) << id;
        EXPECT_EQ(company->lastAttempt->outcome, kBackupDone) << id;
        EXPECT_EQ(company->lastAttempt->verified, true) << id;
    }
    EXPECT_EQ(book.Find("3")->lastAttempt->outcome, kBackupFailed);
    for (const std::string& name : FolderNames())
        EXPECT_TRUE(name.ends_with(".GBK") || name.ends_with(".txt") || name == kStatusFileName) << name;
}

TEST_F(OperationsServerTest, DatabasesThatShareAFileNameEachGetTheirOwnBackup) {
    Configure("CONSERVARBACKUPS=1\n");
    std::filesystem::create_directories(cat.folder / "2025");
    std::filesystem::create_directories(cat.folder / "2026");
    std::filesystem::permissions(cat.folder / "2025", std::filesystem::perms::all);
    std::filesystem::permissions(cat.folder / "2026", std::filesystem::perms::all);
    const std::string old = cat.CreateCompanyDatabase("2025/CONTA.FDB", 25);
    const std::string current = cat.CreateCompanyDatabase("2026/CONTA.FDB", 26);
    const std::string alone = cat.CreateCompanyDatabase("unica.fdb", 3);
    cat.AddCompany(
        {.id = 7, .codigo = "001", .nombre = "CONTA 2025", .archivo = old, .horaBackup01 = CurrentHourMinute()});
    cat.AddCompany(
        {.id = 8, .codigo = "002", .nombre = "CONTA 2026", .archivo = current, .horaBackup01 = CurrentHourMinute()});
    cat.AddCompany(
        {.id = 9, .codigo = "003", .nombre = "UNICA", .archivo = alone, .horaBackup01 = CurrentHourMinute()});
    // What both companies wrote under one name before: nobody can tell whose it is, so it stays.
    WriteFile(cat.backupFolder + "CONTA-20200101-1245.GBK", "de quién");

    for (int run = 0; run < 2; ++run) {
        Run();
        cat.Sql("UPDATE EMPRESAS SET FECHAULTBACKUP = NULL; COMMIT;");
    }

    std::vector<std::string> names = h.BackupFiles();
    ASSERT_EQ(names.size(), 4u) << ::testing::PrintToString(names);
    EXPECT_EQ(names[0], "CONTA-20200101-1245.GBK");
    const auto rowsIn = [&](const std::string& backup) {
        const std::string restored = cat.folder / "restored.fdb";
        std::filesystem::remove(restored);
        EXPECT_EQ(std::system(("gbak -c -user SYSDBA -password quillbank '" + cat.backupFolder + backup +
                               "' 'localhost:" + restored + "' >/dev/null")
                                  .c_str()),
                  0);
        return cat.Value("SELECT COUNT(*) FROM MOVIMIENTOS", restored);
    };
    EXPECT_THAT(names[1], ::testing::EndsWith("-E7.GBK"));
    EXPECT_EQ(rowsIn(names[1]), "25");
    EXPECT_THAT(names[2], ::testing::EndsWith("-E8.GBK"));
    EXPECT_EQ(rowsIn(names[2]), "26");
    EXPECT_THAT(names[3], ::testing::MatchesRegex("unica-[0-9]{8}-[0-9]{4}\\.GBK"));
    const StatusBook book = Book();
    EXPECT_EQ(book.Find("7")->lastGood->file, cat.backupFolder + names[1]);
    EXPECT_EQ(book.Find("8")->lastGood->file, cat.backupFolder + names[2]);
    EXPECT_THAT(Memo(), HasSubstr(" No se eliminan Backups de CONTA sin número de empresa: otra base de datos"));
}

// A backup that fails leaves the earlier file of its name as it was, and what a run cut short
// left in the backup folder goes with a line.
TEST_F(OperationsServerTest, AFailedBackupLeavesTheEarlierFileOfItsNameAndLeftOversGo) {
    Configure("");
    cat.AddCompany({.id = 1,
                    .codigo = "001",
                    .nombre = "EMPRESA UNO",
                    .archivo = cat.folder / "missing.fdb",
                    .horaBackup01 = CurrentHourMinute()});
    // The good backups of this minute and the next, made before the database went missing.
    std::vector<std::string> earlier;
    const std::time_t now = std::time(nullptr);
    for (std::time_t at : {now, now + 60}) {
        char stamp[16];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M", std::localtime(&at));
        earlier.push_back(cat.backupFolder + "missing-" + stamp + ".GBK");
        WriteFile(earlier.back(), "bueno");
    }
    const std::vector<std::string> leftOvers = {"missing-20200101-1245.GBK.tmp", "otra-20200101-1245-E3.GBK.tmp",
                                                "missing-20200101-1245-Verifica.FDB"};
    for (const std::string& name : leftOvers)
        WriteFile(cat.backupFolder + name, "a medias");
    WriteFile(cat.backupFolder + "notas.tmp", "de otro");

    Run();

    for (const std::string& path : earlier)
        EXPECT_EQ(ReadFile(path), "bueno");
    const std::set<std::string> names = FolderNames();
    for (const std::string& name : leftOvers) {
        EXPECT_FALSE(names.count(name)) << name;
        EXPECT_THAT(Memo(), HasSubstr(" Se borra el archivo de un Backup que no terminó: " + cat.backupFolder + name));
        EXPECT_THAT(ReadFile(h.MonthLogPath()), HasSubstr(" Se borra el archivo de un Backup que no termin\xF3: " +
                                                          cat.backupFolder + name + "\r\n"));
    }
    EXPECT_TRUE(names.count("notas.tmp"));
    for (const std::string& name : names)
        EXPECT_THAT(name, Not(::testing::EndsWith(".GBK.tmp")));
}

// The second copy with the real copier, into a volume of its own, and the real script runner.
class SecondCopyServerTest : public OperationsServerTest {
protected:
    void TearDown() override {
        if (mounted_ && umount(second.c_str()) != 0) ADD_FAILURE() << "cannot unmount " << second;
        if (!scripts_.empty()) std::filesystem::remove_all(scripts_);
    }
    void MountSecond(const char* size) {
        std::filesystem::create_directories(second);
        ASSERT_EQ(mount("tmpfs", second.c_str(), "tmpfs", 0, (std::string("mode=0700,size=") + size).c_str()), 0)
            << "mount needs root";
        mounted_ = true;
    }
    // A script of root's that nobody else can change: it writes its arguments to `out`, prints
    // `line` and ends with `code`.
    std::string Script(const std::string& name, const std::string& out, const std::string& line, int code) {
        if (scripts_.empty()) {
            char folder[] = "/var/tmp/veltor-scripts-XXXXXX";
            scripts_ = mkdtemp(folder);
            chmod(scripts_.c_str(), 0755);
        }
        const std::string path = scripts_ + "/" + name;
        WriteFile(path, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + out + "'\necho '" + line + "'\nexit " +
                            std::to_string(code) + "\n");
        chmod(path.c_str(), 0755);
        return path;
    }
    void Company(int id, const std::string& database) {
        const std::string code = "00" + std::to_string(id);
        cat.AddCompany({.id = id,
                        .codigo = code,
                        .nombre = "EMPRESA " + code,
                        .archivo = database,
                        .horaBackup01 = CurrentHourMinute()});
    }
    std::vector<std::string> InSecond() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(second))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string second = cat.folder / "nas";
    posix::PosixCheckedCopier copier;
    posix::PosixHookRunner runner;
    BackupOperations copies{
        {h.global, h.catalogue, h.log, h.files, h.clock, h.view, verifyService, databases, &copier, &runner}};

private:
    bool mounted_ = false;
    std::string scripts_;
};

TEST_F(SecondCopyServerTest, ACopyThatFindsNoFolderFailsAloneAndIsCaughtUpWhenTheFolderIsBack) {
    Configure("COPIAEXTERNA=" + second + "\n");
    Company(1, cat.CreateCompanyDatabase("uno.fdb", 30));
    const std::string dos = cat.folder / "dos.fdb";
    Company(2, dos);

    // The share is not there: the backup of 001 is good and stamped all the same.
    RunWith(copies);
    EXPECT_THAT(Memo(), HasSubstr(" No terminada Copia Externa: 001 - EMPRESA 001: "));
    StatusBook book = Book();
    EXPECT_EQ(book.Find("1")->lastGood->outcome, kBackupDone);
    EXPECT_EQ(book.Find("1")->lastCopy->outcome, kCopyFailed);
    EXPECT_NE(cat.Value("SELECT FECHAULTBACKUP FROM EMPRESAS WHERE EMPRESAID = 1"), "<null>");
    const std::vector<std::string> first = h.BackupFiles();
    ASSERT_EQ(first.size(), 1u);

    // It is back: the next run copies its own backup and catches up the one it missed.
    MountSecond("4m");
    cat.CreateCompanyDatabase("dos.fdb", 5);
    h.view.memo.clear();
    RunWith(copies);
    const std::vector<std::string> backups = h.BackupFiles();
    ASSERT_EQ(backups.size(), 2u);
    EXPECT_EQ(InSecond(), backups);
    for (const std::string& name : backups)
        EXPECT_EQ(ReadFile(second + "/" + name), ReadFile(cat.backupFolder + name)) << name;
    book = Book();
    EXPECT_EQ(book.Find("1")->lastCheckedCopy->file, cat.backupFolder + first[0]);
    EXPECT_EQ(book.Find("2")->lastCheckedCopy->copy,
              second + "/" + book.Find("2")->lastGood->file.substr(cat.backupFolder.size()));
    EXPECT_THAT(ReadFile(h.MonthLogPath()), HasSubstr(" Copia Externa Realizada: " + second + "/" + first[0]));
}

TEST_F(SecondCopyServerTest, AFullShareFailsTheCopyLeavingNothingAndTheScriptsSayHowTheyEnded) {
    MountSecond("64k");
    const std::string afterBackup = cat.folder / "tras-backup.txt";
    const std::string afterFailure = cat.folder / "fallo.txt";
    Configure("COPIAEXTERNA=" + second + "\nSCRIPTBACKUP=" + Script("tras-backup", afterBackup, "subido", 3) +
              "\nSCRIPTFALLO=" + Script("fallo", afterFailure, "avisado", 0) + "\n");
    Company(1, cat.CreateCompanyDatabase("uno.fdb", 5000));
    Company(2, cat.folder / "missing.fdb");

    RunWith(copies);
    EXPECT_THAT(Memo(), HasSubstr(" No terminada Copia Externa: 001 - EMPRESA 001: no hay espacio en "));
    EXPECT_THAT(InSecond(), ::testing::IsEmpty());
    ASSERT_EQ(h.BackupFiles().size(), 1u);
    EXPECT_EQ(ReadFile(afterBackup), cat.backupFolder + h.BackupFiles()[0] + "|001|");
    EXPECT_THAT(Memo(), HasSubstr(" terminó con código 3: subido"));
    // The run's end: company 002 was not done.
    copies.RunFailed("Backup: 1 empresa no terminada");
    EXPECT_EQ(ReadFile(afterFailure), "Backup: 1 empresa no terminada|");
    EXPECT_THAT(ReadFile(h.MonthLogPath()), HasSubstr("digo 0: avisado\r\n"));
}

} // namespace
} // namespace veltor::test
