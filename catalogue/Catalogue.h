#pragma once
// The administration database as the runs use it: the connection BDAdmin, the company list
// QEmpresas and the command query QConsultaEmpresas, with the operations that connect,
// upgrade the EMPRESAS table, fill its defaults and select the companies due for a backup.
// Every operation raises its failure to the caller, except ApplyBackupDefaults.

#include "catalogue/CompanyCatalogue.h"
#include "catalogue/DueSelection.h"
#include "dbserver/SqlDatabase.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltor::catalogue {

// One step of the schema upgrade: a probe that selects a column, and the statement that
// adds the column when the probe fails.
struct UpgradeStep {
    std::string_view probe;
    std::string_view fallback;
};

// The scheduling columns of EMPRESAS, in the order they are added.
extern const std::array<UpgradeStep, 19> kUpgradeSteps;

// Fills the scheduling defaults into rows never configured (REALIZABACKUP NULL or empty).
extern const std::string_view kBackupDefaultsStatement;

// The statement that stamps the company `companyId` once its run has finished: the date
// column gets `date` (MM/DD/YYYY), the time column "HH:MM" from the "HHMM" of `hourMinute`.
std::string StampStatement(std::string_view dateColumn, std::string_view timeColumn, const std::string& date,
                           const std::string& hourMinute, const std::string& companyId);

// The statement that lists every company's database file.
extern const std::string_view kCompanyFilesStatement;
// The statement that lists the companies whose backup-restore cycle was stamped on the
// server's today, with the minute of that cycle (HORAULTRESTORE).
extern const std::string_view kRestoredTodayStatement;

// A company as the status check reads it: its schedule and its last backup's stamp.
struct CompanyRow {
    std::string id, code, name;
    BackupSchedule schedule;
    // FECHAULTBACKUP's day at HORAULTBACKUP, seconds; nothing when either is NULL, as the due
    // selection reads them (an unreadable time counts as midnight of the day).
    std::optional<long long> stamped;
    bool cycled = false; // REALIZARESTORE "S": the timer's backup-restore cycles take it
};

// The statement that lists every company with its schedule and stamp, ordered by CODIGO.
extern const std::string_view kCompanyRowsStatement;

// The companies of the catalogue at `connection`, read as the administrator on a connection of
// their own; raises when they cannot be read.
std::vector<CompanyRow> ReadCompanyRows(const fb::ClientApi& api, const std::string& connection);

class Catalogue : public ICompanyCatalogue {
public:
    explicit Catalogue(const fb::ClientApi& api);
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    sql::SqlDatabase BDAdmin;
    sql::SqlDataset QEmpresas;
    sql::SqlCommand QConsultaEmpresas;

    // Closes QEmpresas, disconnects, sets the database string and password, connects.
    void ConnectCatalogue(const std::string& databaseString, const std::string& password) override;

    // Closes the dataset and empties its statement.
    static void ResetDataset(sql::SqlDataset& dataset);
    static void ResetDataset(sql::SqlCommand& command);

    // Executes `statement` on QConsultaEmpresas; when anything in that fails, executes
    // `fallback` instead, whose failure reaches the caller.
    void ExecWithFallback(const std::string& statement, const std::string& fallback);

    // Executes one statement on QConsultaEmpresas (the stamps).
    void ExecuteCommand(const std::string& statement) override;

    // Opens a selection on QEmpresas; the caller then walks its rows.
    void OpenSelection(const std::string& statement) override;

    // Adds every missing scheduling column, in the order of kUpgradeSteps.
    void UpgradeCatalogue();

    // Runs the defaults statement through QEmpresas; never raises.
    void ApplyBackupDefaults() noexcept;

    // Opens on QEmpresas the companies due now for a backup timer of the given period
    // (texts of integers). On failure QEmpresas is closed and the error raised.
    void SelectDueCompanies(const std::string& periodHours, const std::string& periodMinutes);

    // Every company's database file, read on a query of its own (QEmpresas keeps its rows).
    // Raises the failure.
    std::vector<CompanyFile> CompanyFiles() override;

    // EMPRESAID -> HORAULTRESTORE of the companies whose cycle was stamped today, read on a
    // query of its own. Raises the failure.
    std::map<std::string, std::string> RestoredToday() override;

    // BDAdmin disconnected and connected again.
    void ConnectAgain() override;
    // QEmpresas.
    ICompanyRows& Selection() override { return selection_; }

private:
    // QEmpresas seen through the rows' interface.
    class DatasetRows final : public ICompanyRows {
    public:
        explicit DatasetRows(sql::SqlDataset& dataset) : dataset_(dataset) {}
        void First() override { dataset_.First(); }
        void Next() override { dataset_.Next(); }
        bool Eof() const override { return dataset_.Eof(); }
        bool Active() const override { return dataset_.Active(); }
        void Close() noexcept override { dataset_.Close(); }
        std::string FieldText(std::string_view column) const override { return dataset_.FieldText(column); }

    private:
        sql::SqlDataset& dataset_;
    };
    DatasetRows selection_{QEmpresas};
};

} // namespace veltor::catalogue
