#include "platform/console/ConsoleOptions.h"

#include "app/Startup.h"
#include "ports/RunOutcome.h"

#include <utility>

namespace veltor::console {

namespace {

ConsoleOptions Refused(std::string problem) {
    return {ConsoleOptions::Action::UsageError, ConsoleMode::Timers, std::move(problem)};
}

std::string Unknown(const std::string& argument) {
    const bool isOption = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
    return (isOption ? "unknown option '" : "unexpected argument '") + argument + "'";
}

// --list CODE or --restore CODE with its options; `command` is the first of the two given.
ConsoleOptions ParseCommand(const std::vector<std::string>& arguments, const std::string& command) {
    ConsoleOptions options;
    options.action = command == "--list" ? ConsoleOptions::Action::List : ConsoleOptions::Action::Restore;
    const bool restore = options.action == ConsoleOptions::Action::Restore;
    std::vector<std::string> seen;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& argument = arguments[at];
        if (IsElevationSwitch(argument)) continue;
        if (argument == "--tick" || argument == "--now" || argument == "--status" || argument == "--json")
            return Refused(command + " and " + argument + " exclude each other");
        const bool known = argument == "--list" || argument == "--restore" || argument == "--to" ||
                           argument == "--from" || argument == "--replace" || argument == "--yes";
        if (!known) return Refused(Unknown(argument));
        if ((argument == "--list" || argument == "--restore") && argument != command)
            return Refused("--list and --restore exclude each other");
        if (!restore && argument != command) return Refused("--list takes no other option, not '" + argument + "'");
        for (const std::string& before : seen)
            if (before == argument) return Refused(argument + " may be given only once");
        seen.push_back(argument);
        if (argument == "--replace") {
            options.order.replace = true;
            continue;
        }
        if (argument == "--yes") {
            options.order.yes = true;
            continue;
        }
        // A value is there, and is no option: "--to --replace" has lost its path.
        const bool hasValue = at + 1 < arguments.size() && !arguments[at + 1].empty() &&
                              arguments[at + 1].rfind("--", 0) != 0 && !IsElevationSwitch(arguments[at + 1]);
        if (!hasValue) {
            const char* what = argument == "--to"     ? "a path"
                               : argument == "--from" ? "a backup file"
                                                      : "a company code";
            return Refused(argument + " needs " + what);
        }
        const std::string& value = arguments[++at];
        if (argument == "--to")
            options.order.to = value;
        else if (argument == "--from")
            options.order.from = value;
        else
            options.order.code = value;
    }
    if (restore && options.order.to.empty() && !options.order.replace)
        return Refused("--restore needs --to PATH or --replace");
    if (restore && !options.order.to.empty() && options.order.replace)
        return Refused("--to and --replace exclude each other");
    return options;
}

} // namespace

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
    for (const std::string& argument : arguments)
        if (argument == "--list" || argument == "--restore") return ParseCommand(arguments, argument);
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
        return Refused(Unknown(argument));
    }
    return options;
}

std::string HelpText() {
    const std::string also = std::string("       ") + kConsoleProgram;
    return std::string("Usage: ") + kConsoleProgram + " [--tick | --now] [-elevated]\n" + also +
           " --status [--json]\n" + also + " --list CODE [-elevated]\n" + also +
           " --restore CODE --to PATH [--from FILE] [-elevated]\n" + also +
           " --restore CODE --replace [--from FILE] [--yes] [-elevated]\n" + also +
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
           "  --list CODE  the backups of the company whose code is CODE, newest first\n"
           "  --restore CODE  restore a backup of that company: the newest good one, or FILE with\n"
           "               --from; into a new database PATH with --to, or in place of the company's\n"
           "               database with --replace, which asks first at the terminal\n"
           "  --yes        with --restore: what would be asked at the terminal is taken as confirmed\n"
           "  --help       show this text\n"
           "  --version    show the version\n"
           "\n"
           "Exit codes:\n"
           "  0  everything asked was done\n"
           "  1  a company's backup or cycle failed (its lines say which), a restore failed on its way,\n"
           "     the backup timer does not run with the period of ADMINBD.inf, or administrator rights\n"
           "     were refused\n"
           "  2  usage error, a restore refused before anything was touched, or a run could not start\n"
           "     or go on: ADMINBD.inf, the catalogue, its company list or the month log\n";
}

std::string VersionText() {
    return std::string(kConsoleProgram) + " " + VELTOR_VERSION + "\n";
}

std::optional<int> AnswerCommandLine(const ConsoleOptions& options, std::FILE* out, std::FILE* err, TextWriter write) {
    switch (options.action) {
    case ConsoleOptions::Action::Run:
    case ConsoleOptions::Action::Status:
    case ConsoleOptions::Action::List:
    case ConsoleOptions::Action::Restore:
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
