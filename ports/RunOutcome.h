#pragma once

namespace veltor {

// What the runs of one process came to. The headless program's exit code is made from it.
struct RunOutcome {
    // Companies whose backup or backup-restore cycle did not end as asked.
    int failedCompanies = 0;
    // A run that ended before its companies were done: the configuration, the catalogue, its
    // company list or the month log could not be used.
    bool cutShort = false;
};

// The exit codes of the headless program.
inline constexpr int kExitDone = 0;       // everything asked was done
inline constexpr int kExitFailed = 1;     // a company failed, or the backup timer does not run
inline constexpr int kExitNotStarted = 2; // a usage error, or a run could not start or go on

inline int ExitCodeOf(const RunOutcome& outcome) {
    if (outcome.cutShort) return kExitNotStarted;
    if (outcome.failedCompanies > 0) return kExitFailed;
    return kExitDone;
}

} // namespace veltor
