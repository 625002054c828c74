#pragma once
#include <string>
#include <vector>

namespace veltor {

// The memo of the activity window and the window's message queue, as the runs see them.
class IActivityView {
public:
    virtual ~IActivityView() = default;
    // Appends lines at the end of the memo. A line may hold a CR LF, shown as two lines.
    virtual void AppendMemoLines(const std::vector<std::string>& lines) = 0;
    // Lets the window handle the events that are waiting (timers, clicks, painting).
    virtual void ProcessPendingEvents() = 0;
};

} // namespace veltor
