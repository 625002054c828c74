#pragma once
// A backup module for unit tests: records its runs with what the window handed them; a hook
// runs inside each run and may raise.

#include "ports/BackupModule.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veltor::test {

class FakeBackupModule : public IBackupModule {
public:
    void RunScheduledBackup(const std::string& periodHours, const std::string& periodMinutes) override {
        calls.push_back("RunScheduledBackup");
        periods.push_back(periodHours + ":" + periodMinutes);
        if (duringScheduled) duringScheduled();
    }
    void RunBackupRestore(bool restoreNow) override {
        calls.push_back("RunBackupRestore");
        restoreNowGiven.push_back(restoreNow);
        if (duringCycle) duringCycle();
    }
    std::unique_ptr<IRunLock> LockRuns() override {
        ++lockRequests;
        if (lockHeldElsewhere) return nullptr;
        return std::make_unique<IRunLock>();
    }
    void ListBackups(const std::string& code) override { calls.push_back("ListBackups " + code); }
    void RunRestore(const RestoreOrder& order, IConfirmation&) override { calls.push_back("RunRestore " + order.code); }
    RunOutcome Outcome() const override { return outcome; }

    std::vector<std::string> calls;
    std::vector<std::string> periods;  // "hours:minutes" of every scheduled run
    std::vector<bool> restoreNowGiven; // of every cycle
    std::function<void()> duringScheduled;
    std::function<void()> duringCycle;
    RunOutcome outcome;
    // Another process holds the run lock: LockRuns gives nothing.
    bool lockHeldElsewhere = false;
    int lockRequests = 0;
};

} // namespace veltor::test
