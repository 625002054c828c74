// veltor-backups-console: the program without a screen.

#include "app/Startup.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/console/PosixStopSignals.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixElevation.h"
#include "platform/posix/PosixMaintenance.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixProcess.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Run(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    veltor::posix::PosixElevation elevation;
    veltor::posix::PosixFileSystem files(veltor::posix::kDatabaseServerGroup);
    veltor::posix::PosixClock clock;
    veltor::posix::PosixRegionalFormats regional;
    veltor::posix::PosixOsVersion osVersion;
    const auto services = veltor::posix::MakeLinuxServiceManager();
    veltor::posix::PosixShellLauncher shell;
    veltor::posix::PosixDatabaseFiles databaseFiles;
    veltor::console::PosixStopSignals stops;
    veltor::console::ConsoleApplication gui(veltor::console::ModeOf(arguments), stdout, stderr, &stops);
    veltor::StartupPorts ports{
        elevation, gui, osVersion, files, clock, regional, *services, shell, databaseFiles,
        veltor::posix::LinuxConfigurationRules()};
    return veltor::RunApplication(arguments, ports);
}

} // namespace

int main(int argc, char** argv) {
    veltor::posix::EndProcess(Run(argc, argv));
}
