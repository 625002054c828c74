#pragma once
// Backup folder preparation and backup file naming, shared by the scheduled run and the
// backup-restore cycle.

#include "backup/ActivityLog.h"
#include "config/Global.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"

#include <string>

namespace veltor {

// The configured backup folder without trailing blanks and with a final separator.
std::string WorkingBackupFolder(const std::string& backupFolder, char separator);

// Creates the backup folder when it is missing: first the installation's data folder
// (rules.defaultBackupParent) when that is missing too, then the folder itself, one level.
// A failure is written to the memo and the run goes on.
void EnsureBackupFolder(const std::string& folder, const ConfigurationRules& rules, IFileSystem& files,
                        TActivityLog& log);

// The file name of a database path without its folder and its extension: what follows the
// last separator ("\" or ":" on Windows, "/" elsewhere), up to its last ".".
std::string DatabaseFileStem(const std::string& databasePath, char separator);

// HHmm of a moment (24-hour clock).
std::string HourMinuteText(const LocalDateTime& moment);

// folder + stem + "-" + YYYYMMDD + "-" + HHmm + ".GBK"
std::string BackupFileName(const std::string& folder, const std::string& databasePath, char separator,
                           const LocalDateTime& date, const std::string& startTime);

// Removes what a backup that failed left of its file, unless a file of that name was there
// before the backup began: a backup cut short (a full disk, a server gone away) is no backup and
// only takes room. Best effort, without a line.
void RemoveUnfinishedBackup(IFileSystem& files, const std::string& backupFile, bool existedBefore) noexcept;

} // namespace veltor
