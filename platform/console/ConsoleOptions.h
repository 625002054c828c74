#pragma once
// The headless program's command line: the mode of the run, --help, --version and the usage
// error for anything else (exit code 2). Parsed by our own few lines: the headless package must
// not pull in Qt for its command-line parser, and these options need nothing more.

#include "platform/console/ConsoleApplication.h"
#include "ports/Restore.h"

#include <optional>
#include <string>
#include <vector>

namespace veltor::console {

inline constexpr const char* kConsoleProgram = "veltor-backups-console";

struct ConsoleOptions {
    enum class Action { Run, Help, Version, UsageError, Status, List, Restore };
    Action action = Action::Run;
    ConsoleMode mode = ConsoleMode::Timers;
    // Why the command line is refused (UsageError only).
    std::string problem;
    // --status --json: the status check for machines.
    bool json = false;
    // --list (the code only) and --restore: the company and, for a restore, what to do.
    RestoreOrder order;
};

// Reads the arguments (the program name not among them): at most one of --tick and --now, the
// elevation switch anywhere, --help or --version (which win over everything else); --status
// for monitoring, alone or with --json; or one company's --list or --restore, each with its
// own options and the elevation switch.
ConsoleOptions ParseConsoleOptions(const std::vector<std::string>& arguments);

std::string HelpText();
std::string VersionText();

// Answers --help and --version on `out` (exit code 0) and a usage error on `err` (exit code 2);
// nothing when the program is to run, to check the status, to list or to restore.
std::optional<int> AnswerCommandLine(const ConsoleOptions& options, std::FILE* out, std::FILE* err,
                                     TextWriter write = WriteToStream);

} // namespace veltor::console
