#pragma once
// What the runs do beside their backups: the status file after every company, and the
// operations an installation asks for in ADMINBD.inf (verification of every scheduled backup,
// retention of old backups and kept copies). The runs call it at a few points; with none of
// its keys in ADMINBD.inf it writes nothing but the status file.

#include "activity/ActivityLog.h"
#include "backup/BackupFiles.h"
#include "backup/CompanyLines.h"
#include "backup/Retention.h"
#include "backup/SecondCopy.h"
#include "backup/Verification.h"
#include "catalogue/CompanyCatalogue.h"
#include "config/Global.h"
#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"
#include "ports/FirebirdService.h"
#include "status/StatusFile.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace veltor {

// The company a run works on, read from its current row.
struct CompanyRef {
    std::string id; // EMPRESAID
    std::string code;
    std::string name;
    std::string databasePath; // ARCHIVO
    std::string Text() const { return code + " - " + name; }
};

struct OperationsParts {
    TGlobal& global;
    catalogue::ICompanyCatalogue& catalogue;
    ActivityLog& log;
    IFileSystem& files;
    IClock& clock;
    IActivityView& view;
    fb::IFirebirdService& verifyService; // set to TCP for each verification
    IRestoredDatabase& databases;
    // The second copy's copier and the administrator's scripts; none: neither is done.
    ICheckedCopier* copier = nullptr;
    IHookRunner* scripts = nullptr;
};

class BackupOperations {
public:
    explicit BackupOperations(OperationsParts parts);

    // At the start of a run, after the configuration is read: takes the keys and the status file
    // of `backupFolder` (which ends with its separator). A key whose value is not understood is
    // said once in the memo, and in the month log when the run opens it (LogOpened).
    void RunStarted(const std::string& backupFolder);
    // The run opened its section of the month log: what was said in the memo only goes there too.
    void LogOpened();

    // Whether VERIFICARBACKUP asks for every scheduled backup to be verified.
    bool VerificationAsked() const { return verify_; }
    // How many backups BACKUPSPARALELO asks a scheduled run to make at once (1: one after another).
    int ParallelBackups() const { return parallel_; }
    // Verifies the backup of `company` that the server wrote, whole, to `backupFile`, against
    // the tables its verbose `output` reported, through `service` (none: the verification's
    // own); writes the lines of the verification to `lines`. Changes nothing of this object,
    // so that backups running at once each verify their own.
    VerificationResult Verify(const CompanyRef& company, const std::string& backupFile,
                              const std::vector<std::string>& output, CompanyLines& lines,
                              fb::IFirebirdService* service = nullptr) const;

    // The scheduled backup of a company was published as `backupFile` (verified or not, as
    // `verified` says): writes the outcome down and removes the backups beyond those to keep.
    // `nextTransaction` is the database's transaction counter read just before the backup.
    void BackupDone(const CompanyRef& company, const std::string& backupFile, const LocalDateTime& started,
                    double seconds, std::optional<bool> verified,
                    std::optional<std::int64_t> nextTransaction = std::nullopt);
    // The scheduled backup failed, `message` says why. With `verificationFailed` the backup was
    // whole but failed its verification, and `keptFile` is where it was kept (older such files of
    // the company go).
    void BackupFailed(const CompanyRef& company, const LocalDateTime& started, const std::string& message,
                      bool verificationFailed = false, const std::string& keptFile = {});
    void BackupSkipped(const CompanyRef& company, const std::string& why);

    // A company's backup-restore cycle ended with `outcome` (kCycle...); after a swap the kept
    // copies beyond those to keep are removed (never `keptCopyFile`, just made).
    void CycleEnded(const CompanyRef& company, const std::string& outcome, const std::string& message,
                    const std::string& keptCopyFile = {});

    // The scheduled run's companies are done (its month log still open): what earlier runs could
    // not copy into the second folder is copied now.
    void CatchUpCopies();
    // A run ended with companies not done, as `summary` says in one line: the failure script.
    void RunFailed(const std::string& summary) { secondCopy_.RunFailed(summary); }

    // A restore of the company ended as `record` says.
    void RestoreEnded(const CompanyRef& company, const RestoreRecord& record);

    const StatusBook& book() const { return book_; }

private:
    std::string P() const { return p_.log.StampPrefix(); }
    void LogAndMemo(const std::string& line);
    CopiedCompany CopiedOf(const CompanyRef& company);
    // Writes the status file, without the companies that left the catalogue. Never raises.
    void Save();
    // Every company's database file, read once a run; nothing when unreadable.
    const std::optional<std::vector<catalogue::CompanyFile>>& Companies() { return catalogueFiles_.Companies(); }
    // Whether another database of the catalogue keeps its copies under the same names (the same
    // folder and `base`); said once a run in the memo.
    bool CopyBaseShared(const CompanyRef& company, const std::string& base);
    // Says once a run, in the memo, why no file of `stem` is removed.
    void SayNothingRemoved(const std::string& what, const std::string& stem, const std::string& why);
    void RemoveBackupsBeyondKeep(const CompanyRef& company, const CompanyStatus& status, const std::string& backupFile);
    void RemoveOlderFailedVerifications(const CompanyRef& company, const std::string& kept);
    // A key's value that is not understood: the memo now, the log when it opens; once a value.
    void SayNotUnderstood(const std::string& line, const std::optional<std::string>& value,
                          std::optional<std::string>& said);
    bool IgnoreCase() const { return p_.global.rules().upperCaseValues; }
    char Separator() const { return p_.global.rules().pathSeparator; }

    OperationsParts p_;
    std::string statusPath_;
    StatusBook book_;
    RetentionSetting keepBackups_;
    RetentionSetting keepCopies_;
    bool verify_ = false;
    int parallel_ = 1;
    // The values not understood that were already said, so each is said once.
    std::optional<std::string> saidBackups_;
    std::optional<std::string> saidCopies_;
    std::optional<std::string> saidVerify_;
    std::optional<std::string> saidParallel_;
    // Said in the memo, still to go to the month log.
    std::vector<std::string> forTheLog_;
    CatalogueFiles catalogueFiles_;
    std::set<std::string> nothingRemovedSaid_;
    SecondCopy secondCopy_;
};

} // namespace veltor
