#pragma once
// The headless front end: memo lines on standard output, error boxes on standard error, the two
// timers in a loop of its own, and SIGINT or SIGTERM to end it between runs.

#include "ports/GuiApplication.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltor::console {

enum class ConsoleMode {
    Timers, // like the window: the timers run until a signal ends the program
    Now,    // one immediate run ("Backup Restore Ahora"), then the end
    Tick,   // one event of the backup timer, then the end
};

// The mode the options ask for: --now or --tick (the first one given), else the timers.
ConsoleMode ModeOf(const std::vector<std::string>& arguments);

using SteadyTime = std::chrono::steady_clock::time_point;

class ConsoleTimer final : public ITimer {
public:
    void SetInterval(std::uint32_t milliseconds) override;
    std::uint32_t Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()> handler) override { handler_ = std::move(handler); }

    // When the next event is due; nothing when the timer cannot fire.
    std::optional<SteadyTime> Due() const;
    // Runs the handler when the event is due at `now` and the handler is not running already.
    void FireIfDue(SteadyTime now);
    // Runs the handler now, due or not.
    void Fire();

private:
    void Restart();

    std::uint32_t interval_ = 0;
    bool enabled_ = false;
    bool firing_ = false;
    SteadyTime due_{};
    std::function<void()> handler_;
};

class ConsoleApplication final : public IGuiApplication {
public:
    ConsoleApplication(ConsoleMode mode, std::FILE* out, std::FILE* err);
    ~ConsoleApplication() override;
    ConsoleApplication(const ConsoleApplication&) = delete;
    ConsoleApplication& operator=(const ConsoleApplication&) = delete;

    void ReportFatalError(const std::string& text) override;
    // Installs the SIGINT and SIGTERM handlers.
    void Initialize() override;
    void SetTitle(const std::string& title) override { title_ = title; }
    MainWindowParts CreateMainWindow() override;
    IMessageBox& ErrorBox() override;
    void RunMessageLoop() override;

private:
    class Window;
    class ErrorLines;

    // Fires the timers that are due and notes a stop signal; never blocks.
    void ProcessPendingEvents();
    // Waits until a timer is due or a signal comes.
    void WaitForEvent();
    bool TakeStopSignal(int timeoutMilliseconds);

    ConsoleMode mode_;
    std::FILE* out_;
    std::FILE* err_;
    std::string title_;
    bool stopRequested_ = false;
    bool signalsInstalled_ = false;
    ConsoleTimer timerBackup_;
    ConsoleTimer timerVerTerminal_;
    std::unique_ptr<Window> window_;
    std::unique_ptr<ErrorLines> errorBox_;
};

} // namespace veltor::console
