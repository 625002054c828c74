#pragma once
// One run at a time in an installation. The window and the service (or two windows) of one
// installation each have their timers; a tick of one while the other's cycle has the server
// stopped would find the note of the stopped service and start it in the middle of that cycle.
// So the runs of a tick or of the button hold a lock on a file beside ADMINBD.inf for as long
// as they work, and a process that finds it held starts no run.

#include "activity/ActivityLog.h"
#include "ports/BackupModule.h"
#include "ports/FileSystem.h"

#include <memory>

namespace veltor {

// In the installation folder, the current folder of the program, beside ADMINBD.inf.
inline constexpr const char* kRunLockFile = "Backup en curso.lock";

// Takes the run lock. Nothing, with one memo line, when another process holds it. When the lock
// file cannot be made at all, the runs go on without it (the backups come first) and the memo
// says so.
std::unique_ptr<IRunLock> LockRuns(IFileSystem& files, ActivityLog& log);

} // namespace veltor
