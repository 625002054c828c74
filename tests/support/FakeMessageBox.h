#pragma once
// Error boxes for unit tests: every text shown is recorded; onShow runs while the box is
// "open" (to let time pass or events arrive meanwhile).

#include "ports/MessageBox.h"

#include <functional>
#include <string>
#include <vector>

namespace veltor::test {

class FakeMessageBox : public IMessageBox {
public:
    std::vector<std::string> shown;
    std::function<void(const std::string&)> onShow;

    void ShowError(const std::string& text) override {
        shown.push_back(text);
        if (onShow) onShow(text);
    }
};

} // namespace veltor::test
