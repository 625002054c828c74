#include "app/FrmActividad.h"

#include "config/Global.h"
#include "tests/support/FakeActivityView.h"
#include "tests/support/FakeBackupModule.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeMessageBox.h"
#include "tests/support/FakeWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace veltor::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The window with its modules, activated from an ADMINBD.inf that holds `period`.
struct WindowUnderTest {
    FakeWindowView view;
    FakeTimer timerBackup;
    FakeTimer timerVerTerminal;
    FakeMessageBox errorBox;
    FakeActivityView memo;
    FakeFileSystem files;
    FakeMessageBox configurationBoxes;
    TGlobal global{files, configurationBoxes, ConfigurationRules{}};
    FakeBackupModule module;
    TFrmActividad window{view, timerBackup, timerVerTerminal, errorBox, memo};

    WindowUnderTest() {
        window.SetGlobal(global);
        window.SetBackupModule(&module);
    }

    void Activate(const std::string& period) {
        std::string contents = "RUTABD=/srv/veltor/admin.fdb\nSERVIDOR=dbhost\nRUTABACKUP=/srv/copias/\n";
        if (!period.empty()) contents += "TIMERBACKUPLICENCE=" + period + "\n";
        files.AddFile("ADMINBD.inf", contents);
        view.events.activated();
    }
};

TEST(FrmActividadCreation, MinimiseTimerRunsEveryTwelveHoursAndBackupTimerWaits) {
    WindowUnderTest w;
    EXPECT_EQ(w.timerVerTerminal.interval, 43'200'000u);
    EXPECT_TRUE(w.timerVerTerminal.enabled);
    EXPECT_FALSE(w.timerBackup.enabled);
}

TEST(FrmActividadCreation, ButtonOneAndMinimiseTimerBothMinimise) {
    WindowUnderTest w;
    w.view.events.minimiseClicked();
    w.timerVerTerminal.Fire();
    EXPECT_EQ(w.view.minimised, 2);
    EXPECT_THAT(w.module.calls, IsEmpty());
}

struct PeriodCase {
    std::string period;
    std::uint32_t interval;
    std::string hours;
    std::string minutes;
};

class FrmActividadPeriod : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(FrmActividadPeriod, ActivationArmsTheBackupTimer) {
    const PeriodCase& c = GetParam();
    WindowUnderTest w;
    w.Activate(c.period);
    EXPECT_EQ(w.timerBackup.interval, c.interval);
    EXPECT_TRUE(w.timerBackup.enabled);
    EXPECT_EQ(w.window.PeriodHours, c.hours);
    EXPECT_EQ(w.window.PeriodMinutes, c.minutes);
    EXPECT_THAT(w.view.shownFolders, ElementsAre("/SRV/COPIAS/"));
    EXPECT_EQ(w.global.BackupTimerPeriod, c.period.empty() ? "00:30" : c.period);
    EXPECT_THAT(w.errorBox.shown, IsEmpty());
    EXPECT_THAT(w.module.calls, IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Periods, FrmActividadPeriod,
    ::testing::Values(PeriodCase{"", 1'800'000, "00", "30"}, PeriodCase{"00:30", 1'800'000, "00", "30"},
                      PeriodCase{"01:00", 3'600'000, "01", "00"}, PeriodCase{"0:45", 2'700'000, "0", "45"},
                      PeriodCase{"00:00", 0, "00", "00"}, PeriodCase{"1:30:99", 5'400'000, "1", "30"},
                      PeriodCase{"-1:00", 0, "-1", "00"}, PeriodCase{"999:00", 2'147'483'647, "999", "00"}),
    [](const ::testing::TestParamInfo<PeriodCase>& param) {
        std::string name = param.param.period.empty() ? "Empty" : "P" + param.param.period;
        for (char& c : name)
            if (c == ':' || c == '-') c = c == ':' ? '_' : 'm';
        return name;
    });

TEST(FrmActividadActivation, PeriodWithoutColonShowsConversionErrorAndLeavesTimerOff) {
    WindowUnderTest w;
    w.Activate("30");
    EXPECT_THAT(w.errorBox.shown, ElementsAre("'' is not a valid integer value."));
    EXPECT_FALSE(w.timerBackup.enabled);
    EXPECT_EQ(w.timerBackup.interval, 0u);
    EXPECT_THAT(w.view.shownFolders, IsEmpty());
    EXPECT_EQ(w.window.PeriodHours, "30");
    EXPECT_EQ(w.window.PeriodMinutes, "");

    // The button still works.
    w.view.events.runNowClicked();
    EXPECT_THAT(w.module.calls, ElementsAre("RunScheduledBackup", "RunBackupRestore"));
}

TEST(FrmActividadActivation, MissingConfigurationFileIsReportedAndTheHandlerGoesOn) {
    WindowUnderTest w;
    w.view.events.activated();
    EXPECT_THAT(w.configurationBoxes.shown, ElementsAre("No se encontró el archivo ADMINBD.inf"));
    EXPECT_EQ(w.timerBackup.interval, 1'800'000u);
    EXPECT_TRUE(w.timerBackup.enabled);
}

TEST(StrToInt, DecimalIntegersOfThirtyTwoBitsOnly) {
    EXPECT_EQ(StrToInt("  +007"), 7);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    for (const char* text : {"", "-", "12 ", "0x10", "2147483648"}) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const ConvertError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(text) + "' is not a valid integer value.");
        }
    }
}

