#pragma once
// What the backup module is made from, and its maker. The programs' composition roots call
// it once at start-up, after the window and the configuration module exist, with the client
// library they loaded.

#include "config/Global.h"
#include "dbserver/FbClientApi.h"
#include "ports/ActivityView.h"
#include "ports/BackupModule.h"
#include "ports/CheckedCopy.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/EventLog.h"
#include "ports/FileSystem.h"
#include "ports/HookRunner.h"
#include "ports/MessageBox.h"
#include "ports/RegionalFormats.h"
#include "ports/ServiceManager.h"
#include "ports/ShellLauncher.h"

#include <memory>

namespace veltor {

// Every reference outlives the module.
struct BackupModuleContext {
    TGlobal& global;
    IActivityView& memo; // MemoActividad and the processing of pending events
    IFileSystem& files;
    IClock& clock;
    IRegionalFormats& regional;
    IMessageBox& messages;           // the application's error box
    IServiceManager& serviceManager; // the database server's service
    IShellLauncher& shell;           // the installation's maintenance script
    IDatabaseFiles& databaseFiles;   // the exchange of a database file for its restored copy
    // The system's event log, told of every run that leaves companies not done; none where the
    // program has no such log (the window, Linux: the memo and standard output tell it).
    IEventLog* events = nullptr;
    // The copy of every good backup into a second folder, and the administrator's scripts after
    // a backup and after a failed run; none where the program does without them.
    ICheckedCopier* copier = nullptr;
    IHookRunner* scripts = nullptr;
};

std::unique_ptr<IBackupModule> CreateBackupModule(BackupModuleContext& context, const fb::ClientApi& firebird);

} // namespace veltor
