#include "maintenance/DatosLic.h"

#include "backup/BackupFiles.h"
#include "config/PathParts.h"
#include "maintenance/BackupRestoreCycle.h"
#include "maintenance/CompanyRestore.h"
#include "maintenance/RunEvents.h"
#include "maintenance/RunLock.h"
#include "maintenance/StoppedService.h"

#include <exception>

namespace veltor {

TDatosLic::TDatosLic(BackupModuleContext& context, const fb::ClientApi& firebird)
    : FirebirdClientSession(firebird), firebird_(firebird), Catalogue(firebird), IBBackup(firebird),
      IBRestore(firebird), IBVerify(firebird), Log(context.files, context.clock, context.regional, context.memo),
      Services(context.serviceManager, serviceMemo_), global_(context.global), memo_(context.memo),
      files_(context.files), clock_(context.clock), shell_(context.shell), databaseFiles_(context.databaseFiles),
      events_(context.events), databases_(firebird), serviceMemo_(Log), restoredDatabases_(firebird),
      Operations({global_, Catalogue, Log, files_, clock_, memo_, IBVerify, restoredDatabases_, context.copier,
                  context.scripts}) {
    IBBackup.SetProtocol(fb::ServiceProtocol::Tcp);
    IBRestore.SetProtocol(fb::ServiceProtocol::Local);
}

TDatosLic::~TDatosLic() {
    try {
        if (Log.isMonthLogOpen()) Log.CloseMonthLog();
    } catch (const std::exception&) {
        // Leaving the process: nothing is left to tell.
    }
}

std::unique_ptr<IRunLock> TDatosLic::LockRuns() {
    std::unique_ptr<IRunLock> lock = veltor::LockRuns(files_, Log);
    // The runs asked for did not start.
    if (!lock) outcome_.cutShort = true;
    return lock;
}

void TDatosLic::RunEnded(const char* run, bool cutShort, const std::vector<std::string>& notDone) {
    if (events_) ReportRunEnd(*events_, run, cutShort, notDone);
    if (const std::string summary = RunEndSummary(run, cutShort, notDone); !summary.empty())
        Operations.RunFailed(summary);
}

void TDatosLic::RunScheduledBackup(const std::string& periodHours, const std::string& periodMinutes) {
    // The backups need the server: a service that a cycle cut short left stopped starts first.
    StoppedServiceNote note(files_);
    StartServiceLeftStopped(note, Services, Log,
                            WorkingBackupFolder(global_.BackupFolder, global_.rules().pathSeparator));
    ScheduledBackup run({global_, Catalogue, IBBackup, Log, files_, clock_, memo_, periodHours, periodMinutes,
                         [this]() -> std::unique_ptr<fb::IFirebirdService> {
                             return std::make_unique<fb::FirebirdService>(firebird_);
                         }});
    run.SetOperations(&Operations);
    run.SetDatabaseState(&databases_);
    try {
        run.RunScheduledBackup();
    } catch (...) {
        outcome_.cutShort = true;
        outcome_.failedCompanies += run.FailedCompanies();
        RunEnded("Backup", true, run.NotDone());
        throw;
    }
    RunEnded("Backup", run.CutShort(), run.NotDone());
    outcome_.cutShort = outcome_.cutShort || run.CutShort();
    outcome_.failedCompanies += run.FailedCompanies();
}

void TDatosLic::RunBackupRestore(bool restoreNow) {
    BackupRestoreCycle cycle({global_, Catalogue, IBBackup, IBRestore, Log, Services, shell_, databaseFiles_,
                              databases_, files_, clock_, memo_, restoreNow});
    cycle.SetOperations(&Operations);
    try {
        cycle.RunBackupRestore();
    } catch (...) {
        outcome_.cutShort = true;
        outcome_.failedCompanies += cycle.FailedCompanies();
        RunEnded("Backup-Restore", true, cycle.NotDone());
        throw;
    }
    RunEnded("Backup-Restore", cycle.CutShort(), cycle.NotDone());
    outcome_.cutShort = outcome_.cutShort || cycle.CutShort();
    outcome_.failedCompanies += cycle.FailedCompanies();
}

void TDatosLic::CountEnding(CompanyRestore::Ending ending) {
    switch (ending) {
    case CompanyRestore::Ending::Refused:
        outcome_.cutShort = true;
        break;
    case CompanyRestore::Ending::Failed:
        ++outcome_.failedCompanies;
        break;
    case CompanyRestore::Ending::Done:
        break;
    }
}

CompanyRestoreParts TDatosLic::RestoreParts() {
    return {global_,        Catalogue,  IBBackup, IBRestore, Log,   Services,
            databaseFiles_, databases_, files_,   clock_,    memo_, Operations};
}

void TDatosLic::ListBackups(const std::string& code) {
    CompanyRestore restore(RestoreParts());
    CountEnding(restore.List(code));
}

void TDatosLic::RunRestore(const RestoreOrder& order, IConfirmation& confirmation) {
    // A replacement stops the server: no run of another process may be working meanwhile, and
    // none may start before the server runs again. A restore into a new file touches nothing of
    // theirs.
    std::unique_ptr<IRunLock> lock;
    if (order.replace) {
        lock = veltor::LockRuns(files_, Log);
        if (!lock) {
            outcome_.cutShort = true;
            return;
        }
    }
    CompanyRestore restore(RestoreParts());
    CountEnding(restore.Restore(order, confirmation));
}

std::unique_ptr<IBackupModule> CreateBackupModule(BackupModuleContext& context, const fb::ClientApi& firebird) {
    auto module = std::make_unique<TDatosLic>(context, firebird);
    // Which library the program works with, or why there is none: the first thing an
    // administrator needs to know when the backups fail.
    const fb::ClientLibraryFacts& library = fb::LoadedClientLibrary();
    if (!library.loadedFrom.empty())
        module->Log.WriteMemoLine(module->Log.StampPrefix() + " Biblioteca cliente de Firebird: " + library.loadedFrom);
    else if (!library.missing.empty())
        module->Log.WriteMemoLine(module->Log.StampPrefix() +
                                  " No está disponible la biblioteca cliente de Firebird: " + library.missing);
    return module;
}

} // namespace veltor
