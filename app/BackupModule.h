#pragma once
// The backup module as the activity window and the start-up see it.

#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/FileSystem.h"
#include "ports/MessageBox.h"
#include "ports/RegionalFormats.h"
#include "ports/RunOutcome.h"
#include "ports/ServiceManager.h"
#include "ports/ShellLauncher.h"

#include <memory>

namespace veltor {

class TGlobal;
class TFrmActividad;

// The two runs of the backup module. Both take no arguments, return nothing and may raise;
// while they work they may let pending window events through (IActivityView).
class IBackupModule {
public:
    virtual ~IBackupModule() = default;
    // The scheduled backup of the companies that are due.
    virtual void RunScheduledBackup() = 0;
    // The backup-restore cycle; reads the window's RestoreNow.
    virtual void RunBackupRestore() = 0;
    // What the runs since the module's creation came to.
    virtual RunOutcome Outcome() const = 0;
};

// What the backup module is built from: the two objects created before it and the platform.
// Every reference outlives the module.
struct BackupModuleContext {
    TGlobal& global;
    TFrmActividad& window; // PeriodHours, PeriodMinutes, RestoreNow
    IActivityView& memo;   // MemoActividad and the processing of pending events
    IFileSystem& files;
    IClock& clock;
    IRegionalFormats& regional;
    IMessageBox& messages;           // the application's error box
    IServiceManager& serviceManager; // the database server's service
    IShellLauncher& shell;           // the installation's maintenance script
    IDatabaseFiles& databaseFiles;   // the exchange of a database file for its restored copy
};

// Creates the backup module; called once at start-up, after the window and the configuration
// module exist.
std::unique_ptr<IBackupModule> CreateBackupModule(BackupModuleContext& context);

} // namespace veltor
