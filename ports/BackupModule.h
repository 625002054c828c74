#pragma once
// The backup module as the activity window sees it: the two runs, and what the window hands
// them.

#include "ports/Restore.h"
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

// The two runs of the backup module, and the headless program's commands on one company's
// backups. They return nothing and may raise; while they work they may let pending window
// events through (IActivityView). What they came to is in Outcome.
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
    // The backups of the company whose CODIGO is `code`, newest first, as memo lines. An unknown
    // code or a catalogue that cannot be read leaves the outcome cut short.
    virtual void ListBackups(const std::string& code) = 0;
    // Restores a backup of the company of `order.code` as the order asks; every step goes to the
    // memo and the month log. A refusal before anything was touched leaves the outcome cut
    // short; a restore that failed on its way counts its company as failed.
    virtual void RunRestore(const RestoreOrder& order, IConfirmation& confirmation) = 0;
    // What the runs since the module's creation came to.
    virtual RunOutcome Outcome() const = 0;
};

} // namespace veltor
