// Measures the scheduled run inside one process, over the headless program's own memo:
//
//   veltor-bench idle <folder> <runs> <sample every>
//       runs the scheduled run <runs> times in <folder> (where ADMINBD.inf lies) and prints
//       the time of each run in milliseconds, summed up, and the resident size every
//       <sample every> runs
//   veltor-bench connect <folder> <connections> <sample every>
//       connects the catalogue of ADMINBD.inf in <folder> and disconnects it again, nothing
//       else, <connections> times, and prints the resident size every <sample every> times:
//       what one connection costs, for comparison with a whole run
//   veltor-bench memo <lines file> <backups> <sample every>
//       puts the verbose lines of <lines file> into the memo once per simulated backup,
//       framed by the lines a real backup writes, and prints the resident size every
//       <sample every> backups
//   veltor-bench cycle <folder> <cycles> <pause ms>
//       runs the backup-restore cycle of "Backup Restore Ahora" <cycles> times in <folder>
//       (where ADMINBD.inf lies), one process as the timers would, with the pause for the
//       maintenance script cut to <pause ms>, and prints "cycle <n> <ms> <failed companies>"
//       after each; the memo goes to <folder>/cycle-memo.txt
//   veltor-bench copy <block KiB> <folder> <file>...
//       copies each file into <folder> under its own name through the checked copy, in blocks
//       of <block KiB>, a copy of that name from an earlier run removed first, and prints
//       "copy <name> <ms>" after each and "total <ms>" at the end
//
// The memo goes to /dev/null unless said otherwise; the results go to standard output as
// "key value" lines.

#include "activity/ActivityLog.h"
#include "backup/ScheduledBackup.h"
#include "backup/ServiceOutput.h"
#include "catalogue/Catalogue.h"
#include "config/Global.h"
#include "dbserver/FirebirdService.h"
#include "dbserver/UnavailableClient.h"
#include "maintenance/BackupModule.h"
#include "platform/console/ConsoleApplication.h"
#include "platform/posix/LinuxServiceManager.h"
#include "platform/posix/PosixCheckedCopier.h"
#include "platform/posix/PosixMaintenance.h"
#include "platform/posix/PosixPlatform.h"
#include "tests/support/ShortPauseClock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace veltor::bench {
namespace {

// VmRSS of /proc/self/status, in kB.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Bytes the allocator has handed out and not yet taken back, in kB: growth here is memory
// kept, growth of the resident size alone is the allocator's or the system's.
long HeapInUseKb() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

// The headless program's parts that a scheduled run works with.
struct Program {
    explicit Program(std::FILE* memoOutput)
        : gui(console::ConsoleMode::Tick, memoOutput, stderr), window(gui.CreateMainWindow()),
          global(files, gui.ErrorBox(), posix::LinuxConfigurationRules()), api(LoadApi()), catalogue(api),
          log(files, clock, regional, window.memo), backup(api) {}

    static const fb::ClientApi& LoadApi() {
        const char* why = nullptr;
        const fb::ClientApi* api = fb::LoadClientApi(&why);
        if (!api) throw std::runtime_error(std::string("no Firebird client: ") + (why ? why : ""));
        return *api;
    }

