#pragma once
// What the composition roots of both platforms share: the start-up's ports made from one
// platform's adapters, whose backup module is made from those adapters and the client library
// loaded then. No OS header: each platform's program picks the adapters.

#include "app/Startup.h"
#include "dbserver/UnavailableClient.h"
#include "maintenance/BackupModule.h"
#include "ports/CheckedCopy.h"
#include "ports/Clock.h"
#include "ports/DatabaseFiles.h"
#include "ports/Elevation.h"
#include "ports/FileSystem.h"
#include "ports/HookRunner.h"
#include "ports/OsVersion.h"
#include "ports/RegionalFormats.h"
#include "ports/ServiceManager.h"
#include "ports/ShellLauncher.h"

#include <utility>

namespace veltor {

// The adapters of every port but the GUI's. Every reference outlives the ports made from them.
struct ProgramAdapters {
    IElevation& elevation;
    const IOsVersion& osVersion;
    IFileSystem& files;
    IClock& clock;
    IRegionalFormats& regional;
    IServiceManager& services;
    IShellLauncher& shell;
    IDatabaseFiles& databaseFiles;
    ICheckedCopier* copier = nullptr;
    IHookRunner* scripts = nullptr;
};

// The start-up's ports with the given front end and configuration rules; the backup module
// tells `events`, when given, of the runs that leave companies not done.
inline StartupPorts MakeProgramPorts(const ProgramAdapters& adapters, IGuiApplication& gui, ConfigurationRules rules,
                                     IEventLog* events = nullptr) {
    return {adapters.elevation,
            gui,
            adapters.osVersion,
            adapters.files,
            std::move(rules),
            [adapters, events](TGlobal& global, IActivityView& memo, IMessageBox& errorBox) {
                BackupModuleContext context{global,
                                            memo,
                                            adapters.files,
                                            adapters.clock,
                                            adapters.regional,
                                            errorBox,
                                            adapters.services,
                                            adapters.shell,
                                            adapters.databaseFiles,
                                            events,
                                            adapters.copier,
                                            adapters.scripts};
                return CreateBackupModule(context, fb::LoadClientApiOrUnavailable());
            }};
}

} // namespace veltor
