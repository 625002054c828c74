// One backup-restore cycle as the "Backup Restore Ahora" button runs it, in the current folder
// (where ADMINBD.inf lies), with this machine's service control, script launch, file exchange
// and databases; the memo goes to standard output line by line. The fault tests run it as a
// child process and have it killed at a chosen step:
//
//   cycle_fault_probe <pause in ms> [step]
//
//   cycle_fault_probe <pause in ms> <step or -> restore <code>
//
// The second form restores the newest backup of company <code> in place of its live database
// (confirmed: no question is asked), killed at the same steps where they come in a restore
// (and after-restored, once the restore has ended).
//
// The pause for the maintenance script is cut to <pause>. Steps: after-first-stop,
// after-start, during-backup, during-restore, during-pause, after-second-stop,
// between-swap-steps, before-restart. Without a step the cycle runs to its end (exit 0; 1
// when the run raised). The step hold-after-first-stop does not kill: the probe waits with the
// server stopped until a file "continuar" appears in its folder, then goes on. The probe holds
// the installation's run lock as the program does; exit 3 when another process holds it.
// VELTOR_PROBE_MINUTES_AHEAD=n sets its clock n minutes ahead, so that a run after a killed one
// names its side files after another minute without waiting for it.

#include "activity/ActivityLog.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/FirebirdService.h"
#include "dbserver/ServiceControl.h"
#include "maintenance/BackupRestoreCycle.h"
#include "maintenance/CompanyRestore.h"
#include "maintenance/RunLock.h"
#include "maintenance/ServiceMemo.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixMaintenance.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixProcess.h"
#include "tests/support/FakeMessageBox.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

namespace veltor::test {
namespace {

[[noreturn]] void Die() {
    std::fflush(stdout);
    std::raise(SIGKILL);
    std::abort();
}

// The memo on standard output; kills the process right after the line holding `afterLine`
// (with `events` 0) or at the `events`-th event processing after it.
class ProbeView : public IActivityView {
public:
    std::string afterLine;
    int events = 0;

    bool hold = false; // wait instead of dying

