#pragma once
// The backup module: everything that touches the database server — the catalogue
// connection with its company list, the backup and restore service connections and the
// one month-log handle — and the two runs the activity window starts.

#include "activity/ActivityLog.h"
#include "backup/Operations.h"
#include "backup/ScheduledBackup.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/DatabaseState.h"
#include "dbserver/FirebirdService.h"
#include "dbserver/ServiceControl.h"
#include "maintenance/BackupModule.h"
#include "maintenance/CompanyRestore.h"
#include "maintenance/ServiceMemo.h"

namespace veltor {

// Ends the Firebird client library's work in this process when the backup module goes: a
// local restore runs engine threads here, and a process that exits under them can crash on
// its way out. As a base it is destroyed after every member that used the library.
class FirebirdClientSession {
public:
    explicit FirebirdClientSession(const fb::ClientApi& api) : api_(api) {}
    ~FirebirdClientSession() { api_.shutdown(kShutdownWaitMilliseconds, fb::kShutdownApplicationStopped); }
    FirebirdClientSession(const FirebirdClientSession&) = delete;
    FirebirdClientSession& operator=(const FirebirdClientSession&) = delete;

private:
    static constexpr unsigned int kShutdownWaitMilliseconds = 10000;
    const fb::ClientApi& api_;
};

class TDatosLic : private FirebirdClientSession, public IBackupModule {
public:
    TDatosLic(BackupModuleContext& context, const fb::ClientApi& firebird);
    ~TDatosLic() override;
    TDatosLic(const TDatosLic&) = delete;
    TDatosLic& operator=(const TDatosLic&) = delete;

    void RunScheduledBackup(const std::string& periodHours, const std::string& periodMinutes) override;
    void RunBackupRestore(bool restoreNow) override;
    std::unique_ptr<IRunLock> LockRuns() override;
    void ListBackups(const std::string& code) override;
    void RunRestore(const RestoreOrder& order, IConfirmation& confirmation) override;
    RunOutcome Outcome() const override { return outcome_; }

private:
    const fb::ClientApi& firebird_; // for the connections of backups made at once

public:
    catalogue::Catalogue Catalogue; // BDAdmin, QEmpresas, QConsultaEmpresas
    fb::FirebirdService IBBackup;
    fb::FirebirdService IBRestore;
    fb::FirebirdService IBVerify; // restores each backup to check it, when asked
    ActivityLog Log;
    ServiceControl Services; // the database server's service

private:
    CompanyRestoreParts RestoreParts();
    // The event of a run that left companies not done, and the failure script.
    void RunEnded(const char* run, bool cutShort, const std::vector<std::string>& notDone);
    // What a command on one company's backups came to, in the outcome.
    void CountEnding(CompanyRestore::Ending ending);

    // The context's members live until the process ends; the context object itself need not.
    TGlobal& global_;
    IActivityView& memo_;
    IFileSystem& files_;
    IClock& clock_;
    IShellLauncher& shell_;
    IDatabaseFiles& databaseFiles_;
    IEventLog* events_;
    FirebirdDatabaseState databases_;
    ActivityLogServiceMemo serviceMemo_;
    RunOutcome outcome_;
    FirebirdRestoredDatabase restoredDatabases_;

public:
    BackupOperations Operations; // the status file, verification and retention
};

} // namespace veltor
