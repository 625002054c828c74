#pragma once
// What a run tells the system's event log, and the failure script, when it leaves companies not
// done.

#include "ports/EventLog.h"

#include <string>
#include <vector>

namespace veltor {

// The event of one run (`run` is "Backup" or "Backup-Restore"), `notDone` its companies not
// done ("<code> - <name>: <why>"): a warning that names each of them, one a line under a summary
// line; an error when the run ended before its companies were done (the memo and the month log
// say why). Nothing for a run that did every company.
void ReportRunEnd(IEventLog& events, const std::string& run, bool cutShort, const std::vector<std::string>& notDone);

// The summary line of such a run: "Backup: 2 empresas no terminadas"; empty for a run that did
// every company.
std::string RunEndSummary(const std::string& run, bool cutShort, const std::vector<std::string>& notDone);

} // namespace veltor
