#include "maintenance/CompanyRestore.h"

#include "backup/BackupHeader.h"
#include "backup/RunSteps.h"
#include "backup/ServiceOutput.h"
#include "config/PathParts.h"
#include "dbserver/Administrator.h"
#include "dbserver/FirebirdError.h"
#include "dbserver/ServerAddress.h"
#include "maintenance/CycleFiles.h"
#include "maintenance/StoppedService.h"
#include "status/Moments.h"

#include <exception>

namespace veltor {
namespace {

constexpr const char* kLogOpening = " Inicio Restauración: ===> ";
constexpr const char* kLogClosing = " <=== Fin Restauración ";
constexpr std::uint64_t kMegabyte = 1024 * 1024;

// Whether the server can take `path` as it stands: a full path of the platform.
bool IsFullPath(const std::string& path, char separator) {
    if (separator == '/') return !path.empty() && path[0] == '/';
    const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || path.rfind("\\\\", 0) == 0;
}

std::string Megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + kMegabyte - 1) / kMegabyte) + " MB";
}

// Rounded up and down, so the two figures differ whenever the room is short.
std::string NoRoom(const MissingRoom& missing) {
    return "no hay espacio en " + missing.folder + " Necesita: " + Megabytes(missing.needed) +
           " Disponible: " + std::to_string(missing.available / kMegabyte) + " MB";
}

std::string MomentText(const LocalDateTime& moment) {
    const long long stamp = moment.year * 100000000LL + moment.month * 1000000LL + moment.day * 10000LL +
                            moment.hour * 100LL + moment.minute;
    return StampText(stamp);
}

} // namespace

void CompanyRestore::LogAndMemo(const std::string& text) {
    const std::string line = P() + text;
    if (logOpen_) {
        try {
            p_.log.WriteLogLine(line);
        } catch (const std::exception&) {
            // The memo still has it.
        }
    }
    p_.log.WriteMemoLine(line);
}

bool CompanyRestore::OpenLog() {
    CloseLeftOverMonthLog(p_.log);
    logOpen_ = OpenMonthLogSection(p_.log, backupFolder_, kLogOpening);
    return logOpen_;
}

void CompanyRestore::CloseLog() {
    if (!logOpen_) return;
    logOpen_ = false;
    try {
        p_.log.WriteLogLine(P() + kLogClosing);
        p_.log.CloseMonthLog();
    } catch (const std::exception&) {
        // The end of the section is best effort; the restore is done.
    }
}

CompanyRestore::Ending CompanyRestore::Refuse(const Company* company, const std::string& why) {
    LogAndMemo(" No se restaura" + (company ? ": " + company->Text() : std::string()) + ": " + why);
    CloseLog();
    return Ending::Refused;
}

CompanyRestore::Ending CompanyRestore::Fail(const Company& company, const std::string& why) {
    LogAndMemo(" No terminada Restauración: " + company.Text() + ": " + why);
    return Ending::Failed;
}

void CompanyRestore::Record(const Company& company, const char* outcome, const std::string& why,
                            const CompanyBackup& backup, const std::string& target, bool replaced) {
    RestoreRecord record;
    record.at = IsoText(p_.clock.Now());
    record.outcome = outcome;
    record.message = why;
    record.file = backup.file;
    record.target = target;
    record.replaced = replaced;
    p_.operations.RestoreEnded({company.file.id, company.file.code, company.file.name, company.file.path}, record);
}

std::string CompanyRestore::SecondFolder() const {
    const std::optional<std::string>& folder = p_.global.ExternalFolder;
    if (!folder || folder->find_first_not_of(' ') == std::string::npos) return {};
    return WorkingBackupFolder(*folder, Separator());
}

void CompanyRestore::Prepare() {
    p_.global.ReadConfiguration();
    backupFolder_ = WorkingBackupFolder(p_.global.BackupFolder, Separator());
    p_.operations.RunStarted(backupFolder_);
}

