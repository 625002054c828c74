#include "app/Startup.h"

#include "app/FrmActividad.h"
#include "ports/Errors.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeBackupModule.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltor {
namespace test {
namespace {

// Everything that happens, in order, across the fakes.
std::vector<std::string> journal;

class FakeElevation : public IElevation {
public:
    bool IsAdministrator() const override { return administrator; }
    int RelaunchElevated(const std::vector<std::string>& arguments) override {
        journal.push_back("RelaunchElevated");
        passed = arguments;
        if (relaunchFails) throw OsError(SystemErrorText(1223, "The operation was canceled by the user."), 1223);
        return relaunchExitCode;
    }
    bool administrator = false;
    bool relaunchFails = false;
    int relaunchExitCode = 0;
    std::vector<std::string> passed;
};

class FakeOsVersion : public IOsVersion {
public:
    std::optional<OsVersionInfo> Query() const override {
        journal.push_back("OsVersion");
        return OsVersionInfo{2, 10, 0};
    }
};

class FakeGui : public IGuiApplication {
public:
    void ReportFatalError(const std::string& text) override { fatal.push_back(text); }
    void Initialize() override { journal.push_back("Initialize"); }
    void SetTitle(const std::string& value) override { journal.push_back("SetTitle " + value); }
    MainWindowParts CreateMainWindow() override {
        journal.push_back("CreateMainWindow");
        if (createFails) throw std::runtime_error("no display");
        return {view, memo, timerBackup, timerVerTerminal};
    }
    IMessageBox& ErrorBox() override { return errorBox; }
    void RunMessageLoop() override {
        journal.push_back("RunMessageLoop");
        view.events.activated();
        view.events.runNowClicked();
        journal.push_back("WindowClosed");
    }
    int ExitCode(const RunOutcome& outcome) const override {
        given = outcome;
        return exitCode;
    }

    FakeWindowView view;
    FakeActivityView memo;
    FakeTimer timerBackup;
    FakeTimer timerVerTerminal;
    FakeMessageBox errorBox;
    std::vector<std::string> fatal;
    bool createFails = false;
    int exitCode = 0;
    mutable RunOutcome given;
};

// The backup module of these tests: it records its creation and its runs in the journal.
class JournalModule : public FakeBackupModule {
public:
    JournalModule() {
        duringScheduled = [] { journal.push_back("RunScheduledBackup"); };
        duringCycle = [this] {
            journal.push_back(std::string("RunBackupRestore RestoreNow=") + (restoreNowGiven.back() ? "1" : "0"));
        };
    }
};

struct Program {
    FakeElevation elevation;
    FakeGui gui;
    FakeOsVersion osVersion;
    FakeFileSystem files;
    StartupPorts ports{elevation,
                       gui,
                       osVersion,
                       files,
                       ConfigurationRules{},
                       [this](TGlobal& global, IActivityView& memo, IMessageBox& errorBox) {
                           journal.push_back("CreateBackupModule");
                           // The window exists and its creation handler ran; the configuration
                           // module exists.
                           EXPECT_EQ(gui.timerVerTerminal.interval, TFrmActividad::kMinimiseInterval);
                           EXPECT_EQ(&memo, &gui.memo);
                           EXPECT_EQ(&errorBox, &gui.errorBox);
                           EXPECT_TRUE(global.ServerName.empty());
                           auto module = std::make_unique<JournalModule>();
                           // Three failed companies and a run cut short.
                           module->outcome = {3, true};
                           return module;
                       }};