// What a run sees of the window while it works.
struct Snapshot {
    bool restoreNow;
    bool timerBackupEnabled;
    bool timerVerTerminalEnabled;
    bool runNowEnabled;
    bool runInProgress;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const WindowUnderTest& w) {
    return {w.window.RestoreNow, w.timerBackup.enabled, w.timerVerTerminal.enabled, w.view.runNowEnabled,
            w.window.RunInProgress()};
}

TEST(FrmActividadTick, RunsBackupThenCycleWithTheTimerOffAndRearmsIt) {
    WindowUnderTest w;
    w.Activate("01:00");
    std::vector<Snapshot> seen;
    w.module.duringScheduled = [&] { seen.push_back(Take(w)); };
    w.module.duringCycle = [&] { seen.push_back(Take(w)); };
    const int starts = w.timerBackup.starts;

    w.timerBackup.Fire();

    EXPECT_THAT(w.module.calls, ElementsAre("RunScheduledBackup", "RunBackupRestore"));
    EXPECT_THAT(w.module.periods, ElementsAre("01:00"));
    EXPECT_THAT(w.module.restoreNowGiven, ElementsAre(false));
    const Snapshot during{false, false, true, false, true};
    EXPECT_THAT(seen, ElementsAre(during, during));
    EXPECT_TRUE(w.timerBackup.enabled);
    EXPECT_EQ(w.timerBackup.starts, starts + 1); // the next tick comes one full period later
    EXPECT_TRUE(w.view.runNowEnabled);
    EXPECT_FALSE(w.window.RunInProgress());
}

TEST(FrmActividadTick, FailingBackupSkipsTheCycleSilently) {
    WindowUnderTest w;
    w.Activate("00:30");
    w.module.duringScheduled = [] { throw std::runtime_error("unavailable database"); };
    w.timerBackup.Fire();
    EXPECT_THAT(w.module.calls, ElementsAre("RunScheduledBackup"));
    EXPECT_THAT(w.errorBox.shown, IsEmpty());
    EXPECT_TRUE(w.timerBackup.enabled);
    EXPECT_TRUE(w.view.runNowEnabled);
}

// Another process of the installation holds the run lock: neither the tick nor the button
// starts a run, and the timer comes again.
TEST(FrmActividadTick, ARunLockHeldElsewhereStartsNoRun) {
    WindowUnderTest w;
    w.Activate("00:30");
    w.module.lockHeldElsewhere = true;
    w.timerBackup.Fire();
    w.window.Button3Click();
    EXPECT_THAT(w.module.calls, IsEmpty());
    EXPECT_EQ(w.module.lockRequests, 2);
    EXPECT_FALSE(w.window.RestoreNow);
    EXPECT_TRUE(w.timerBackup.enabled);
    EXPECT_TRUE(w.view.runNowEnabled);
}