std::optional<CompanyRestore::Company> CompanyRestore::FindCompany(const std::string& code) {
    ConnectCatalogueOrReport(p_.catalogue, p_.global, p_.log);
    std::vector<catalogue::CompanyFile> companies;
    try {
        companies = p_.catalogue.CompanyFiles();
    } catch (const std::exception& e) {
        Refuse(nullptr, std::string("no se pudo leer la lista de empresas: ") + e.what());
        return std::nullopt;
    }
    for (const catalogue::CompanyFile& file : companies)
        if (file.code == code) return Company{file, NamingOf(file.id, file.path, companies, Separator(), IgnoreCase())};
    Refuse(nullptr, "no existe la empresa de código " + code);
    return std::nullopt;
}

std::vector<CompanyBackup> CompanyRestore::Backups(const Company& company, const std::string& folder) {
    const CompanyStatus* status = p_.operations.book().Find(company.file.id);
    std::vector<CompanyBackup> backups =
        CompanyBackups(p_.files.ListFiles(folder), folder, company.naming, company.file.id, status, IgnoreCase());
    for (CompanyBackup& backup : backups) {
        try {
            backup.bytes = p_.files.FileSize(backup.file);
        } catch (const std::exception&) {
            // Shown without a size.
        }
    }
    return backups;
}

CompanyRestore::Ending CompanyRestore::List(const std::string& code) {
    Prepare();
    const std::optional<Company> company = FindCompany(code);
    if (!company) return Ending::Refused;
    std::vector<CompanyBackup> backups;
    try {
        backups = Backups(*company, backupFolder_);
    } catch (const std::exception& e) {
        return Refuse(&*company, "no se pudo leer la carpeta " + backupFolder_ + " Mensaje: " + e.what());
    }
    p_.log.WriteMemoLine(P() + " Backups de " + company->Text() + " en " + backupFolder_ + ": " +
                         std::to_string(backups.size()));
    for (const CompanyBackup& backup : backups)
        p_.log.WriteMemoLine(BackupListLine(backup, Separator()));
    // The second folder's copies, which a restore takes by their full path.
    if (const std::string second = SecondFolder(); !second.empty()) {
        try {
            backups = Backups(*company, second);
            p_.log.WriteMemoLine(P() + " Copias externas de " + company->Text() + " en " + second + ": " +
                                 std::to_string(backups.size()));
            for (const CompanyBackup& backup : backups)
                p_.log.WriteMemoLine(BackupListLine(backup, Separator()));
        } catch (const std::exception& e) {
            p_.log.WriteMemoLine(P() + " No se pudo leer la carpeta " + second + " Mensaje: " + e.what());
        }
    }
    return Ending::Done;
}

std::optional<CompanyBackup> CompanyRestore::ChooseBackup(const Company& company, const RestoreOrder& order) {
    std::vector<CompanyBackup> backups;
    try {
        backups = Backups(company, backupFolder_);
    } catch (const std::exception& e) {
        if (order.from.empty()) {
            Refuse(&company, "no se pudo leer la carpeta " + backupFolder_ + " Mensaje: " + e.what());
            return std::nullopt;
        }
    }
    if (order.from.empty()) {
        const bool verified = p_.operations.VerificationAsked();
        if (const CompanyBackup* newest = NewestGoodBackup(backups, verified)) return *newest;
        Refuse(&company, verified ? "no hay un Backup verificado de la empresa en " + backupFolder_
                                  : "no hay un Backup de la empresa en " + backupFolder_);
        return std::nullopt;
    }
    // A bare name is one of the backup folder, as the list shows them.
    const bool bareName = order.from.find_first_of(Separator() == '/' ? "/" : "\\/") == std::string::npos;
    const std::string file = bareName ? backupFolder_ + order.from : order.from;
    if (!IsFullPath(file, Separator())) {
        Refuse(&company, "la ruta del Backup debe ser completa: " + order.from);
        return std::nullopt;
    }
    for (const CompanyBackup& backup : backups)
        if (SameName(backup.file, file, IgnoreCase())) return backup;
    if (!p_.files.FileExists(file)) {
        Refuse(&company, "no existe el archivo de Backup " + file);
        return std::nullopt;
    }
    CompanyBackup named;
    named.file = file;
    try {
        named.bytes = p_.files.FileSize(file);
    } catch (const std::exception&) {
    }
    return named;
}

