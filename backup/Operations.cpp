#include "backup/Operations.h"

#include "backup/BackupFiles.h"
#include "backup/ParallelRun.h"
#include "backup/ServiceOutput.h"
#include "config/PathParts.h"
#include "status/Moments.h"

#include <exception>

namespace veltor {
namespace {

// The BASE of the kept copies of a database: its file name without extension, upper-cased.
std::string CopyBaseOf(const std::string& databasePath, char separator) {
    return UpperCaseAscii(FileStemOf(databasePath, separator));
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

BackupOperations::BackupOperations(OperationsParts parts)
    : p_(parts), catalogueFiles_(parts.catalogue, parts.global.rules()),
      secondCopy_({parts.log, parts.files, parts.clock, parts.copier, parts.scripts}) {}

void BackupOperations::LogAndMemo(const std::string& line) {
    WriteLogAndMemo(p_.log, line);
}

void BackupOperations::SayNotUnderstood(const std::string& line, const std::optional<std::string>& value,
                                        std::optional<std::string>& said) {
    if (!value || said == value) return;
    said = value;
    p_.log.WriteMemoLine(P() + line);
    forTheLog_.push_back(line);
}

void BackupOperations::LogOpened() {
    for (const std::string& line : forTheLog_) {
        try {
            p_.log.WriteLogLine(P() + line);
        } catch (const std::exception&) {
            // The memo has it.
        }
    }
    forTheLog_.clear();
}

void BackupOperations::RunStarted(const std::string& backupFolder) {
    const TGlobal& global = p_.global;
    keepBackups_ = ReadRetentionSetting(global.KeepBackups);
    keepCopies_ = ReadRetentionSetting(global.KeepCopies);
    const char* const nothingRemoved = " no es un número de archivos a conservar: no se elimina ningún archivo";
    if (keepBackups_.unusable)
        SayNotUnderstood(" CONSERVARBACKUPS=" + *global.KeepBackups + nothingRemoved, global.KeepBackups, saidBackups_);
    if (keepCopies_.unusable)
        SayNotUnderstood(" CONSERVARCOPIAS=" + *global.KeepCopies + nothingRemoved, global.KeepCopies, saidCopies_);
    // S or N in either case, as the catalogue's flags; anything else leaves verification off, and
    // says so, so that nobody takes the backups for verified.
    verify_ = false;
    if (global.VerifyBackups) {
        const std::string value = Trimmed(*global.VerifyBackups);
        verify_ = value == "S" || value == "s";
        if (!verify_ && value != "N" && value != "n")
            SayNotUnderstood(" VERIFICARBACKUP=" + *global.VerifyBackups +
                                 " no se entiende (S o N): no se verifican los Backups",
                             global.VerifyBackups, saidVerify_);
    }
    const ParallelSetting parallel = ReadParallelSetting(global.ParallelBackups);
    parallel_ = parallel.limit;
    if (parallel.unusable)
        SayNotUnderstood(" BACKUPSPARALELO=" + *global.ParallelBackups +
                             " no es un número de Backups a la vez: se hacen de a uno",
                         global.ParallelBackups, saidParallel_);
    else if (parallel.capped)
        SayNotUnderstood(" BACKUPSPARALELO=" + *global.ParallelBackups + " es más de " +
                             std::to_string(kMostParallelBackups) + ": se hacen " +
                             std::to_string(kMostParallelBackups) + " a la vez",
                         global.ParallelBackups, saidParallel_);
    secondCopy_.RunStarted(global, backupFolder,
                           [this](const std::string& line, const std::optional<std::string>& value,
                                  std::optional<std::string>& said) { SayNotUnderstood(line, value, said); });
    statusPath_ = StatusBook::PathIn(backupFolder);
    book_ = LoadStatusBook(p_.files, statusPath_);
    catalogueFiles_.Forget();
    nothingRemovedSaid_.clear();
}

void BackupOperations::Save() {
    try {
        if (const auto& companies = Companies()) {
            std::set<std::string> ids;
            for (const catalogue::CompanyFile& company : *companies)
                ids.insert(company.id);
            book_.KeepOnly(ids);
        }
        ReplaceFileContent(p_.files, statusPath_, book_.ToJson(IsoText(p_.clock.Now())));
    } catch (const std::exception&) {
        // The status file is for watchers from outside; the run goes on without it.
    }
}

void BackupOperations::SayNothingRemoved(const std::string& what, const std::string& stem, const std::string& why) {
    if (nothingRemovedSaid_.insert(what + stem).second)
        p_.log.WriteMemoLine(P() + " No se eliminan " + what + " de " + stem + why);
}

bool BackupOperations::CopyBaseShared(const CompanyRef& company, const std::string& base) {
    const auto& companies = Companies();
    const char separator = Separator();
    bool shared = !companies;
    if (companies) {
        const std::string folder = FolderOf(company.databasePath, separator);
        for (const catalogue::CompanyFile& other : *companies) {
            if (SameName(other.path, company.databasePath, IgnoreCase())) continue;
            shared = shared || (SameName(FolderOf(other.path, separator), folder, IgnoreCase()) &&
                                CopyBaseOf(other.path, separator) == base);
        }
    }
    if (shared)
        SayNothingRemoved("Copias", base,
                          companies ? ": otra base de datos del catálogo da archivos del mismo nombre"
                                    : ": no se pudo leer la lista de empresas");
    return shared;
}

void BackupOperations::RemoveBackupsBeyondKeep(const CompanyRef& company, const CompanyStatus& status,
                                               const std::string& backupFile) {
    const char separator = Separator();
    const BackupNaming naming = catalogueFiles_.NamingOf(company.id, company.databasePath);
    if (!naming.known) {
        SayNothingRemoved("Backups", naming.stem,
                          Companies() ? ": otra base de datos del catálogo da archivos del mismo nombre"
                                      : ": no se pudo leer la lista de empresas");
        return;
    }
    const std::vector<std::string> owners = OwnersOf(naming, company.id);
    std::set<std::string> protect = {FileNameOf(backupFile, separator)};
    if (status.lastVerified) protect.insert(FileNameOf(status.lastVerified->file, separator));
    const std::string folder = FolderOf(backupFile, separator);
    try {
        const std::vector<std::string> names = p_.files.ListFiles(folder);
        RemoveMadeFiles(
            p_.files, p_.log, folder,
            FilesBeyondKeep(names, naming.stem, kBackupFiles, IgnoreCase(), *keepBackups_.keep, protect, owners),
            " Elimina Backup antiguo: ");
        // A good backup supersedes the failed ones kept for a look, which are all older.
        RemoveMadeFiles(p_.files, p_.log, folder,
                        FilesBeyondKeep(names, naming.stem, kFailedVerifications, IgnoreCase(), 0, {}, {naming.owner}),
                        " Elimina Backup con verificación fallida: ");
        if (!naming.owner.empty() &&
            !FilesBeyondKeep(names, naming.stem, kBackupFiles, IgnoreCase(), 0, {}, {std::string()}).empty())
            SayNothingRemoved("Backups", naming.stem + " sin número de empresa",
                              ": otra base de datos del catálogo da archivos del mismo nombre");
    } catch (const std::exception& e) {
        LogAndMemo(P() + " No se pudo revisar la carpeta " + folder + " Mensaje: " + e.what());
    }
}

void BackupOperations::RemoveOlderFailedVerifications(const CompanyRef& company, const std::string& kept) {
    const char separator = Separator();
    const BackupNaming naming = catalogueFiles_.NamingOf(company.id, company.databasePath);
    if (!naming.known) return;
    const std::string folder = FolderOf(kept, separator);
    try {
        RemoveMadeFiles(p_.files, p_.log, folder,
                        FilesBeyondKeep(p_.files.ListFiles(folder), naming.stem, kFailedVerifications, IgnoreCase(), 1,
                                        {FileNameOf(kept, separator)}, {naming.owner}),
                        " Elimina Backup con verificación fallida: ");
    } catch (const std::exception& e) {
        LogAndMemo(P() + " No se pudo revisar la carpeta " + folder + " Mensaje: " + e.what());
    }
}

VerificationResult BackupOperations::Verify(const CompanyRef& company, const std::string& backupFile,
                                            const std::vector<std::string>& output, CompanyLines& lines,
                                            fb::IFirebirdService* service) const {
    lines.Said(lines.Prefix() + " Inicia Verificación: " + company.Text());
    BackupVerifier verifier(service ? *service : p_.verifyService, p_.databases, p_.files, lines.AsView());
    const TableRows expected = TableRowsOfBackupOutput(output);
    const VerificationResult result = expected.empty() && OutputWithoutWords(output)
                                          ? VerificationResult{false, kOutputWithoutWords}
                                          : verifier.Verify(ServerTextOf(p_.global), backupFile, expected);
    if (result.passed)
        lines.Said(lines.Prefix() + " Backup Verificado: " + company.Text() + " (" + result.message + ")");
    else
        lines.Said(lines.Prefix() + " Verificación fallida: " + company.Text() + " Mensaje: " + result.message);
    return result;
}

void BackupOperations::BackupDone(const CompanyRef& company, const std::string& backupFile,
                                  const LocalDateTime& started, double seconds, std::optional<bool> verified,
                                  std::optional<std::int64_t> nextTransaction) {
    CompanyStatus& status = book_.Company(company.id, company.code, company.name);
    BackupRecord record;
    record.at = IsoText(started);
    record.outcome = kBackupDone;
    record.file = backupFile;
    record.seconds = seconds;
    record.verified = verified;
    record.nextTransaction = nextTransaction;
    try {
        record.bytes = p_.files.FileSize(backupFile);
    } catch (const std::exception&) {
        // The server wrote it; its size is only for the record.
    }
    status.lastAttempt = record;
    status.lastGood = record;
    if (verified && *verified) status.lastVerified = record;
    // A backup made again in the same minute took the place of the one of that name.
    std::erase_if(status.recentBackups, [&](const BackupRecord& recent) { return recent.file == backupFile; });
    status.recentBackups.insert(status.recentBackups.begin(), record);
    if (status.recentBackups.size() > kRecentBackups) status.recentBackups.resize(kRecentBackups);
    if (keepBackups_.keep) RemoveBackupsBeyondKeep(company, status, backupFile);
    Save();
    // After the backup is written down: a copy that fails or takes long changes nothing of it.
    if (secondCopy_.CopiesAsked() || secondCopy_.BackupScriptAsked()) {
        secondCopy_.AfterGoodBackup(CopiedOf(company), backupFile,
                                    book_.Company(company.id, company.code, company.name));
        Save();
    }
}

CopiedCompany BackupOperations::CopiedOf(const CompanyRef& company) {
    return {company.id, company.code, company.name, catalogueFiles_.NamingOf(company.id, company.databasePath)};
}

void BackupOperations::CatchUpCopies() {
    if (!secondCopy_.CopiesAsked()) return;
    const auto& companies = Companies();
    if (!companies) return;
    std::vector<CopiedCompany> copied;
    for (const catalogue::CompanyFile& file : *companies)
        copied.push_back(CopiedOf({file.id, file.code, file.name, file.path}));
    secondCopy_.CatchUp(copied, book_, verify_, [this] { Save(); });
}

void BackupOperations::BackupFailed(const CompanyRef& company, const LocalDateTime& started, const std::string& message,
                                    bool verificationFailed, const std::string& keptFile) {
    BackupRecord record;
    record.at = IsoText(started);
    record.outcome = kBackupFailed;
    record.message = message;
    if (verificationFailed) {
        record.file = keptFile;
        record.verified = false;
        record.verification = message;
        record.message = "Verificación fallida: " + message;
        if (!keptFile.empty()) RemoveOlderFailedVerifications(company, keptFile);
    }
    book_.Company(company.id, company.code, company.name).lastAttempt = record;
    Save();
}

void BackupOperations::BackupSkipped(const CompanyRef& company, const std::string& why) {
    BackupRecord record;
    record.at = IsoText(p_.clock.Now());
    record.outcome = kBackupSkipped;
    record.message = why;
    book_.Company(company.id, company.code, company.name).lastAttempt = record;
    Save();
}

void BackupOperations::CycleEnded(const CompanyRef& company, const std::string& outcome, const std::string& message,
                                  const std::string& keptCopyFile) {
    book_.Company(company.id, company.code, company.name).lastCycle =
        CycleRecord{IsoText(p_.clock.Now()), outcome, message};
    if (outcome == kCycleSwapped && keepCopies_.keep && !keptCopyFile.empty()) {
        const char separator = Separator();
        const std::string base = CopyBaseOf(company.databasePath, separator);
        if (!CopyBaseShared(company, base)) {
            const std::string folder = FolderOf(company.databasePath, separator);
            try {
                RemoveMadeFiles(p_.files, p_.log, folder,
                                FilesBeyondKeep(p_.files.ListFiles(folder), base, kKeptCopies, IgnoreCase(),
                                                *keepCopies_.keep, {FileNameOf(keptCopyFile, separator)}),
                                " Elimina Copia antigua: ");
            } catch (const std::exception& e) {
                LogAndMemo(P() + " No se pudo revisar la carpeta " + folder + " Mensaje: " + e.what());
            }
        }
    }
    Save();
}

void BackupOperations::RestoreEnded(const CompanyRef& company, const RestoreRecord& record) {
    book_.Company(company.id, company.code, company.name).lastRestore = record;
    Save();
}

} // namespace veltor
