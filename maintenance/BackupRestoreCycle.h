#pragma once
// The backup-restore cycle: each selected company's database is backed up through the
// server, restored into a new file beside it, handed to the installation's maintenance
// script and, with the server's service stopped, put in the place of the live file, which is
// kept under a dated name. Every step goes to the memo and the month log.
//
// The exchange only happens when nothing but the cycle itself started a transaction in the
// live database from the moment the server was first stopped to the stop before the
// exchange: work committed in that time is not in the backup, and the restored file would
// drop it. A restored file that is not exchanged is removed; the backup stays.

#include "activity/ActivityLog.h"
#include "backup/BackupFiles.h"
#include "catalogue/CompanyCatalogue.h"
#include "config/Global.h"
#include "dbserver/DatabaseState.h"
#include "dbserver/ServiceControl.h"
#include "maintenance/CycleFiles.h"
#include "maintenance/StoppedService.h"
#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/FileSystem.h"
#include "ports/FirebirdService.h"
#include "ports/ShellLauncher.h"

#include <cstdint>
#include <optional>
#include <string>

namespace veltor {

class BackupOperations;

// The installation's maintenance script, run on every restored file.
inline constexpr const char* kMaintenanceScript = "gfixonline.Bat";
// The time the script is given before the server is stopped for the exchange.
inline constexpr std::uint32_t kMaintenanceScriptPause = 20000;
// What the live database's transaction counter gains between the mark, read while the server
// is stopped, and the check before the exchange when nobody but the cycle reached it: the
// server's first attachment after a start begins one transaction, the backup one more.
// Reading the counter with this process's engine begins none.
inline constexpr std::int64_t kServerFirstAttachmentTransactions = 1;
inline constexpr std::int64_t kOwnBackupTransactions = 1;

// The page size of every restore of a database whose pages are no larger.
inline constexpr std::int32_t kRestorePageSize = 8192;
// The page size the cycle restores a database at, from the size of its live pages: smaller
// pages are raised to kRestorePageSize, larger ones are kept (an index whose keys fit a large
// page may not fit a smaller one, and its restore would fail). Without a reading the answer is
// 0, none is asked of the server, and the restore keeps the backup's own.
std::int32_t RestorePageSize(std::optional<std::uint32_t> livePageSize);

// What one run works with. Every reference outlives the run.
struct BackupRestoreParts {
    TGlobal& global;
    catalogue::ICompanyCatalogue& catalogue;
    fb::IFirebirdService& IBBackup;
    fb::IFirebirdService& IBRestore; // local protocol
    ActivityLog& log;
    ServiceControl& services;
    IShellLauncher& shell;
    IDatabaseFiles& databaseFiles;
    IDatabaseState& databases; // transactions of the live database, state of the restored one
    IFileSystem& files;
    IClock& clock;
    IActivityView& view;
    const bool& restoreNow; // the window's RestoreNow
};

class BackupRestoreCycle {
public:
    explicit BackupRestoreCycle(BackupRestoreParts parts)
        : p_(parts), stopped_(parts.files), catalogueFiles_(parts.catalogue, parts.global.rules()) {}

    // The status file and the kept copies' retention, told how each company's cycle ended.
    void SetOperations(BackupOperations* operations) { operations_ = operations; }

    // One run. A service that an earlier cycle left stopped is started first. Raises when the
    // company list cannot be read (the clock query or the selection failed) or the catalogue
    // cannot be connected again after a company; a failed company is written down and the run
    // goes on. Whatever way a company's cycle ends, a stop of the server's service that may
    // have taken effect is followed by a start.
    void RunBackupRestore();

    // Cycles the company of the current row of QEmpresas and moves to the next row. True when
    // its database was exchanged, the service runs again and the row is stamped.
    bool CycleCompany();

    // The companies of this run whose cycle did not end as asked.
    int FailedCompanies() const { return failedCompanies_; }
    // Whether the run ended before its companies (the month log could not be opened).
    bool CutShort() const { return cutShort_; }
    // The companies of this run not done, in their order: "<code> - <name>: <why>".
    const std::vector<std::string>& NotDone() const { return notDone_; }

