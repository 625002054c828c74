#include "backup/CompanyLines.h"

#include "backup/Retention.h"

namespace veltor {

void CompanyLines::Log(const std::string& line) {
    if (view_)
        log_.WriteLogLine(line);
    else
        held_.push_back({To::Log, {line}});
}

void CompanyLines::Said(const std::string& line) {
    if (view_)
        WriteLogAndMemo(log_, line);
    else
        held_.push_back({To::Said, {line}});
}

void CompanyLines::Memo(const std::string& line) {
    if (view_)
        log_.WriteMemoLine(line);
    else
        held_.push_back({To::Memo, {line}});
}

void CompanyLines::Memos(const std::vector<std::string>& lines) {
    if (view_)
        log_.WriteMemoLines(lines);
    else
        held_.push_back({To::Memos, lines});
}

void CompanyLines::HandleEvents() {
    if (view_) view_->ProcessPendingEvents();
}

void CompanyLines::Release(IActivityView& view) {
    view_ = &view;
    std::vector<Held> held;
    held.swap(held_);
    for (const Held& entry : held) {
        switch (entry.to) {
        case To::Log:
            log_.WriteLogLine(entry.lines.front());
            break;
        case To::Said:
            WriteLogAndMemo(log_, entry.lines.front());
            break;
        case To::Memo:
            log_.WriteMemoLine(entry.lines.front());
            break;
        case To::Memos:
            log_.WriteMemoLines(entry.lines);
            break;
        }
    }
}

} // namespace veltor
