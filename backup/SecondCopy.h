#pragma once
// The second copy: every good backup also copied, whole and checked, into a folder on another
// disk or machine (COPIAEXTERNA), with the copies beyond those to keep removed there
// (CONSERVAREXTERNAS) and what earlier runs could not copy caught up; and the administrator's
// scripts, run after each good backup (SCRIPTBACKUP) and after a run that left a company not
// done (SCRIPTFALLO). A copy or a script that fails is said and recorded, and never makes a
// backup fail. With none of the keys nothing is done.

#include "activity/ActivityLog.h"
#include "backup/BackupFiles.h"
#include "backup/Retention.h"
#include "config/Global.h"
#include "ports/CheckedCopy.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"
#include "ports/HookRunner.h"
#include "status/StatusFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltor {

// How long a copy may take before it is given up: a fixed part, and the time of its size at the
// slowest rate still waited for. A share that hangs costs a run one bound at the most: the
// catch-up stops at its first failure.
inline constexpr std::uint32_t kCopyFixedSeconds = 300;
inline constexpr std::uint64_t kCopySlowestBytesPerSecond = 2 * 1024 * 1024;
std::uint32_t CopyLimitSeconds(std::uint64_t bytes);
// How long a script may run; one that reaches it is not started again in the run.
inline constexpr std::uint32_t kScriptSeconds = 600;

struct SecondCopyParts {
    ActivityLog& log;
    IFileSystem& files;
    IClock& clock;
    ICheckedCopier* copier = nullptr; // none: no copies
    IHookRunner* scripts = nullptr;   // none: no scripts
};

// A company as the second copy names it: its id and code, and the naming of its backups.
struct CopiedCompany {
    std::string id;
    std::string code;
    std::string name;
    std::string Text() const { return code + " - " + name; }
    BackupNaming naming;
};

class SecondCopy {
public:
    explicit SecondCopy(SecondCopyParts parts) : p_(parts) {}

    // The keys of a run; `notUnderstood` says a value that is not understood (once a value).
    using NotUnderstood = std::function<void(const std::string& line, const std::optional<std::string>& value,
                                             std::optional<std::string>& said)>;
    void RunStarted(const TGlobal& global, const std::string& backupFolder, const NotUnderstood& notUnderstood);
    bool CopiesAsked() const { return !folder_.empty() && p_.copier; }
    bool BackupScriptAsked() const { return p_.scripts && backupScript_; }
    // The second folder, with its final separator; empty when no copies are asked.
    const std::string& folder() const { return folder_; }

    // A good backup of `company` was published as `backupFile`: its copy (recorded in
    // `status`), the copies beyond those to keep, then the backup script.
    void AfterGoodBackup(const CopiedCompany& company, const std::string& backupFile, CompanyStatus& status);

    // The good backups of `companies` (their records in `book`) that are still in the backup
    // folder and have no copy yet: the newest of each company first, then the older ones,
    // newest first. Stops at the first copy that fails. `save` is called after each copy.
    void CatchUp(const std::vector<CopiedCompany>& companies, StatusBook& book, bool verifiedOnly,
                 const std::function<void()>& save);

    // The failure script, with the run's one-line summary; its line goes to the month log of
    // the backup folder too.
    void RunFailed(const std::string& summary);

private:
    bool Copy(const CopiedCompany& company, const std::string& backupFile, CompanyStatus& status);
    void RemoveCopiesBeyondKeep(const CopiedCompany& company, const std::string& justCopied);
    void RunScript(const std::optional<std::string>& script, bool& hung, const std::vector<std::string>& arguments);
    void Say(const std::string& text) { WriteLogAndMemo(p_.log, p_.log.StampPrefix() + text); }

    SecondCopyParts p_;
    std::string folder_;
    char separator_ = '/';
    bool ignoreCase_ = false;
    RetentionSetting keep_;
    std::optional<std::string> backupScript_;
    std::optional<std::string> failureScript_;
    bool backupScriptHung_ = false;
    bool failureScriptHung_ = false;
    std::string backupFolder_;
    bool copyFailed_ = false; // a copy of this run failed
    std::optional<std::string> saidKeep_;
    std::optional<std::string> saidFolder_;
};

} // namespace veltor
