#include "catalogue/Catalogue.h"

#include "catalogue/DueSelection.h"
#include "config/Global.h"

#include <stdexcept>

namespace veltor::catalogue {

const std::array<UpgradeStep, 19> kUpgradeSteps = {{
    {"SELECT REALIZABACKUP FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD REALIZABACKUP CHAR(1)"},
    {"SELECT HORABACKUP01 FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD HORABACKUP01 VARCHAR(13)"},
    {"SELECT HORABACKUP02 FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD HORABACKUP02 VARCHAR(13)"},
    {"SELECT HORABACKUP03 FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD HORABACKUP03 VARCHAR(13)"},
    {"SELECT FECHAULTBACKUP FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD FECHAULTBACKUP TIMESTAMP"},
    {"SELECT HORAULTBACKUP FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD HORAULTBACKUP VARCHAR(13)"},
    {"SELECT SOLOBACKUPMENSUAL FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD SOLOBACKUPMENSUAL CHAR(1)"},
    {"SELECT DIAMESBACKUP FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD DIAMESBACKUP VARCHAR(2)"},
    {"SELECT REALIZARESTORE FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD REALIZARESTORE CHAR(1)"},
    {"SELECT RESTORELUNES FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD RESTORELUNES CHAR(1)"},
    {"SELECT RESTOREMARTES FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD RESTOREMARTES CHAR(1)"},
    {"SELECT RESTOREMIERCOLES FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD RESTOREMIERCOLES CHAR(1)"},
    {"SELECT RESTOREJUEVES FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD RESTOREJUEVES CHAR(1)"},
    {"SELECT RESTOREVIERNES FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD RESTOREVIERNES CHAR(1)"},
    {"SELECT RESTORESABADO FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD RESTORESABADO CHAR(1)"},
    {"SELECT RESTOREDOMINGO FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD RESTOREDOMINGO CHAR(1)"},
    {"SELECT HORARESTORE FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD HORARESTORE CHAR(13)"},
    {"SELECT FECHAULTRESTORE FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD FECHAULTRESTORE TIMESTAMP"},
    {"SELECT HORAULTRESTORE FROM EMPRESAS", "ALTER TABLE EMPRESAS ADD HORAULTRESTORE VARCHAR(13)"},
}};

// The double blanks are part of the text.
// clang-format off
const std::string_view kBackupDefaultsStatement =
    "UPDATE EMPRESAS SET REALIZABACKUP=\"S\","
    " SOLOBACKUPMENSUAL=IIF(ANOFIS=cast((extract(YEAR from cast(\"Now\" as date))) as VARCHAR(4)),\"N\",\"S\"),"
    " HORABACKUP01=\"12:45\","
    " HORABACKUP02=IIF(ANOFIS=cast((extract(YEAR from cast(\"Now\" as date))) as VARCHAR(4)),\"20:00\",NULL),"
    "  DIAMESBACKUP=IIF(ANOFIS=cast((extract(YEAR from cast(\"Now\" as date))) as VARCHAR(4)),\"00\",\"01\") "
    " WHERE (REALIZABACKUP IS NULL) OR (REALIZABACKUP = \"\") ";
// clang-format on

std::string StampStatement(std::string_view dateColumn, std::string_view timeColumn, const std::string& date,
                           const std::string& hourMinute, const std::string& companyId) {
    return "UPDATE EMPRESAS SET " + std::string(dateColumn) + "=\"" + date + "\", " + std::string(timeColumn) + "=\"" +
           hourMinute.substr(0, 2) + ":" + hourMinute.substr(2, 2) + "\" WHERE EMPRESAID=" + companyId;
}

Catalogue::Catalogue(const fb::ClientApi& api) : BDAdmin(api), QEmpresas(BDAdmin), QConsultaEmpresas(BDAdmin) {}

void Catalogue::ConnectCatalogue(const std::string& databaseString, const std::string& password) {
    QEmpresas.Close();
    BDAdmin.Disconnect();
    BDAdmin.SetDatabaseName(databaseString);
    BDAdmin.SetPassword(password);
    BDAdmin.Connect();
}

void Catalogue::ConnectAgain() {
    BDAdmin.Disconnect();
    BDAdmin.Connect();
}

void Catalogue::ResetDataset(sql::SqlDataset& dataset) {
    dataset.Close();
    dataset.CommandText.clear();
}

void Catalogue::ResetDataset(sql::SqlCommand& command) {
    command.Close();
    command.SQL.clear();
}

void Catalogue::ExecWithFallback(const std::string& statement, const std::string& fallback) {
    try {
        ExecuteCommand(statement);
    } catch (...) {
        ExecuteCommand(fallback);
    }
}

void Catalogue::ExecuteCommand(const std::string& statement) {
    ResetDataset(QConsultaEmpresas);
    QConsultaEmpresas.SQL.push_back(statement);
    QConsultaEmpresas.ExecQuery();
}

void Catalogue::OpenSelection(const std::string& statement) {
    ResetDataset(QEmpresas);
    QEmpresas.CommandText = statement;
    QEmpresas.Open();
}

void Catalogue::UpgradeCatalogue() {
    for (const UpgradeStep& step : kUpgradeSteps)
        ExecWithFallback(std::string(step.probe), std::string(step.fallback));
}

void Catalogue::ApplyBackupDefaults() noexcept {
    try {
        OpenSelection(std::string(kBackupDefaultsStatement));
    } catch (...) {
        // Every execution ends with the complaint that the statement returned no rows.
    }
}

void Catalogue::SelectDueCompanies(const std::string& periodHours, const std::string& periodMinutes) {
    try {
        const std::string window = BackupWindowText(StrToInt(periodHours), StrToInt(periodMinutes));
        OpenSelection(DueCompaniesStatement(window));
    } catch (...) {
        QEmpresas.Close();
        throw;
    }
}

const std::string_view kCompanyFilesStatement = "SELECT EMPRESAID, ARCHIVO, CODIGO, NOMBRE FROM EMPRESAS";

// The stamp's date is written as a day (MM/DD/YYYY), which the timestamp column holds at
// midnight.
const std::string_view kRestoredTodayStatement =
    "SELECT EMPRESAID, HORAULTRESTORE FROM EMPRESAS WHERE FECHAULTRESTORE = CAST(\"TODAY\" AS DATE)";

std::vector<CompanyFile> Catalogue::CompanyFiles() {
    sql::SqlDataset rows(BDAdmin);
    rows.CommandText = std::string(kCompanyFilesStatement);
    rows.Open();
    std::vector<CompanyFile> files;
    for (rows.First(); !rows.Eof(); rows.Next())
        files.push_back({rows.FieldText("EMPRESAID"), rows.FieldText("ARCHIVO"), rows.FieldText("CODIGO"),
                         rows.FieldText("NOMBRE")});
    return files;
}

std::map<std::string, std::string> Catalogue::RestoredToday() {
    sql::SqlDataset rows(BDAdmin);
    rows.CommandText = std::string(kRestoredTodayStatement);
    rows.Open();
    std::map<std::string, std::string> stamped;
    for (rows.First(); !rows.Eof(); rows.Next())
        stamped[rows.FieldText("EMPRESAID")] = rows.FieldText("HORAULTRESTORE");
    return stamped;
}

// The stamp's day only where the selection counts the company as backed up at all.
const std::string_view kCompanyRowsStatement =
    "SELECT EMPRESAID, CODIGO, NOMBRE, REALIZABACKUP, COALESCE(HORABACKUP01, ':'), COALESCE(HORABACKUP02, ':'), "
    "COALESCE(HORABACKUP03, ':'), SOLOBACKUPMENSUAL, DIAMESBACKUP, "
    "IIF(HORAULTBACKUP IS NULL, NULL, FECHAULTBACKUP), HORAULTBACKUP, REALIZARESTORE "
    "FROM EMPRESAS ORDER BY CODIGO";

std::vector<CompanyRow> ReadCompanyRows(const fb::ClientApi& api, const std::string& connection) {
    std::vector<CompanyRow> rows;
    sql::SqlDatabase catalogue(api);
    catalogue.SetDatabaseName(connection);
    catalogue.SetPassword(kAdministratorPassword);
    const sql::RowSet set = catalogue.Run(kCompanyRowsStatement, true);
    catalogue.Disconnect();
    for (const auto& r : set.rows) {
        if (r.size() != 12) throw std::runtime_error("respuesta inesperada del catálogo");
        rows.push_back({TrimBlanks(r[0]), TrimBlanks(r[1]), TrimBlanks(r[2]),
                        ScheduleOf(TrimBlanks(r[3]), r[4], r[5], r[6], r[7], r[8]), BackupStampOf(r[9], r[10]),
                        TrimBlanks(r[11]) == "S"});
    }
    return rows;
}

} // namespace veltor::catalogue
