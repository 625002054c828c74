#pragma once
// What both Linux programs, the window and the headless one, run on: the POSIX adapters of
// every port but the GUI's, alive for the whole program. The composition root: the one place
// that picks the adapters; platform/ProgramPorts.h makes the backup module with them.

#include "platform/ProgramPorts.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixCheckedCopier.h"
#include "platform/posix/PosixElevation.h"
#include "platform/posix/PosixHookRunner.h"
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
    PosixCheckedCopier copier;
    PosixHookRunner scripts;

    // The start-up's ports with the given front end.
    StartupPorts Ports(IGuiApplication& gui) {
        return MakeProgramPorts(
            {elevation, osVersion, files, clock, regional, *services, shell, databaseFiles, &copier, &scripts}, gui,
            LinuxConfigurationRules());
    }
};

} // namespace veltor::posix
