#include "app/Startup.h"

#include "app/FrmActividad.h"

#include <algorithm>
#include <exception>

namespace veltor {

bool IsElevationSwitch(std::string_view argument) {
    constexpr std::string_view name = "elevated";
    if (argument.size() != name.size() + 1 || (argument[0] != '-' && argument[0] != '/')) return false;
    return std::equal(name.begin(), name.end(), argument.begin() + 1, [](char expected, char given) {
        return expected == (given >= 'A' && given <= 'Z' ? static_cast<char>(given - 'A' + 'a') : given);
    });
}

bool HasElevationSwitch(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& a) { return IsElevationSwitch(a); });
}

namespace {

bool IsAdministrator(const IElevation& elevation) {
    try {
        return elevation.IsAdministrator();
    } catch (...) {
        return false;
    }
}

// Builds the window, the configuration module and the backup module, in this order, runs the
// loop until the window is closed and returns the front end's exit code.
int RunWindow(StartupPorts& ports) {
    IGuiApplication& gui = ports.gui;
    gui.Initialize();
    // The generation is asked for every start; nothing here depends on it.
    [[maybe_unused]] const int osGeneration = TGlobal::OsGeneration(ports.osVersion);
    gui.SetTitle(kApplicationTitle);

    const MainWindowParts parts = gui.CreateMainWindow();
    TFrmActividad FrmActividad(parts.view, parts.timerBackup, parts.timerVerTerminal, gui.ErrorBox(), parts.memo);
    TGlobal Global(ports.files, gui.ErrorBox(), ports.configurationRules);
    FrmActividad.SetGlobal(Global);
    const std::unique_ptr<IBackupModule> DatosLic = ports.makeBackupModule(Global, parts.memo, gui.ErrorBox());
    FrmActividad.SetBackupModule(DatosLic.get());

    struct Unset {
        TFrmActividad& window;
        ~Unset() { window.SetBackupModule(nullptr); }
    } unset{FrmActividad};
    if (ports.command) {
        ports.command(*DatosLic);
        return ExitCodeOf(DatosLic->Outcome());
    }
    gui.RunMessageLoop();
    return gui.ExitCode(DatosLic->Outcome());
}

} // namespace

int RunApplication(const std::vector<std::string>& arguments, StartupPorts& ports) {
    try {
        // An administrator never relaunches, and an instance with the switch never does either,
        // so a start relaunches at most once. The new instance gets the options of this one.
        if (!IsAdministrator(ports.elevation) && !HasElevationSwitch(arguments))
            return ports.elevation.RelaunchElevated(arguments);
        return RunWindow(ports);
    } catch (const std::exception& error) {
        ports.gui.ReportFatalError(error.what());
    } catch (...) {
        ports.gui.ReportFatalError("Unknown error");
    }
    return 1;
}

} // namespace veltor
