#include "backup/ScheduledBackup.h"

#include "backup/BackupFiles.h"
#include "backup/RunSteps.h"
#include "backup/ServiceOutput.h"

#include <exception>
#include <stdexcept>

namespace veltor {

void TScheduledBackup::RunScheduledBackup() {
    auto& log = p_.log;
    p_.global.ReadConfiguration();

    const char separator = p_.global.rules().pathSeparator;
    backupFolder_ = WorkingBackupFolder(p_.global.BackupFolder, separator);

    log.WriteMemoLine(" ");
    log.WriteMemoLine(P() + " Inicia Backup ");

    EnsureBackupFolder(backupFolder_, p_.global.rules(), p_.files, log);

    CloseLeftOverMonthLog(log);
    ConnectCatalogueOrReport(p_.catalogue, p_.global, log);

    p_.catalogue.UpgradeCatalogue();
    p_.catalogue.ApplyBackupDefaults();

    auto& due = p_.catalogue.QEmpresas;
    try {
        p_.catalogue.SelectDueCompanies(p_.periodHours, p_.periodMinutes);
        log.WriteMemoLine(P() + " Empresas Pendientes de Backup: " + std::to_string(due.RecordCount()));
        log.WriteMemoLine(" ");
    } catch (const std::exception& e) {
        ReportCompanyListFailure(p_.global, log, e);
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
            log.WriteLogLine(P() + " <=== Fin Backup ");
            log.CloseMonthLog();
            log.WriteMemoLine(P() + " Backup Finalizado ");
            log.WriteMemoLine("  ");
        } catch (const std::exception&) {
            // The end of the section is best effort; the backups are done.
        }
    }
}

bool TScheduledBackup::BackupCompany() {
    auto& log = p_.log;
    auto& row = p_.catalogue.QEmpresas;
    auto& service = p_.IBBackup;
    const std::string company = row.FieldText("CODIGO") + " - " + row.FieldText("NOMBRE");

    bool failed = false;
    log.WriteLogLine(P() + " Inicio Backup: " + company);
    log.WriteMemoLine(P() + " Inicio Backup: " + company);

    std::string backupFile;
    std::string startTime;
    try {
        const std::string source = row.FieldText("ARCHIVO");
        const LocalDateTime begun = p_.clock.Now();
        startTime = HourMinuteText(begun);
        backupFile = BackupFileName(backupFolder_, source, p_.global.rules().pathSeparator, begun, startTime);

        fb::BackupRequest request;
        request.backupFiles = {backupFile};
        request.databasePath = source;
        request.options = 0;
        request.verbose = true;
        service.SetParameters(AdministratorParameters());
        service.SetServerName(ServerTextOf(p_.global));
        service.SetProtocol(fb::ServiceProtocol::Tcp);

        BackupToTheEnd(service, request, log, p_.view);
    } catch (const std::exception& e) {
        log.WriteLogLine(P() + " Advertencia en Backup: " + e.what());
        log.WriteMemoLine(P() + " Advertencia en Backup: " + e.what());
        service.Detach();
        failed = true;
    }

    if (failed) {
        log.WriteLogLine(P() + " No terminado Backup: " + company);
        log.WriteMemoLine(P() + " No terminado Backup: " + company);
        log.WriteMemoLine("  ");
        return false;
    }

    try {
        p_.catalogue.ExecuteCommand("UPDATE EMPRESAS SET FECHAULTBACKUP=\"" + TGlobal::SqlDateText(p_.clock.Now()) +
                                    "\", HORAULTBACKUP=\"" + startTime.substr(0, 2) + ":" + startTime.substr(2, 2) +
                                    "\" WHERE EMPRESAID=" + row.FieldText("EMPRESAID"));
        log.WriteLogLine(P() + " Finaliza Backup: " + company);
        log.WriteLogLine(" ");
        log.WriteMemoLine(P() + " Finaliza Backup: " + company);
        log.WriteMemoLine(P() + " Ruta del Backup Realizado: " + backupFile);
        log.WriteMemoLine("  ");
        return true;
    } catch (const std::exception&) {
        // The backup file exists; the row stays unstamped and due for the next runs.
        return false;
    }
}

} // namespace veltor
