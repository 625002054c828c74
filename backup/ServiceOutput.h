#pragma once
// What the scheduled run and the backup-restore cycle share around a Firebird service:
// the administrator's credentials, the server text and the showing of the verbose output.

#include "activity/ActivityLog.h"
#include "backup/CompanyLines.h"
#include "config/Global.h"
#include "dbserver/Administrator.h"
#include "ports/ActivityView.h"
#include "ports/FirebirdService.h"

#include <functional>
#include <string>
#include <vector>

namespace veltor {

// One run of a service action, given the callbacks to hand its output to.
using ServiceRun = std::function<void(const fb::ServiceCallbacks&)>;

// Runs the action, `started` once the server accepted it, and shows its output: each line
// prefixed with two blanks, the window handling its events after every line; then the whole
// batch goes to the memo at once (the last line, read when the action ended, is a line of two
// blanks) and the window handles its events once more. A failure reaches the caller before
// the batch is shown. Returns the lines as the server sent them.
std::vector<std::string> ShowServiceOutput(const ServiceRun& run, const std::function<void()>& started,
                                           CompanyLines& lines);

// One backup through a service that is set up: once the server accepted the start, the file
// line (with `backupFile`, the name the backup will have once it is whole) goes to the log and
// the memo; then the output is shown to its end. Returns the output lines as the server sent
// them.
std::vector<std::string> BackupToTheEnd(fb::IFirebirdService& service, const fb::BackupRequest& request,
                                        const std::string& backupFile, CompanyLines& lines);
std::vector<std::string> BackupToTheEnd(fb::IFirebirdService& service, const fb::BackupRequest& request,
                                        const std::string& backupFile, ActivityLog& log, IActivityView& view);

// One restore through a service that is set up: once the server accepted the start, the file
// line of `request`'s first backup file goes to the memo; then the output is shown to its end.
void RestoreToTheEnd(fb::IFirebirdService& service, const fb::RestoreRequest& request, ActivityLog& log,
                     IActivityView& view);

} // namespace veltor
