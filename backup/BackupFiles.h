#pragma once
// Backup folder preparation and backup file naming, shared by the scheduled run and the
// backup-restore cycle.
//
// A backup is named after its database file: stem + "-" + YYYYMMDD + "-" + HHmm + ".GBK".
// Where another database of the catalogue has a file of the same stem (one folder per fiscal
// year, each with its CONTA.FDB), both would be written under one name; the backups of such a
// database carry its company's EMPRESAID after the minute instead: CONTA-20261207-1245-E17.GBK.
// A name of that form is read from its end (the id, then the minute and the date), so it can
// never also be a name of another company, whatever the stems.
//
// The server writes a backup under a temporary name beside it (the name + ".tmp"), which takes
// the backup's name only once the server has reported the end without error.

#include "activity/ActivityLog.h"
#include "catalogue/CompanyCatalogue.h"
#include "config/Global.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

// Creates the backup folder when it is missing: first the installation's data folder
// (rules.defaultBackupParent) when that is missing too, then the folder itself, one level.
// A failure is written to the memo and the run goes on.
void EnsureBackupFolder(const std::string& folder, const ConfigurationRules& rules, IFileSystem& files,
                        ActivityLog& log);

// HHmm of a moment (24-hour clock).
std::string HourMinuteText(const LocalDateTime& moment);

// How one company's backups are named.
struct BackupNaming {
    std::string stem;  // the file name of its database without the extension
    std::string owner; // "-E" + EMPRESAID when another database of the catalogue shares the stem
    // False when the catalogue's databases could not be read (or the id is not a number): the
    // name may be another database's too, so a file under it is never replaced.
    bool known = true;
};

// The owners of the backup names that are the company `id`'s own: names with its id whatever
// the catalogue holds now, names without one only while no other database shares the stem.
std::vector<std::string> OwnersOf(const BackupNaming& naming, const std::string& id);

// The naming of the company `id` whose database is `databasePath`, among the catalogue's
// `companies` (nothing: they could not be read). Two paths name one database when they are the
// same text (in any letter case where the file system ignores it).
BackupNaming NamingOf(const std::string& id, const std::string& databasePath,
                      const std::optional<std::vector<catalogue::CompanyFile>>& companies, char separator,
                      bool ignoreCase);

// The catalogue's databases as one run names backups after them: read once, when first asked.
class CatalogueFiles {
public:
    CatalogueFiles(catalogue::ICompanyCatalogue& catalogue, const ConfigurationRules& rules)
        : catalogue_(catalogue), rules_(rules) {}

    // Every company's database file; nothing when they could not be read.
    const std::optional<std::vector<catalogue::CompanyFile>>& Companies();
    BackupNaming NamingOf(const std::string& id, const std::string& databasePath);
    // The next run reads them again.
    void Forget() { companies_.reset(); }

private:
    catalogue::ICompanyCatalogue& catalogue_;
    const ConfigurationRules& rules_;
    std::optional<std::optional<std::vector<catalogue::CompanyFile>>> companies_;
};

// folder + stem + "-" + YYYYMMDD + "-" + HHmm + owner + ".GBK"
std::string BackupFileName(const std::string& folder, const BackupNaming& naming, const LocalDateTime& date,
                           const std::string& startTime);

// The name the server writes a backup under until it is whole.
std::string TemporaryBackupName(const std::string& backupFile);
inline constexpr std::string_view kTemporarySuffix = ".tmp";

// Where a backup that failed its verification is kept (the newest one of each company): its
// name with "-VerificacionFallida" before ".GBK". Retention never counts it as a backup.
std::string FailedVerificationName(const std::string& backupFile);
inline constexpr std::string_view kFailedVerificationTag = "-VerificacionFallida";

// Gives the backup that the server wrote whole under `temporary` its name `backupFile`, on disk
// before the name says so. A file of that name is replaced only when the naming is known (it can
// then only be an earlier backup of the same database); otherwise the backup fails and both
// files stay. Raises the failure.
void PublishBackup(IFileSystem& files, const std::string& temporary, const std::string& backupFile,
                   const BackupNaming& naming);

// Removes a file the run itself made and no longer wants (a temporary backup that did not
// end). Best effort, without a line: the failure that made it useless is in the log already.
void RemoveQuietly(IFileSystem& files, const std::string& path) noexcept;

} // namespace veltor
