// The activity window drawn with the standard Windows controls, its timers and message loop.
#include "platform/win32/Win32Application.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

#include <limits>
#include <stdexcept>

namespace veltor::win32 {
namespace {

constexpr const wchar_t* kWindowClass = L"VeltorFrmActividad";
constexpr const wchar_t* kTaskbarClass = L"VeltorApplication";
constexpr const wchar_t* kCaption = L"Veltor - Backups";
constexpr int kClientWidth = 825;
constexpr int kClientHeight = 468;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN; // single fixed border
constexpr UINT kActivateOnce = WM_APP + 1;
constexpr UINT_PTR kTimerBackupId = 1;
constexpr UINT_PTR kTimerVerTerminalId = 2;

HWND Hwnd(void* window) {
    return static_cast<HWND>(window);
}

HFONT MakeFont(int pixelHeight, bool bold) {
    return CreateFontW(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       L"MS Sans Serif");
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owner = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner != nullptr && owner->handle() == window) return owner->OnMessage(message, w, l);
    return DefWindowProcW(window, message, w, l);
}

void RegisterWindowClass() {
    static const bool registered = [] {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = WindowProcedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
        type.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        type.lpszClassName = kWindowClass;
        if (!RegisterClassExW(&type)) RaiseLastError();
        return true;
    }();
    (void)registered;
}

LRESULT CALLBACK TaskbarProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owner = reinterpret_cast<Win32TaskbarEntry*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner != nullptr && owner->handle() == window) return owner->OnMessage(message, w, l);
    return DefWindowProcW(window, message, w, l);
}

void RegisterTaskbarClass() {
    static const bool registered = [] {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = TaskbarProcedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = kTaskbarClass;
        if (!RegisterClassExW(&type)) RaiseLastError();
        return true;
    }();
    (void)registered;
}

// The memo's text with CR LF line ends, as the edit control wants them.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
        out += text[i];
    }
    return out;
}

} // namespace

Win32Timer::~Win32Timer() {
    if (window_ != nullptr) KillTimer(Hwnd(window_), id_);
}

void Win32Timer::Restart() {
    KillTimer(Hwnd(window_), id_);
    if (!enabled_ || interval_ == 0) return;
    const std::uint32_t longest = std::numeric_limits<std::int32_t>::max();
    SetTimer(Hwnd(window_), id_, interval_ < longest ? interval_ : longest, nullptr);
}

void Win32Timer::SetInterval(std::uint32_t milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    Restart();
}

void Win32Timer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void Win32Timer::Fire() {
    // A WM_TIMER already queued when the timer was switched off does not count.
    if (!enabled_ || interval_ == 0) return;
    // A copy: the handler may replace itself.
    const std::function<void()> handler = handler_;
    if (handler) handler();
}

Win32TaskbarEntry::Win32TaskbarEntry(const std::string& title) {
    RegisterTaskbarClass();
    // No size, in the middle of the screen: only its taskbar button is seen.
    window_ = CreateWindowExW(0, kTaskbarClass, WideForDisplay(title).c_str(),
                              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) RaiseLastError();
}

Win32TaskbarEntry::~Win32TaskbarEntry() {
    if (window_ != nullptr && IsWindow(Hwnd(window_))) {
        SetWindowLongPtrW(Hwnd(window_), GWLP_USERDATA, 0);
        DestroyWindow(Hwnd(window_));
    }
}

void Win32TaskbarEntry::SetTitle(const std::string& title) {
    SetWindowTextW(Hwnd(window_), WideForDisplay(title).c_str());
}

void Win32TaskbarEntry::Show() {
    ShowWindow(Hwnd(window_), SW_SHOWNOACTIVATE);
}

