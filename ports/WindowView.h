#pragma once
#include <functional>
#include <string>

namespace veltor {

// The events of the activity window that its behaviour handles. Each may be empty.
struct WindowEvents {
    // The window became the program's active window for the first time (once per process).
    std::function<void()> activated;
    // Button1 "Minimizar".
    std::function<void()> minimiseClicked;
    // Button3 "Backup Restore Ahora".
    std::function<void()> runNowClicked;
};

// The activity window's own controls as its behaviour drives them; the memo is IActivityView.
class IWindowView {
public:
    virtual ~IWindowView() = default;
    // Replaces the handlers of the window's events.
    virtual void BindEvents(WindowEvents events) = 0;
    // The folder field EdRutaCopias.
    virtual void ShowBackupFolder(const std::string& folder) = 0;
    virtual void Minimize() = 0;
    // Button3; a disabled button takes no clicks.
    virtual void SetRunNowEnabled(bool enabled) = 0;
};

} // namespace veltor