std::optional<bool> CompanyRestore::OfTheCompanysDatabase(const Company& company, const CompanyBackup& backup) {
    BackupHeader header;
    try {
        header = ReadBackupHeader(p_.files, backup.file);
    } catch (const std::exception& e) {
        Refuse(&company, backup.file + ": " + e.what());
        return std::nullopt;
    }
    if (HeaderNamesDatabase(header.databasePath, company.file.path, IgnoreCase())) return true;
    otherDatabase_ =
        " El Backup " + backup.file + " es de la base de datos " + header.databasePath + ", no de " + company.file.path;
    return false;
}

CompanyRestore::Ending CompanyRestore::Restore(const RestoreOrder& order, IConfirmation& confirmation) {
    Prepare();
    if (order.replace) {
        // The catalogue needs the server: one that a cycle or a restore cut short left stopped
        // starts first, as for the runs (the caller holds the run lock).
        StoppedServiceNote note(p_.files);
        StartServiceLeftStopped(note, p_.services, p_.log, backupFolder_);
    }
    const std::optional<Company> company = FindCompany(order.code);
    if (!company) return Ending::Refused;
    const std::optional<CompanyBackup> backup = ChooseBackup(*company, order);
    if (!backup) return Ending::Refused;
    const std::optional<bool> own = OfTheCompanysDatabase(*company, *backup);
    if (!own) return Ending::Refused;
    if (!order.replace) return RestoreToNewFile(*company, *backup, order.to);
    if (backup->known == BackupKnown::FailedVerification)
        return Refuse(&*company,
                      "el Backup " + backup->file + " falló su verificación; restáurelo con --to para revisarlo");
    return ReplaceLive(*company, *backup, !*own, order, confirmation);
}

bool CompanyRestore::Restored(fb::IFirebirdService& service, const std::string& serverText, const std::string& backup,
                              const std::string& target, unsigned options, const std::string& onlineCheck) {
    fb::RestoreRequest request;
    request.backupFiles = {backup};
    request.databasePaths = {target};
    request.options = options;
    request.verbose = true;
    service.SetParameters(AdministratorParameters());
    service.SetServerName(serverText);
    RestoreToTheEnd(service, request, p_.log, p_.view);
    // A restore that stopped half way (a damaged backup) can end without an error and leave the
    // new database shut down, part of its data missing.
    return p_.databases.IsOnline(onlineCheck);
}

void CompanyRestore::RemoveRestored(const std::string& path) {
    try {
        if (p_.databaseFiles.RemoveFile(path)) LogAndMemo(" Se borra la base de datos restaurada: " + path);
    } catch (const std::exception& e) {
        LogAndMemo(" No se pudo borrar la base de datos restaurada: " + path + " Mensaje: " + e.what());
    }
}

CompanyRestore::Ending CompanyRestore::RestoreToNewFile(const Company& company, const CompanyBackup& backup,
                                                        const std::string& target) {
    const char separator = Separator();
    if (!IsFullPath(target, separator))
        return Refuse(&company, "la ruta de la base de datos nueva debe ser completa: " + target);
    if (p_.databaseFiles.WhatIsAt(target) != NameHolds::Nothing) return Refuse(&company, "ya existe " + target);
    const std::string folder = FolderOf(target, separator);
    if (!p_.files.DirectoryExists(folder)) return Refuse(&company, "no existe la carpeta " + folder);
    try {
        if (const std::optional<MissingRoom> missing =
                RoomForTheRestore(p_.databaseFiles, company.file.path, backup.bytes.value_or(0), folder))
            return Refuse(&company, NoRoom(*missing));
    } catch (const std::exception& e) {
        return Refuse(&company, std::string("no se pudo medir el espacio: ") + e.what());
    }
    if (!OpenLog()) return Ending::Refused;

    LogAndMemo(" Inicio Restauración: " + company.Text());
    if (!otherDatabase_.empty()) LogAndMemo(otherDatabase_);
    LogAndMemo(" Backup a restaurar: " + backup.file);
    LogAndMemo(" Restaura en la base de datos nueva: " + target);
    const std::string server = ServerTextOf(p_.global);
    Ending ending = Ending::Done;
    std::string why;
    try {
        // Through the server: the new database is the server's own file, as the live ones.
        p_.throughServer.SetProtocol(fb::ServiceProtocol::Tcp);
        if (!Restored(p_.throughServer, server, backup.file, target, fb::RestoreRequest::kCreate,
                      server + ":" + target))
            why = "la base de datos restaurada quedó en mantenimiento: el Backup está dañado";
    } catch (const std::exception& e) {
        why = std::string("Error en Restore: ") + e.what();
    }
    if (!why.empty()) {
        ending = Fail(company, why);
        // The name was free before the restore: whatever is there now, the restore made.
        RemoveRestored(target);
    } else {
        LogAndMemo(" Finaliza Restauración: " + company.Text() + " en " + target);
    }
    Record(company, ending == Ending::Done ? kRestoreDone : kRestoreFailed, why, backup, target, false);
    CloseLog();
    return ending;
}

