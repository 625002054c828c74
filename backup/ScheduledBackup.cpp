#include "backup/ScheduledBackup.h"

#include "backup/BackupFiles.h"
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
    bool existedBefore = true;
    try {
        const std::string source = row.FieldText("ARCHIVO");
        const LocalDateTime begun = parts_.clock.Now();
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
        BackupToTheEnd(service, request, log, parts_.view);
    } catch (const std::exception& e) {
        log.WriteLogLine(StampPrefix() + " Advertencia en Backup: " + e.what());
        log.WriteMemoLine(StampPrefix() + " Advertencia en Backup: " + e.what());
        service.Detach();
        if (!backupFile.empty()) RemoveUnfinishedBackup(parts_.files, backupFile, existedBefore);
        failed = true;
    }

    if (failed) {
        log.WriteLogLine(StampPrefix() + " No terminado Backup: " + company);
        log.WriteMemoLine(StampPrefix() + " No terminado Backup: " + company);
        log.WriteMemoLine("  ");
        return false;
    }

    try {
        parts_.catalogue.ExecuteCommand(catalogue::StampStatement("FECHAULTBACKUP", "HORAULTBACKUP",
                                                                  TGlobal::SqlDateText(parts_.clock.Now()), startTime,
                                                                  row.FieldText("EMPRESAID")));
        log.WriteLogLine(StampPrefix() + " Finaliza Backup: " + company);
        log.WriteLogLine(" ");
        log.WriteMemoLine(StampPrefix() + " Finaliza Backup: " + company);
        log.WriteMemoLine(StampPrefix() + " Ruta del Backup Realizado: " + backupFile);
        log.WriteMemoLine("  ");
        return true;
    } catch (const std::exception&) {
        // The backup file exists; the row stays unstamped and due for the next runs.
        return false;
    }
}

} // namespace veltor
