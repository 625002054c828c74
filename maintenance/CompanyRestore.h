#pragma once
// The way back: a backup of one company restored into a new database, to look at it first, or
// in place of the company's live database with the guarantees of the backup-restore cycle. The
// room is checked before anything; the backup is restored beside the live file under the
// restored name, must come out open for use and gets the live file's owner and access; the
// server's service is stopped only for the exchange, which keeps the live file under its kept
// name (so a replacement too can be undone), and is started again on every way out. What would
// be replaced is shown and confirmed at the terminal first, unless the order says yes. Every
// step goes to the memo and the month log; the status file records the company's last restore.

#include "activity/ActivityLog.h"
#include "backup/Operations.h"
#include "catalogue/CompanyCatalogue.h"
#include "config/Global.h"
#include "dbserver/DatabaseState.h"
#include "dbserver/ServiceControl.h"
#include "maintenance/BackupChoice.h"
#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/FileSystem.h"
#include "ports/FirebirdService.h"
#include "ports/Restore.h"

#include <optional>
#include <string>

namespace veltor {

// What a restore works with. Every reference outlives it.
struct CompanyRestoreParts {
    TGlobal& global;
    catalogue::ICompanyCatalogue& catalogue;
    fb::IFirebirdService& throughServer; // a new database: the server writes it
    fb::IFirebirdService& local;         // the restored file beside the live one
    ActivityLog& log;
    ServiceControl& services;
    IDatabaseFiles& databaseFiles;
    IDatabaseState& databases;
    IFileSystem& files;
    IClock& clock;
    IActivityView& view;
    BackupOperations& operations; // the status file, and whether backups are verified
};

class CompanyRestore {
public:
    explicit CompanyRestore(CompanyRestoreParts parts) : p_(parts) {}

    enum class Ending {
        Refused, // nothing was touched: an unknown company, a bad backup or path, no room, no yes
        Failed,  // a step failed on the way; the live database is as it was
        Done,
    };

    // Writes the backups of the company with CODIGO `code` to the memo, newest first.
    Ending List(const std::string& code);
    // Restores as `order` says. A replacement needs the installation's run lock, taken by the
    // caller.
    Ending Restore(const RestoreOrder& order, IConfirmation& confirmation);

private:
    struct Company {
        catalogue::CompanyFile file;
        BackupNaming naming; // of its backups, among the catalogue's databases
        std::string Text() const { return file.code + " - " + file.name; }
    };

    // Reads the configuration and the status file.
    void Prepare();
    // The company of `code` in the catalogue; nothing, with the line that says why, when it is
    // missing or the catalogue cannot be read.
    std::optional<Company> FindCompany(const std::string& code);
    // The company's backups in `folder` with their sizes; raises when the folder cannot be read.
    std::vector<CompanyBackup> Backups(const Company& company, const std::string& folder);
    // The folder of the second copies (COPIAEXTERNA), with its separator; empty when none.
    std::string SecondFolder() const;
    // The backup the order names, or the newest good one; nothing, with a line, when there is
    // none that may be restored.
    std::optional<CompanyBackup> ChooseBackup(const Company& company, const RestoreOrder& order);
    // True when the backup's own header names the company's database; false when it names
    // another one (otherDatabase_ then says which); nothing, with a line, when the file is not
    // a backup.
    std::optional<bool> OfTheCompanysDatabase(const Company& company, const CompanyBackup& backup);

    Ending RestoreToNewFile(const Company& company, const CompanyBackup& backup, const std::string& target);
    Ending ReplaceLive(const Company& company, const CompanyBackup& backup, bool otherDatabase,
                       const RestoreOrder& order, IConfirmation& confirmation);
    // What the replacement puts in place of what, for the person who confirms it.
    std::vector<std::string> WhatIsReplaced(const Company& company, const CompanyBackup& backup);
    bool Restored(fb::IFirebirdService& service, const std::string& serverText, const std::string& backup,
                  const std::string& target, unsigned options, const std::string& onlineCheck);
    void RemoveRestored(const std::string& path);

    // Opens the month log section of the restore; false (with the memo's line) when it cannot.
    bool OpenLog();
    void CloseLog();
    Ending Refuse(const Company* company, const std::string& why);
    Ending Fail(const Company& company, const std::string& why);
    void Record(const Company& company, const char* outcome, const std::string& why, const CompanyBackup& backup,
                const std::string& target, bool replaced);
    std::string P() const { return p_.log.StampPrefix(); }
    // The same stamped line to the month log (while open) and the memo.
    void LogAndMemo(const std::string& text);
    bool IgnoreCase() const { return p_.global.rules().upperCaseValues; }
    char Separator() const { return p_.global.rules().pathSeparator; }

    CompanyRestoreParts p_;
    std::string backupFolder_;
    bool logOpen_ = false;
    std::string otherDatabase_;
};

} // namespace veltor
