// veltor-backups-console.exe: the program without a window, in a console.

#include "app/Startup.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/console/ConsoleOptions.h"
#include "platform/win32/Win32Console.h"
#include "platform/win32/WindowsProgram.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const veltor::console::ConsoleOptions options = veltor::console::ParseConsoleOptions(arguments);
    if (const std::optional<int> answered =
            veltor::console::AnswerCommandLine(options, stdout, stderr, veltor::win32::WriteText))
        return *answered;
    veltor::win32::WindowsProgram program;
    veltor::win32::Win32ConsoleStops stops;
    veltor::console::ConsoleApplication gui(options.mode, stdout, stderr, &stops, veltor::win32::WriteText);
    veltor::StartupPorts ports = program.Ports(gui);
    return veltor::RunApplication(arguments, ports);
}
