// The scheduled run against the local Firebird server: real catalogue, real company
// databases, real .GBK files, the month log on disk.

#include "tests/backup/ScheduledRunHarness.h"
#include "tests/support/FirebirdServer.h"
#include "tests/support/TestUser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>

namespace veltor::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using ::testing::Not;

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the log does not end with CR LF";
    return lines;
}

// A time of day twelve hours away from now: never inside a 30-minute window.
std::string FarFromNow() {
    const std::string now = CurrentHourMinute();
    const int hour = (std::stoi(now.substr(0, 2)) + 12) % 24;
    return (hour < 10 ? "0" : "") + std::to_string(hour) + ":00";
}

std::string Today(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

class ScheduledBackupServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireFirebirdServer());
        ASSERT_NO_FATAL_FAILURE(h.catalogueFiles.CreateCatalogue());
        h.catalogueFiles.WriteConfiguration(h.catalogueFiles.folder.path());
    }

    ScheduledRunHarness h;
};

TEST_F(ScheduledBackupServerTest, BacksUpExactlyTheDueCompaniesLogsThemAndStampsTheirRows) {
    auto& cat = h.catalogueFiles;
    const std::string now = CurrentHourMinute();
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 50);
    const std::string tres = cat.CreateCompanyDatabase("tres.fdb", 700);
    cat.AddCompany({.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = now});
    cat.AddCompany({.id = 2,
                    .codigo = "002",
                    .nombre = "EMPRESA DOS",
                    .archivo = cat.folder / "missing.fdb",
                    .horaBackup01 = now});
    cat.AddCompany({.id = 3, .codigo = "003", .nombre = "EMPRESA TRES", .archivo = tres, .horaBackup01 = now});
    cat.AddCompany(
        {.id = 4, .codigo = "004", .nombre = "SIN BACKUP", .archivo = uno, .realizaBackup = "N", .horaBackup01 = now});
    cat.AddCompany({.id = 5, .codigo = "005", .nombre = "OTRA HORA", .archivo = uno, .horaBackup01 = FarFromNow()});

    h.Run();

    EXPECT_TRUE(h.MemoHasLineEndingWith(" Empresas Pendientes de Backup: 3"));
    EXPECT_TRUE(h.messages.shown.empty());

    // One .GBK for each company that could be backed up, named after its database file.
    const std::vector<std::string> files = h.BackupFiles();
    ASSERT_EQ(files.size(), 2u);
    const std::regex name("(uno|tres)-" + Today("%Y%m%d") + "-([0-9]{4})\\.GBK");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(files[0], parts, name)) << files[0];
    const std::string startMinute = parts[2].str().substr(0, 2) + ":" + parts[2].str().substr(2);
    EXPECT_TRUE(std::regex_match(files[1], name)) << files[1];

    // Each restores with gbak and holds the rows of its database.
    for (const auto& [file, rows] : {std::pair{files[0], "700"}, std::pair{files[1], "50"}}) {
        const std::string restored = cat.folder / ("restored-" + file + ".fdb");
        ASSERT_EQ(std::system(("gbak -c -user SYSDBA -password quillbank '" + cat.backupFolder + file +
                               "' 'localhost:" + restored + "' >/dev/null 2>&1")
                                  .c_str()),
                  0)
            << file;
        EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM MOVIMIENTOS", restored), rows) << file;
    }

    // The backed-up rows carry today's date and the start minute; the others nothing.
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP = CURRENT_DATE AND EMPRESAID IN (1, 3)"),
              "2");
    EXPECT_EQ(cat.Value("SELECT HORAULTBACKUP FROM EMPRESAS WHERE EMPRESAID = " +
                        std::string(files[0].rfind("uno", 0) == 0 ? "1" : "3")),
              startMinute);
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NULL AND EMPRESAID IN (2, 4, 5)"), "3");

    // The month log: the section line by line, CR LF, in order.
    const std::string p = "[^ ]+ - [^ ]+";
    // The server refuses a missing database either when the backup starts or at its first
    // read; the file line is written only in the second case.
    std::vector<std::string> log = SplitCrLf(ReadFile(h.MonthLogPath()));
    std::erase_if(log, [&](const std::string& line) {
        return std::regex_match(line, std::regex(p + " Archivo Backup: .*missing-.*\\.GBK"));
    });
    EXPECT_THAT(
        log, ElementsAre(" ", MatchesRegex(p + " Inicio Backup: ===> "), " ",
                         MatchesRegex(p + " Inicio Backup: 001 - EMPRESA UNO"),
                         MatchesRegex(p + " Archivo Backup: " + cat.backupFolder + "uno-.*\\.GBK"),
                         MatchesRegex(p + " Finaliza Backup: 001 - EMPRESA UNO"), " ", " ",
                         MatchesRegex(p + " Inicio Backup: 002 - EMPRESA DOS"),
                         // The server's message has three lines, shown in one.
                         MatchesRegex(p + " Advertencia en Backup: I/O error during \"open\" operation .*missing.fdb\""
                                          "<0D><0A>Error while trying to open file<0D><0A>No such file or directory"),
                         MatchesRegex(p + " No terminado Backup: 002 - EMPRESA DOS"), " ",
                         MatchesRegex(p + " Inicio Backup: 003 - EMPRESA TRES"),
                         MatchesRegex(p + " Archivo Backup: " + cat.backupFolder + "tres-.*\\.GBK"),
                         MatchesRegex(p + " Finaliza Backup: 003 - EMPRESA TRES"), " ", " ",
                         MatchesRegex(p + " <=== Fin Backup ")));

    // The memo shows the server's verbose output, two blanks in front of each line, in one
    // batch per company ending with the empty last line.
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Ruta del Backup Realizado: " + cat.backupFolder + files[0]));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Backup Finalizado "));
    EXPECT_GT(h.view.processEventsCalls, 10);
}