std::vector<std::string> CompanyRestore::WhatIsReplaced(const Company& company, const CompanyBackup& backup) {
    const std::string& live = company.file.path;
    std::vector<std::string> lines;
    try {
        lines.push_back(" Base de datos actual: " + live + " (" + Megabytes(p_.databaseFiles.FileSize(live)) +
                        ", último cambio " + MomentText(p_.databaseFiles.LastWritten(live)) + ")");
    } catch (const std::exception& e) {
        lines.push_back(" Base de datos actual: " + live + " (no se pudo leer: " + e.what() + ")");
    }
    lines.push_back(" Backup que la reemplaza: " + backup.file +
                    (backup.stamp ? " del " + StampText(backup.stamp) : std::string()) + " (" +
                    BackupKnownText(backup.known) + ")");
    // The counter as the cycle reads it, through the server that runs now. A counter read before
    // the backup counts only for the file it was read from: a cycle or a restore since then put
    // another file in place, whose counter started again.
    std::string since = "no se sabe";
    const CompanyStatus* status = p_.operations.book().Find(company.file.id);
    const auto replacedSince = [&](const std::string& at) { return !backup.at.empty() && at > backup.at; };
    if (!backup.nextTransaction) {
        since += " (no se leyó el contador al hacer el Backup)";
    } else if (status && ((status->lastCycle && status->lastCycle->outcome == kCycleSwapped &&
                           replacedSince(status->lastCycle->at)) ||
                          (status->lastRestore && status->lastRestore->replaced &&
                           status->lastRestore->outcome == kRestoreDone && replacedSince(status->lastRestore->at)))) {
        since += " (la base de datos se reconstruyó después del Backup)";
    } else {
        try {
            const std::int64_t now = p_.databases.NextTransaction(ServerTextOf(p_.global) + ":" + live);
            since = now >= *backup.nextTransaction ? std::to_string(now - *backup.nextTransaction)
                                                   : since + " (el contador es menor que al hacer el Backup)";
        } catch (const std::exception& e) {
            since += std::string(" (") + e.what() + ")";
        }
    }
    lines.push_back(" Transacciones en la base de datos desde el Backup: " + since);
    return lines;
}

