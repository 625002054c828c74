#pragma once
// What the runs do beside their backups: the status file after every company, and the
// operations an installation asks for in ADMINBD.inf (verification of every scheduled backup,
// retention of old backups and kept copies). The runs call it at a few points; with none of
// its keys in ADMINBD.inf it writes nothing but the status file.

#include "backup/ActivityLog.h"
#include "backup/Retention.h"
#include "backup/StatusFile.h"
#include "backup/Verification.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/FirebirdServiceConnection.h"
#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"

#include <optional>
#include <set>
#include <string>
#include <utility>
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
    catalogue::TCatalogue& catalogue;
    TActivityLog& log;
    IFileSystem& files;
    IClock& clock;
    IActivityView& view;
    fb::FirebirdServiceConnection& verifyService; // set to TCP for each verification
    IRestoredDatabase& databases;
};

class TOperations {
public:
    explicit TOperations(OperationsParts parts);

    // At the start of a run, after the configuration is read: takes the keys and the status file
    // of `backupFolder` (which ends with its separator). An unusable retention value is said
    // once in the memo.
    void RunStarted(const std::string& backupFolder);

    // The scheduled backup of a company wrote `backupFile` without error: verifies it when
    // asked, writes the outcome down and, when it is good, removes the backups beyond those
    // to keep. False when the backup failed its verification.
    bool BackupDone(const CompanyRef& company, const std::string& backupFile, const LocalDateTime& started,
                    double seconds, const std::vector<std::string>& output);
    void BackupFailed(const CompanyRef& company, const LocalDateTime& started, const std::string& message);
    void BackupSkipped(const CompanyRef& company, const std::string& why);

    // A company's backup-restore cycle ended with `outcome` (kCycle...); after a swap the kept
    // copies beyond those to keep are removed (never `keptCopyFile`, just made).
    void CycleEnded(const CompanyRef& company, const std::string& outcome, const std::string& message,
                    const std::string& keptCopyFile = {});

    const StatusBook& book() const { return book_; }

private:
    std::string P() const { return p_.log.StampPrefix(); }
    void LogAndMemo(const std::string& line);
    // Writes the status file, without the companies that left the catalogue. Never raises.
    void Save();
    // EMPRESAID and ARCHIVO of every company, read once a run; nothing when unreadable.
    const std::optional<std::vector<std::pair<std::string, std::string>>>& Companies();
    // Whether another database of the catalogue gives files of the same name (`stemOf` of its
    // path equal to `stem`); said once a run in the memo.
    bool StemShared(const CompanyRef& company, const std::string& stem, bool copies);
    void RemoveBeyondKeep(const std::string& folder, const std::string& stem, const MadeFileKind& kind, long long keep,
                          const std::set<std::string>& protect);
    void SayUnusable(const char* key, const std::optional<std::string>& value, std::optional<std::string>& said);
    bool IgnoreCase() const { return p_.global.rules().upperCaseValues; }
    char Separator() const { return p_.global.rules().pathSeparator; }

    OperationsParts p_;
    TBackupVerifier verifier_;
    std::string statusPath_;
    StatusBook book_;
    RetentionSetting keepBackups_;
    RetentionSetting keepCopies_;
    bool verify_ = false;
    // The unusable values already said, so each is said once.
    std::optional<std::string> saidBackups_;
    std::optional<std::string> saidCopies_;
    std::optional<std::optional<std::vector<std::pair<std::string, std::string>>>> companies_;
    std::set<std::string> sharedStemsSaid_;
};

} // namespace veltor
