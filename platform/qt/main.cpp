// veltor-backups: the program with its desktop window.

#include "app/Startup.h"
#include "platform/posix/LinuxProgram.h"
#include "platform/posix/PosixProcess.h"
#include "platform/qt/QtApplication.h"

#include <string>
#include <vector>

namespace {

int Run(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    veltor::posix::LinuxProgram program;
    veltor::qt::QtGuiApplication gui(argc, argv);
    veltor::StartupPorts ports = program.Ports(gui);
    return veltor::RunApplication(arguments, ports);
}

} // namespace

int main(int argc, char** argv) {
    veltor::posix::EndProcess(Run(argc, argv));
}
