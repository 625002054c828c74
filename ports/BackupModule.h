#pragma once
// The backup module as the activity window sees it: the two runs, and what the window hands
// them.

#include "ports/RunOutcome.h"

#include <memory>
#include <string>

namespace veltor {

// Held from before the runs of a tick (or of the button) until both have ended: one such pair
// at a time in all the processes of an installation (the window and the service, say).
class IRunLock {
public:
    virtual ~IRunLock() = default;
};

// The two runs of the backup module. Both return nothing and may raise; while they work they
// may let pending window events through (IActivityView).
class IBackupModule {
public:
    virtual ~IBackupModule() = default;
    // The scheduled backup of the companies due for a backup timer of the given period (the
    // window's PeriodHours and PeriodMinutes, texts of integers).
    virtual void RunScheduledBackup(const std::string& periodHours, const std::string& periodMinutes) = 0;
    // The backup-restore cycle; `restoreNow` is the window's RestoreNow (the operator's
    // immediate run).
    virtual void RunBackupRestore(bool restoreNow) = 0;
    // Takes the installation's run lock for the runs that follow; nothing, with one memo line,
    // when another process holds it: then no run may start, nor touch the server's service.
    virtual std::unique_ptr<IRunLock> LockRuns() = 0;
    // What the runs since the module's creation came to.
    virtual RunOutcome Outcome() const = 0;
};

} // namespace veltor
