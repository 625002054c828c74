#pragma once
// What both Windows programs, the window and the console one, run on: the Win32 adapters of
// every port but the GUI's, alive for the whole program.

#include "app/Startup.h"
#include "platform/win32/Win32Platform.h"

namespace veltor::win32 {

struct WindowsProgram {
    Win32Elevation elevation;
    Win32FileSystem files;
    Win32Clock clock;
    Win32RegionalFormats regional;
    Win32OsVersion osVersion;
    Win32ServiceManager services;
    Win32ShellLauncher shell;
    Win32DatabaseFiles databaseFiles;

    // The start-up's ports with the given front end.
    StartupPorts Ports(IGuiApplication& gui) {
        return {elevation, gui,      osVersion, files,         clock,
                regional,  services, shell,     databaseFiles, WindowsConfigurationRules()};
    }
};

} // namespace veltor::win32
