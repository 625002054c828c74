#include "backup/BackupFiles.h"

#include "backup/Retention.h"
#include "config/PathParts.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace veltor {

void EnsureBackupFolder(const std::string& folder, const ConfigurationRules& rules, IFileSystem& files,
                        ActivityLog& log) {
    try {
        if (files.DirectoryExists(folder)) return;
        if (!files.DirectoryExists(rules.defaultBackupParent)) files.CreateDirectory(rules.defaultBackupParent);
        files.CreateDirectory(folder);
    } catch (const std::exception& e) {
        log.WriteMemoLine(" ");
        log.WriteMemoLine(log.StampPrefix() + " No se pudo crear Carpeta de Copias: " + folder);
        log.WriteMemoLine(" ");
        log.WriteMemoLine(e.what());
        log.WriteMemoLine(" ");
    }
}

std::string HourMinuteText(const LocalDateTime& moment) {
    return TGlobal::PadNumber(moment.hour, 2) + TGlobal::PadNumber(moment.minute, 2);
}

BackupNaming NamingOf(const std::string& id, const std::string& databasePath,
                      const std::optional<std::vector<catalogue::CompanyFile>>& companies, char separator,
                      bool ignoreCase) {
    BackupNaming naming{FileStemOf(databasePath, separator), {}, companies.has_value()};
    if (!companies) return naming;
    const bool shared = std::any_of(companies->begin(), companies->end(), [&](const catalogue::CompanyFile& other) {
        return !SameStem(other.path, databasePath, ignoreCase) &&
               SameStem(FileStemOf(other.path, separator), naming.stem, ignoreCase);
    });
    if (!shared) return naming;
    const bool number = !id.empty() && std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (number)
        naming.owner = "-E" + id;
    else
        naming.known = false;
    return naming;
}

const std::optional<std::vector<catalogue::CompanyFile>>& CatalogueFiles::Companies() {
    if (companies_) return *companies_;
    try {
        companies_.emplace(catalogue_.CompanyFiles());
    } catch (const std::exception&) {
        companies_.emplace(std::nullopt);
    }
    return *companies_;
}

BackupNaming CatalogueFiles::NamingOf(const std::string& id, const std::string& databasePath) {
    return veltor::NamingOf(id, databasePath, Companies(), rules_.pathSeparator, rules_.upperCaseValues);
}

std::string BackupFileName(const std::string& folder, const BackupNaming& naming, const LocalDateTime& date,
                           const std::string& startTime) {
    return folder + naming.stem + "-" + TGlobal::PadNumber(TGlobal::YearOfDate(date), 4) +
           TGlobal::PadNumber(TGlobal::MonthOfDate(date), 2) + TGlobal::PadNumber(TGlobal::DayOfDate(date), 2) + "-" +
           startTime + naming.owner + std::string(kBackupFiles.extension);
}

std::string TemporaryBackupName(const std::string& backupFile) {
    return backupFile + std::string(kTemporarySuffix);
}

std::string FailedVerificationName(const std::string& backupFile) {
    const std::size_t extension = kBackupFiles.extension.size();
    if (backupFile.size() < extension) return backupFile + std::string(kFailedVerificationTag);
    return backupFile.substr(0, backupFile.size() - extension) + std::string(kFailedVerificationTag) +
           backupFile.substr(backupFile.size() - extension);
}

void PublishBackup(IFileSystem& files, const std::string& temporary, const std::string& backupFile,
                   const BackupNaming& naming) {
    if (!naming.known && files.FileExists(backupFile))
        throw std::runtime_error("ya existe " + backupFile +
                                 " y no se sabe si es de esta base de datos: no se reemplaza");
    files.PublishFile(temporary, backupFile,
                      naming.known ? IFileSystem::Existing::Replace : IFileSystem::Existing::Keep);
}

void RemoveQuietly(IFileSystem& files, const std::string& path) noexcept {
    try {
        files.RemoveFile(path);
    } catch (...) {
        // What stays is what the server wrote; a later run takes it away.
    }
}

std::vector<std::string> OwnersOf(const BackupNaming& naming, const std::string& id) {
    std::vector<std::string> owners = {naming.owner};
    if (naming.owner.empty()) owners.push_back("-E" + id);
    return owners;
}

} // namespace veltor
