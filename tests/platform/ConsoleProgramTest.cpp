// The headless program as a real process.

#include "tests/support/ScratchFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace veltor::test {
namespace {

// The programs run here load the Firebird client library, whose threads may still be winding
// down at exit, where LeakSanitizer's tracer can crash; their code is leak-checked by the unit
// tests, so the child processes run without the leak check.
const bool kChildrenWithoutLeakCheck = (setenv("ASAN_OPTIONS", "detect_leaks=0", 1), true);

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kConsole = VELTOR_CONSOLE_EXE;

struct Finished {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
    std::string out;
    std::string err;
};

// One run of a command in a folder; its output goes to files of that folder.
class Process {
public:
    Process(const ScratchFolder& folder, std::vector<std::string> command) : folder_(folder) {
        std::vector<char*> argv;
        for (std::string& part : command)
            argv.push_back(part.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.path().c_str());
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (folder / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        posix_spawn_file_actions_addopen(&actions, 2, (folder / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int failure = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failure != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            pid_ = -1;
        }
    }
    ~Process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void Signal(int number) const { kill(pid_, number); }
    std::string Err() const { return ReadIfAny(folder_ / "err.txt"); }

    // Waits for the end (at most `limit`); nothing when the process is still running then.
    std::optional<Finished> Wait(std::chrono::milliseconds limit = 20s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (pid_ > 0) {
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                Finished finished;
                finished.exited = WIFEXITED(status);
                finished.exitCode = finished.exited ? WEXITSTATUS(status) : -1;
                finished.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
                finished.out = ReadIfAny(folder_ / "out.txt");
                finished.err = ReadIfAny(folder_ / "err.txt");
                return finished;
            }
            if (std::chrono::steady_clock::now() > until) return std::nullopt;
            std::this_thread::sleep_for(20ms);
        }
        return std::nullopt;
    }

private:
    static std::string ReadIfAny(const std::string& path) {
        std::string text;
        if (FILE* file = std::fopen(path.c_str(), "rb")) {
            char buffer[4096];
            std::size_t got = 0;
            while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
                text.append(buffer, got);
            std::fclose(file);
        }
        return text;
    }

    const ScratchFolder& folder_;
    pid_t pid_ = -1;
};

const std::string kMissingFile = "Backups Veltor: No se encontró el archivo ADMINBD.inf\n";

TEST(ConsoleProgram, TickAndNowWithoutAConfigurationRunOnceAndEndWithTwo) {
    for (const char* option : {"--tick", "--now"}) {
        ScratchFolder folder("console");
        Process process(folder, {kConsole, option});
        const std::optional<Finished> finished = process.Wait();
        ASSERT_TRUE(finished) << option << " did not end";
        EXPECT_TRUE(finished->exited) << option;
        EXPECT_EQ(finished->exitCode, 2) << option << finished->err;
        // The activation and then the run read the configuration; each box became a line that
        // waits for nobody.
        EXPECT_EQ(finished->err, kMissingFile + kMissingFile) << option;
    }
}

TEST(ConsoleProgram, ConfigurationFileIsMadeFromTheTemplate) {
    ScratchFolder folder("console");
    WriteFile(folder / "ADMINBD.cop", "RUTABD=/srv/admin.fdb\nSERVIDOR=localhost/1\nTIMERBACKUPLICENCE=01:00\n");
    Process process(folder, {kConsole, "--tick"});
    const std::optional<Finished> finished = process.Wait();
    ASSERT_TRUE(finished);
    // No server answers on port 1: the run cannot reach its catalogue.
    EXPECT_EQ(finished->exitCode, 2);
    EXPECT_EQ(finished->err, "");
    EXPECT_EQ(ReadFile(folder / "ADMINBD.inf"), ReadFile(folder / "ADMINBD.cop"));
}

TEST(ConsoleProgram, TerminationSignalsEndTheTimerLoopCleanly) {
    for (int signal : {SIGTERM, SIGINT}) {
        ScratchFolder folder("console");
        Process process(folder, {kConsole});
        // The loop runs once the activation has reported the missing file.
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (process.Err() != kMissingFile && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(20ms);
        ASSERT_EQ(process.Err(), kMissingFile);
        EXPECT_FALSE(process.Wait(300ms)) << "ended without a signal";
        process.Signal(signal);
        const std::optional<Finished> finished = process.Wait();
        ASSERT_TRUE(finished) << "still running after signal " << signal;
        EXPECT_TRUE(finished->exited) << "killed by signal " << finished->signal;
        EXPECT_EQ(finished->exitCode, 0);
    }
}

TEST(ConsoleProgram, HelpVersionAndUsageErrorsAnswerWithoutReadingTheConfiguration) {
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out; // the start of standard output
        std::string err; // the start of standard error
    };
    const std::string tryHelp = "Try 'veltor-backups-console --help' for more information.\n";
    const std::vector<Case> cases = {
        {{"--help"}, 0, "Usage: veltor-backups-console [--tick | --now] [-elevated]\n", ""},
        {{"-h"}, 0, "Usage: ", ""},
        {{"--bogus", "--help"}, 0, "Usage: ", ""},
        {{"--version"}, 0, std::string("veltor-backups-console ") + VELTOR_VERSION + "\n", ""},
        {{"--bogus"}, 2, "", "veltor-backups-console: unknown option '--bogus'\n" + tryHelp},
        {{"--tick", "--now"}, 2, "", "veltor-backups-console: --tick and --now exclude each other\n" + tryHelp},
        {{"elevated"}, 2, "", "veltor-backups-console: unexpected argument 'elevated'\n" + tryHelp},
        {{"/tick"}, 2, "", "veltor-backups-console: unknown option '/tick'\n"},
        {{"--status", "--tick"},
         2,
         "",
         "veltor-backups-console: --status takes no other option than --json, not '--tick'\n"},
        {{"--json"}, 2, "", "veltor-backups-console: unknown option '--json'\n"},
    };
    for (const Case& c : cases) {
        ScratchFolder folder("console");
        std::vector<std::string> command = {kConsole};
        command.insert(command.end(), c.arguments.begin(), c.arguments.end());
        Process process(folder, command);
        const std::optional<Finished> finished = process.Wait();
        ASSERT_TRUE(finished) << c.arguments[0];
        EXPECT_EQ(finished->exitCode, c.exitCode) << c.arguments[0];
        EXPECT_EQ(finished->out.substr(0, c.out.size()), c.out) << c.arguments[0];
        EXPECT_EQ(finished->err.substr(0, c.err.size()), c.err) << c.arguments[0];
        if (c.err.empty()) {
            EXPECT_EQ(finished->err, "") << c.arguments[0];
        }
        EXPECT_FALSE(std::filesystem::exists(folder / "ADMINBD.inf"));
    }
    // The same mode twice and the switch in any letter case are no usage error.
    ScratchFolder folder("console");
    Process process(folder, {kConsole, "--tick", "-ELEVATED", "--tick"});
    const std::optional<Finished> finished = process.Wait();
    ASSERT_TRUE(finished);
    EXPECT_THAT(finished->err, Not(HasSubstr("Try ")));
    EXPECT_THAT(finished->out, HasSubstr(" Inicia Backup \n"));
}

// A period that leaves the backup timer off: --tick and the timers end at once with 1 and
// back up nothing; --now runs as the window's button does. 00:01 is the shortest that runs.
TEST(ConsoleProgram, BackupTimerThatDoesNotRunEndsTickAndTimersWithOne) {
    const std::string timerOff =
        "Backups Veltor: El timer de backup no corre con el periodo TIMERBACKUPLICENCE de ADMINBD.inf; no se hace "
        "Backup\n";
    struct Case {
        std::string period;
        std::vector<std::string> options;
        int exitCode;
        std::string err;
        bool runs;
    };
    const std::vector<Case> cases = {
        {"00:00", {"--tick"}, 1, timerOff, false},
        {"00:00", {}, 1, timerOff, false},
        {"30", {"--tick"}, 1, "Backups Veltor: '' is not a valid integer value.\n" + timerOff, false},
        {"00:00", {"--now"}, 2, "", true},
        {"00:01", {"--tick"}, 2, "", true},
    };
    for (const Case& c : cases) {
        ScratchFolder folder("console");
        // No server answers on port 1, so a run that starts ends with 2 at its catalogue.
        WriteFile(folder / "ADMINBD.inf",
                  "RUTABD=/srv/admin.fdb\nSERVIDOR=localhost/1\nTIMERBACKUPLICENCE=" + c.period + "\n");
        std::vector<std::string> command = {kConsole};
        command.insert(command.end(), c.options.begin(), c.options.end());
        Process process(folder, command);
        const std::optional<Finished> finished = process.Wait();
        const std::string what = c.period + (c.options.empty() ? "" : " " + c.options[0]);
        ASSERT_TRUE(finished) << what;
        EXPECT_EQ(finished->exitCode, c.exitCode) << what << finished->err;
        EXPECT_EQ(finished->err, c.err) << what;
        EXPECT_EQ(finished->out.find(" Inicia Backup ") != std::string::npos, c.runs) << what;
    }
}

// --list and --restore run on the backup module in place of a run and of the timers, and end
// with what they came to: here no server answers on port 1 and nobody can confirm.
TEST(ConsoleProgram, ListAndRestoreRunInPlaceOfTheBackupAndEndWithTheirOutcome) {
    const std::vector<std::vector<std::string>> commands = {
        {"--list", "EMP01", "-elevated"},
        {"--restore", "EMP01", "--replace", "-elevated"},
        {"--restore", "EMP01", "--to", "new.fdb", "--yes", "-elevated"},
    };
    for (const std::vector<std::string>& arguments : commands) {
        ScratchFolder folder("console");
        WriteFile(folder / "ADMINBD.inf", "RUTABD=/srv/admin.fdb\nSERVIDOR=localhost/1\nTIMERBACKUPLICENCE=00:01\n");
        std::vector<std::string> command = {kConsole};
        command.insert(command.end(), arguments.begin(), arguments.end());
        Process process(folder, command);
        const std::optional<Finished> finished = process.Wait();
        ASSERT_TRUE(finished) << arguments[0] << " did not end";
        EXPECT_EQ(finished->exitCode, 2) << arguments[0] << finished->err;
        EXPECT_THAT(finished->out, Not(HasSubstr(" Inicia Backup "))) << arguments[0];
        EXPECT_THAT(finished->err, Not(HasSubstr("Try "))) << arguments[0];
        EXPECT_FALSE(std::filesystem::exists(folder / "new.fdb"));
    }
}

// The console program run to its end in a scratch folder as an ordinary user, with no pkexec to
// be found on PATH.
std::optional<Finished> RunAsNobody(const std::vector<std::string>& arguments) {
    ScratchFolder folder("console");
    std::vector<std::string> command = {"/usr/bin/env",
                                        "PATH=" + folder.path() + "/no-such-folder",
                                        "ASAN_OPTIONS=detect_leaks=0",
                                        "/usr/bin/setpriv",
                                        "--reuid=65534",
                                        "--regid=65534",
                                        "--clear-groups",
                                        kConsole};
    command.insert(command.end(), arguments.begin(), arguments.end());
    Process process(folder, command);
    return process.Wait();
}

TEST(ConsoleProgram, OrdinaryUserWhoseRelaunchCannotStartGetsTheSystemErrorAndNoRun) {
    const std::optional<Finished> finished = RunAsNobody({"--tick"});
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->exitCode, 1);
    EXPECT_EQ(finished->err, "System Error.  Code: 2.\r\nNo such file or directory\n");
    EXPECT_THAT(finished->err, Not(HasSubstr("ADMINBD")));
}

TEST(ConsoleProgram, OrdinaryUserWithTheSwitchRunsWithoutElevation) {
    const std::optional<Finished> finished = RunAsNobody({"--tick", "-elevated"});
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->exitCode, 2) << finished->err;
    EXPECT_EQ(finished->err, kMissingFile + kMissingFile);
}

TEST(ConsoleProgram, StatusRunsAsAnOrdinaryUserWithoutElevationAndWithoutTheTimers) {
    const std::optional<Finished> finished = RunAsNobody({"--status"});
    ASSERT_TRUE(finished);
    // No configuration: critical, said on standard output, the box's text in it.
    EXPECT_EQ(finished->exitCode, 2);
    EXPECT_THAT(finished->out, HasSubstr("VELTOR BACKUPS CRITICAL - No se encontró el archivo ADMINBD.inf"));
    EXPECT_EQ(finished->err, "");
    EXPECT_THAT(finished->out, Not(HasSubstr(" Inicia Backup ")));
}

} // namespace
} // namespace veltor::test