TEST(FrmActividadRunNow, SetsRestoreNowAndStopsMinimiseTimerOnlyDuringTheCycle) {
    WindowUnderTest w;
    w.Activate("00:30");
    std::vector<Snapshot> seen;
    w.module.duringScheduled = [&] { seen.push_back(Take(w)); };
    w.module.duringCycle = [&] { seen.push_back(Take(w)); };
    const int backupStarts = w.timerBackup.starts;
    const int minimiseStarts = w.timerVerTerminal.starts;

    w.view.events.runNowClicked();

    EXPECT_THAT(w.module.calls, ElementsAre("RunScheduledBackup", "RunBackupRestore"));
    EXPECT_THAT(seen, ElementsAre(Snapshot{true, true, true, false, true}, Snapshot{true, true, false, false, true}));
    EXPECT_THAT(w.module.periods, ElementsAre("00:30"));
    EXPECT_THAT(w.module.restoreNowGiven, ElementsAre(true));
    EXPECT_FALSE(w.window.RestoreNow);
    EXPECT_TRUE(w.timerVerTerminal.enabled);
    EXPECT_EQ(w.timerVerTerminal.starts, minimiseStarts + 1); // the 12 hours count again
    EXPECT_EQ(w.timerBackup.starts, backupStarts);            // the backup timer is not touched
    EXPECT_TRUE(w.view.runNowEnabled);
}

TEST(FrmActividadRunNow, FailingBackupSkipsCycleClearsRestoreNowAndLeavesMinimiseTimerRunning) {
    WindowUnderTest w;
    w.Activate("00:30");
    w.module.duringScheduled = [] { throw std::runtime_error("no server"); };
    const int minimiseStarts = w.timerVerTerminal.starts;
    w.view.events.runNowClicked();
    EXPECT_THAT(w.module.calls, ElementsAre("RunScheduledBackup"));
    EXPECT_FALSE(w.window.RestoreNow);
    EXPECT_TRUE(w.timerVerTerminal.enabled);
    EXPECT_EQ(w.timerVerTerminal.starts, minimiseStarts);
    EXPECT_THAT(w.errorBox.shown, IsEmpty());
}

TEST(FrmActividadReentry, ClickAndTickDuringATickRunStartNothing) {
    WindowUnderTest w;
    w.Activate("00:30");
    // The backup run lets events through: a click arrives, and the minimise timer fires.
    w.module.duringScheduled = [&] { w.memo.ProcessPendingEvents(); };
    w.memo.onProcessEvents = [&] {
        w.view.events.runNowClicked();
        w.timerVerTerminal.Fire();
    };
    w.timerBackup.Fire();
    EXPECT_THAT(w.module.calls, ElementsAre("RunScheduledBackup", "RunBackupRestore"));
    EXPECT_FALSE(w.window.RestoreNow);
    EXPECT_EQ(w.view.minimised, 1);
}

TEST(FrmActividadReentry, TickAndClickDuringAnImmediateRunStartNothingAndTheTickRearms) {
    WindowUnderTest w;
    w.Activate("00:30");
    std::vector<bool> restoreNowInCycle;
    w.module.duringScheduled = [&] { w.memo.ProcessPendingEvents(); };
    w.module.duringCycle = [&] {
        w.memo.ProcessPendingEvents();
        restoreNowInCycle.push_back(w.window.RestoreNow);
    };
    int backupStartsBeforeTick = 0;
    w.memo.onProcessEvents = [&] {
        backupStartsBeforeTick = w.timerBackup.starts;
        w.timerBackup.Fire();
        w.view.events.runNowClicked();
        EXPECT_TRUE(w.timerBackup.enabled);
        EXPECT_EQ(w.timerBackup.starts, backupStartsBeforeTick + 1);
    };
    w.view.events.runNowClicked();
    EXPECT_THAT(w.module.calls, ElementsAre("RunScheduledBackup", "RunBackupRestore"));
    EXPECT_THAT(restoreNowInCycle, ElementsAre(true));
    EXPECT_FALSE(w.window.RestoreNow);
    EXPECT_TRUE(w.view.runNowEnabled);

    // Once the run is over both start runs again.
    w.timerBackup.Fire();
    EXPECT_EQ(w.module.calls.size(), 4u);
}

} // namespace
} // namespace veltor::test