TEST_F(ScheduledBackupServerTest, CreatesAMissingBackupFolderThatTheServerCanWriteTo) {
    auto& cat = h.catalogueFiles;
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    // No RUTABACKUP: the default folder, missing with its parent.
    WriteFile(cat.folder / "ADMINBD.inf", "RUTABD=" + cat.adminPath + "\nSERVIDOR=localhost\n");
    h.Run();
    const std::string folder = h.rules.defaultBackupFolder;
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    const auto permissions = std::filesystem::status(folder).permissions();
    EXPECT_EQ(permissions & std::filesystem::perms::others_all, std::filesystem::perms::none);
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Finaliza Backup: 001 - EMPRESA UNO"));
    bool backedUp = false;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        backedUp = backedUp || entry.path().extension() == ".GBK";
    EXPECT_TRUE(backedUp);
}

TEST_F(ScheduledBackupServerTest, WithNoCompanyDueCreatesNoLogFile) {
    auto& cat = h.catalogueFiles;
    cat.AddCompany({.id = 1,
                    .codigo = "001",
                    .nombre = "LEJOS",
                    .archivo = cat.folder / "x.fdb",
                    .horaBackup01 = FarFromNow(),
                    .diaMesBackup = "00"});
    cat.Sql("UPDATE EMPRESAS SET FECHAULTBACKUP = CURRENT_DATE, HORAULTBACKUP = '00:00'; COMMIT;");
    h.Run();
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Empresas Pendientes de Backup: 0"));
    EXPECT_FALSE(std::filesystem::exists(h.MonthLogPath()));
    EXPECT_TRUE(h.BackupFiles().empty());
    // The run writes its opening lines and the count only.
    ASSERT_EQ(h.view.memo.size(), 4u);
    EXPECT_EQ(h.view.memo[0], " ");
    EXPECT_THAT(h.view.memo[1], MatchesRegex(".* Inicia Backup "));
    EXPECT_EQ(h.view.memo[3], " ");
}

TEST_F(ScheduledBackupServerTest, AWrongCataloguePathIsReportedAndEndsTheRun) {
    WriteFile(h.catalogueFiles.folder / "ADMINBD.inf",
              "RUTABD=/nonexistent/ADMIN.FDB\nSERVIDOR=localhost\nRUTABACKUP=" + h.catalogueFiles.backupFolder + "\n");
    EXPECT_ANY_THROW(h.Run());
    EXPECT_TRUE(h.MemoHasLineEndingWith(" No se pudo conectar a lista Empresas ... "));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Conexión: localhost:/nonexistent/ADMIN.FDB  Clave: quillbank"));
    const bool reported = std::any_of(h.view.memo.begin(), h.view.memo.end(), [](const std::string& line) {
        return line.find(" Advertencia en Backup: ") != std::string::npos &&
               line.find("/nonexistent/ADMIN.FDB") != std::string::npos;
    });
    EXPECT_TRUE(reported) << "the memo should carry Firebird's own text naming the database";
    EXPECT_FALSE(h.MemoHasLineEndingWith(" Empresas Pendientes de Backup: 0"));
}

