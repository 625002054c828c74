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

} // namespace veltor::test
