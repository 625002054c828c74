#pragma once
// The Linux desktop front end: the activity window drawn with Qt Widgets, QTimer for the two
// timers and QMessageBox for the error boxes.

#include "ports/GuiApplication.h"

#include <QTimer>
#include <QWidget>

#include <memory>

class QApplication;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace veltor::qt {

// The longest the memo grows: older lines leave from the top.
inline constexpr int kMemoLineLimit = 20'000;

class QtTimer final : public ITimer {
public:
    QtTimer();
    void SetInterval(std::uint32_t milliseconds) override;
    std::uint32_t Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()> handler) override { handler_ = std::move(handler); }

    // The running Qt timer (inactive while disabled or with interval 0).
    const QTimer& timer() const { return timer_; }

private:
    void Restart();

    QTimer timer_;
    std::uint32_t interval_ = 0;
    bool enabled_ = false;
    std::function<void()> handler_;
};

// The activity window "Veltor - Backups". Its controls carry their component names as object
// names (Panel1, Button1, MemoActividad, EdRutaCopias, Button3, LabRutaCopia, Label3).
class QtMainWindow final : public QWidget, public IWindowView, public IActivityView {
public:
    QtMainWindow();

    void BindEvents(WindowEvents events) override { events_ = std::move(events); }
    void ShowBackupFolder(const std::string& folder) override;
    void Minimize() override;
    void SetRunNowEnabled(bool enabled) override;

    void AppendMemoLines(const std::vector<std::string>& lines) override;
    void ProcessPendingEvents() override;

    // Puts the window in the middle of its screen.
    void CentreOnScreen();
    // Raises the first activation (once) from the message loop.
    void ActivateOnce();

    const WindowEvents& events() const { return events_; }

private:
    WindowEvents events_;
    bool activated_ = false;
    QLabel* panel1_;
    QPushButton* button1_;
    QPlainTextEdit* memoActividad_;
    QLineEdit* edRutaCopias_;
    QPushButton* button3_;
};

// Modal error boxes over the main window, captioned with the application title.
class QtErrorBox final : public IMessageBox {
public:
    void ShowError(const std::string& text) override;
    void SetTitle(const std::string& title) { title_ = title; }
    void SetParent(QWidget* parent) { parent_ = parent; }

private:
    std::string title_;
    QWidget* parent_ = nullptr;
};

class QtGuiApplication final : public IGuiApplication {
public:
    // argc and argv outlive the object.
    QtGuiApplication(int& argc, char** argv);
    ~QtGuiApplication() override;
    QtGuiApplication(const QtGuiApplication&) = delete;
    QtGuiApplication& operator=(const QtGuiApplication&) = delete;

    // The text on standard error, and in a box captioned "Application Error" when there is a
    // display.
    void ReportFatalError(const std::string& text) override;
    void Initialize() override;
    void SetTitle(const std::string& title) override;
    MainWindowParts CreateMainWindow() override;
    IMessageBox& ErrorBox() override { return errorBox_; }
    void RunMessageLoop() override;

private:
    int& argc_;
    char** argv_;
    std::unique_ptr<QApplication> application_;
    QtErrorBox errorBox_;
    std::unique_ptr<QtTimer> timerBackup_;
    std::unique_ptr<QtTimer> timerVerTerminal_;
    std::unique_ptr<QtMainWindow> window_;
};

} // namespace veltor::qt
