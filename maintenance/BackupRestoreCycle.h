#pragma once
// The backup-restore cycle: each selected company's database is backed up through the
// server, restored into a new file beside it, handed to the installation's maintenance
// script and, with the server's service stopped, put in the place of the live file, which is
// kept under a dated name. Every step goes to the memo and the month log.
//
// The exchange only happens when nothing but the cycle's own backup started a transaction in
// the live database between the backup and the stop before the exchange: work committed in
// that time is not in the backup, and the restored file would drop it.

#include "backup/ActivityLog.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/DatabaseState.h"
#include "dbserver/FirebirdServiceConnection.h"
#include "dbserver/ServiceControl.h"
#include "maintenance/StoppedService.h"
#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/FileSystem.h"
#include "ports/ShellLauncher.h"

#include <cstdint>
#include <optional>
#include <string>

namespace veltor {

// The database server's service, as the service control manager knows it.
inline constexpr const char* kDatabaseServerService = "FirebirdGuardianDefaultInstance";
// The installation's maintenance script, run on every restored file.
inline constexpr const char* kMaintenanceScript = "gfixonline.Bat";
// The time the script is given before the server is stopped for the exchange.
inline constexpr std::uint32_t kMaintenanceScriptPause = 20000;
// The transactions the cycle's own backup starts in the live database (reading the counter
// starts none).
inline constexpr std::int64_t kOwnBackupTransactions = 1;

// The server's weekday name, "H:M" without leading zeros, and its year, all trimmed.
struct ServerClock {
    std::string DIA;
    std::string HORA;
    std::string ANNO;
};

// The statement that reads the server's clock.
extern const std::string_view kServerClockStatement;
// The company selection of the cycle: every company flagged for it and every company of the
// server's year when `restoreNow`; otherwise the companies whose weekday flag is set for the
// server's weekday and whose restore hour lies in the half hour up to the server's time.
std::string CycleSelectionStatement(const ServerClock& clock, bool restoreNow);
// Opens the server clock query on QEmpresas and reads it; raises its failure.
ServerClock ReadServerClock(catalogue::TCatalogue& catalogue);
// Opens the cycle's company selection on QEmpresas; raises its failure.
void SelectCycleCompanies(catalogue::TCatalogue& catalogue, const ServerClock& clock, bool restoreNow);

// YYYYMMDD-HHmm of a moment.
std::string FileStampOf(const LocalDateTime& moment);
// The side files of a database path: its folder (up to its last separator, as stored), its
// file name without extension in upper case (a to z only), the tag, the stamp and ".GDB".
std::string RestoredFileName(const std::string& databasePath, char separator, const std::string& fileStamp);
std::string KeptCopyFileName(const std::string& databasePath, char separator, const std::string& fileStamp);

// The length and a 64-bit FNV-1a hash of a file's bytes; raises the file system's failure.
struct FileFingerprint {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const FileFingerprint&) const = default;
};
FileFingerprint FingerprintOf(IFileSystem& files, const std::string& path);

// What one run works with. Every reference outlives the run.
struct BackupRestoreParts {
    TGlobal& global;
    catalogue::TCatalogue& catalogue;
    fb::FirebirdServiceConnection& IBBackup;
    fb::FirebirdServiceConnection& IBRestore; // local protocol
    TActivityLog& log;
    ServiceControl& services;
    IShellLauncher& shell;
    IDatabaseFiles& databaseFiles;
    IDatabaseState& databases; // transactions of the live database, state of the restored one
    IFileSystem& files;
    IClock& clock;
    IActivityView& view;
    const bool& restoreNow; // the window's RestoreNow
};

class TBackupRestoreCycle {
public:
    explicit TBackupRestoreCycle(BackupRestoreParts parts) : p_(parts), stopped_(parts.files) {}

    // One run. A service that an earlier cycle left stopped is started first. Raises when the
    // company list cannot be read (the clock query or the selection failed) or the catalogue
    // cannot be connected again after a company; a failed company is written down and the run
    // goes on.
    void RunBackupRestore();

    // Cycles the company of the current row of QEmpresas and moves to the next row. True when
    // its database was exchanged, the service runs again and the row is stamped.
    bool CycleCompany();

    // The companies of this run whose cycle did not end as asked.
    int FailedCompanies() const { return failedCompanies_; }
    // Whether the run ended before its companies (the month log could not be opened).
    bool CutShort() const { return cutShort_; }

    // Restores `backupFile` into `databaseFile` through IBRestore. True when the restore failed,
    // also when the backup file is no longer what the cycle's backup wrote (a restore of a
    // damaged backup can end without any error and leave wrong values in the new database).
    bool RestoreDatabase(const std::string& backupFile, const std::string& databaseFile);

    // How far the live database's transactions had got before the backup; empty with the
    // reason when that could not be read.
    struct TransactionMark {
        std::optional<std::int64_t> next;
        std::string failure;
    };

    // Restores the backup beside the live database, runs the maintenance script on it and,
    // with the service stopped and nobody else's work since `before`, exchanges the files;
    // then starts the service again. True when the files were exchanged and the service runs.
    bool RestoreAndSwap(const std::string& serverText, const std::string& databasePath, const std::string& backupFile,
                        const std::string& fileStamp, const TransactionMark& before);

private:
    std::string P() const { return p_.log.StampPrefix(); }
    // CODIGO + " - " + NOMBRE of the current row.
    std::string Company() const;
    TransactionMark ReadTransactions(const std::string& database);
    // When this process cannot restore through the local protocol, writes why, moves to the
    // next company and gives true, before anything is stopped.
    bool GiveUpWithoutLocalRestore();
    // With the service stopped: true when the live database may be exchanged; otherwise
    // writes why.
    bool NobodyElseWorked(const std::string& databasePath, const TransactionMark& before);

    BackupRestoreParts p_;
    // Says that the service may be stopped from each stop until a start is confirmed.
    StoppedServiceNote stopped_;
    std::string backupFolder_;
    // The backup file as the cycle's backup left it; empty outside a company's cycle.
    std::optional<FileFingerprint> backupWritten_;
    std::uint32_t backupOptions_ = 0;
    int failedCompanies_ = 0;
    bool cutShort_ = false;
};

} // namespace veltor
