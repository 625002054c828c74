#pragma once
// The activity log: lines for the memo of the activity window and the month's log file in
// the backup folder. The process owns one of these, shared by every run.
//
// Lines carry texts from outside (company names and codes from the catalogue, paths from the
// catalogue and ADMINBD.inf, error messages that quote them). Every line written here has its
// control characters made visible (VisibleControls, "<0A>" for a line feed), so one line given
// is one line in the memo and in the file, whatever those texts hold.

#include "ports/ActivityView.h"
#include "ports/Clock.h"
#include "ports/FileSystem.h"
#include "ports/RegionalFormats.h"

#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltor {

// Raised by a log-file operation that needs an open month log when none is open.
class MonthLogNotOpen : public std::runtime_error {
public:
    MonthLogNotOpen() : std::runtime_error("El archivo de log no está abierto") {}
};

class ActivityLog {
public:
    ActivityLog(IFileSystem& files, IClock& clock, const IRegionalFormats& formats, IActivityView& view);
    ~ActivityLog() = default;
    ActivityLog(const ActivityLog&) = delete;
    ActivityLog& operator=(const ActivityLog&) = delete;

    // Regional short date, " - ", regional long time, of the clock's present moment.
    std::string StampPrefix() const;

    // backupFolder (which ends in a separator) + "Log Backup Veltor " + YYYY + MM + ".txt".
    static std::string MonthLogPath(const std::string& backupFolder, const LocalDateTime& moment);

    // Opens the month's file of the present moment for appending at its end, creating it when
    // missing. The file is held for writing by this process alone until it is closed. Raises
    // OsError when it cannot be opened (missing folder, another writer, no rights); the path
    // tried is then in lastMonthLogPath(). A file still open is closed first.
    void OpenMonthLog(const std::string& backupFolder);
    // The path of the last OpenMonthLog, whether it succeeded or not.
    const std::string& lastMonthLogPath() const { return lastPath_; }
    bool isMonthLogOpen() const { return file_ != nullptr; }

    // Writes text and CR LF to the open file, in Windows-1252. Raises MonthLogNotOpen
    // when none is open, OsError when the write fails.
    void WriteLogLine(std::string_view text);
    // Writes out what is buffered and releases the file. Raises MonthLogNotOpen when none is
    // open, OsError when the write-out fails (the file is released in any case).
    void CloseMonthLog();

    // Appends one line, or a batch of lines in order, at the end of the memo.
    void WriteMemoLine(std::string_view text);
    void WriteMemoLines(const std::vector<std::string>& lines);
    // Appends one memo entry that the memo shows on several lines, CR LF between them.
    void WriteMemoText(std::initializer_list<std::string_view> shownLines);

private:
    IFileSystem& files_;
    IClock& clock_;
    const IRegionalFormats& formats_;
    IActivityView& view_;
    std::unique_ptr<IAppendFile> file_;
    std::string lastPath_;
};

} // namespace veltor
