// The headless program's command line for one company's backups, and the person at its
// terminal who confirms.

#include "platform/console/ConsoleOptions.h"
#include "platform/console/PosixConfirmation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <pty.h>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace veltor::console {
namespace {

using Action = ConsoleOptions::Action;
using Arguments = std::vector<std::string>;
using ::testing::PrintToString;

auto Fields(const RestoreOrder& order) {
    return std::tuple(order.code, order.from, order.to, order.replace, order.yes);
}

TEST(ConsoleOptions, ListAndRestoreFormsCarryTheirOrder) {
    const std::vector<std::tuple<Arguments, Action, RestoreOrder>> cases = {
        {{"--list", "EMP01", "-elevated"}, Action::List, {"EMP01"}},
        // One dash is no option: a code or a path may start with it, a Linux path with a slash.
        {{"--list", "-EMP"}, Action::List, {"-EMP"}},
        {{"--restore", "EMP01", "--to", "/srv/new.fdb"}, Action::Restore, {"EMP01", "", "/srv/new.fdb"}},
        {{"--to", "-n.fdb", "--yes", "--from", "/bk/a.gbk", "--restore", "EMP01", "/ELEVATED"},
         Action::Restore,
         {"EMP01", "/bk/a.gbk", "-n.fdb", false, true}},
        {{"--restore", "EMP01", "--replace"}, Action::Restore, {"EMP01", "", "", true, false}},
        {{"--restore", "EMP01", "--replace", "--yes", "--from", "a.gbk"},
         Action::Restore,
         {"EMP01", "a.gbk", "", true, true}},
    };
    for (const auto& [arguments, action, order] : cases) {
        const ConsoleOptions options = ParseConsoleOptions(arguments);
        EXPECT_EQ(options.action, action) << PrintToString(arguments) << ": " << options.problem;
        EXPECT_EQ(Fields(options.order), Fields(order)) << PrintToString(arguments);
        EXPECT_FALSE(AnswerCommandLine(options, stdout, stderr)) << PrintToString(arguments);
    }
}

TEST(ConsoleOptions, ListAndRestoreFormsOutsideTheRulesAreUsageErrors) {
    const std::vector<std::pair<Arguments, std::string>> cases = {
        {{"--list"}, "--list needs a company code"},
        {{"--list", ""}, "--list needs a company code"},
        {{"--list", "--EMP"}, "--list needs a company code"},
        {{"--list", "-elevated"}, "--list needs a company code"},
        {{"--restore", "--replace"}, "--restore needs a company code"},
        {{"--restore", "EMP01", "--to"}, "--to needs a path"},
        {{"--restore", "EMP01", "--replace", "--from", "--yes"}, "--from needs a backup file"},
        {{"--list", "EMP01", "--list", "EMP01"}, "--list may be given only once"},
        {{"--restore", "EMP01", "--to", "a.fdb", "--to", "b.fdb"}, "--to may be given only once"},
        {{"--restore", "EMP01", "--replace", "--yes", "--yes"}, "--yes may be given only once"},
        {{"--restore", "EMP01", "--list", "EMP01"}, "--list and --restore exclude each other"},
        {{"--tick", "--list", "EMP01"}, "--list and --tick exclude each other"},
        {{"--status", "--restore", "EMP01", "--replace"}, "--restore and --status exclude each other"},
        {{"--restore", "EMP01", "--replace", "--json"}, "--restore and --json exclude each other"},
        {{"--list", "EMP01", "--from", "a.gbk"}, "--list takes no other option, not '--from'"},
        {{"--list", "EMP01", "EMP02"}, "unexpected argument 'EMP02'"},
        {{"--list", "EMP01", "--force"}, "unknown option '--force'"},
        {{"--restore", "EMP01", "--yes"}, "--restore needs --to PATH or --replace"},
        {{"--restore", "EMP01", "--to", "a.fdb", "--replace"}, "--to and --replace exclude each other"},
        // Without --list or --restore their options mean nothing.
        {{"--yes"}, "unknown option '--yes'"},
    };
    for (const auto& [arguments, problem] : cases) {
        const ConsoleOptions options = ParseConsoleOptions(arguments);
        EXPECT_EQ(options.action, Action::UsageError) << PrintToString(arguments);
        EXPECT_EQ(options.problem, problem) << PrintToString(arguments);
    }
    EXPECT_EQ(ParseConsoleOptions({"--restore", "--help"}).action, Action::Help);
}

TEST(PosixConfirmation, AsksOnlyWhenInputAndOutputAreBothATerminal) {
    int keyboard = -1;
    int program = -1;
    int ends[2];
    ASSERT_EQ(openpty(&keyboard, &program, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(pipe(ends), 0);
    std::FILE* terminal = fdopen(program, "r+");
    std::FILE* in = fdopen(ends[0], "r");
    std::FILE* out = fdopen(ends[1], "w");
    EXPECT_TRUE(PosixConfirmation(terminal, terminal).CanAsk());
    EXPECT_FALSE(PosixConfirmation(in, terminal).CanAsk());
    EXPECT_FALSE(PosixConfirmation(terminal, out).CanAsk());
    for (std::FILE* stream : {terminal, in, out})
        std::fclose(stream);
    close(keyboard);
}

TEST(PosixConfirmation, ShowsEachQuestionAndTakesOneEndedLineAsItsAnswer) {
    std::FILE* answers = std::tmpfile();
    std::FILE* screen = std::tmpfile();
    std::fputs("no\n s\xc3\xad \nsi", answers);
    std::rewind(answers);
    PosixConfirmation confirmation(answers, screen);
    EXPECT_FALSE(confirmation.Confirm("1? "));
    EXPECT_TRUE(confirmation.Confirm("2? "));
    // "si" without its line end, then nothing at all.
    EXPECT_FALSE(confirmation.Confirm("3? "));
    EXPECT_FALSE(confirmation.Confirm("4? "));
    std::rewind(screen);
    char shown[32] = {};
    EXPECT_STREQ(std::fgets(shown, sizeof shown, screen), "1? 2? 3? 4? ");
    std::fclose(answers);
    std::fclose(screen);
}

} // namespace
} // namespace veltor::console