TEST_F(ScheduledBackupServerTest, AColumnThatCannotBeAddedEndsTheRunSilently) {
    h.catalogueFiles.Sql("DROP TABLE EMPRESAS; COMMIT;");
    EXPECT_ANY_THROW(h.Run());
    // Only the opening lines: the failure is not the run's to report.
    EXPECT_EQ(h.view.memo.size(), 2u);
}

TEST_F(ScheduledBackupServerTest, AMonthLogHeldByAnotherWriterStopsTheRunBeforeAnyBackup) {
    auto& cat = h.catalogueFiles;
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    posix::PosixFileSystem otherWriter;
    const auto held = otherWriter.OpenForAppend(h.MonthLogPath());
    h.Run();
    EXPECT_TRUE(h.MemoHasLineEndingWith(" No se puede Crear el Archivo " + h.MonthLogPath()));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Verifique que no se esté realizando otro proceso"));
    EXPECT_TRUE(h.BackupFiles().empty());
    EXPECT_EQ(cat.Value("SELECT COUNT(*) FROM EMPRESAS WHERE FECHAULTBACKUP IS NULL"), "1");
}

// What a user of the accounting suite and the database server's user can do, together, to
// the month log that root writes.
TEST_F(ScheduledBackupServerTest, CompanyNameWithALineEndStaysOneLineInTheLogAndTheMemo) {
    auto& cat = h.catalogueFiles;
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany({.id = 1, .codigo = "001", .nombre = "x", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    const std::string forged = "07/12/2026 - 12:45:03 Finaliza Backup: 009 - FALSA";
    cat.Sql("UPDATE EMPRESAS SET NOMBRE = 'COMPAÑÍA' || ASCII_CHAR(13) || ASCII_CHAR(10) || '" + forged +
            "' WHERE EMPRESAID = 1; COMMIT;");
    h.Run();
    const std::string p = "[^ ]+ - [^ ]+";
    const std::vector<std::string> log = SplitCrLf(ReadFile(h.MonthLogPath()));
    EXPECT_THAT(log, Contains(MatchesRegex(p +
                                           " Inicio Backup: 001 - COMPA\xD1\xCD"
                                           "A<0D><0A>" +
                                           forged)));
    EXPECT_THAT(log, Not(Contains(forged)));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Finaliza Backup: 001 - COMPAÑÍA<0D><0A>" + forged));
    EXPECT_THAT(h.view.memo, Not(Contains(::testing::HasSubstr("\n"))));
}

TEST_F(ScheduledBackupServerTest, MonthLogLinkPlantedByTheServersUserIsALogThatCannotBeOpened) {
    auto& cat = h.catalogueFiles;
    const std::string uno = cat.CreateCompanyDatabase("uno.fdb", 5);
    cat.AddCompany(
        {.id = 1, .codigo = "001", .nombre = "EMPRESA UNO", .archivo = uno, .horaBackup01 = CurrentHourMinute()});
    // The backup folder as the program makes it: root's, written by the server's group, to
    // which the user planting the link belongs.
    test::TestUser server{"log"};
    ASSERT_EQ(::chown(cat.backupFolder.c_str(), 0, server.gid()), 0);
    ASSERT_EQ(::chmod(cat.backupFolder.c_str(), 02770), 0);
    test::ScratchFolder rootOnly{"rootonly", test::Writers::RootOnly};
    const std::string secret = rootOnly / "shadow";
    WriteFile(secret, "root:x:0:\n");
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    ASSERT_TRUE(server.Act([&] { return ::symlink(secret.c_str(), h.MonthLogPath().c_str()) == 0; }));

    h.Run();

    EXPECT_EQ(ReadFile(secret), "root:x:0:\n");
    EXPECT_TRUE(h.MemoHasLineEndingWith(" No se puede Crear el Archivo " + h.MonthLogPath()));
    EXPECT_TRUE(h.MemoHasLineEndingWith(" Verifique que no se esté realizando otro proceso"));
    EXPECT_TRUE(h.BackupFiles().empty());
    ::chmod(cat.backupFolder.c_str(), 0777);
}

} // namespace
} // namespace veltor::test