    enum class RestoreOutcome { Completed, Failed };
    // Restores `backupFile` into `databaseFile` through IBRestore, at `pageSize` (0: the
    // backup's). Failed also when the backup file is no longer what the cycle's backup wrote (a
    // restore of a damaged backup can end without any error and leave wrong values in the new
    // database).
    [[nodiscard]] RestoreOutcome RestoreDatabase(const std::string& backupFile, const std::string& databaseFile,
                                                 std::int32_t pageSize);

    // How far the live database's transactions had got, and with the first reading the size of
    // its pages; empty with the reason when that could not be read.
    struct TransactionMark {
        std::optional<std::int64_t> next;
        std::optional<std::uint32_t> pageSize;
        std::string failure;
    };

private:
    // The values of the company being cycled.
    struct CompanyCycle {
        std::string id;
        std::string server;
        std::string databasePath;
        std::string fileStamp; // fixed when the first stop is confirmed
    };
    struct BackupMade {
        std::string file;
        std::string stampTime; // HHmm
    };

    // How one company's cycle ended.
    enum class CompanyEnd { GivenUpBeforeTheStop, NotDone, Done };
    // The same for the status file: the first way out taken (kCycle...) and why, and the kept
    // copy of a swap.
    struct Outcome {
        std::string kind;
        std::string why;
        std::string keptCopyFile;
    };
    // Notes the way out unless one is noted already.
    void EndsAs(const char* kind, const std::string& why);
    // The steps of one company, from the files a cut-short cycle left to the stamp.
    CompanyEnd CycleSteps(CompanyCycle& company);
    bool HasRoom(const CompanyCycle& company);
    std::optional<BackupMade> BackUp(const CompanyCycle& company);
    // True when the restored file took the live name and the service runs again.
    bool RestoreAndSwap(const CompanyCycle& company, const BackupMade& backup, const TransactionMark& before,
                        ServiceOutage& outage);
    // True when the service runs again.
    bool StartAgain(ServiceOutage& outage);
    // True when the row was stamped.
    bool Stamp(const CompanyCycle& company, const BackupMade& backup);

    // With the service stopped: true when the live database may be exchanged; otherwise
    // writes why.
    bool NobodyElseWorked(const std::string& databasePath, const TransactionMark& before);
    bool MatchAccess(const std::string& databasePath, const std::string& restoredFile);
    void RemoveRestored(const std::string& restoredFile);
    TransactionMark ReadTransactions(const std::string& database);
    // The same and the page size, with the server stopped before the backup.
    TransactionMark MarkLiveDatabase(const std::string& database);
    // When this process cannot restore through the local protocol, writes why and gives true,
    // before anything is stopped.
    bool GiveUpWithoutLocalRestore();
    // When the server text names another port than the default instance's, whose service is the
    // one this cycle stops, writes why and gives true, before anything is stopped.
    bool GiveUpOnAnotherServer(const CompanyCycle& company);
    // When the server says that the live database is read-only, writes why and gives true,
    // before anything is stopped; a question that fails leaves the cycle to go on.
    bool GiveUpReadOnly(const CompanyCycle& company);

    std::string P() const { return p_.log.StampPrefix(); }
    // CODIGO + " - " + NOMBRE of the current row.
    std::string Company() const;
    // The same stamped line to the month log and the memo.
    void LogAndMemo(const std::string& text);

    BackupRestoreParts p_;
    // Says that the service may be stopped from each stop until a start is confirmed.
    StoppedServiceNote stopped_;
    std::string backupFolder_;
    CatalogueFiles catalogueFiles_;
    // The backup file as the cycle's backup left it; empty outside a company's cycle.
    std::optional<FileFingerprint> backupWritten_;
    std::uint32_t backupOptions_ = 0;
    int failedCompanies_ = 0;
    bool cutShort_ = false;
    std::vector<std::string> notDone_;
    BackupOperations* operations_ = nullptr;
    Outcome outcome_;
};

} // namespace veltor
