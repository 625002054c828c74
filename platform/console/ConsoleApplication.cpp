#include "platform/console/ConsoleApplication.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace veltor::console {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

} // namespace

void WriteToStream(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void ConsoleTimer::Restart() {
    const std::uint32_t longest = 0x7FFF'FFFF;
    due_ = steady_clock::now() + milliseconds(std::min(interval_, longest));
}

void ConsoleTimer::SetInterval(std::uint32_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    if (enabled_) Restart();
}

void ConsoleTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) Restart();
}

std::optional<SteadyTime> ConsoleTimer::Due() const {
    if (!enabled_ || interval_ == 0 || !handler_) return std::nullopt;
    return due_;
}

void ConsoleTimer::FireIfDue(SteadyTime now) {
    const std::optional<SteadyTime> due = Due();
    if (firing_ || !due || *due > now) return;
    Restart();
    Fire();
}

void ConsoleTimer::Fire() {
    if (!handler_) return;
    firing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{firing_};
    // A copy: the handler may replace itself.
    std::function<void()> handler = handler_;
    handler();
}

// The main window without a screen: the memo goes to standard output, the rest is state.
class ConsoleApplication::Window final : public IWindowView, public IActivityView {
public:
    Window(ConsoleApplication& application) : application_(application) {}

    void BindEvents(WindowEvents events) override { events_ = std::move(events); }
    void ShowBackupFolder(const std::string& folder) override { folder_ = folder; }
    void Minimize() override {}
    void SetRunNowEnabled(bool enabled) override { runNowEnabled_ = enabled; }

    void AppendMemoLines(const std::vector<std::string>& lines) override {
        std::string text;
        for (const std::string& line : lines) {
            // A CR LF inside a line is a line break of the memo.
            for (std::size_t at = 0; at < line.size(); ++at) {
                if (line[at] == '\r' && at + 1 < line.size() && line[at + 1] == '\n') continue;
                text += line[at];
            }
            text += '\n';
        }
        application_.write_(application_.out_, text);
    }
    void ProcessPendingEvents() override { application_.ProcessPendingEvents(); }

    const WindowEvents& events() const { return events_; }

private:
    ConsoleApplication& application_;
    WindowEvents events_;
    std::string folder_;
    bool runNowEnabled_ = true;
};

// Error boxes as lines on standard error; nobody is there to confirm them.
class ConsoleApplication::ErrorLines final : public IMessageBox {
public:
    explicit ErrorLines(ConsoleApplication& application) : application_(application) {}
    void ShowError(const std::string& text) override {
        application_.write_(application_.err_, application_.title_ + ": " + text + "\n");
    }

private:
    ConsoleApplication& application_;
};

ConsoleApplication::ConsoleApplication(ConsoleMode mode, std::FILE* out, std::FILE* err, IStopRequests* stops,
                                       TextWriter write)
    : mode_(mode), out_(out), err_(err), stops_(stops), write_(write), errorBox_(std::make_unique<ErrorLines>(*this)) {}

ConsoleApplication::~ConsoleApplication() = default;

void ConsoleApplication::ReportFatalError(const std::string& text) {
    write_(err_, text + "\n");
    if (events_) events_->Error(text);
}

void ConsoleApplication::Initialize() {
    if (stopsInstalled_ || stops_ == nullptr) return;
    stops_->Install();
    stopsInstalled_ = true;
}

MainWindowParts ConsoleApplication::CreateMainWindow() {
    if (window_) throw std::logic_error("The main window exists already.");
    window_ = std::make_unique<Window>(*this);
    return {*window_, *window_, timerBackup_, timerVerTerminal_};
}

IMessageBox& ConsoleApplication::ErrorBox() {
    return *errorBox_;
}

bool ConsoleApplication::TakeStopRequest(int timeoutMilliseconds) {
    if (stopsInstalled_) return stops_->Take(timeoutMilliseconds);
    // Nothing can ask for the end: only the wait itself is left.
    if (timeoutMilliseconds != 0)
        std::this_thread::sleep_for(milliseconds(timeoutMilliseconds < 0 ? 0x7FFF'FFFF : timeoutMilliseconds));
    return false;
}

void ConsoleApplication::ProcessPendingEvents() {
    if (TakeStopRequest(0)) stopRequested_ = true;
    const SteadyTime now = steady_clock::now();
    timerVerTerminal_.FireIfDue(now);
    timerBackup_.FireIfDue(now);
}

void ConsoleApplication::WaitForEvent() {
    std::optional<SteadyTime> next;
    for (const ConsoleTimer* timer : {&timerVerTerminal_, &timerBackup_}) {
        const std::optional<SteadyTime> due = timer->Due();
        if (due && (!next || *due < *next)) next = due;
    }
    int timeout = -1;
    if (next) {
        const auto left = std::chrono::ceil<milliseconds>(*next - steady_clock::now()).count();
        timeout = static_cast<int>(std::clamp<long long>(left, 0, 0x7FFF'FFFF));
    }
    if (TakeStopRequest(timeout)) stopRequested_ = true;
}

void ConsoleApplication::RunMessageLoop() {
    if (!window_) throw std::logic_error("There is no main window.");
    if (window_->events().activated) window_->events().activated();
    // A period of 00:00, or one that does not convert, leaves the backup timer off: the window
    // would wait for its button, which nobody here can press.
    if (mode_ != ConsoleMode::Now && (!timerBackup_.Enabled() || timerBackup_.Interval() == 0)) {
        backupTimerOff_ = true;
        write_(err_, title_ + ": El timer de backup no corre con el periodo TIMERBACKUPLICENCE de ADMINBD.inf;"
                              " no se hace Backup\n");
        return;
    }
    switch (mode_) {
    case ConsoleMode::Now:
        if (window_->events().runNowClicked) window_->events().runNowClicked();
        return;
    case ConsoleMode::Tick:
        timerBackup_.Fire();
        return;
    case ConsoleMode::Timers:
        break;
    }
    while (!stopRequested_) {
        ProcessPendingEvents();
        if (!stopRequested_) WaitForEvent();
    }
}

int ConsoleApplication::ExitCode(const RunOutcome& outcome) const {
    if (backupTimerOff_) return kExitFailed;
    if (mode_ == ConsoleMode::Timers) return kExitDone;
    return ExitCodeOf(outcome);
}

} // namespace veltor::console
