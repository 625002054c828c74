#include "app/FrmActividad.h"

#include "config/Global.h"
#include "ports/BackupModule.h"

#include <limits>

namespace veltor {

std::uint32_t BackupIntervalOf(std::int32_t hours, std::int32_t minutes) {
    const std::int64_t milliseconds = (std::int64_t{hours} * 3600 + std::int64_t{minutes} * 60) * 1000;
    if (milliseconds <= 0) return 0;
    constexpr std::int64_t longest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::uint32_t>(milliseconds < longest ? milliseconds : longest);
}

// Marks a run in progress and keeps Button3 disabled until it ends.
class TFrmActividad::RunScope {
public:
    explicit RunScope(TFrmActividad& window) : window_(window) {
        window_.runInProgress_ = true;
        window_.view_.SetRunNowEnabled(false);
    }
    ~RunScope() {
        window_.runInProgress_ = false;
        window_.view_.SetRunNowEnabled(true);
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

private:
    TFrmActividad& window_;
};

TFrmActividad::TFrmActividad(IWindowView& view, ITimer& timerBackup, ITimer& timerVerTerminal, IMessageBox& errorBox,
                             IActivityView& memo)
    : TimerBackup(timerBackup), TimerVerTerminal(timerVerTerminal), MemoActividad(memo), view_(view),
      errorBox_(errorBox) {
    view_.BindEvents({
        .activated = [this] { HandleEvent([this] { FormActivate(); }); },
        .minimiseClicked = [this] { HandleEvent([this] { TimerActividad(); }); },
        .runNowClicked = [this] { HandleEvent([this] { Button3Click(); }); },
    });
    TimerVerTerminal.SetOnTimer([this] { HandleEvent([this] { TimerActividad(); }); });
    TimerBackup.SetOnTimer([this] { HandleEvent([this] { TimerBackupTimer(); }); });
    // The backup timer waits for the first activation; the minimise timer runs from creation.
    TimerBackup.SetEnabled(false);
    TimerVerTerminal.SetEnabled(true);
    FormCreate();
}

TFrmActividad::~TFrmActividad() {
    TimerBackup.SetOnTimer({});
    TimerVerTerminal.SetOnTimer({});
    view_.BindEvents({});
}

template <class Handler> void TFrmActividad::HandleEvent(Handler handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        try {
            errorBox_.ShowError(error.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            errorBox_.ShowError("Unknown error");
        } catch (...) {
        }
    }
}

TGlobal& TFrmActividad::Global() const {
    if (global_ == nullptr) throw std::logic_error("The configuration module does not exist yet.");
    return *global_;
}

IBackupModule& TFrmActividad::BackupModule() const {
    if (backupModule_ == nullptr) throw std::logic_error("The backup module does not exist yet.");
    return *backupModule_;
}

void TFrmActividad::FormCreate() {
    TimerVerTerminal.SetInterval(kMinimiseInterval);
}

void TFrmActividad::FormActivate() {
    TGlobal& global = Global();
    global.ReadConfiguration();
    if (global.BackupTimerPeriod.empty()) global.BackupTimerPeriod = kDefaultTimerPeriod;
    const TimerPeriod period = TimerPeriodOf(global.BackupTimerPeriod);
    PeriodHours = period.hours;
    PeriodMinutes = period.minutes;
    const std::int32_t hours = StrToInt(PeriodHours);
    const std::int32_t minutes = StrToInt(PeriodMinutes);
    TimerBackup.SetInterval(BackupIntervalOf(hours, minutes));
    view_.ShowBackupFolder(global.BackupFolder);
    TimerBackup.SetEnabled(true);
}

void TFrmActividad::TimerActividad() {
    view_.Minimize();
}

void TFrmActividad::TimerBackupTimer() {
    TimerBackup.SetEnabled(false);
    // A tick during another run (which is letting events through) starts nothing.
    if (!runInProgress_) {
        RunScope run(*this);
        // Another process of the installation at work: this tick starts nothing.
        if (const auto lock = BackupModule().LockRuns()) {
            try {
                BackupModule().RunScheduledBackup(PeriodHours, PeriodMinutes);
                BackupModule().RunBackupRestore(RestoreNow);
            } catch (...) {
                // The runs report their own problems in the activity log.
            }
        }
    }
    TimerBackup.SetEnabled(true);
}

void TFrmActividad::Button3Click() {
    if (runInProgress_) return;
    RunScope run(*this);
    const auto lock = BackupModule().LockRuns();
    if (!lock) return;
    RestoreNow = true;
    try {
        BackupModule().RunScheduledBackup(PeriodHours, PeriodMinutes);
        TimerVerTerminal.SetEnabled(false);
        BackupModule().RunBackupRestore(RestoreNow);
    } catch (...) {
        // The runs report their own problems in the activity log.
    }
    RestoreNow = false;
    TimerVerTerminal.SetEnabled(true);
}

} // namespace veltor
