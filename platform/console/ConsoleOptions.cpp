#include "platform/console/ConsoleOptions.h"

#include "app/Startup.h"
#include "ports/RunOutcome.h"

namespace veltor::console {

ConsoleOptions ParseConsoleOptions(const std::vector<std::string>& arguments) {
    ConsoleOptions options;
    bool modeGiven = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") return {ConsoleOptions::Action::Help};
        if (argument == "--version") return {ConsoleOptions::Action::Version};
    }
    const auto given = [&](const char* option) {
        for (const std::string& argument : arguments)
            if (argument == option) return true;
        return false;
    };
    if (given("--status")) {
        for (const std::string& argument : arguments)
            if (argument != "--status" && argument != "--json" && !IsElevationSwitch(argument))
                return {ConsoleOptions::Action::UsageError, ConsoleMode::Timers,
                        "--status takes no other option than --json, not '" + argument + "'"};
        options.action = ConsoleOptions::Action::Status;
        options.json = given("--json");
        return options;
    }
    for (const std::string& argument : arguments) {
        if (IsElevationSwitch(argument)) continue;
        if (argument == "--tick" || argument == "--now") {
            const ConsoleMode mode = argument == "--tick" ? ConsoleMode::Tick : ConsoleMode::Now;
            if (modeGiven && mode != options.mode)
                return {ConsoleOptions::Action::UsageError, ConsoleMode::Timers, "--tick and --now exclude each other"};
            options.mode = mode;
            modeGiven = true;
            continue;
        }
        const bool isOption = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
        return {ConsoleOptions::Action::UsageError, ConsoleMode::Timers,
                (isOption ? "unknown option '" : "unexpected argument '") + argument + "'"};
    }
    return options;
}

std::string HelpText() {
    return std::string("Usage: ") + kConsoleProgram + " [--tick | --now] [-elevated]\n" + "       " + kConsoleProgram +
           " --status [--json]\n" + "       " + kConsoleProgram +
           " --help | --version\n"
           "\n"
           "Backs up the company databases that the administration database lists, as the window\n"
           "\"Veltor - Backups\" does, without a screen: memo lines on standard output, error boxes as\n"
           "lines on standard error. Reads ADMINBD.inf from the current folder (made from ADMINBD.cop\n"
           "when missing).\n"
           "\n"
           "  (no option)  run the backup timer until SIGTERM or SIGINT (Ctrl-C on Windows); a run in\n"
           "               progress ends first\n"
           "  --tick       one event of the backup timer: the due backups, then the backup-restore cycle\n"
           "  --now        what \"Backup Restore Ahora\" runs, then the end\n"
           "  -elevated    run with the rights it has, without asking for administrator rights\n"
           "  --status     check for monitoring: a summary line, then a line per company; exit code 0\n"
           "               every company's backups are on time, 1 one is late or its last backup failed,\n"
           "               2 one has had no good backup for more than a day past its schedule or the\n"
           "               catalogue cannot be read (no elevation, no timers, nothing written)\n"
           "  --json       with --status: the same for machines, in JSON\n"
           "  --help       show this text\n"
           "  --version    show the version\n"
           "\n"
           "Exit codes:\n"
           "  0  everything asked was done\n"
           "  1  a company's backup or cycle failed (its lines say which), the backup timer does not\n"
           "     run with the period of ADMINBD.inf, or administrator rights were refused\n"
           "  2  usage error, or a run could not start or go on: ADMINBD.inf, the catalogue, its\n"
           "     company list or the month log\n";
}

std::string VersionText() {
    return std::string(kConsoleProgram) + " " + VELTOR_VERSION + "\n";
}

std::optional<int> AnswerCommandLine(const ConsoleOptions& options, std::FILE* out, std::FILE* err, TextWriter write) {
    switch (options.action) {
    case ConsoleOptions::Action::Run:
    case ConsoleOptions::Action::Status:
        return std::nullopt;
    case ConsoleOptions::Action::Help:
        write(out, HelpText());
        return kExitDone;
    case ConsoleOptions::Action::Version:
        write(out, VersionText());
        return kExitDone;
    case ConsoleOptions::Action::UsageError:
        break;
    }
    write(err, std::string(kConsoleProgram) + ": " + options.problem + "\nTry '" + kConsoleProgram +
                   " --help' for more information.\n");
    return kExitNotStarted;
}

} // namespace veltor::console