    posix::PosixFileSystem files{posix::kDatabaseServerGroup};
    posix::PosixClock clock;
    posix::PosixRegionalFormats regional;
    console::ConsoleApplication gui;
    MainWindowParts window;
    TGlobal global;
    const fb::ClientApi& api;
    catalogue::Catalogue catalogue;
    ActivityLog log;
    fb::FirebirdService backup;
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

int IdleRuns(const std::string& folder, int runs, int every, std::FILE* memo) {
    if (chdir(folder.c_str()) != 0) throw std::runtime_error("cannot enter " + folder);
    Program program(memo);
    const std::string periodHours = "00";
    const std::string periodMinutes = "30";
    ScheduledBackup run({program.global, program.catalogue, program.backup, program.log, program.files, program.clock,
                         program.window.memo, periodHours, periodMinutes});
    // Room for every time up front: a vector that doubles as it fills would show as growth of
    // the heap in use (8 bytes a run, in steps at 4,096 and 8,192 runs).
    std::vector<double> milliseconds;
    milliseconds.reserve(static_cast<std::size_t>(runs));
    int failed = 0;
    std::cout << "rss 0 " << ResidentKb() << " " << HeapInUseKb() << "\n";
    for (int i = 1; i <= runs; ++i) {
        const auto begun = std::chrono::steady_clock::now();
        try {
            run.RunScheduledBackup();
            milliseconds.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begun).count());
        } catch (const std::exception& e) {
            // As the window's handler does: the run is over, the next one comes (the shared
            // server may be restarted by somebody else meanwhile).
            ++failed;
            std::cerr << "veltor-bench: run " << i << ": " << e.what() << "\n";
        }
        if (i % every == 0) std::cout << "rss " << i << " " << ResidentKb() << " " << HeapInUseKb() << std::endl;
    }
    std::cout << "failed_runs " << failed << "\n";
    if (milliseconds.empty()) throw std::runtime_error("every run failed");
    const std::vector<double> later(milliseconds.begin() + (milliseconds.size() > 1 ? 1 : 0), milliseconds.end());
    std::cout << "first_ms " << milliseconds.front() << "\n"
              << "median_ms " << Percentile(later, 0.5) << "\n"
              << "p90_ms " << Percentile(later, 0.9) << "\n"
              << "max_ms " << *std::max_element(later.begin(), later.end()) << "\n"
              << "due " << (program.catalogue.QEmpresas.Active() ? program.catalogue.QEmpresas.RecordCount() : -1)
              << std::endl;
    return 0;
}

int Connections(const std::string& folder, int connections, int every, std::FILE* memo) {
    if (chdir(folder.c_str()) != 0) throw std::runtime_error("cannot enter " + folder);
    Program program(memo);
    program.global.ReadConfiguration();
    auto& database = program.catalogue.BDAdmin;
    database.SetDatabaseName(program.global.AdminConnection);
    database.SetPassword(kAdministratorPassword);
    std::cout << "rss 0 " << ResidentKb() << " " << HeapInUseKb() << "\n";
    for (int i = 1; i <= connections; ++i) {
        database.Connect();
        database.Disconnect();
        if (i % every == 0) std::cout << "rss " << i << " " << ResidentKb() << " " << HeapInUseKb() << std::endl;
    }
    return 0;
}

int MemoLines(const std::string& linesFile, int backups, int every, std::FILE* memo) {
    std::ifstream input(linesFile);
    if (!input) throw std::runtime_error("cannot read " + linesFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(input, line);)
        lines.push_back("  " + line);
    lines.push_back("  ");
    Program program(memo);
    std::cout << "lines_per_backup " << lines.size() << "\n"
              << "rss 0 " << ResidentKb() << "\n";
    for (int i = 1; i <= backups; ++i) {
        const std::string p = program.log.StampPrefix();
        program.log.WriteMemoLine(p + " Inicio Backup: 001 - EMPRESA UNO");
        program.log.WriteMemoLine(p + " Archivo Backup: /var/lib/veltor/Backups/EMPRESA1-20260101-1245.GBK");
        program.log.WriteMemoLines(lines);
        program.window.memo.ProcessPendingEvents();
        program.log.WriteMemoLine(p + " Finaliza Backup: 001 - EMPRESA UNO");
        program.log.WriteMemoLine("  ");
        if (i % every == 0) std::cout << "rss " << i << " " << ResidentKb() << std::endl;
    }
    return 0;
}

