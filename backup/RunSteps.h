#pragma once
// The steps that open both runs, the scheduled backup and the backup-restore cycle, with the
// lines they write when a step fails.

#include "activity/ActivityLog.h"
#include "catalogue/CompanyCatalogue.h"
#include "config/Global.h"

#include <exception>
#include <string>

namespace veltor {

// Releases a month log that a run which ended early left open; nothing open is no error.
void CloseLeftOverMonthLog(ActivityLog& log);

// Connects the catalogue with the configured database string and the administrator password;
// a failure is written to the memo and the run goes on (its first statement connects again).
void ConnectCatalogueOrReport(catalogue::ICompanyCatalogue& catalogue, const TGlobal& global, ActivityLog& log);

// The memo lines of a company list that could not be read.
void ReportCompanyListFailure(const TGlobal& global, ActivityLog& log, const std::exception& error);

// Opens the month log in `folder` and writes the opening of a section ("Inicio Backup: ===> "
// or "Inicio BackupRestore: ===> ") between two lines of one blank. When the file cannot be
// opened or written, the memo says so and the result is false: the run ends there.
bool OpenMonthLogSection(ActivityLog& log, const std::string& folder, const std::string& opening);

} // namespace veltor
