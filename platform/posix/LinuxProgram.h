#pragma once
// What both Linux programs, the window and the headless one, run on: the POSIX adapters of
// every port but the GUI's, alive for the whole program. The composition root: the one place
// that picks the adapters, loads the client library and makes the backup module with them.

#include "app/Startup.h"
#include "dbserver/UnavailableClient.h"
#include "maintenance/BackupModule.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixElevation.h"
#include "platform/posix/PosixMaintenance.h"
#include "platform/posix/PosixPlatform.h"

#include <memory>

namespace veltor::posix {

struct LinuxProgram {
    PosixElevation elevation;
    PosixFileSystem files{kDatabaseServerGroup};
    PosixClock clock;
    PosixRegionalFormats regional;
    PosixOsVersion osVersion;
    std::unique_ptr<IServiceManager> services = MakeLinuxServiceManager();
    PosixShellLauncher shell;
    PosixDatabaseFiles databaseFiles;

    // The start-up's ports with the given front end.
    StartupPorts Ports(IGuiApplication& gui) {
        return {elevation,
                gui,
                osVersion,
                files,
                LinuxConfigurationRules(),
                [this](TGlobal& global, IActivityView& memo, IMessageBox& errorBox) {
                    BackupModuleContext context{global,   memo,      files, clock,        regional,
                                                errorBox, *services, shell, databaseFiles};
                    return CreateBackupModule(context, fb::LoadClientApiOrUnavailable());
                }};
    }
};

} // namespace veltor::posix
