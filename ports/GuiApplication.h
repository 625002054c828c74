#pragma once
#include "ports/ActivityView.h"
#include "ports/MessageBox.h"
#include "ports/RunOutcome.h"
#include "ports/Timer.h"
#include "ports/WindowView.h"

#include <string>

namespace veltor {

// The parts of the main window that the window's behaviour drives. They live as long as the
// application object that made them.
struct MainWindowParts {
    IWindowView& view;
    IActivityView& memo;
    ITimer& timerBackup;
    ITimer& timerVerTerminal;
};

// A front end: the GUI application with its one main window and its message loop.
class IGuiApplication {
public:
    virtual ~IGuiApplication() = default;
    // Shows an error that ends the process; callable before Initialize.
    virtual void ReportFatalError(const std::string& text) = 0;
    virtual void Initialize() = 0;
    // The application title: the caption of the application's error boxes.
    virtual void SetTitle(const std::string& title) = 0;
    // Builds the main window (once), hidden, with both timers disabled and without interval.
    virtual MainWindowParts CreateMainWindow() = 0;
    // The application's modal error box.
    virtual IMessageBox& ErrorBox() = 0;
    // Shows the main window, raises its first activation from the loop and runs the loop until
    // the window is closed.
    virtual void RunMessageLoop() = 0;
    // The process's exit code once the loop has ended, given what the runs came to. A window
    // that was closed ends with 0 whatever its runs did.
    virtual int ExitCode(const RunOutcome& outcome) const {
        (void)outcome;
        return kExitDone;
    }
};

} // namespace veltor
