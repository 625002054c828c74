#pragma once
// Several companies' backups at once, as BACKUPSPARALELO= in ADMINBD.inf asks: the work of each
// company runs on one of a few threads, and what follows it (its lines, its stamp, retention)
// runs on the caller's thread in the order of the due list, as one company after another would.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veltor {

// The most backups a run makes at once, whatever the key asks: each is a server attachment
// reading a whole database, and past this many the disk, not the server, sets the pace.
inline constexpr int kMostParallelBackups = 16;

struct ParallelSetting {
    int limit = 1;         // how many backups at once
    bool unusable = false; // the value is not a number of 1 or more: one at a time
    bool capped = false;   // the value is above kMostParallelBackups, which is taken instead
};
// The value of BACKUPSPARALELO=: missing, empty or 1 is one backup at a time.
ParallelSetting ReadParallelSetting(const std::optional<std::string>& value);

struct OrderedWork {
    std::size_t count = 0; // jobs 0 .. count-1
    std::size_t limit = 1; // jobs at once, each on a thread of its own
    // Jobs with the same key never run at the same time: a later one starts once every earlier
    // one of its key has ended (two due times of one company write the same names).
    std::vector<std::string> keys;
    // The job, on a worker thread; `slot` (below `limit`) is the worker's, so that what it
    // holds (a server connection) serves one job at a time.
    std::function<void(std::size_t job, std::size_t slot)> work;
    // On the caller's thread, once job `job` has ended and every earlier job is finished.
    std::function<void(std::size_t job)> finish;
    // On the caller's thread, every few milliseconds while it waits for a job to end.
    std::function<void()> waiting;
};

// Runs the jobs and finishes each in its order. A job or a finish that raises ends the whole:
// no job starts any more, the running ones are waited for, and the failure reaches the caller
// (a job's at its turn to be finished).
void RunInOrder(const OrderedWork& work);

} // namespace veltor
