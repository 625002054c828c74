#pragma once
// What the scheduled run and the backup-restore cycle share around a Firebird service:
// the administrator's credentials, the server text and the reading of the verbose output.

#include "activity/ActivityLog.h"
#include "config/Global.h"
#include "dbserver/Administrator.h"
#include "dbserver/FirebirdServiceConnection.h"
#include "ports/ActivityView.h"

#include <string>
#include <vector>

namespace veltor {

// Reads the output of the started action to its end, each line prefixed with two blanks,
// letting the window handle its events after every line; then adds the whole batch to the
// memo at once (the last line, read when the action ended, is a line of two blanks) and
// lets the window handle its events once more. Returns the lines as the server sent them.
std::vector<std::string> ShowServiceOutput(fb::FirebirdServiceConnection& service, TActivityLog& log,
                                           IActivityView& view);

// One backup through a service connection that is set up: attaches, starts the backup, writes
// the file line (with `backupFile`, the name the backup will have once it is whole) to the log
// and the memo, shows the output to its end, and detaches on every path. A failure reaches the
// caller, with the connection detached. Returns the output lines as the server sent them.
std::vector<std::string> BackupToTheEnd(fb::FirebirdServiceConnection& service, const fb::BackupRequest& request,
                                        const std::string& backupFile, TActivityLog& log, IActivityView& view);

} // namespace veltor
