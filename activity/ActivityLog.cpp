#include "activity/ActivityLog.h"

#include "config/Global.h"
#include "text/Windows1252.h"

#include <utility>

namespace veltor {

ActivityLog::ActivityLog(IFileSystem& files, IClock& clock, const IRegionalFormats& formats, IActivityView& view)
    : files_(files), clock_(clock), formats_(formats), view_(view) {}

std::string ActivityLog::StampPrefix() const {
    const LocalDateTime now = clock_.Now();
    return formats_.ShortDate(now) + " - " + formats_.LongTime(now);
}

std::string ActivityLog::MonthLogPath(const std::string& backupFolder, const LocalDateTime& moment) {
    return backupFolder + "Log Backup Veltor " + TGlobal::PadNumber(TGlobal::YearOfDate(moment), 4) +
           TGlobal::PadNumber(TGlobal::MonthOfDate(moment), 2) + ".txt";
}

void ActivityLog::OpenMonthLog(const std::string& backupFolder) {
    lastPath_ = MonthLogPath(backupFolder, clock_.Now());
    if (file_) CloseMonthLog();
    file_ = files_.OpenForAppend(lastPath_);
}

void ActivityLog::WriteLogLine(std::string_view text) {
    if (!file_) throw MonthLogNotOpen();
    std::string bytes = Utf8ToWindows1252(VisibleControls(text));
    bytes += "\r\n";
    file_->Write(bytes);
}

void ActivityLog::CloseMonthLog() {
    if (!file_) throw MonthLogNotOpen();
    std::unique_ptr<IAppendFile> file = std::move(file_);
    file->Close();
}

void ActivityLog::WriteMemoLine(std::string_view text) {
    view_.AppendMemoLines({VisibleControls(ToProgramText(text))});
}

void ActivityLog::WriteMemoLines(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (const std::string& line : lines)
        texts.push_back(VisibleControls(ToProgramText(line)));
    view_.AppendMemoLines(texts);
}

void ActivityLog::WriteMemoText(std::initializer_list<std::string_view> shownLines) {
    std::string text;
    bool first = true;
    for (const std::string_view line : shownLines) {
        if (!first) text += "\r\n";
        text += VisibleControls(ToProgramText(line));
        first = false;
    }
    view_.AppendMemoLines({text});
}

} // namespace veltor
