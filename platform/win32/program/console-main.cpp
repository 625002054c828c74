// veltor-backups-console.exe: the program without a window, in a console or as a service.

#include "app/Startup.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Service.h"
#include "platform/win32/WindowsProgram.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int RunProgram(const std::vector<std::string>& arguments, veltor::console::IStopRequests& stops, std::FILE* out,
               std::FILE* err, veltor::console::TextWriter write) {
    veltor::win32::WindowsProgram program;
    veltor::console::ConsoleApplication gui(veltor::console::ModeOf(arguments), out, err, &stops, write);
    veltor::StartupPorts ports = program.Ports(gui);
    return veltor::RunApplication(arguments, ports);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto asService = [](const std::vector<std::string>& serviceArguments, veltor::console::IStopRequests& stops,
                              std::FILE* output, veltor::console::TextWriter write) {
        return RunProgram(serviceArguments, stops, output, output, write);
    };
    if (const auto code = veltor::win32::RunServiceCommand(arguments, asService, veltor::win32::WriteText))
        return *code;
    veltor::win32::Win32ConsoleStops stops;
    return RunProgram(arguments, stops, stdout, stderr, veltor::win32::WriteText);
}