CompanyRestore::Ending CompanyRestore::ReplaceLive(const Company& company, const CompanyBackup& backup,
                                                   bool otherDatabase, const RestoreOrder& order,
                                                   IConfirmation& confirmation) {
    const char separator = Separator();
    const std::string& live = company.file.path;
    const std::string server = ServerTextOf(p_.global);
    if (!AtDefaultInstancePort(SplitServerText(server)))
        return Refuse(&company, "el servidor " + server + " no es el de la instancia predeterminada (puerto " +
                                    std::to_string(kDefaultInstancePort) + ")");
    if (const std::string why = p_.databases.WhyNoLocalRestore(); !why.empty()) return Refuse(&company, why);
    if (p_.databaseFiles.WhatIsAt(live) != NameHolds::RegularFile)
        return Refuse(&company, "la base de datos " + live + " no es un archivo");
    if (!OpenLog()) return Ending::Refused;
    LogAndMemo(" Inicio Restauración: " + company.Text());

    // What a restore or cycle cut short left goes first: its restored file takes room.
    TakeAwayLeftOvers(p_.databaseFiles, p_.log, live, separator);
    const std::string folder = FolderOf(live, separator);
    try {
        if (const std::optional<MissingRoom> missing =
                RoomForTheRestore(p_.databaseFiles, live, backup.bytes.value_or(0), folder.empty() ? "." : folder))
            return Refuse(&company, NoRoom(*missing));
    } catch (const std::exception& e) {
        return Refuse(&company, std::string("no se pudo medir el espacio: ") + e.what());
    }
    const std::string fileStamp = FileStampOf(p_.clock.Now());
    const std::string restored = RestoredFileName(live, separator, fileStamp);
    const std::string kept = KeptCopyFileName(live, separator, fileStamp);
    if (p_.databaseFiles.WhatIsAt(kept) != NameHolds::Nothing)
        return Refuse(&company, "ya existe " + kept + "; inténtelo en el minuto siguiente");

    for (const std::string& line : WhatIsReplaced(company, backup))
        LogAndMemo(line);
    if (otherDatabase) LogAndMemo(otherDatabase_);
    if (!order.yes) {
        if (!confirmation.CanAsk())
            return Refuse(&company, "nadie puede confirmar el reemplazo en la terminal; --yes lo confirma");
        const std::string question = std::string(otherDatabase ? "El Backup es de otra base de datos. " : "") +
                                     "¿Reemplazar la base de datos de " + company.Text() +
                                     " por este Backup? Escriba SI para continuar: ";
        if (!confirmation.Confirm(question)) return Refuse(&company, "no se confirmó el reemplazo");
    }
    if (otherDatabase) LogAndMemo(" El Backup es de otra base de datos; se reemplaza por confirmación");

    Ending ending = Ending::Failed;
    std::string why;
    LogAndMemo(" Inicia Restore: " + company.Text() + " en " + restored);
    try {
        p_.local.SetProtocol(fb::ServiceProtocol::Local);
        if (!Restored(p_.local, server, backup.file, restored,
                      fb::RestoreRequest::kReplace | fb::RestoreRequest::kCreate, restored))
            why = "la base de datos restaurada quedó en mantenimiento: el Backup está dañado";
    } catch (const std::exception& e) {
        why = std::string("Error en Restore: ") + e.what();
    }
    if (why.empty()) {
        LogAndMemo(" Restore Finalizado: " + company.Text());
        try {
            p_.databaseFiles.MatchAccess(live, restored);
        } catch (const std::exception& e) {
            why = std::string("No se pudo dar al Archivo Restaurado los permisos de la base de datos: ") + e.what();
        }
    }
    bool swapped = false;
    if (why.empty()) {
        StoppedServiceNote note(p_.files);
        ServiceOutage outage(p_.services, note, server);
        if (const std::uint32_t stop = outage.Stop(); stop != service::kStopped) {
            why = "NO se pudo hacer Stop al Servicio: " + ServiceStateName(stop);
        } else {
            LogAndMemo(" Stop al Servicio: " + company.Text());
            LogAndMemo(" Renombra el Archivo Original: " + live + " por: " + kept);
            LogAndMemo(" Renombra el Archivo Restaurado: " + restored + " por: " + live);
            try {
                SwapInRestored(p_.databaseFiles, live, restored, kept);
                swapped = true;
            } catch (const std::exception& e) {
                why = std::string("No se pudo reemplazar la base de datos: ") + e.what();
            }
        }
        // The server comes back on every way out, before anything else is said.
        if (const std::uint32_t start = outage.Start(); start == service::kRunning) {
            LogAndMemo(" Servicio Iniciado: " + company.Text());
        } else {
            const std::string notStarted = "No se pudo iniciar el Servicio: " + ServiceStateName(start);
            why = why.empty() ? notStarted : why + "; " + notStarted;
        }
    }
    if (!swapped) RemoveRestored(restored);
    if (why.empty()) {
        ending = Ending::Done;
        LogAndMemo(" Finaliza Restauración: " + company.Text());
        LogAndMemo(" La base de datos anterior queda en: " + kept);
    } else {
        Fail(company, why);
        if (swapped) LogAndMemo(" La base de datos anterior queda en: " + kept);
    }
    Record(company, ending == Ending::Done ? kRestoreDone : kRestoreFailed, why, backup, live, swapped);
    CloseLog();
    return ending;
}

} // namespace veltor
