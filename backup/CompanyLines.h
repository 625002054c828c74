#pragma once
// The lines one company's backup writes to the memo and the month log, and the window's events
// while it runs. One backup at a time writes them as they come; a backup running beside others
// holds them, each with the time it was said, and writes them all together when the company's
// turn comes, so that the memo and the log read one company after another.

#include "activity/ActivityLog.h"
#include "ports/ActivityView.h"

#include <string>
#include <vector>

namespace veltor {

class CompanyLines final : private IActivityView {
public:
    // Written as they come; the window handles its events when asked.
    CompanyLines(ActivityLog& log, IActivityView& view) : log_(log), view_(&view) {}
    // Held until Release; the window is left alone (it belongs to another thread).
    explicit CompanyLines(ActivityLog& log) : log_(log) {}
    CompanyLines(const CompanyLines&) = delete;
    CompanyLines& operator=(const CompanyLines&) = delete;

    // The time prefix of a line said now.
    std::string Prefix() const { return log_.StampPrefix(); }
    // A log line raises when it cannot be written, when written (held: at Release).
    void Log(const std::string& line);
    // A line for the log and the memo whose log write is best effort: what it tells has
    // happened whatever the file says.
    void Said(const std::string& line);
    void Memo(const std::string& line);
    void Memos(const std::vector<std::string>& lines);
    void HandleEvents();

    // The lines as a view of the window, for what writes to one: its batches go to the memo,
    // its events are handled as above.
    IActivityView& AsView() { return *this; }

    // Writes what is held, in order, and from then on writes as the lines come, the window
    // handling its events. A log line that cannot be written raises, as it would have when
    // written as it came, and what was held after it is not written.
    void Release(IActivityView& view);

private:
    void AppendMemoLines(const std::vector<std::string>& lines) override { Memos(lines); }
    void ProcessPendingEvents() override { HandleEvents(); }

    enum class To { Log, Said, Memo, Memos };
    struct Held {
        To to;
        std::vector<std::string> lines;
    };

    ActivityLog& log_;
    IActivityView* view_ = nullptr; // none while held
    std::vector<Held> held_;
};

} // namespace veltor