    void AppendMemoLines(const std::vector<std::string>& lines) override {
        for (const std::string& line : lines) {
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fputc('\n', stdout);
            if (!afterLine.empty() && line.find(afterLine) != std::string::npos) armed_ = true;
        }
        std::fflush(stdout);
        if (armed_ && hold) {
            armed_ = false;
            for (int i = 0; i < 2400 && !std::filesystem::exists("continuar"); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return;
        }
        if (armed_ && events == 0) Die();
    }
    void ProcessPendingEvents() override {
        if (armed_ && --events == 0) Die();
    }

private:
    bool armed_ = false;
};

// The local clock with the pause cut short; killed halfway through it when asked.
class ProbeClock : public IClock {
public:
    ProbeClock(std::uint32_t pause, bool dieInPause) : pause_(pause), dieInPause_(dieInPause) {
        if (const char* ahead = std::getenv("VELTOR_PROBE_MINUTES_AHEAD")) ahead_ = 60 * std::atoi(ahead);
    }
    LocalDateTime Now() const override { return posix::LocalDateTimeOf(std::time(nullptr) + ahead_); }
    std::uint32_t TickCount() const override { return clock_.TickCount(); }
    void Sleep(std::uint32_t milliseconds) override {
        if (milliseconds == kMaintenanceScriptPause) {
            clock_.Sleep(pause_ / 2);
            if (dieInPause_) Die();
            milliseconds = pause_ - pause_ / 2;
        }
        clock_.Sleep(milliseconds);
    }

private:
    posix::PosixClock clock_;
    std::uint32_t pause_;
    bool dieInPause_;
    std::time_t ahead_ = 0;
};

// The files of this machine, killed between the two steps of the exchange or right after it
// when asked.
class ProbeDatabaseFiles : public IDatabaseFiles {
public:
    bool dieAfterLink = false;
    bool dieAfterSwap = false;
    posix::PosixDatabaseFiles files;
    void MatchAccess(const std::string& live, const std::string& restored) override {
        files.MatchAccess(live, restored);
    }
    void LinkFile(const std::string& existing, const std::string& link) override {
        files.LinkFile(existing, link);
        if (dieAfterLink) Die();
    }
    void RenameOver(const std::string& from, const std::string& to) override {
        files.RenameOver(from, to);
        if (dieAfterSwap) Die();
    }
    bool RemoveFile(const std::string& path) override { return files.RemoveFile(path); }
    NameHolds WhatIsAt(const std::string& path) override { return files.WhatIsAt(path); }
    bool SameFile(const std::string& a, const std::string& b) override { return files.SameFile(a, b); }
    std::uint64_t FileSize(const std::string& path) override { return files.FileSize(path); }
    LocalDateTime LastWritten(const std::string& path) override { return files.LastWritten(path); }
    VolumeRoom RoomIn(const std::string& folder) override { return files.RoomIn(folder); }
    std::vector<std::string> FileNamesIn(const std::string& folder) override { return files.FileNamesIn(folder); }
};

// Nobody at the terminal: the order says yes.
class NoTerminal : public IConfirmation {
public:
    bool CanAsk() const override { return false; }
    bool Confirm(const std::string&) override { return false; }
};

int Run(std::uint32_t pause, const std::string& step, const std::string& restoreCode) {
    ProbeView view;
    ProbeDatabaseFiles databaseFiles;
    if (step == "after-first-stop")
        view.afterLine = " Stop al Servicio: ";
    else if (step == "hold-after-first-stop")
        view.afterLine = " Stop al Servicio: ", view.hold = true;
    else if (step == "after-start")
        view.afterLine = " Servicio Iniciado: ";
    else if (step == "during-backup")
        view.afterLine = " Inicia Backup: ", view.events = 3;
    else if (step == "during-restore")
        view.afterLine = " Inicia Restore: ", view.events = 3;
    else if (step == "after-restored")
        view.afterLine = " Restore Finalizado: ";
    else if (step == "after-second-stop")
        view.afterLine = " Renombra el Archivo Original: ";
    else if (step == "between-swap-steps")
        databaseFiles.dieAfterLink = true;
    else if (step == "before-restart")
        databaseFiles.dieAfterSwap = true;
    else if (!step.empty() && step != "during-pause" && step != "-")
        throw std::runtime_error("unknown step " + step);
    ProbeClock clock(pause, step == "during-pause");

    posix::PosixFileSystem files(posix::kDatabaseServerGroup);
    posix::PosixRegionalFormats regional;
    FakeMessageBox messages;
    TGlobal global(files, messages, posix::LinuxConfigurationRules());
    const fb::ClientApi& api = *fb::LoadClientApi(nullptr);
    catalogue::Catalogue catalogue(api);
    fb::FirebirdService backup(api);
    fb::FirebirdService restore(api);
    backup.SetProtocol(fb::ServiceProtocol::Tcp);
    restore.SetProtocol(fb::ServiceProtocol::Local);
    ActivityLog log(files, clock, regional, view);
    ActivityLogServiceMemo serviceMemo(log);
    const auto manager = posix::MakeLinuxServiceManager();
    ServiceControl services(*manager, serviceMemo);
    posix::PosixShellLauncher shell;
    FirebirdDatabaseState databases(api);
    const bool restoreNow = true;

    const std::unique_ptr<IRunLock> runLock = LockRuns(files, log);
    if (!runLock) return 3;
    if (!restoreCode.empty()) {
        fb::FirebirdService verifyService(api);
        FirebirdRestoredDatabase restoredDatabases(api);
        BackupOperations operations({global, catalogue, log, files, clock, view, verifyService, restoredDatabases});
        CompanyRestore restoring({global, catalogue, backup, restore, log, services, databaseFiles, databases, files,
                                  clock, view, operations});
        NoTerminal nobody;
        const CompanyRestore::Ending ending = restoring.Restore({restoreCode, {}, {}, true, true}, nobody);
        if (log.isMonthLogOpen()) log.CloseMonthLog();
        catalogue.BDAdmin.Disconnect();
        return ending == CompanyRestore::Ending::Done ? 0 : 1;
    }
    BackupRestoreCycle cycle({global, catalogue, backup, restore, log, services, shell, databaseFiles, databases, files,
                              clock, view, restoreNow});
    int code = 0;
    try {
        cycle.RunBackupRestore();
    } catch (const std::exception& e) {
        std::cout << "cycle_fault_probe: " << e.what() << std::endl;
        code = 1;
    }
    if (log.isMonthLogOpen()) log.CloseMonthLog();
    catalogue.BDAdmin.Disconnect();
    return code;
}

} // namespace
} // namespace veltor::test

int main(int argc, char** argv) {
    const bool restore = argc == 5 && std::string(argv[3]) == "restore";
    if ((argc < 2 || argc > 3) && !restore) {
        std::cerr << "usage: cycle_fault_probe <pause in ms> [step]\n"
                     "       cycle_fault_probe <pause in ms> <step or -> restore <code>\n";
        return 2;
    }
    int code = 1;
    try {
        code = veltor::test::Run(static_cast<std::uint32_t>(std::stoul(argv[1])), argc >= 3 ? argv[2] : "",
                                 restore ? argv[4] : "");
    } catch (const std::exception& e) {
        std::cout << "cycle_fault_probe: " << e.what() << std::endl;
    }
    // As the program ends: the local restore's engine threads are stopped first.
    if (const veltor::fb::ClientApi* api = veltor::fb::LoadClientApi(nullptr))
        api->shutdown(10000, veltor::fb::kShutdownApplicationStopped);
    veltor::posix::EndProcess(code);
}
