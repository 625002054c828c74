#include "backup/ScheduledBackup.h"

#include "backup/BackupFiles.h"
#include "backup/Operations.h"
#include "backup/RunSteps.h"
#include "backup/ServiceOutput.h"

#include <exception>
#include <stdexcept>

namespace veltor {

void TScheduledBackup::RunScheduledBackup() {
    auto& log = parts_.log;
    parts_.global.ReadConfiguration();

    const char separator = parts_.global.rules().pathSeparator;
    backupFolder_ = WorkingBackupFolder(parts_.global.BackupFolder, separator);

    log.WriteMemoLine(" ");
    log.WriteMemoLine(StampPrefix() + " Inicia Backup ");

    EnsureBackupFolder(backupFolder_, parts_.global.rules(), parts_.files, log);
    if (operations_) operations_->RunStarted(backupFolder_);

    CloseLeftOverMonthLog(log);
    ConnectCatalogueOrReport(parts_.catalogue, parts_.global, log);

    parts_.catalogue.UpgradeCatalogue();
    parts_.catalogue.ApplyBackupDefaults();

    auto& due = parts_.catalogue.QEmpresas;
    try {
        parts_.catalogue.SelectDueCompanies(parts_.periodHours, parts_.periodMinutes);
        log.WriteMemoLine(StampPrefix() + " Empresas Pendientes de Backup: " + std::to_string(due.RecordCount()));
        log.WriteMemoLine(" ");
    } catch (const std::exception& e) {
        ReportCompanyListFailure(parts_.global, log, e);
    }

    // A selection that failed left the list closed: its row count cannot be read, and the
    // run ends here with that error.
    if (!due.Active()) throw std::runtime_error("La lista de empresas para Backup no está abierta");
    const int dueCount = due.RecordCount();

    if (dueCount > 0 && !OpenMonthLogSection(log, backupFolder_, " Inicio Backup: ===> ")) {
        cutShort_ = true;
        if (operations_)
            for (due.First(); !due.Eof(); due.Next())
                operations_->BackupSkipped(CurrentCompany(), "no se pudo abrir el log " + log.lastMonthLogPath());
        return;
    }

    due.First();
    while (!due.Eof()) {
        if (!BackupCompany()) ++failedCompanies_;
        due.Next();
        log.WriteLogLine(" ");
    }

    if (dueCount > 0) {
        try {
            log.WriteLogLine(StampPrefix() + " <=== Fin Backup ");
            log.CloseMonthLog();
            log.WriteMemoLine(StampPrefix() + " Backup Finalizado ");
            log.WriteMemoLine("  ");
        } catch (const std::exception&) {
            // The end of the section is best effort; the backups are done.
        }
    }
}

bool TScheduledBackup::BackupCompany() {
    auto& log = parts_.log;
    auto& row = parts_.catalogue.QEmpresas;
    auto& service = parts_.IBBackup;
    const std::string company = row.FieldText("CODIGO") + " - " + row.FieldText("NOMBRE");

    bool failed = false;
    log.WriteLogLine(StampPrefix() + " Inicio Backup: " + company);
    log.WriteMemoLine(StampPrefix() + " Inicio Backup: " + company);

    std::string backupFile;
    std::string startTime;
    LocalDateTime begun;
    std::uint32_t startTick = 0;
    std::vector<std::string> output;
    bool existedBefore = true;
    try {
        const std::string source = row.FieldText("ARCHIVO");
        begun = parts_.clock.Now();
        startTick = parts_.clock.TickCount();
        startTime = HourMinuteText(begun);
        backupFile = BackupFileName(backupFolder_, source, parts_.global.rules().pathSeparator, begun, startTime);

        fb::BackupRequest request;
        request.backupFiles = {backupFile};
        request.databasePath = source;
        request.options = 0;
        request.verbose = true;
        service.SetParameters(AdministratorParameters());
        service.SetServerName(ServerTextOf(parts_.global));
        service.SetProtocol(fb::ServiceProtocol::Tcp);

        existedBefore = parts_.files.FileExists(backupFile);
        output = BackupToTheEnd(service, request, log, parts_.view);
    } catch (const std::exception& e) {
        log.WriteLogLine(StampPrefix() + " Advertencia en Backup: " + e.what());
        log.WriteMemoLine(StampPrefix() + " Advertencia en Backup: " + e.what());
        service.Detach();
        if (!backupFile.empty()) RemoveUnfinishedBackup(parts_.files, backupFile, existedBefore);
        failed = true;
        if (operations_) operations_->BackupFailed(CurrentCompany(), begun, e.what());
    }

    if (failed) {
        log.WriteLogLine(StampPrefix() + " No terminado Backup: " + company);
        log.WriteMemoLine(StampPrefix() + " No terminado Backup: " + company);
        log.WriteMemoLine("  ");
        return false;
    }
    const double seconds = static_cast<std::uint32_t>(parts_.clock.TickCount() - startTick) / 1000.0;

    bool stamped = false;

    try {
        parts_.catalogue.ExecuteCommand(catalogue::StampStatement("FECHAULTBACKUP", "HORAULTBACKUP",
                                                                  TGlobal::SqlDateText(parts_.clock.Now()), startTime,
                                                                  row.FieldText("EMPRESAID")));
        log.WriteLogLine(StampPrefix() + " Finaliza Backup: " + company);
        log.WriteLogLine(" ");
        log.WriteMemoLine(StampPrefix() + " Finaliza Backup: " + company);
        log.WriteMemoLine(StampPrefix() + " Ruta del Backup Realizado: " + backupFile);
        log.WriteMemoLine("  ");
        stamped = true;
    } catch (const std::exception&) {
        // The backup file exists; the row stays unstamped and due for the next runs.
    }
    // A backup whose verification failed counts as failed.
    const bool good = !operations_ || operations_->BackupDone(CurrentCompany(), backupFile, begun, seconds, output);
    return stamped && good;
}

CompanyRef TScheduledBackup::CurrentCompany() const {
    const auto& row = parts_.catalogue.QEmpresas;
    return {row.FieldText("EMPRESAID"), row.FieldText("CODIGO"), row.FieldText("NOMBRE"), row.FieldText("ARCHIVO")};
}

} // namespace veltor
