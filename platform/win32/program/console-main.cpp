// veltor-backups-console.exe: the program without a window, in a console or as a service.

#include "app/Startup.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/console/ConsoleOptions.h"
#include "platform/win32/Win32Console.h"
#include "platform/win32/Win32Service.h"
#include "platform/win32/WindowsProgram.h"
#include "status/StatusCheck.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kServiceHelp =
    "\nOn Windows, run as administrator in the data folder (the folder of ADMINBD.inf):\n"
    "  --install-service   install (or update) the service VeltorBackups: automatic start, this folder\n"
    "  --remove-service    stop the service after its run in progress and delete it\n"
    "  --protect-data-folder  give this folder its own access list: Administrators and SYSTEM only\n";

// --status: a check for monitoring, run by any user, without elevation and without the timers.
int Status(bool json, std::FILE* out, veltor::console::TextWriter write) {
    veltor::win32::Win32FileSystem files;
    veltor::win32::Win32Clock clock;
    std::string text;
    const int code = veltor::RunStatusCommand(json, veltor::fb::LoadClientApiOrUnavailable(), files, clock,
                                              veltor::win32::WindowsConfigurationRules(), text);
    write(out, text);
    return code;
}

// The program with its command line read; what the command line answers by itself, it answers.
// As a service, it tells `events` of its fatal error and of the runs that leave companies not done.
int RunProgram(const std::vector<std::string>& arguments, veltor::console::IStopRequests& stops, std::FILE* out,
               std::FILE* err, veltor::console::TextWriter write, veltor::IEventLog* events = nullptr) {
    const veltor::console::ConsoleOptions options = veltor::console::ParseConsoleOptions(arguments);
    if (const std::optional<int> answered = veltor::console::AnswerCommandLine(options, out, err, write)) {
        if (options.action == veltor::console::ConsoleOptions::Action::Help) write(out, kServiceHelp);
        return *answered;
    }
    if (options.action == veltor::console::ConsoleOptions::Action::Status) return Status(options.json, out, write);
    using Action = veltor::console::ConsoleOptions::Action;
    const bool command = options.action == Action::List || options.action == Action::Restore;
    veltor::win32::WindowsProgram program;
    veltor::win32::Win32Confirmation confirmation;
    // A command runs in place of the loop, so nothing would take a stop request: Ctrl-C and the
    // console's closing keep their usual effect, at the console's question too. The mode only
    // has to put the memo lines on standard output.
    veltor::console::ConsoleApplication gui(command ? veltor::console::ConsoleMode::Now : options.mode, out, err,
                                            command ? nullptr : &stops, write);
    gui.SetEventLog(events);
    veltor::StartupPorts ports = program.Ports(gui, events);
    if (options.action == Action::List)
        ports.command = [&](veltor::IBackupModule& module) { module.ListBackups(options.order.code); };
    if (options.action == Action::Restore)
        ports.command = [&](veltor::IBackupModule& module) { module.RunRestore(options.order, confirmation); };
    return veltor::RunApplication(arguments, ports);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto asService = [](const std::vector<std::string>& serviceArguments, veltor::console::IStopRequests& stops,
                              std::FILE* output, veltor::console::TextWriter write, veltor::IEventLog& events) {
        return RunProgram(serviceArguments, stops, output, output, write, &events);
    };
    if (const auto code = veltor::win32::RunServiceCommand(arguments, asService, veltor::win32::WriteText))
        return *code;
    veltor::win32::Win32ConsoleStops stops;
    return RunProgram(arguments, stops, stdout, stderr, veltor::win32::WriteText);
}
