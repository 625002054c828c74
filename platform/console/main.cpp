// veltor-backups-console: the program without a screen.

#include "app/Startup.h"
#include "backup/StatusCheck.h"
#include "dbserver/UnavailableClient.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/console/PosixStopSignals.h"
#include "platform/posix/LinuxProgram.h"
#include "platform/posix/PosixProcess.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool Has(const std::vector<std::string>& arguments, const char* option) {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

// --status: a check for monitoring, run by any user, without elevation and without the timers.
int Status(const std::vector<std::string>& arguments) {
    veltor::posix::PosixFileSystem files;
    veltor::posix::PosixClock clock;
    std::string text;
    const int code = veltor::RunStatusCommand(Has(arguments, "--json"), veltor::fb::LoadClientApiOrUnavailable(), files,
                                              clock, veltor::posix::LinuxConfigurationRules(), text);
    veltor::console::WriteToStream(stdout, text);
    return code;
}

int Run(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (Has(arguments, "--status")) return Status(arguments);
    veltor::posix::LinuxProgram program;
    veltor::console::PosixStopSignals stops;
    veltor::console::ConsoleApplication gui(veltor::console::ModeOf(arguments), stdout, stderr, &stops);
    veltor::StartupPorts ports = program.Ports(gui);
    return veltor::RunApplication(arguments, ports);
}

} // namespace

int main(int argc, char** argv) {
    veltor::posix::EndProcess(Run(argc, argv));
}
