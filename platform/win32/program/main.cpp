// veltor-backups.exe: the program with its Windows activity window.

#include "app/Startup.h"
#include "platform/win32/Win32Application.h"
#include "platform/win32/WindowsProgram.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    veltor::win32::WindowsProgram program;
    veltor::win32::Win32GuiApplication gui;
    veltor::StartupPorts ports = program.Ports(gui);
    return veltor::RunApplication(arguments, ports);
}
