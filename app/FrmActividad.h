#pragma once
// The activity window's behaviour: its handlers, its two timers and the values it owns. The
// front end draws the window and forwards its events; this class decides what they do.

#include "config/Global.h"
#include "ports/ActivityView.h"
#include "ports/MessageBox.h"
#include "ports/Timer.h"
#include "ports/WindowView.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltor {

class TGlobal;
class IBackupModule;

// The backup timer's interval for a period of hours and minutes: 0 for a negative period,
// at most 2^31 - 1 ms.
std::uint32_t BackupIntervalOf(std::int32_t hours, std::int32_t minutes);

class TFrmActividad {
public:
    static constexpr std::uint32_t kMinimiseInterval = 43'200'000; // 12 hours

    // Binds the window's and the timers' events to the handlers and runs FormCreate. Errors
    // escaping a handler go to the application's error box.
    TFrmActividad(IWindowView& view, ITimer& timerBackup, ITimer& timerVerTerminal, IMessageBox& errorBox,
                  IActivityView& memo);
    ~TFrmActividad();
    TFrmActividad(const TFrmActividad&) = delete;
    TFrmActividad& operator=(const TFrmActividad&) = delete;

    // The modules are created after the window; both are set before its first activation.
    void SetGlobal(TGlobal& global) { global_ = &global; }
    void SetBackupModule(IBackupModule* module) { backupModule_ = module; }

    void FormCreate();
    void FormActivate();
    void TimerActividad();
    void TimerBackupTimer();
    void Button3Click();

    // True from the start to the end of a scheduled or an immediate run.
    bool RunInProgress() const { return runInProgress_; }

    ITimer& TimerBackup;
    ITimer& TimerVerTerminal;
    IActivityView& MemoActividad;

    // The backup period split at the first activation; handed to the scheduled run.
    std::string PeriodHours;
    std::string PeriodMinutes;
    // Set while the operator's immediate run is in progress; handed to the cycle.
    bool RestoreNow = false;

private:
    class RunScope;

    template <class Handler> void HandleEvent(Handler handler) noexcept;
    TGlobal& Global() const;
    IBackupModule& BackupModule() const;

    IWindowView& view_;
    IMessageBox& errorBox_;
    TGlobal* global_ = nullptr;
    IBackupModule* backupModule_ = nullptr;
    bool runInProgress_ = false;
};

} // namespace veltor
