#pragma once
// The headless front end: memo lines on standard output, error boxes on standard error, the two
// timers in a loop of its own, and a stop request from outside (SIGINT or SIGTERM on Linux,
// Ctrl-C, Ctrl-Break or the console's closing on Windows) to end it between runs.

#include "ports/EventLog.h"
#include "ports/GuiApplication.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltor::console {

enum class ConsoleMode {
    Timers, // like the window: the timers run until a stop request ends the program
    Now,    // one immediate run ("Backup Restore Ahora"), then the end
    Tick,   // one event of the backup timer, then the end
};

using SteadyTime = std::chrono::steady_clock::time_point;

// Where stop requests from outside the program come from. The platform's form is handed to
// the application, which starts it before the loop and asks it while it waits.
class IStopRequests {
public:
    virtual ~IStopRequests() = default;
    // Starts listening for requests; called once.
    virtual void Install() = 0;
    // Waits at most `timeoutMilliseconds` (0: only looks; negative: without limit) for a
    // request, and takes the ones that came: true when there was any.
    virtual bool Take(int timeoutMilliseconds) = 0;
};

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

// Writes a text to a stream at once. WriteToStream writes its bytes and flushes the stream; a
// platform may write to its console its own way.
using TextWriter = void (*)(std::FILE* stream, const std::string& text);
void WriteToStream(std::FILE* stream, const std::string& text);

class ConsoleApplication final : public IGuiApplication {
public:
    // Without a source of stop requests the timer loop runs until the process is killed.
    ConsoleApplication(ConsoleMode mode, std::FILE* out, std::FILE* err, IStopRequests* stops = nullptr,
                       TextWriter write = WriteToStream);
    ~ConsoleApplication() override;
    ConsoleApplication(const ConsoleApplication&) = delete;
    ConsoleApplication& operator=(const ConsoleApplication&) = delete;

    // A fatal error goes to standard error and, when one is given, to the event log as an error.
    void ReportFatalError(const std::string& text) override;
    void SetEventLog(IEventLog* events) { events_ = events; }
    // Starts listening for stop requests.
    void Initialize() override;
    void SetTitle(const std::string& title) override { title_ = title; }
    MainWindowParts CreateMainWindow() override;
    IMessageBox& ErrorBox() override;
    // Activates the window and runs the mode: with the timers until a stop request, or one run.
    // The backup timer's modes end at once, with a line, when the period of the activation
    // leaves that timer off.
    void RunMessageLoop() override;
    // A one-off run's exit code is what its runs came to; the timers end with 0 on a stop
    // request. 1 when the backup timer does not run.
    int ExitCode(const RunOutcome& outcome) const override;

private:
    class Window;
    class ErrorLines;

    // Fires the timers that are due and notes a stop request; never blocks.
    void ProcessPendingEvents();
    // Waits until a timer is due or a stop request comes.
    void WaitForEvent();
    bool TakeStopRequest(int timeoutMilliseconds);

    ConsoleMode mode_;
    std::FILE* out_;
    std::FILE* err_;
    IStopRequests* stops_;
    TextWriter write_;
    IEventLog* events_ = nullptr;
    std::string title_;
    bool stopRequested_ = false;
    bool stopsInstalled_ = false;
    bool backupTimerOff_ = false;
    ConsoleTimer timerBackup_;
    ConsoleTimer timerVerTerminal_;
    std::unique_ptr<Window> window_;
    std::unique_ptr<ErrorLines> errorBox_;
};

} // namespace veltor::console
