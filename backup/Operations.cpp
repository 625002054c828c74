#include "backup/Operations.h"

#include "backup/BackupFiles.h"
#include "backup/Moments.h"
#include "backup/ServiceOutput.h"

#include <exception>

namespace veltor {
namespace {

std::string NameOf(const std::string& path, char separator) {
    const std::size_t slash = path.find_last_of(separator == '\\' ? "\\:" : "/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path, char separator) {
    const std::size_t slash = path.rfind(separator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The BASE of the kept copies of a database: its file name without extension, upper-cased.
std::string CopyBaseOf(const std::string& databasePath, char separator) {
    std::string base = NameOf(databasePath, separator);
    if (const std::size_t dot = base.rfind('.'); dot != std::string::npos) base.erase(dot);
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return base;
}

bool SamePath(const std::string& a, const std::string& b, bool ignoreCase) {
    return SameStem(a, b, ignoreCase);
}

} // namespace

TOperations::TOperations(OperationsParts parts)
    : p_(parts), verifier_(parts.verifyService, parts.databases, parts.files, parts.view) {}

void TOperations::LogAndMemo(const std::string& line) {
    try {
        p_.log.WriteLogLine(line);
    } catch (const std::exception&) {
        // The memo still has it.
    }
    p_.log.WriteMemoLine(line);
}

void TOperations::SayUnusable(const char* key, const std::optional<std::string>& value,
                              std::optional<std::string>& said) {
    if (!value || said == value) return;
    said = value;
    p_.log.WriteMemoLine(P() + " " + key + "=" + *value +
                         " no es un número de archivos a conservar: no se elimina ningún archivo");
}

void TOperations::RunStarted(const std::string& backupFolder) {
    const TGlobal& global = p_.global;
    keepBackups_ = ReadRetentionSetting(global.KeepBackups);
    keepCopies_ = ReadRetentionSetting(global.KeepCopies);
    verify_ = global.VerifyBackups && (*global.VerifyBackups == "S" || *global.VerifyBackups == "s");
    if (keepBackups_.unusable) SayUnusable("CONSERVARBACKUPS", global.KeepBackups, saidBackups_);
    if (keepCopies_.unusable) SayUnusable("CONSERVARCOPIAS", global.KeepCopies, saidCopies_);
    statusPath_ = StatusBook::PathIn(backupFolder);
    book_ = LoadStatusBook(p_.files, statusPath_);
    companies_.reset();
    sharedStemsSaid_.clear();
}

const std::optional<std::vector<std::pair<std::string, std::string>>>& TOperations::Companies() {
    if (companies_) return *companies_;
    try {
        sql::SqlDataset rows(p_.catalogue.BDAdmin);
        rows.CommandText = "SELECT EMPRESAID, ARCHIVO FROM EMPRESAS";
        rows.Open();
        std::vector<std::pair<std::string, std::string>> list;
        for (rows.First(); !rows.Eof(); rows.Next())
            list.emplace_back(rows.FieldText("EMPRESAID"), rows.FieldText("ARCHIVO"));
        companies_.emplace(std::move(list));
    } catch (const std::exception&) {
        companies_.emplace(std::nullopt);
    }
    return *companies_;
}

void TOperations::Save() {
    try {
        if (const auto& companies = Companies()) {
            std::set<std::string> ids;
            for (const auto& [id, path] : *companies)
                ids.insert(id);
            book_.KeepOnly(ids);
        }
        ReplaceFileContent(p_.files, statusPath_, book_.ToJson(IsoText(p_.clock.Now())));
    } catch (const std::exception&) {
        // The status file is for watchers from outside; the run goes on without it.
    }
}

bool TOperations::StemShared(const CompanyRef& company, const std::string& stem, bool copies) {
    const auto& companies = Companies();
    const char separator = Separator();
    bool shared = !companies;
    if (companies) {
        const std::string folder = FolderOf(company.databasePath, separator);
        for (const auto& [id, path] : *companies) {
            if (SamePath(path, company.databasePath, IgnoreCase())) continue;
            if (copies) {
                shared = shared || (SamePath(FolderOf(path, separator), folder, IgnoreCase()) &&
                                    CopyBaseOf(path, separator) == stem);
            } else {
                shared = shared || SameStem(DatabaseFileStem(path, separator), stem, IgnoreCase());
            }
        }
    }
    if (shared && sharedStemsSaid_.insert(stem).second) {
        const std::string why = companies ? ": otra base de datos del catálogo da archivos del mismo nombre"
                                          : ": no se pudo leer la lista de empresas";
        p_.log.WriteMemoLine(P() + (copies ? " No se eliminan Copias de " : " No se eliminan Backups de ") + stem +
                             why);
    }
    return shared;
}

void TOperations::RemoveBeyondKeep(const std::string& folder, const std::string& stem, const MadeFileKind& kind,
                                   long long keep, const std::set<std::string>& protect) {
    try {
        RemoveFilesBeyondKeep(p_.files, p_.log, folder, stem, kind, IgnoreCase(), keep, protect);
    } catch (const std::exception& e) {
        LogAndMemo(P() + " No se pudo revisar la carpeta " + folder + " Mensaje: " + e.what());
    }
}

bool TOperations::BackupDone(const CompanyRef& company, const std::string& backupFile, const LocalDateTime& started,
                             double seconds, const std::vector<std::string>& output) {
    CompanyStatus& status = book_.Company(company.id, company.code, company.name);
    BackupRecord record;
    record.at = IsoText(started);
    record.outcome = kBackupDone;
    record.file = backupFile;
    record.seconds = seconds;
    try {
        record.bytes = p_.files.FileSize(backupFile);
    } catch (const std::exception&) {
        // The server wrote it; its size is only for the record.
    }

    if (verify_) {
        LogAndMemo(P() + " Inicia Verificación: " + company.Text());
        const VerificationResult result =
            verifier_.Verify(ServerTextOf(p_.global), backupFile, TableRowsOfBackupOutput(output));
        record.verified = result.passed;
        if (result.passed) {
            LogAndMemo(P() + " Backup Verificado: " + company.Text() + " (" + result.message + ")");
        } else {
            LogAndMemo(P() + " Verificación fallida: " + company.Text() + " Mensaje: " + result.message);
            record.verification = result.message;
            record.outcome = kBackupFailed;
            record.message = "Verificación fallida: " + result.message;
        }
    }

    status.lastAttempt = record;
    if (record.outcome == kBackupDone) {
        status.lastGood = record;
        if (record.verified && *record.verified) status.lastVerified = record;
        if (keepBackups_.keep) {
            const char separator = Separator();
            const std::string stem = DatabaseFileStem(company.databasePath, separator);
            if (!StemShared(company, stem, false)) {
                std::set<std::string> protect = {NameOf(backupFile, separator)};
                if (status.lastVerified) protect.insert(NameOf(status.lastVerified->file, separator));
                RemoveBeyondKeep(FolderOf(backupFile, separator), stem, kBackupFiles, *keepBackups_.keep, protect);
            }
        }
    }
    Save();
    return record.outcome == kBackupDone;
}

void TOperations::BackupFailed(const CompanyRef& company, const LocalDateTime& started, const std::string& message) {
    BackupRecord record;
    record.at = IsoText(started);
    record.outcome = kBackupFailed;
    record.message = message;
    book_.Company(company.id, company.code, company.name).lastAttempt = record;
    Save();
}

void TOperations::BackupSkipped(const CompanyRef& company, const std::string& why) {
    BackupRecord record;
    record.at = IsoText(p_.clock.Now());
    record.outcome = kBackupSkipped;
    record.message = why;
    book_.Company(company.id, company.code, company.name).lastAttempt = record;
    Save();
}

void TOperations::CycleEnded(const CompanyRef& company, const std::string& outcome, const std::string& message,
                             const std::string& keptCopyFile) {
    book_.Company(company.id, company.code, company.name).lastCycle =
        CycleRecord{IsoText(p_.clock.Now()), outcome, message};
    if (outcome == kCycleSwapped && keepCopies_.keep && !keptCopyFile.empty()) {
        const char separator = Separator();
        const std::string base = CopyBaseOf(company.databasePath, separator);
        if (!StemShared(company, base, true))
            RemoveBeyondKeep(FolderOf(company.databasePath, separator), base, kKeptCopies, *keepCopies_.keep,
                             {NameOf(keptCopyFile, separator)});
    }
    Save();
}

} // namespace veltor
