#include "maintenance/BackupRestoreCycle.h"

#include "backup/BackupFiles.h"
#include "backup/Operations.h"
#include "backup/RunSteps.h"
#include "backup/ServiceOutput.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CycleSelection.h"
#include "config/PathParts.h"
#include "dbserver/ServerAddress.h"

#include <exception>
#include <map>
#include <stdexcept>

namespace veltor {
namespace {

// The failure of a restore that ended without an error but left its database unusable; the
// company's code follows it in the line.
constexpr const char* kRestoreIncomplete = "El Restore no terminó: la base de datos restaurada quedó en mantenimiento ";
// The failure of a restore whose backup file changed after the backup wrote it; the file and
// the company's code follow it.
constexpr const char* kBackupChanged = "El archivo de Backup cambió después del Backup: ";

constexpr std::uint64_t kMegabyte = 1024 * 1024;

} // namespace

std::int32_t RestorePageSize(std::optional<std::uint32_t> livePageSize) {
    if (!livePageSize) return 0;
    if (*livePageSize <= static_cast<std::uint32_t>(kRestorePageSize)) return kRestorePageSize;
    return static_cast<std::int32_t>(*livePageSize);
}

void BackupRestoreCycle::RunBackupRestore() {
    auto& log = p_.log;
    auto& catalogue = p_.catalogue;
    p_.global.ReadConfiguration();

    backupFolder_ = WorkingBackupFolder(p_.global.BackupFolder, p_.global.rules().pathSeparator);
    catalogueFiles_.Forget();
    EnsureBackupFolder(backupFolder_, p_.global.rules(), p_.files, log);
    if (operations_) operations_->RunStarted(backupFolder_);

    CloseLeftOverMonthLog(log);
    StartServiceLeftStopped(stopped_, p_.services, log, backupFolder_);
    ConnectCatalogueOrReport(catalogue, p_.global, log);

    auto& rows = catalogue.Selection();
    try {
        const veltor::catalogue::ServerClock clock = ReadServerClock(catalogue);
        SelectCycleCompanies(catalogue, clock, p_.restoreNow);
    } catch (const std::exception& e) {
        rows.Close();
        ReportCompanyListFailure(p_.global, log, e);
    }

    // A clock query or selection that failed left the list closed: its row count cannot be
    // read, and the run ends here with that error.
    if (!rows.Active()) throw std::runtime_error("La lista de empresas para Backup-Restore no está abierta");
    // The timer's selection holds a company for half an hour from its restore hour, whatever the
    // timer's period: one cycle in that window is the one asked for.
    std::map<std::string, std::string> cycledToday;
    if (!p_.restoreNow) {
        try {
            cycledToday = catalogue.RestoredToday();
        } catch (const std::exception&) {
            // Without the stamps every selected company is cycled, as the selection says.
        }
    }
    const auto cycledInThisWindow = [&] {
        const auto stamp = cycledToday.find(rows.FieldText("EMPRESAID"));
        return stamp != cycledToday.end() &&
               veltor::catalogue::CycledSinceRestoreHour(stamp->second, rows.FieldText("HORARESTORE"));
    };
    int count = 0;
    for (rows.First(); !rows.Eof(); rows.Next())
        if (!cycledInThisWindow()) ++count;
    // The backups are named after the catalogue's databases, read now: the connection goes with
    // the first stop of the server.
    if (count > 0) catalogueFiles_.Companies();
    if (count > 0 && !OpenMonthLogSection(log, backupFolder_, " Inicio BackupRestore: ===> ")) {
        cutShort_ = true;
        return;
    }

    // The backup collects no garbage: the restore leaves the old record versions behind anyway,
    // and a backup that collects them wakes the server's garbage collector, whose transactions
    // the guard before the exchange could not tell from a client's work.
    backupOptions_ = fb::BackupRequest::kNoGarbageCollection;
    rows.First();
    while (!rows.Eof()) {
        if (cycledInThisWindow()) {
            log.WriteMemoLine(P() + " Backup-Restore ya realizado a las " + cycledToday[rows.FieldText("EMPRESAID")] +
                              ": " + Company());
            rows.Next();
            continue;
        }
        if (!CycleCompany()) ++failedCompanies_;
    }

    try {
        if (count > 0) {
            log.WriteLogLine(P() + " <=== Fin Backup ");
            log.CloseMonthLog();
        }
    } catch (const std::exception&) {
        // The end of the section is best effort; the companies are done.
    }
}

std::string BackupRestoreCycle::Company() const {
    const auto& row = p_.catalogue.Selection();
    return row.FieldText("CODIGO") + " - " + row.FieldText("NOMBRE");
}

void BackupRestoreCycle::LogAndMemo(const std::string& text) {
    const std::string line = P() + text;
    p_.log.WriteLogLine(line);
    p_.log.WriteMemoLine(line);
}

bool BackupRestoreCycle::CycleCompany() {
    auto& row = p_.catalogue.Selection();
    CompanyCycle company{row.FieldText("EMPRESAID"), ServerTextOf(p_.global), row.FieldText("ARCHIVO"), {}};
    p_.log.WriteLogLine(P() + " Inicio BackupRestore: " + Company());
    p_.log.WriteMemoLine(P() + " Inicio Backup-Restore: " + Company());
    const CompanyRef ref{company.id, row.FieldText("CODIGO"), row.FieldText("NOMBRE"), company.databasePath};
    outcome_ = {};
    const CompanyEnd end = CycleSteps(company);
    if (operations_)
        operations_->CycleEnded(ref, outcome_.kind.empty() ? kCycleFailed : outcome_.kind, outcome_.why,
                                outcome_.keptCopyFile);
    row.Next();
    if (end != CompanyEnd::Done)
        notDone_.push_back(ref.Text() + ": " + (outcome_.why.empty() ? std::string("no terminado") : outcome_.why));
    // A company given up before its first stop was confirmed ends with its last line.
    if (end != CompanyEnd::GivenUpBeforeTheStop) p_.log.WriteLogLine(" ");
    return end == CompanyEnd::Done;
}

void BackupRestoreCycle::EndsAs(const char* kind, const std::string& why) {
    if (outcome_.kind.empty())
        outcome_ = {kind, why, {}};
    else if (outcome_.why.empty())
        outcome_.why = why; // what went wrong after the swap
}

BackupRestoreCycle::CompanyEnd BackupRestoreCycle::CycleSteps(CompanyCycle& company) {
    if (GiveUpWithoutLocalRestore()) return CompanyEnd::NotDone;
    if (GiveUpOnAnotherServer(company)) return CompanyEnd::GivenUpBeforeTheStop;
    TakeAwayLeftOvers(p_.databaseFiles, p_.log, company.databasePath, p_.global.rules().pathSeparator);
    if (GiveUpReadOnly(company)) return CompanyEnd::GivenUpBeforeTheStop;
    if (!HasRoom(company)) return CompanyEnd::GivenUpBeforeTheStop;

    ServiceOutage outage(p_.services, stopped_, company.server);
    const std::uint32_t stop = outage.Stop();
    if (stop != service::kStopped) {
        p_.log.WriteMemoLine(P() + " NO se pudo hacer Stop al Servicio: " + Company() +
                             "Mensaje: " + ServiceStateName(stop));
        EndsAs(kCycleGivenUp, "NO se pudo hacer Stop al Servicio: " + ServiceStateName(stop));
        return CompanyEnd::GivenUpBeforeTheStop;
    }
    p_.log.WriteMemoLine(P() + " Stop al Servicio: " + Company());
    company.fileStamp = FileStampOf(p_.clock.Now());
    // The old record versions of the system tables go first, with this process's engine: a
    // restored file leaves some behind (the previous cycle's restore, in the live file now),
    // and the server's garbage collector, woken by the first attachments after the start,
    // would collect them in a transaction of its own and the guard would refuse the exchange.
    try {
        p_.databases.CollectSystemGarbage(company.databasePath);
    } catch (const std::exception&) {
        // Then the server may collect them; at worst the exchange is refused.
    }
    // Where the live database stands before anybody can reach it through the server again.
    const TransactionMark before = MarkLiveDatabase(company.databasePath);
    if (const std::uint32_t start = outage.Start(); start != service::kRunning) {
        EndsAs(kCycleGivenUp, "No se pudo iniciar el Servicio: " + ServiceStateName(start));
        return CompanyEnd::NotDone;
    }

    const std::optional<BackupMade> backup = BackUp(company);
    bool swapped = false;
    if (backup) {
        p_.log.WriteMemoLine(P() + " Ruta del Backup Realizado: " + backup->file);
        p_.log.WriteMemoLine("  ");
        swapped = RestoreAndSwap(company, *backup, before, outage);
    }
    backupWritten_.reset();

    p_.catalogue.ConnectAgain();

    if (!backup) {
        p_.log.WriteLogLine(P() + " No terminado BackupRestoer ");
        return CompanyEnd::NotDone;
    }
    return Stamp(company, *backup) && swapped ? CompanyEnd::Done : CompanyEnd::NotDone;
}

bool BackupRestoreCycle::HasRoom(const CompanyCycle& company) {
    std::optional<MissingRoom> missing;
    try {
        missing =
            RoomForTheCycle(p_.databaseFiles, company.databasePath, backupFolder_, p_.global.rules().pathSeparator);
    } catch (const std::exception& e) {
        LogAndMemo(" No se pudo medir el espacio para el Backup-Restore: " + Company() + " Mensaje: " + e.what());
        EndsAs(kCycleGivenUp, std::string("No se pudo medir el espacio para el Backup-Restore: ") + e.what());
        return false;
    }
    if (!missing) return true;
    // Rounded up and down, so the two figures differ whenever the room is short.
    const std::uint64_t needed = (missing->needed + kMegabyte - 1) / kMegabyte;
    const std::uint64_t available = missing->available / kMegabyte;
    const std::string room = " Necesita: " + std::to_string(needed) + " MB en " + missing->folder +
                             " Disponible: " + std::to_string(available) + " MB";
    LogAndMemo(" No hay espacio para el Backup-Restore: " + Company() + room);
    EndsAs(kCycleGivenUp, "No hay espacio para el Backup-Restore:" + room);
    return false;
}

std::optional<BackupRestoreCycle::BackupMade> BackupRestoreCycle::BackUp(const CompanyCycle& company) {
    auto& log = p_.log;
    auto& service = p_.IBBackup;
    BackupMade made;
    std::string temporary;
    try {
        log.WriteMemoLine(P() + " Servicio Iniciado: " + Company());
        const LocalDateTime begun = p_.clock.Now();
        made.stampTime = HourMinuteText(begun);
        const BackupNaming naming = catalogueFiles_.NamingOf(company.id, company.databasePath);
        made.file = BackupFileName(backupFolder_, naming, begun, made.stampTime);
        // Written under a name of its own until it is whole, as the scheduled backups.
        temporary = TemporaryBackupName(made.file);
        RemoveQuietly(p_.files, temporary);

        fb::BackupRequest request;
        request.backupFiles = {temporary};
        request.databasePath = company.databasePath;
        request.options = backupOptions_;
        service.SetParameters(AdministratorParameters());
        service.SetServerName(company.server);
        service.SetProtocol(fb::ServiceProtocol::Tcp);
        log.WriteMemoLine(P() + " Inicia Backup: " + Company());

        request.verbose = true;
        BackupToTheEnd(service, request, made.file, log, p_.view);
        PublishBackup(p_.files, temporary, made.file, naming);
        // What the restore must find in the file; a backup that cannot be read back fails here.
        backupWritten_ = FingerprintOf(p_.files, made.file);
        return made;
    } catch (const std::exception& e) {
        log.WriteLogLine(P() + " Advertencia en Backup: " + e.what());
        log.WriteMemoLine(P() + " Advertencia en Backup: " + e.what() + Company());
        EndsAs(kCycleFailed, std::string("Advertencia en Backup: ") + e.what());
        if (!temporary.empty()) RemoveQuietly(p_.files, temporary);
        return std::nullopt;
    }
}

bool BackupRestoreCycle::GiveUpWithoutLocalRestore() {
    const std::string why = p_.databases.WhyNoLocalRestore();
    if (why.empty()) return false;
    // Without the restore there is no cycle: the server's service is not stopped for nothing.
    LogAndMemo(" No se hace Backup-Restore: " + Company() + ": " + why);
    EndsAs(kCycleGivenUp, "No se hace Backup-Restore: " + why);
    return true;
}

bool BackupRestoreCycle::GiveUpOnAnotherServer(const CompanyCycle& company) {
    if (AtDefaultInstancePort(SplitServerText(company.server))) return false;
    // Another server: which service serves the database is not known, and stopping the default
    // instance's would cut off the databases it serves for nothing.
    const std::string why = "el servidor " + company.server + " no es el de la instancia predeterminada (puerto " +
                            std::to_string(kDefaultInstancePort) + ")";
    LogAndMemo(" No se hace Backup-Restore: " + Company() + ": " + why);
    EndsAs(kCycleGivenUp, "No se hace Backup-Restore: " + why);
    return true;
}

bool BackupRestoreCycle::GiveUpReadOnly(const CompanyCycle& company) {
    try {
        // The server runs: asked through it, as this process's engine cannot open its files.
        if (!p_.databases.IsReadOnly(company.server + ":" + company.databasePath)) return false;
    } catch (const std::exception&) {
        // The steps that follow tell what is wrong with the database.
        return false;
    }
    // Nobody can change it: there is no work to lose and nothing to rebuild, and its counter
    // does not move, so the guard before the exchange would refuse it after two stops.
    const std::string why = "la base de datos es de solo lectura";
    LogAndMemo(" No se hace Backup-Restore: " + Company() + ": " + why);
    EndsAs(kCycleGivenUp, "No se hace Backup-Restore: " + why);
    return true;
}

BackupRestoreCycle::TransactionMark BackupRestoreCycle::ReadTransactions(const std::string& database) {
    TransactionMark mark;
    try {
        mark.next = p_.databases.NextTransaction(database);
    } catch (const std::exception& e) {
        mark.failure = e.what();
    }
    return mark;
}

BackupRestoreCycle::TransactionMark BackupRestoreCycle::MarkLiveDatabase(const std::string& database) {
    TransactionMark mark;
    try {
        const DatabaseMark read = p_.databases.Mark(database);
        mark.next = read.nextTransaction;
        mark.pageSize = read.pageSize;
    } catch (const std::exception& e) {
        mark.failure = e.what();
    }
    return mark;
}

BackupRestoreCycle::RestoreOutcome BackupRestoreCycle::RestoreDatabase(const std::string& backupFile,
                                                                       const std::string& databaseFile,
                                                                       std::int32_t pageSize) {
    auto& log = p_.log;
    auto& service = p_.IBRestore;
    try {
        fb::RestoreRequest request;
        request.backupFiles = {backupFile};
        request.databasePaths = {databaseFile};
        service.SetParameters(AdministratorParameters());
        service.SetServerName(ServerTextOf(p_.global));
        request.pageSize = pageSize;
        request.options = fb::RestoreRequest::kReplace | fb::RestoreRequest::kCreate;
        request.verbose = true;
        RestoreToTheEnd(service, request, log, p_.view);
        // A restore that stopped half way (a backup file cut short, for one) can end its output
        // without any error and leave the new database shut down, part of its data missing.
        if (!p_.databases.IsOnline(databaseFile)) throw fb::FirebirdError(kRestoreIncomplete);
        // Read after the restore, so a change while it ran counts too.
        if (backupWritten_ && FingerprintOf(p_.files, backupFile) != *backupWritten_)
            throw fb::FirebirdError(kBackupChanged + backupFile + " ");
    } catch (const std::exception& e) {
        log.WriteLogLine(P() + " Error n Restore: " + e.what() + Company());
        log.WriteMemoLine(P() + " Error en Restore: " + e.what() + Company());
        EndsAs(kCycleFailed, std::string("Error en Restore: ") + e.what());
        return RestoreOutcome::Failed;
    }
    return RestoreOutcome::Completed;
}

namespace {
constexpr std::int64_t kCycleTransactions = kServerFirstAttachmentTransactions + kOwnBackupTransactions;

// The counter's two readings and what the cycle itself accounts for, so a refusal can be checked.
std::string TransactionFigures(std::int64_t before, std::int64_t after) {
    return " Transacciones: " + std::to_string(before) + " antes, " + std::to_string(after) + " después, " +
           std::to_string(kCycleTransactions) + " del Backup-Restore";
}
} // namespace

bool BackupRestoreCycle::NobodyElseWorked(const std::string& databasePath, const TransactionMark& before) {
    // The server is stopped: this process's own engine opens the file.
    const TransactionMark now = ReadTransactions(databasePath);
    std::string why;
    if (!before.next) {
        why = " No se reemplaza la base de datos: no se pudo leer sus transacciones antes del Backup: " + Company() +
              " Mensaje: " + before.failure;
    } else if (!now.next) {
        why = " No se reemplaza la base de datos: no se pudo leer sus transacciones después del Restore: " + Company() +
              " Mensaje: " + now.failure;
    } else if (*now.next - *before.next > kCycleTransactions) {
        why = " No se reemplaza la base de datos: hubo transacciones durante el Backup-Restore: " + Company() +
              TransactionFigures(*before.next, *now.next);
    } else if (*now.next - *before.next < kCycleTransactions) {
        // Fewer than the cycle's own, or a counter gone back: another file took the live name.
        why = " No se reemplaza la base de datos: el archivo no es el mismo que se respaldó: " + Company() +
              TransactionFigures(*before.next, *now.next);
    } else {
        return true;
    }
    LogAndMemo(why);
    EndsAs(kCycleRefused, why.substr(1));
    return false;
}

bool BackupRestoreCycle::MatchAccess(const std::string& databasePath, const std::string& restoredFile) {
    try {
        p_.databaseFiles.MatchAccess(databasePath, restoredFile);
        return true;
    } catch (const std::exception& e) {
        LogAndMemo(" No se pudo dar al Archivo Restaurado los permisos de la base de datos: " + Company() +
                   " Mensaje: " + e.what());
        EndsAs(kCycleFailed,
               std::string("No se pudo dar al Archivo Restaurado los permisos de la base de datos: ") + e.what());
        return false;
    }
}

void BackupRestoreCycle::RemoveRestored(const std::string& restoredFile) {
    try {
        if (p_.databaseFiles.RemoveFile(restoredFile))
            LogAndMemo(" Se borra el Archivo Restaurado que no reemplazó la base de datos: " + restoredFile);
    } catch (const std::exception& e) {
        LogAndMemo(" No se pudo borrar el Archivo Restaurado: " + restoredFile + " Mensaje: " + e.what());
    }
}

bool BackupRestoreCycle::StartAgain(ServiceOutage& outage) {
    const std::uint32_t state = outage.Start();
    if (state == service::kRunning) return true;
    p_.log.WriteMemoLine(ServiceStateName(state));
    p_.log.WriteLogLine(P() + " No se pudo iniciar el Servicio: " + Company() + "Mensaje: " + ServiceStateName(state));
    EndsAs(kCycleFailed, "No se pudo iniciar el Servicio: " + ServiceStateName(state));
    return false;
}

bool BackupRestoreCycle::RestoreAndSwap(const CompanyCycle& company, const BackupMade& backup,
                                        const TransactionMark& before, ServiceOutage& outage) {
    auto& log = p_.log;
    const char separator = p_.global.rules().pathSeparator;
    const std::string& live = company.databasePath;
    const std::string restoredFile = RestoredFileName(live, separator, company.fileStamp);
    const std::string keptCopyFile = KeptCopyFileName(live, separator, company.fileStamp);

    log.WriteMemoLine(P() + " Inicia Restore: " + Company());
    // Large pages stay large; without a reading the backup's page size is the live one's.
    if (RestoreDatabase(backup.file, restoredFile, RestorePageSize(before.pageSize)) == RestoreOutcome::Failed) {
        RemoveRestored(restoredFile);
        return false;
    }
    log.WriteMemoLine(P() + " Restore Finalizado: " + Company());
    log.WriteMemoLine(P() + " Ruta del Restore Realizado: " + restoredFile);
    log.WriteMemoLine("  ");
    // The script may reach the restored file through the server: it belongs to the server's
    // user like the live one before the script starts.
    if (!MatchAccess(live, restoredFile)) {
        RemoveRestored(restoredFile);
        return false;
    }

    if (const ScriptLaunch launch = p_.shell.LaunchScript(kMaintenanceScript, restoredFile); !launch.refused.empty()) {
        const std::string why = std::string(" No se ejecuta ") + kMaintenanceScript + ": " + launch.refused;
        log.WriteLogLine(P() + why);
        log.WriteMemoLine(P() + why);
    }
    p_.clock.Sleep(kMaintenanceScriptPause);
    p_.view.ProcessPendingEvents();

    log.WriteMemoLine(P() + " Renombra Archivo Restaurado: " + Company());
    const std::uint32_t stop = outage.Stop();
    bool swapped = false;
    if (stop != service::kStopped) {
        LogAndMemo(" NO se pudo hacer Stop al Servicio: " + Company() + "Mensaje: " + ServiceStateName(stop));
        EndsAs(kCycleGivenUp, "NO se pudo hacer Stop al Servicio: " + ServiceStateName(stop));
    } else if (NobodyElseWorked(live, before)) {
        log.WriteMemoText({P() + " Renombra el Archivo Original: " + live, " por: " + keptCopyFile});
        log.WriteMemoText({P() + " Renombra el Archivo Restaurado: " + restoredFile, " por: " + live});
        try {
            SwapInRestored(p_.databaseFiles, live, restoredFile, keptCopyFile);
            swapped = true;
            EndsAs(kCycleSwapped, "");
            outcome_.keptCopyFile = keptCopyFile;
        } catch (const std::exception& e) {
            LogAndMemo(" No se pudo reemplazar la base de datos: " + Company() + " Mensaje: " + e.what());
            EndsAs(kCycleFailed, std::string("No se pudo reemplazar la base de datos: ") + e.what());
        }
    }
    // The server comes back first; the restored file that stayed out goes after.
    const bool running = StartAgain(outage);
    if (!swapped) RemoveRestored(restoredFile);
    return swapped && running;
}

bool BackupRestoreCycle::Stamp(const CompanyCycle& company, const BackupMade& backup) {
    try {
        p_.catalogue.ExecuteCommand(catalogue::StampStatement(
            "FECHAULTRESTORE", "HORAULTRESTORE", TGlobal::SqlDateText(p_.clock.Now()), backup.stampTime, company.id));
        p_.log.WriteLogLine(P() + " Finaliza BackupRestore ");
        p_.log.WriteLogLine(" ");
        return true;
    } catch (const std::exception&) {
        // The company stays unstamped; nothing is written about it.
        return false;
    }
}

} // namespace veltor
