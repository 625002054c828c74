#pragma once
// The system's record of events, where an administrator watches a program that runs
// unattended: on Windows the Application event log. One call is one event, its text whole
// (lines separated by "\n"). Never raises: an event that cannot be written is lost, and the
// memo and the month log still hold what it said.

#include <string>

namespace veltor {

class IEventLog {
public:
    virtual ~IEventLog() = default;
    virtual void Info(const std::string& text) = 0;
    virtual void Warning(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
};

} // namespace veltor
