#pragma once
// An event log that keeps its events ("info: ", "warning: " or "error: " and the text).

#include "ports/EventLog.h"

#include <string>
#include <vector>

namespace veltor::test {

class FakeEventLog final : public IEventLog {
public:
    void Info(const std::string& text) override { events.push_back("info: " + text); }
    void Warning(const std::string& text) override { events.push_back("warning: " + text); }
    void Error(const std::string& text) override { events.push_back("error: " + text); }

    std::vector<std::string> events;
};

} // namespace veltor::test
