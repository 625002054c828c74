#pragma once
// The Windows front end: the activity window "Veltor - Backups" built from the standard
// controls, WM_TIMER timers, MessageBox for the error boxes and the message loop.

#include "platform/win32/Win32Platform.h"
#include "ports/GuiApplication.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltor::win32 {

// Control identifiers of the activity window, in tab order.
enum ControlId : int {
    kPanel1 = 101,
    kButton1 = 102,
    kMemoActividad = 103,
    kEdRutaCopias = 104,
    kButton3 = 105,
    kLabRutaCopia = 106,
    kLabel3 = 107,
};

// The longest the memo grows, in its lines (not the screen lines they wrap into): older lines
// leave from the top.
inline constexpr std::size_t kMemoLineLimit = 20'000;

// A timer of the window's message loop (SetTimer on the main window).
class Win32Timer final : public ITimer {
public:
    Win32Timer(void* window, std::uintptr_t id) : window_(window), id_(id) {}
    ~Win32Timer() override;
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;

    void SetInterval(std::uint32_t milliseconds) override;
    std::uint32_t Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()> handler) override { handler_ = std::move(handler); }

    std::uintptr_t id() const { return id_; }
    // The WM_TIMER of this timer.
    void Fire();

private:
    void Restart();

    void* window_;
    std::uintptr_t id_;
    std::uint32_t interval_ = 0;
    bool enabled_ = false;
    std::function<void()> handler_;
};

// The application's entry in the taskbar, captioned with the application title: a window of
// no size that owns the activity window, as the activity window's caption is its own
// ("Veltor - Backups"). Minimising it takes the activity window along; activating it from
// the taskbar hands the activation on; closing it closes the activity window.
class Win32TaskbarEntry {
public:
    explicit Win32TaskbarEntry(const std::string& title);
    ~Win32TaskbarEntry();
    Win32TaskbarEntry(const Win32TaskbarEntry&) = delete;
    Win32TaskbarEntry& operator=(const Win32TaskbarEntry&) = delete;

    void* handle() const { return window_; }
    void SetTitle(const std::string& title);
    void SetMainWindow(void* window) { main_ = window; }
    void Show();
    std::intptr_t OnMessage(unsigned message, std::uintptr_t w, std::intptr_t l);

private:
    void* window_ = nullptr;
    void* main_ = nullptr;
};

class Win32MainWindow final : public IWindowView, public IActivityView {
public:
    // Owned by the taskbar entry when one is given, else a window of its own in the taskbar.
    explicit Win32MainWindow(std::size_t memoLineLimit = kMemoLineLimit, void* owner = nullptr);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    void BindEvents(WindowEvents events) override { events_ = std::move(events); }
    void ShowBackupFolder(const std::string& folder) override;
    void Minimize() override;
    void SetRunNowEnabled(bool enabled) override;

    void AppendMemoLines(const std::vector<std::string>& lines) override;
    // Dispatches what waits in the thread's queue; a WM_QUIT met there is put back for the loop.
    void ProcessPendingEvents() override;

    void* handle() const { return window_; }
    Win32Timer& timerBackup() { return *timerBackup_; }
    Win32Timer& timerVerTerminal() { return *timerVerTerminal_; }

    void CentreOnScreen();
    // Raises the first activation (once).
    void ActivateOnce();
    // One message of the queue: the dialog keys (Tab) first, then the window procedures.
    void Dispatch(void* message);
    // The window procedure's work for this window.
    std::intptr_t OnMessage(unsigned message, std::uintptr_t w, std::intptr_t l);

private:
    void* AddControl(const wchar_t* kind, const std::wstring& text, std::uint32_t style, std::uint32_t extendedStyle,
                     int id, int left, int top, int width, int height, void* font);

    void* window_ = nullptr;
    void* font_ = nullptr;
    void* panelFont_ = nullptr;
    void* folderFont_ = nullptr;
    WindowEvents events_;
    bool activated_ = false;
    std::size_t memoLineLimit_;
    // The length of each line of the memo, without its line end, first line first.
    std::deque<std::size_t> memoLines_;
    std::unique_ptr<Win32Timer> timerBackup_;
    std::unique_ptr<Win32Timer> timerVerTerminal_;
};

class Win32GuiApplication final : public IGuiApplication {
public:
    // The fatal error box, captioned "Application Error", as the run-time shows it.
    void ReportFatalError(const std::string& text) override;
    void Initialize() override {}
    void SetTitle(const std::string& title) override;
    MainWindowParts CreateMainWindow() override;
    IMessageBox& ErrorBox() override { return errorBox_; }
    void RunMessageLoop() override;

    Win32MainWindow* window() { return window_.get(); }

private:
    std::string title_ = "Backups Veltor";
    Win32MessageBox errorBox_;
    // Declared before the window it owns, so it goes after it.
    std::unique_ptr<Win32TaskbarEntry> taskbar_;
    std::unique_ptr<Win32MainWindow> window_;
};

} // namespace veltor::win32
