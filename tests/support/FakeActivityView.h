#pragma once
// The activity window as the runs see it, for unit tests: the memo is a list of the lines
// appended, and every event-processing call is counted (onProcessEvents runs inside it, to
// let a test click or tick in the middle of a run).

#include "ports/ActivityView.h"

#include <functional>
#include <string>
#include <vector>

namespace veltor::test {

class FakeActivityView : public IActivityView {
public:
    std::vector<std::string> memo;
    // The size of every batch appended, in order.
    std::vector<std::size_t> batches;
    int processEventsCalls = 0;
    std::function<void()> onProcessEvents;

    void AppendMemoLines(const std::vector<std::string>& lines) override {
        memo.insert(memo.end(), lines.begin(), lines.end());
        batches.push_back(lines.size());
    }
    void ProcessPendingEvents() override {
        ++processEventsCalls;
        if (onProcessEvents) onProcessEvents();
    }
};

// The recorded memo, with a hook run after each line is appended.
class HookedActivityView : public FakeActivityView {
public:
    std::function<void(const std::string&)> onMemoLine;
    void AppendMemoLines(const std::vector<std::string>& lines) override {
        FakeActivityView::AppendMemoLines(lines);
        if (onMemoLine)
            for (const std::string& line : lines)
                onMemoLine(line);
    }
};

} // namespace veltor::test
