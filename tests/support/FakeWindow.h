#pragma once
// The window's ports for unit tests: timers fired by hand and a view that records what it was
// told.

#include "ports/Timer.h"
#include "ports/WindowView.h"

#include <functional>
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

} // namespace veltor::test
