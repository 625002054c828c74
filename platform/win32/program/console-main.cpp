// veltor-backups-console.exe: the program without a window, in a console.

#include "app/Startup.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Platform.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    veltor::win32::Win32Elevation elevation;
    veltor::win32::Win32FileSystem files;
    veltor::win32::Win32Clock clock;
    veltor::win32::Win32RegionalFormats regional;
    veltor::win32::Win32OsVersion osVersion;
    veltor::win32::Win32ServiceManager services;
    veltor::win32::Win32ShellLauncher shell;
    veltor::win32::Win32DatabaseFiles databaseFiles;
    veltor::win32::Win32ConsoleStops stops;
    veltor::console::ConsoleApplication gui(veltor::console::ModeOf(arguments), stdout, stderr, &stops,
                                            veltor::win32::WriteText);
    veltor::StartupPorts ports{
        elevation, gui, osVersion, files, clock, regional, services, shell, databaseFiles,
        veltor::win32::WindowsConfigurationRules()};
    return veltor::RunApplication(arguments, ports);
}
