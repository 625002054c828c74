#include "backup/ScheduledBackup.h"

#include "backup/BackupFiles.h"
#include "backup/Operations.h"
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
    if (operations_) operations_->RunStarted(backupFolder_);

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
    LocalDateTime begun;
    std::uint32_t startTick = 0;
    std::vector<std::string> output;
    try {
        const std::string source = row.FieldText("ARCHIVO");
        begun = p_.clock.Now();
        startTick = p_.clock.TickCount();
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

        output = BackupToTheEnd(service, request, log, p_.view);
    } catch (const std::exception& e) {
        log.WriteLogLine(P() + " Advertencia en Backup: " + e.what());
        log.WriteMemoLine(P() + " Advertencia en Backup: " + e.what());
        service.Detach();
        failed = true;
        if (operations_) operations_->BackupFailed(CurrentCompany(), begun, e.what());
    }

    if (failed) {
        log.WriteLogLine(P() + " No terminado Backup: " + company);
        log.WriteMemoLine(P() + " No terminado Backup: " + company);
        log.WriteMemoLine("  ");
        return false;
    }
    const double seconds = static_cast<std::uint32_t>(p_.clock.TickCount() - startTick) / 1000.0;

    bool stamped = false;
    try {
        p_.catalogue.ExecuteCommand("UPDATE EMPRESAS SET FECHAULTBACKUP=\"" + TGlobal::SqlDateText(p_.clock.Now()) +
                                    "\", HORAULTBACKUP=\"" + startTime.substr(0, 2) + ":" + startTime.substr(2, 2) +
                                    "\" WHERE EMPRESAID=" + row.FieldText("EMPRESAID"));
        log.WriteLogLine(P() + " Finaliza Backup: " + company);
        log.WriteLogLine(" ");
        log.WriteMemoLine(P() + " Finaliza Backup: " + company);
        log.WriteMemoLine(P() + " Ruta del Backup Realizado: " + backupFile);
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
    const auto& row = p_.catalogue.QEmpresas;
    return {row.FieldText("EMPRESAID"), row.FieldText("CODIGO"), row.FieldText("NOMBRE"), row.FieldText("ARCHIVO")};
}

} // namespace veltor
