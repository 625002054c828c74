#pragma once
// What both Windows programs, the window and the console one, run on: the Win32 adapters of
// every port but the GUI's, alive for the whole program. The composition root: the one place
// that picks the adapters; platform/ProgramPorts.h makes the backup module with them.

#include "platform/ProgramPorts.h"
#include "platform/win32/Win32CheckedCopier.h"
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
    Win32CheckedCopier copier;
    Win32HookRunner scripts;

    // The start-up's ports with the given front end, and the event log of the service.
    StartupPorts Ports(IGuiApplication& gui, IEventLog* events = nullptr) {
        return MakeProgramPorts(
            {elevation, osVersion, files, clock, regional, services, shell, databaseFiles, &copier, &scripts}, gui,
            WindowsConfigurationRules(), events);
    }
};

} // namespace veltor::win32