int Cycles(const std::string& folder, int cycles, std::uint32_t pause) {
    if (chdir(folder.c_str()) != 0) throw std::runtime_error("cannot enter " + folder);
    std::FILE* memo = std::fopen("cycle-memo.txt", "a");
    if (!memo) throw std::runtime_error("cannot write " + folder + "/cycle-memo.txt");
    console::ConsoleApplication gui(console::ConsoleMode::Now, memo, stderr);
    MainWindowParts window = gui.CreateMainWindow();
    posix::PosixFileSystem files{posix::kDatabaseServerGroup};
    test::ShortPauseClock clock(pause);
    posix::PosixRegionalFormats regional;
    TGlobal global(files, gui.ErrorBox(), posix::LinuxConfigurationRules());
    const std::unique_ptr<IServiceManager> services = posix::MakeLinuxServiceManager();
    posix::PosixShellLauncher shell;
    posix::PosixDatabaseFiles databaseFiles;
    BackupModuleContext context{global,         window.memo, files, clock,        regional,
                                gui.ErrorBox(), *services,   shell, databaseFiles};
    const std::unique_ptr<IBackupModule> module = CreateBackupModule(context, fb::LoadClientApiOrUnavailable());
    int failedBefore = 0;
    for (int i = 1; i <= cycles; ++i) {
        const auto begun = std::chrono::steady_clock::now();
        try {
            module->RunBackupRestore(true);
        } catch (const std::exception& e) {
            std::cerr << "veltor-bench: cycle " << i << ": " << e.what() << "\n";
        }
        const int failed = module->Outcome().failedCompanies;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begun).count();
        std::cout << "cycle " << i << " " << elapsed << " " << failed - failedBefore << std::endl;
        failedBefore = failed;
    }
    std::fclose(memo);
    return 0;
}

long long MillisecondsSince(std::chrono::steady_clock::time_point begun) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begun).count();
}

int Copies(std::size_t blockKb, const std::string& folder, const std::vector<std::string>& sources) {
    posix::PosixCheckedCopier copier(blockKb * 1024);
    const auto begun = std::chrono::steady_clock::now();
    for (const std::string& source : sources) {
        const std::string name = source.substr(source.rfind('/') + 1);
        ::unlink((folder + "/" + name).c_str());
        const auto started = std::chrono::steady_clock::now();
        copier.CopyChecked(source, folder, name, 3600);
        std::cout << "copy " << name << " " << MillisecondsSince(started) << std::endl;
    }
    std::cout << "total " << MillisecondsSince(begun) << std::endl;
    return 0;
}

} // namespace
} // namespace veltor::bench

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() >= 4 && arguments[0] == "copy") {
        try {
            return veltor::bench::Copies(std::stoul(arguments[1]), arguments[2],
                                         std::vector<std::string>(arguments.begin() + 3, arguments.end()));
        } catch (const std::exception& e) {
            std::cerr << "veltor-bench: " << e.what() << "\n";
            return 1;
        }
    }
    if (arguments.size() != 4 ||
        (arguments[0] != "idle" && arguments[0] != "memo" && arguments[0] != "connect" && arguments[0] != "cycle")) {
        std::cerr << "usage: veltor-bench idle <folder> <runs> <sample every>\n"
                     "       veltor-bench connect <folder> <connections> <sample every>\n"
                     "       veltor-bench memo <lines file> <backups> <sample every>\n"
                     "       veltor-bench cycle <folder> <cycles> <pause ms>\n"
                     "       veltor-bench copy <block KiB> <folder> <file>...\n";
        return 2;
    }
    std::FILE* memo = std::fopen("/dev/null", "w");
    try {
        const int count = std::max(1, std::stoi(arguments[2]));
        if (arguments[0] == "cycle") {
            std::fclose(memo);
            return veltor::bench::Cycles(arguments[1], count, static_cast<std::uint32_t>(std::stoul(arguments[3])));
        }
        const int every = std::max(1, std::stoi(arguments[3]));
        const int result = arguments[0] == "idle"      ? veltor::bench::IdleRuns(arguments[1], count, every, memo)
                           : arguments[0] == "connect" ? veltor::bench::Connections(arguments[1], count, every, memo)
                                                       : veltor::bench::MemoLines(arguments[1], count, every, memo);
        std::fclose(memo);
        return result;
    } catch (const std::exception& e) {
        std::cerr << "veltor-bench: " << e.what() << "\n";
        return 1;
    }
}
