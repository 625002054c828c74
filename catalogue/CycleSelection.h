#pragma once
// Which companies a backup-restore run cycles: the server's clock, read once per run, and the
// selection built from it, opened on QEmpresas.

#include "catalogue/CompanyCatalogue.h"

#include <string>
#include <string_view>

namespace veltor::catalogue {

// The server's weekday name, "H:M" without leading zeros, and its year, all trimmed.
struct ServerClock {
    std::string DIA;
    std::string HORA;
    std::string ANNO;
};

// The statement that reads the server's clock.
extern const std::string_view kServerClockStatement;
// The company selection of the cycle: every company flagged for it and every company of the
// server's year when `restoreNow`; otherwise the companies whose weekday flag is set for the
// server's weekday and whose restore hour lies in the half hour up to the server's time.
std::string CycleSelectionStatement(const ServerClock& clock, bool restoreNow);
// Opens the server clock query on QEmpresas and reads it; raises its failure.
ServerClock ReadServerClock(ICompanyCatalogue& catalogue);
// Whether a cycle stamped today at `lastCycle` (HORAULTRESTORE, "H:M") came at or after the
// restore hour `restoreHour` (HORARESTORE): the cycle of today's window has run. False when
// either cannot be read as a time of day.
bool CycledSinceRestoreHour(const std::string& lastCycle, const std::string& restoreHour);
// Opens the cycle's company selection on QEmpresas; raises its failure.
void SelectCycleCompanies(ICompanyCatalogue& catalogue, const ServerClock& clock, bool restoreNow);

} // namespace veltor::catalogue
