#include "tests/support/CatalogueFixture.h"

#include "tests/support/FirebirdServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace veltor::test {
namespace {

std::string Quoted(const std::string& text) {
    if (text.empty()) return "NULL";
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \r\n\t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \r\n\t") - first + 1);
}

} // namespace

CatalogueFixture::CatalogueFixture() : adminPath(folder / "ADMIN.FDB"), backupFolder(folder / "Backups/") {
    mkdir(backupFolder.c_str(), 0777);
    chmod(backupFolder.c_str(), 0777);
}

void CatalogueFixture::CreateCatalogue(bool scheduling) {
    CreateDatabase(adminPath);
    const char* data = std::getenv("VELTOR_TEST_DATA");
    if (!data) data = VELTOR_TEST_DATA_DIR;
    RunIsql("INPUT '" + std::string(data) + "/empresas.sql';", "localhost:" + adminPath);
    if (!scheduling) return;
    Sql("ALTER TABLE EMPRESAS ADD REALIZABACKUP CHAR(1), ADD HORABACKUP01 VARCHAR(13), ADD HORABACKUP02 VARCHAR(13),"
        " ADD HORABACKUP03 VARCHAR(13), ADD FECHAULTBACKUP TIMESTAMP, ADD HORAULTBACKUP VARCHAR(13),"
        " ADD SOLOBACKUPMENSUAL CHAR(1), ADD DIAMESBACKUP VARCHAR(2), ADD REALIZARESTORE CHAR(1),"
        " ADD RESTORELUNES CHAR(1), ADD RESTOREMARTES CHAR(1), ADD RESTOREMIERCOLES CHAR(1),"
        " ADD RESTOREJUEVES CHAR(1), ADD RESTOREVIERNES CHAR(1), ADD RESTORESABADO CHAR(1),"
        " ADD RESTOREDOMINGO CHAR(1), ADD HORARESTORE CHAR(13), ADD FECHAULTRESTORE TIMESTAMP,"
        " ADD HORAULTRESTORE VARCHAR(13); COMMIT;");
}

std::string CatalogueFixture::CreateCompanyDatabase(const std::string& name, int rows) {
    const std::string path = folder / name;
    CreateDatabase(path);
    std::ostringstream script;
    script << "CREATE TABLE MOVIMIENTOS (ID INTEGER NOT NULL PRIMARY KEY, CUENTA VARCHAR(20), VALOR NUMERIC(15,2));\n"
           << "COMMIT;\nSET TERM ^;\nEXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= " << rows
           << ") DO BEGIN INSERT INTO MOVIMIENTOS VALUES (:I, 'CTA-' || :I, :I * 1.5); I = I + 1; END END^\n"
           << "SET TERM ;^\nCOMMIT;\n";
    RunIsql(script.str(), "localhost:" + path);
    return path;
}

void CatalogueFixture::AddCompany(const Company& c) {
    std::ostringstream sql;
    sql << "INSERT INTO EMPRESAS (EMPRESAID, CODIGO, NOMBRE, NIT, ANOFIS, ULTPERIODO, ARCHIVO, CONSOLIDA, RUTALOGO, "
           "REALIZABACKUP, HORABACKUP01, HORABACKUP02, SOLOBACKUPMENSUAL, DIAMESBACKUP, REALIZARESTORE, HORARESTORE) "
           "VALUES ("
        << c.id << ", " << Quoted(c.codigo) << ", " << Quoted(c.nombre) << ", '900" << c.id << "', " << Quoted(c.anofis)
        << ", 12, " << Quoted(c.archivo) << ", 'N', NULL, " << Quoted(c.realizaBackup) << ", " << Quoted(c.horaBackup01)
        << ", " << Quoted(c.horaBackup02) << ", " << Quoted(c.soloBackupMensual) << ", " << Quoted(c.diaMesBackup)
        << ", " << Quoted(c.realizaRestore) << ", " << Quoted(c.horaRestore) << "); COMMIT;";
    Sql(sql.str());
}

std::string CatalogueFixture::Sql(const std::string& statements) const {
    return RunIsql(statements, "localhost:" + adminPath);
}

std::string CatalogueFixture::Value(const std::string& query, const std::string& database) const {
    const std::string output =
        RunIsql("SET HEADING OFF;\n" + query + ";", "localhost:" + (database.empty() ? adminPath : database));
    return Trimmed(output);
}

void CatalogueFixture::WriteConfiguration(const std::string& directory, const std::string& period) const {
    WriteFile(directory + "/ADMINBD.inf", "[ADMINBD]\r\nRUTABD=" + adminPath + "\r\nSERVIDOR=localhost\r\nRUTABACKUP=" +
                                              backupFolder + "\r\nTIMERBACKUPLICENCE=" + period + "\r\n");
}

CurrentDirectory::CurrentDirectory(const std::string& path) {
    char buffer[4096];
    previous_ = getcwd(buffer, sizeof buffer) ? buffer : "/";
    if (chdir(path.c_str()) != 0) ADD_FAILURE() << "cannot enter " << path;
}

CurrentDirectory::~CurrentDirectory() {
    if (chdir(previous_.c_str()) != 0) std::abort();
}

std::string CurrentHourMinute() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[8];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

} // namespace veltor::test
