#pragma once
// The process entry shared by the front ends: elevation, the three long-lived objects and the
// message loop.

#include "config/Global.h"
#include "ports/ActivityView.h"
#include "ports/BackupModule.h"
#include "ports/Elevation.h"
#include "ports/FileSystem.h"
#include "ports/GuiApplication.h"
#include "ports/MessageBox.h"
#include "ports/OsVersion.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

inline constexpr const char* kApplicationTitle = "Backups Veltor";

// Makes the backup module from what start-up made before it: the configuration module, the
// window's memo and the application's error box. The program's composition root supplies it
// with the adapters and the client library it chose.
using BackupModuleMaker =
    std::function<std::unique_ptr<IBackupModule>(TGlobal& global, IActivityView& memo, IMessageBox& errorBox)>;

// What the program is started on. Every reference outlives RunApplication.
struct StartupPorts {
    IElevation& elevation;
    IGuiApplication& gui;
    const IOsVersion& osVersion;
    IFileSystem& files;
    ConfigurationRules configurationRules;
    BackupModuleMaker makeBackupModule;
    // A command of the headless program (--list, --restore): when set, it runs on the backup
    // module in place of the message loop, the timers never start, and the exit code is made
    // from what it came to.
    std::function<void(IBackupModule&)> command = {};
};

// "-elevated" or "/elevated" in any letter case.
bool IsElevationSwitch(std::string_view argument);
// Whether any of the arguments (the program name not among them) is the elevation switch.
bool HasElevationSwitch(const std::vector<std::string>& arguments);

// Runs the program and returns its exit code: the relaunch's when an elevated instance was
// started; the front end's (IGuiApplication::ExitCode) when the loop has ended; 1 when an error
// escapes start-up (reported through ReportFatalError). `arguments` leaves out the program name.
int RunApplication(const std::vector<std::string>& arguments, StartupPorts& ports);

} // namespace veltor
