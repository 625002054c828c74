// veltor-backups-console: the program without a screen.

#include "app/Startup.h"
#include "dbserver/UnavailableClient.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/console/ConsoleOptions.h"
#include "platform/console/PosixConfirmation.h"
#include "platform/console/PosixStopSignals.h"
#include "platform/posix/LinuxProgram.h"
#include "platform/posix/PosixProcess.h"
#include "status/StatusCheck.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

// --status: a check for monitoring, run by any user, without elevation and without the timers.
int Status(bool json) {
    veltor::posix::PosixFileSystem files;
    veltor::posix::PosixClock clock;
    std::string text;
    const int code = veltor::RunStatusCommand(json, veltor::fb::LoadClientApiOrUnavailable(), files, clock,
                                              veltor::posix::LinuxConfigurationRules(), text);
    veltor::console::WriteToStream(stdout, text);
    return code;
}

int Run(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const veltor::console::ConsoleOptions options = veltor::console::ParseConsoleOptions(arguments);
    if (const std::optional<int> answered = veltor::console::AnswerCommandLine(options, stdout, stderr))
        return *answered;
    if (options.action == veltor::console::ConsoleOptions::Action::Status) return Status(options.json);
    using Action = veltor::console::ConsoleOptions::Action;
    const bool command = options.action == Action::List || options.action == Action::Restore;
    veltor::posix::LinuxProgram program;
    veltor::console::PosixStopSignals stops;
    veltor::console::PosixConfirmation confirmation;
    // A command runs in place of the loop, so nothing would take a stop request: SIGINT and
    // SIGTERM keep their usual effect, at the terminal's question too. The mode only has to put
    // the memo lines on standard output.
    veltor::console::ConsoleApplication gui(command ? veltor::console::ConsoleMode::Now : options.mode, stdout, stderr,
                                            command ? nullptr : &stops);
    veltor::StartupPorts ports = program.Ports(gui);
    if (options.action == Action::List)
        ports.command = [&](veltor::IBackupModule& module) { module.ListBackups(options.order.code); };
    if (options.action == Action::Restore)
        ports.command = [&](veltor::IBackupModule& module) { module.RunRestore(options.order, confirmation); };
    return veltor::RunApplication(arguments, ports);
}

} // namespace

int main(int argc, char** argv) {
    veltor::posix::EndProcess(Run(argc, argv));
}
