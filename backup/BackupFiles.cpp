#include "backup/BackupFiles.h"

#include <exception>

namespace veltor {

std::string WorkingBackupFolder(const std::string& backupFolder, char separator) {
    std::string folder = backupFolder;
    while (!folder.empty() && folder.back() == ' ')
        folder.pop_back();
    if (folder.empty() || folder.back() != separator) folder += separator;
    return folder;
}

void EnsureBackupFolder(const std::string& folder, const ConfigurationRules& rules, IFileSystem& files,
                        TActivityLog& log) {
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

std::string DatabaseFileStem(const std::string& databasePath, char separator) {
    const char* separators = separator == '\\' ? "\\:" : "/";
    const std::size_t slash = databasePath.find_last_of(separators);
    std::string name = slash == std::string::npos ? databasePath : databasePath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string HourMinuteText(const LocalDateTime& moment) {
    return TGlobal::PadNumber(moment.hour, 2) + TGlobal::PadNumber(moment.minute, 2);
}

std::string BackupFileName(const std::string& folder, const std::string& databasePath, char separator,
                           const LocalDateTime& date, const std::string& startTime) {
    return folder + DatabaseFileStem(databasePath, separator) + "-" + TGlobal::PadNumber(TGlobal::YearOfDate(date), 4) +
           TGlobal::PadNumber(TGlobal::MonthOfDate(date), 2) + TGlobal::PadNumber(TGlobal::DayOfDate(date), 2) + "-" +
           startTime + ".GBK";
}

void RemoveUnfinishedBackup(IFileSystem& files, const std::string& backupFile, bool existedBefore) noexcept {
    if (existedBefore) return;
    try {
        files.RemoveFile(backupFile);
    } catch (...) {
        // What stays is what the server wrote; the failure is in the log already.
    }
}

} // namespace veltor