    Program() { journal.clear(); }
    int Run(std::vector<std::string> arguments) { return RunApplication(arguments, ports); }
};

TEST(ElevationSwitch, DashOrSlashAndTheWordInAnyCase) {
    for (const char* yes : {"-elevated", "/elevated", "-ELEVATED", "/Elevated"})
        EXPECT_TRUE(IsElevationSwitch(yes)) << yes;
    for (const char* no : {"elevated", "--elevated", "-elevated2", "-elevate", "-", "", "\\elevated", "-elevatéd"})
        EXPECT_FALSE(IsElevationSwitch(no)) << no;
    EXPECT_TRUE(HasElevationSwitch({"x", "--now", "/ELEVATED"}));
    EXPECT_FALSE(HasElevationSwitch({}));
}

TEST(Startup, AdministratorNeverRelaunchesWithOrWithoutTheSwitch) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, {"-elevated"}}) {
        Program program;
        program.elevation.administrator = true;
        EXPECT_EQ(program.Run(arguments), 0);
        EXPECT_THAT(journal, ::testing::Not(::testing::Contains("RelaunchElevated")));
        EXPECT_THAT(journal, ::testing::Contains("RunMessageLoop"));
    }
}

TEST(Startup, NonAdministratorWithTheSwitchRunsWithoutElevation) {
    Program program;
    EXPECT_EQ(program.Run({"/Elevated"}), 0);
    EXPECT_THAT(journal, ::testing::Not(::testing::Contains("RelaunchElevated")));
    EXPECT_THAT(journal, ::testing::Contains("RunMessageLoop"));
}

TEST(Startup, NonAdministratorWithoutTheSwitchRelaunchesWithItsOptionsAndEndsWithTheNewInstancesCode) {
    Program program;
    program.elevation.relaunchExitCode = 2;
    EXPECT_EQ(program.Run({"elevated", "--now"}), 2);
    EXPECT_THAT(journal, ::testing::ElementsAre("RelaunchElevated"));
    EXPECT_THAT(program.elevation.passed, ::testing::ElementsAre("elevated", "--now"));
    EXPECT_THAT(program.gui.fatal, ::testing::IsEmpty());
}

TEST(Startup, RefusedRelaunchIsFatalWithExitCodeOneAndNoWindow) {
    Program program;
    program.elevation.relaunchFails = true;
    EXPECT_EQ(program.Run({}), 1);
    EXPECT_THAT(journal, ::testing::ElementsAre("RelaunchElevated"));
    EXPECT_THAT(program.gui.fatal,
                ::testing::ElementsAre("System Error.  Code: 1223.\r\nThe operation was canceled by the user."));
}

TEST(Startup, BuildsWindowThenModulesAndRunsTheLoop) {
    Program program;
    program.elevation.administrator = true;
    program.gui.exitCode = 7;
    EXPECT_EQ(program.Run({}), 7);
    // The front end's exit code is made from what the backup module says its runs came to.
    EXPECT_EQ(program.gui.given.failedCompanies, 3);
    EXPECT_TRUE(program.gui.given.cutShort);
    EXPECT_THAT(journal, ::testing::ElementsAre("Initialize", "OsVersion", "SetTitle Backups Veltor",
                                                "CreateMainWindow", "CreateBackupModule", "RunMessageLoop",
                                                "RunScheduledBackup", "RunBackupRestore RestoreNow=1", "WindowClosed"));
    // The first activation read the configuration through the application's error box.
    EXPECT_THAT(program.gui.errorBox.shown, ::testing::ElementsAre("No se encontró el archivo ADMINBD.inf"));
    EXPECT_EQ(program.gui.timerBackup.interval, 1'800'000u);
    // The window is gone with the loop: its events are unbound.
    EXPECT_FALSE(program.gui.view.events.activated);
    EXPECT_FALSE(program.gui.timerBackup.handler);
}

TEST(Startup, ErrorEscapingStartupIsFatal) {
    Program program;
    program.elevation.administrator = true;
    program.gui.createFails = true;
    EXPECT_EQ(program.Run({}), 1);
    EXPECT_THAT(program.gui.fatal, ::testing::ElementsAre("no display"));
    EXPECT_THAT(journal, ::testing::Not(::testing::Contains("RunMessageLoop")));
}

} // namespace
} // namespace test
} // namespace veltor
