#pragma once
// Fakes of the window's ports: timers fired by hand, a view and a memo that record, a backup
// module whose runs call hooks.

#include "app/BackupModule.h"
#include "ports/ActivityView.h"
#include "ports/MessageBox.h"
#include "ports/Timer.h"
#include "ports/WindowView.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltor::test {

class FakeTimer : public ITimer {
public:
    void SetInterval(std::uint32_t milliseconds) override {
        if (milliseconds == interval) return;
        interval = milliseconds;
        if (enabled) ++starts;
    }
    std::uint32_t Interval() const override { return interval; }
    void SetEnabled(bool value) override {
        if (value == enabled) return;
        enabled = value;
        if (enabled) ++starts;
    }
    bool Enabled() const override { return enabled; }
    void SetOnTimer(std::function<void()> value) override { handler = std::move(value); }

    // The timer's event, as the loop would raise it.
    void Fire() {
        if (handler) handler();
    }

    std::uint32_t interval = 0;
    bool enabled = false;
    // How often a full interval began (enabled from disabled, or a new interval while enabled).
    int starts = 0;
    std::function<void()> handler;
};

class FakeWindowView : public IWindowView {
public:
    void BindEvents(WindowEvents value) override { events = std::move(value); }
    void ShowBackupFolder(const std::string& folder) override { shownFolders.push_back(folder); }
    void Minimize() override { ++minimised; }
    void SetRunNowEnabled(bool enabled) override { runNowEnabled = enabled; }

    WindowEvents events;
    std::vector<std::string> shownFolders;
    int minimised = 0;
    bool runNowEnabled = true;
};

class FakeMemo : public IActivityView {
public:
    void AppendMemoLines(const std::vector<std::string>& value) override {
        lines.insert(lines.end(), value.begin(), value.end());
    }
    void ProcessPendingEvents() override {
        if (onProcessEvents) onProcessEvents();
    }

    std::vector<std::string> lines;
    std::function<void()> onProcessEvents;
};

class FakeMessageBox : public IMessageBox {
public:
    void ShowError(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Records the runs; a hook runs inside each one and may raise.
class FakeBackupModule : public IBackupModule {
public:
    void RunScheduledBackup() override {
        calls.push_back("RunScheduledBackup");
        if (duringScheduled) duringScheduled();
    }
    void RunBackupRestore() override {
        calls.push_back("RunBackupRestore");
        if (duringCycle) duringCycle();
    }

    RunOutcome Outcome() const override { return {}; }

    std::vector<std::string> calls;
    std::function<void()> duringScheduled;
    std::function<void()> duringCycle;
};

} // namespace veltor::test
