#include "backup/ScheduledBackup.h"

#include "backup/BackupFiles.h"
#include "backup/Operations.h"
#include "backup/ParallelRun.h"
#include "backup/Retention.h"
#include "backup/RunSteps.h"
#include "backup/ServiceOutput.h"
#include "config/PathParts.h"

#include <algorithm>
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

    const int atOnce = operations_ && parts_.moreServices ? operations_->ParallelBackups() : 1;
    if (atOnce > 1) {
        BackUpAtOnce(atOnce);
    } else {
        due.First();
        while (!due.Eof()) {
            if (!BackupCompany()) ++failedCompanies_;
            due.Next();
            log.WriteLogLine(" ");
        }
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

// One company's backup, from its row of the due list to its end.
struct ScheduledBackup::CompanyJob {
    CompanyRef company;
    BackupNaming naming;
    std::string backupFile;
    std::string temporary;
    std::string startTime;
    LocalDateTime begun;
    std::uint32_t startTick = 0;
    std::uint32_t endTick = 0;
    bool failed = false;
    std::string failure;
    std::optional<bool> verified;
    std::optional<std::int64_t> nextTransaction;
};

ScheduledBackup::CompanyJob ScheduledBackup::JobOfCurrentRow() {
    CompanyJob job;
    job.company = CurrentCompany();
    job.naming = catalogueFiles_.NamingOf(job.company.id, job.company.databasePath);
    return job;
}

bool ScheduledBackup::BackupCompany() {
    CompanyJob job = JobOfCurrentRow();
    CompanyLines lines(parts_.log, parts_.view);
    StartCompany(job, lines);
    BackUp(job, lines, parts_.IBBackup, nullptr);
    return FinishCompany(job, lines);
}

void ScheduledBackup::StartCompany(CompanyJob& job, CompanyLines& lines) const {
    lines.Log(lines.Prefix() + " Inicio Backup: " + job.company.Text());
    lines.Memo(lines.Prefix() + " Inicio Backup: " + job.company.Text());
}

void ScheduledBackup::Warn(CompanyJob& job, CompanyLines& lines, const std::string& message) const {
    lines.Log(lines.Prefix() + " Advertencia en Backup: " + message);
    lines.Memo(lines.Prefix() + " Advertencia en Backup: " + message);
    job.failed = true;
    job.failure = message;
}

void ScheduledBackup::BackUp(CompanyJob& job, CompanyLines& lines, fb::IFirebirdService& service,
                             fb::IFirebirdService* verifyService) const {
    try {
        const std::string& source = job.company.databasePath;
        if (databases_) {
            try {
                job.nextTransaction = databases_->NextTransaction(ServerTextOf(parts_.global) + ":" + source);
            } catch (const std::exception&) {
                // Only for the record; the backup says what is wrong with the database.
            }
        }
        job.begun = parts_.clock.Now();
        job.startTick = parts_.clock.TickCount();
        job.startTime = HourMinuteText(job.begun);
        job.backupFile = BackupFileName(backupFolder_, job.naming, job.begun, job.startTime);
        // The server writes the backup under a name of its own until it is whole, so that a
        // backup that fails or is cut short never stands under a good name, nor destroys the
        // earlier backup of that name.
        job.temporary = TemporaryBackupName(job.backupFile);
        RemoveQuietly(parts_.files, job.temporary);

        fb::BackupRequest request;
        request.backupFiles = {job.temporary};
        request.databasePath = source;
        request.options = 0;
        request.verbose = true;
        service.SetParameters(AdministratorParameters());
        service.SetServerName(ServerTextOf(parts_.global));
        service.SetProtocol(fb::ServiceProtocol::Tcp);

        const std::vector<std::string> output = BackupToTheEnd(service, request, job.backupFile, lines);
        if (operations_ && operations_->VerificationAsked()) {
            const VerificationResult result =
                operations_->Verify(job.company, job.temporary, output, lines, verifyService);
            job.verified = result.passed;
            if (!result.passed) {
                job.failed = true;
                job.failure = result.message;
            }
        }
    } catch (const std::exception& e) {
        Warn(job, lines, e.what());
    }
    job.endTick = parts_.clock.TickCount();
}

bool ScheduledBackup::FinishCompany(CompanyJob& job, CompanyLines& lines) {
    std::string failedVerification; // where a backup that failed its verification is kept
    if (job.verified && !*job.verified) {
        // Kept for a look, under a name that no count of backups takes for one; without it
        // only the lines tell.
        try {
            parts_.files.PublishFile(job.temporary, FailedVerificationName(job.backupFile),
                                     IFileSystem::Existing::Replace);
            failedVerification = FailedVerificationName(job.backupFile);
        } catch (const std::exception&) {
        }
    }
    if (!job.failed) {
        try {
            PublishBackup(parts_.files, job.temporary, job.backupFile, job.naming);
        } catch (const std::exception& e) {
            Warn(job, lines, e.what());
        }
    }

    const std::string company = job.company.Text();
    if (job.failed) {
        notDone_.push_back(company + ": " + job.failure);
        if (!job.temporary.empty()) RemoveQuietly(parts_.files, job.temporary);
        if (operations_)
            operations_->BackupFailed(job.company, job.begun, job.failure, job.verified && !*job.verified,
                                      failedVerification);
        lines.Log(lines.Prefix() + " No terminado Backup: " + company);
        lines.Memo(lines.Prefix() + " No terminado Backup: " + company);
        lines.Memo("  ");
        return false;
    }
    const double seconds = static_cast<std::uint32_t>(job.endTick - job.startTick) / 1000.0;

    bool stamped = false;
    try {
        parts_.catalogue.ExecuteCommand(catalogue::StampStatement("FECHAULTBACKUP", "HORAULTBACKUP",
                                                                  TGlobal::SqlDateText(parts_.clock.Now()),
                                                                  job.startTime, job.company.id));
        lines.Log(lines.Prefix() + " Finaliza Backup: " + company);
        lines.Log(" ");
        lines.Memo(lines.Prefix() + " Finaliza Backup: " + company);
        lines.Memo(lines.Prefix() + " Ruta del Backup Realizado: " + job.backupFile);
        lines.Memo("  ");
        stamped = true;
    } catch (const std::exception&) {
        // The backup file exists; the row stays unstamped and due for the next runs.
    }
    if (operations_)
        operations_->BackupDone(job.company, job.backupFile, job.begun, seconds, job.verified, job.nextTransaction);
    return stamped;
}

void ScheduledBackup::BackUpAtOnce(int limit) {
    auto& due = parts_.catalogue.QEmpresas;
    std::vector<CompanyJob> jobs;
    std::vector<std::string> keys;
    for (due.First(); !due.Eof(); due.Next()) {
        jobs.push_back(JobOfCurrentRow());
        // Backups that would be written under the same names wait for each other.
        const std::string key = jobs.back().naming.stem + jobs.back().naming.owner;
        keys.push_back(parts_.global.rules().upperCaseValues ? UpperCaseAscii(key) : key);
    }
    const std::size_t slots = std::min<std::size_t>(static_cast<std::size_t>(limit), jobs.size());
    std::vector<std::unique_ptr<fb::IFirebirdService>> more;
    for (std::size_t slot = 1; slot < slots; ++slot)
        more.push_back(parts_.moreServices());
    auto serviceOf = [&](std::size_t slot) -> fb::IFirebirdService& {
        return slot == 0 ? parts_.IBBackup : *more.at(slot - 1);
    };
    std::vector<std::unique_ptr<CompanyLines>> lines;
    for (std::size_t job = 0; job < jobs.size(); ++job)
        lines.push_back(std::make_unique<CompanyLines>(parts_.log));

    OrderedWork work;
    work.count = jobs.size();
    work.limit = slots;
    work.keys = keys;
    // Each backup is verified through its own connection, so that verifying one company's
    // backup overlaps the next company's backup without more connections than the limit.
    work.work = [&](std::size_t job, std::size_t slot) {
        StartCompany(jobs[job], *lines[job]);
        BackUp(jobs[job], *lines[job], serviceOf(slot), &serviceOf(slot));
    };
    work.finish = [&](std::size_t job) {
        lines[job]->Release(parts_.view);
        if (!FinishCompany(jobs[job], *lines[job])) ++failedCompanies_;
        parts_.log.WriteLogLine(" ");
    };
    work.waiting = [&] { parts_.view.ProcessPendingEvents(); };
    RunInOrder(work);
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
