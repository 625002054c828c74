#pragma once
#include <string>

namespace veltor {

// Modal error boxes with one OK button, captioned with the application title.
// Show returns when somebody confirmed the box (a headless front end returns at once).
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void ShowError(const std::string& text) = 0;
};

} // namespace veltor
