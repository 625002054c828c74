#include "backup/ScheduledBackup.h"

#include "backup/BackupFiles.h"
#include "backup/Operations.h"
#include "backup/Retention.h"
#include "backup/RunSteps.h"
#include "backup/ServiceOutput.h"
#include "config/PathParts.h"

#include <exception>
#include <stdexcept>

namespace veltor {

void ScheduledBackup::RunScheduledBackup() {
    auto& log = parts_.log;
    parts_.global.ReadConfiguration();

    const char separator = parts_.global.rules().pathSeparator;
    backupFolder_ = WorkingBackupFolder(parts_.global.BackupFolder, separator);

    log.WriteMemoLine(" ");
    log.WriteMemoLine(StampPrefix() + " Inicia Backup ");

    EnsureBackupFolder(backupFolder_, parts_.global.rules(), parts_.files, log);
    if (operations_) operations_->RunStarted(backupFolder_);
    catalogueFiles_.Forget();
    TakeAwayLeftOvers();

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
        const std::string why = "no se pudo abrir el log " + log.lastMonthLogPath();
        for (due.First(); !due.Eof(); due.Next()) {
            notDone_.push_back(CurrentCompany().Text() + ": " + why);
            if (operations_) operations_->BackupSkipped(CurrentCompany(), why);
        }
        return;
    }

    if (dueCount > 0) {
        for (const std::string& line : leftOverLines_)
            log.WriteLogLine(line);
        if (operations_) operations_->LogOpened();
    }
    leftOverLines_.clear();

    due.First();
    while (!due.Eof()) {
        if (!BackupCompany()) ++failedCompanies_;
        due.Next();
        log.WriteLogLine(" ");
    }

    if (dueCount > 0) {
        if (operations_) operations_->CatchUpCopies();
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

bool ScheduledBackup::BackupCompany() {
    auto& log = parts_.log;
    auto& row = parts_.catalogue.QEmpresas;
    auto& service = parts_.IBBackup;
    const std::string company = row.FieldText("CODIGO") + " - " + row.FieldText("NOMBRE");

    log.WriteLogLine(StampPrefix() + " Inicio Backup: " + company);
    log.WriteMemoLine(StampPrefix() + " Inicio Backup: " + company);

    std::string backupFile;
    std::string temporary;
    std::string startTime;
    LocalDateTime begun;
    std::uint32_t startTick = 0;
    bool failed = false;
    std::string failure;
    std::string failedVerification; // where a backup that failed its verification is kept
    std::optional<bool> verified;
    std::optional<std::int64_t> nextTransaction;
    try {
        const std::string source = row.FieldText("ARCHIVO");
        if (databases_) {
            try {
                nextTransaction = databases_->NextTransaction(ServerTextOf(parts_.global) + ":" + source);
            } catch (const std::exception&) {
                // Only for the record; the backup says what is wrong with the database.
            }
        }
        begun = parts_.clock.Now();
        startTick = parts_.clock.TickCount();
        startTime = HourMinuteText(begun);
        const BackupNaming naming = catalogueFiles_.NamingOf(row.FieldText("EMPRESAID"), source);
        backupFile = BackupFileName(backupFolder_, naming, begun, startTime);
        // The server writes the backup under a name of its own until it is whole, so that a
        // backup that fails or is cut short never stands under a good name, nor destroys the
        // earlier backup of that name.
        temporary = TemporaryBackupName(backupFile);
        RemoveQuietly(parts_.files, temporary);

        fb::BackupRequest request;
        request.backupFiles = {temporary};
        request.databasePath = source;
        request.options = 0;
        request.verbose = true;
        service.SetParameters(AdministratorParameters());
        service.SetServerName(ServerTextOf(parts_.global));
        service.SetProtocol(fb::ServiceProtocol::Tcp);

        const std::vector<std::string> output = BackupToTheEnd(service, request, backupFile, log, parts_.view);
        if (operations_ && operations_->VerificationAsked()) {
            const VerificationResult result = operations_->Verify(CurrentCompany(), temporary, output);
            verified = result.passed;
            if (!result.passed) {
                failed = true;
                failure = result.message;
                // Kept for a look, under a name that no count of backups takes for one; without
                // it only the lines tell.
                try {
                    parts_.files.PublishFile(temporary, FailedVerificationName(backupFile),
                                             IFileSystem::Existing::Replace);
                    failedVerification = FailedVerificationName(backupFile);
                } catch (const std::exception&) {
                }
            }
        }
        if (!failed) PublishBackup(parts_.files, temporary, backupFile, naming);
    } catch (const std::exception& e) {
        log.WriteLogLine(StampPrefix() + " Advertencia en Backup: " + e.what());
        log.WriteMemoLine(StampPrefix() + " Advertencia en Backup: " + e.what());
        failed = true;
        failure = e.what();
    }

    if (failed) {
        notDone_.push_back(company + ": " + failure);
        if (!temporary.empty()) RemoveQuietly(parts_.files, temporary);
        if (operations_)
            operations_->BackupFailed(CurrentCompany(), begun, failure, verified && !*verified, failedVerification);
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
    if (operations_) operations_->BackupDone(CurrentCompany(), backupFile, begun, seconds, verified, nextTransaction);
    return stamped;
}

void ScheduledBackup::TakeAwayLeftOvers() {
    const bool ignoreCase = parts_.global.rules().upperCaseValues;
    std::vector<std::string> names;
    try {
        names = parts_.files.ListFiles(backupFolder_);
    } catch (const std::exception&) {
        // A folder that cannot be listed holds nothing to take away; its backups fail and say why.
        return;
    }
    for (const std::string& name : names) {
        if (!IsLeftOverName(name, ignoreCase)) continue;
        const std::string path = backupFolder_ + name;
        std::string line;
        try {
            parts_.files.RemoveFile(path);
            line = StampPrefix() + " Se borra el archivo de un Backup que no terminó: " + path;
        } catch (const std::exception& e) {
            line = StampPrefix() + " No se pudo borrar el archivo de un Backup que no terminó: " + path +
                   " Mensaje: " + e.what();
        }
        parts_.log.WriteMemoLine(line);
        leftOverLines_.push_back(line);
    }
}

CompanyRef ScheduledBackup::CurrentCompany() const {
    const auto& row = parts_.catalogue.QEmpresas;
    return {row.FieldText("EMPRESAID"), row.FieldText("CODIGO"), row.FieldText("NOMBRE"), row.FieldText("ARCHIVO")};
}

} // namespace veltor