std::intptr_t Win32TaskbarEntry::OnMessage(unsigned message, std::uintptr_t w, std::intptr_t l) {
    switch (message) {
    case WM_ACTIVATE:
        // Picked in the taskbar: the activity window is the one to work with.
        if (LOWORD(w) != WA_INACTIVE && main_ != nullptr && IsWindowVisible(Hwnd(main_)) && !IsIconic(Hwnd(window_))) {
            SetActiveWindow(Hwnd(main_));
            return 0;
        }
        break;
    case WM_SIZE:
        // The activity window goes and comes back with it (Windows hides owned windows with
        // their owner by itself; not every system that runs the program does).
        if (main_ != nullptr && w == SIZE_MINIMIZED) ShowWindow(Hwnd(main_), SW_HIDE);
        if (main_ != nullptr && w == SIZE_RESTORED && !IsWindowVisible(Hwnd(main_))) {
            ShowWindow(Hwnd(main_), SW_SHOW);
            SetActiveWindow(Hwnd(main_));
        }
        break;
    case WM_CLOSE:
        if (main_ != nullptr) PostMessageW(Hwnd(main_), WM_CLOSE, 0, 0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(Hwnd(window_), message, w, l);
}

Win32MainWindow::Win32MainWindow(std::size_t memoLineLimit, void* owner) : memoLineLimit_(memoLineLimit) {
    RegisterWindowClass();
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    window_ =
        CreateWindowExW(0, kWindowClass, kCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                        frame.bottom - frame.top, Hwnd(owner), nullptr, GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) RaiseLastError();
    font_ = MakeFont(11, false);
    panelFont_ = MakeFont(16, true);
    folderFont_ = MakeFont(13, true);
    SendMessageW(Hwnd(window_), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

    // Created in tab order; the labels take no tab stop.
    constexpr DWORD child = WS_CHILD | WS_VISIBLE;
    AddControl(L"STATIC", L"BACKUPS VELTOR 2026  ", child | SS_CENTER | SS_CENTERIMAGE, WS_EX_DLGMODALFRAME, kPanel1,
               24, 16, 785, 24, panelFont_);
    AddControl(L"BUTTON", L"Minimizar", child | WS_TABSTOP | BS_PUSHBUTTON, 0, kButton1, 738, 428, 73, 25, font_);
    HWND memo =
        Hwnd(AddControl(L"EDIT", L"", child | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                        WS_EX_CLIENTEDGE, kMemoActividad, 24, 100, 785, 313, font_));
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
    AddControl(L"EDIT", L"", child | WS_TABSTOP | WS_DISABLED | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kEdRutaCopias, 128,
               52, 681, 24, folderFont_);
    AddControl(L"BUTTON", L"Backup Restore Ahora", child | WS_TABSTOP | BS_PUSHBUTTON, 0, kButton3, 611, 428, 121, 25,
               font_);
    AddControl(L"STATIC", L"Carpeta Backups:", child | SS_LEFT, 0, kLabRutaCopia, 24, 52, 100, 13, font_);
    AddControl(L"STATIC", L"Log de Actividad:", child | SS_LEFT, 0, kLabel3, 24, 84, 100, 13, font_);

    timerBackup_ = std::make_unique<Win32Timer>(window_, kTimerBackupId);
    timerVerTerminal_ = std::make_unique<Win32Timer>(window_, kTimerVerTerminalId);
}

Win32MainWindow::~Win32MainWindow() {
    timerBackup_.reset();
    timerVerTerminal_.reset();
    if (window_ != nullptr && IsWindow(Hwnd(window_))) {
        SetWindowLongPtrW(Hwnd(window_), GWLP_USERDATA, 0);
        DestroyWindow(Hwnd(window_));
    }
    for (void* font : {font_, panelFont_, folderFont_}) {
        if (font != nullptr) DeleteObject(static_cast<HFONT>(font));
    }
}

void* Win32MainWindow::AddControl(const wchar_t* kind, const std::wstring& text, std::uint32_t style,
                                  std::uint32_t extendedStyle, int id, int left, int top, int width, int height,
                                  void* font) {
    HWND control =
        CreateWindowExW(extendedStyle, kind, text.c_str(), style, left, top, width, height, Hwnd(window_),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) RaiseLastError();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void Win32MainWindow::ShowBackupFolder(const std::string& folder) {
    SetDlgItemTextW(Hwnd(window_), kEdRutaCopias, WideForDisplay(folder).c_str());
}

void Win32MainWindow::Minimize() {
    // An owned window goes down with its owner, the application's taskbar entry.
    HWND owner = GetWindow(Hwnd(window_), GW_OWNER);
    ShowWindow(owner != nullptr ? owner : Hwnd(window_), SW_MINIMIZE);
}

void Win32MainWindow::SetRunNowEnabled(bool enabled) {
    EnableWindow(GetDlgItem(Hwnd(window_), kButton3), enabled ? TRUE : FALSE);
}

void Win32MainWindow::AppendMemoLines(const std::vector<std::string>& lines) {
    HWND memo = GetDlgItem(Hwnd(window_), kMemoActividad);
    for (const std::string& line : lines) {
        const std::wstring text = WithCrLf(WideForDisplay(line));
        const int length = GetWindowTextLengthW(memo);
        const std::wstring appended = (memoLines_.empty() ? L"" : L"\r\n") + text;
        SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
        SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(appended.c_str()));
        // A line with line ends of its own makes as many lines of the memo.
        for (std::size_t start = 0;;) {
            const std::size_t end = text.find(L"\r\n", start);
            memoLines_.push_back((end == std::wstring::npos ? text.size() : end) - start);
            if (end == std::wstring::npos) break;
            start = end + 2;
        }
    }
    // Counted in lines of text: the edit control's own count is of screen lines, wrapped ones
    // among them.
    if (memoLines_.size() > memoLineLimit_) {
        std::size_t cut = 0;
        while (memoLines_.size() > memoLineLimit_) {
            cut += memoLines_.front() + 2;
            memoLines_.pop_front();
        }
        SendMessageW(memo, EM_SETSEL, 0, static_cast<LPARAM>(cut));
        SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    }
    const int end = GetWindowTextLengthW(memo);
    SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
    SendMessageW(memo, EM_SCROLLCARET, 0, 0);
}

void Win32MainWindow::Dispatch(void* message) {
    MSG* m = static_cast<MSG*>(message);
    if (window_ != nullptr && IsDialogMessageW(Hwnd(window_), m)) return;
    TranslateMessage(m);
    DispatchMessageW(m);
}

void Win32MainWindow::ProcessPendingEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        Dispatch(&message);
    }
}

void Win32MainWindow::CentreOnScreen() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame{};
    GetWindowRect(Hwnd(window_), &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(Hwnd(window_), nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::ActivateOnce() {
    if (activated_) return;
    activated_ = true;
    if (events_.activated) events_.activated();
}

std::intptr_t Win32MainWindow::OnMessage(unsigned message, std::uintptr_t w, std::intptr_t l) {
    switch (message) {
    case kActivateOnce:
        ActivateOnce();
        return 0;
    case WM_TIMER:
        if (w == timerBackup_->id()) timerBackup_->Fire();
        if (w == timerVerTerminal_->id()) timerVerTerminal_->Fire();
        return 0;
    case WM_COMMAND:
        if (HIWORD(w) == BN_CLICKED) {
            const std::function<void()> handler = LOWORD(w) == kButton1   ? events_.minimiseClicked
                                                  : LOWORD(w) == kButton3 ? events_.runNowClicked
                                                                          : std::function<void()>();
            if (handler) handler();
            return 0;
        }
        break;
    case WM_CLOSE:
        DestroyWindow(Hwnd(window_));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(Hwnd(window_), message, w, l);
}

void Win32GuiApplication::ReportFatalError(const std::string& text) {
    std::wstring wide;
    try {
        wide = WideForDisplay(text);
    } catch (...) {
        wide = L"?";
    }
    MessageBoxW(nullptr, wide.c_str(), L"Application Error", MB_ICONERROR | MB_OK | MB_TASKMODAL);
}

void Win32GuiApplication::SetTitle(const std::string& title) {
    title_ = title;
    errorBox_.SetCaption(title);
    if (taskbar_) taskbar_->SetTitle(title);
}

MainWindowParts Win32GuiApplication::CreateMainWindow() {
    if (window_) throw std::logic_error("The main window exists already.");
    taskbar_ = std::make_unique<Win32TaskbarEntry>(title_);
    window_ = std::make_unique<Win32MainWindow>(kMemoLineLimit, taskbar_->handle());
    taskbar_->SetMainWindow(window_->handle());
    errorBox_.SetOwner(window_->handle());
    return {*window_, *window_, window_->timerBackup(), window_->timerVerTerminal()};
}

void Win32GuiApplication::RunMessageLoop() {
    if (!window_) throw std::logic_error("There is no main window.");
    HWND window = Hwnd(window_->handle());
    window_->CentreOnScreen();
    taskbar_->Show();
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    PostMessageW(window, kActivateOnce, 0, 0);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        window_->Dispatch(&message);
}

} // namespace veltor::win32
