#pragma once
// The Application event log of Windows, under the event source VeltorBackups. The source is
// registered by --install-service and removed by --remove-service; an event written without it
// is still kept, shown with a note that its description is missing.

#include "ports/EventLog.h"

#include <string>

namespace veltor::win32 {

inline constexpr const char* kEventSourceKey =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VeltorBackups";
// The program has no message table of its own: the source takes the message file of the
// system's eventcreate command, whose messages 1 to 1000 are each just their one insertion
// string, so Event Viewer shows our text as it is. Every event has the id kEventId.
inline constexpr const char* kEventMessageFile = "%SystemRoot%\\System32\\EventCreate.exe";
inline constexpr unsigned long kEventId = 1;

// Registers the event source: its key with the message file and the types it writes. Gives
// the error code of the registry, or 0.
unsigned long AddEventSource();
// Removes the event source; one that is not there counts as removed. Gives the error code of
// the registry, or 0.
unsigned long RemoveEventSource();

class Win32EventLog final : public IEventLog {
public:
    Win32EventLog();
    ~Win32EventLog() override;
    Win32EventLog(const Win32EventLog&) = delete;
    Win32EventLog& operator=(const Win32EventLog&) = delete;

    void Info(const std::string& text) override;
    void Warning(const std::string& text) override;
    void Error(const std::string& text) override;

    // Writes one event of the given type (EVENTLOG_..._TYPE); whether the log took it.
    bool Report(unsigned short type, const std::string& text);

private:
    void* source_; // the handle of RegisterEventSource, or null
};

} // namespace veltor::win32
