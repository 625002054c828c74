// The hooks on Linux, with real scripts and processes, and the first line of their output.
#include "platform/posix/PosixHookRunner.h"
#include "platform/HookOutput.h"
#include "tests/support/CatalogueFixture.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace veltor::posix {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;
using test::WriteFile;

// Waits up to 5 s for a process to be gone (a zombie left to whoever adopted it counts as gone).
bool Gone(int pid) {
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    for (int i = 0; i < 100; ++i) {
        std::ifstream in(stat);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t close = text.rfind(')');
        if (!in.is_open() || text.empty() || (close != std::string::npos && text.substr(close + 2, 1) == "Z"))
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

class Hooks : public ::testing::Test {
protected:
    test::ScratchFolder folder{"hook", test::Writers::RootOnly};
    test::CurrentDirectory here{folder.path()};
    PosixHookRunner runner;

    std::string Script(const std::string& text, mode_t mode = 0755) {
        const std::string path = folder / "tras-backup.sh";
        WriteFile(path, text);
        chmod(path.c_str(), mode);
        return path;
    }
};

TEST_F(Hooks, ExitCodeAndFirstLineOfStandardErrorAndOutputTogetherAndTheScriptIsReaped) {
    Script("#!/bin/sh\necho 'copia sin verificar: ñandú' >&2\necho segunda\nexit 3\n");
    const HookRun run = runner.RunHook("tras-backup.sh", {}, 10);
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.refused, "");
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.firstLine, "copia sin verificar: ñandú");
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(runner.lastProcessId())));
}

TEST_F(Hooks, ArgumentsArriveAsTheyAreToAScriptGivenByItsFullPath) {
    const std::string script = Script("printf '%s|' \"$#\" \"$@\"\n", 0644); // read by /bin/sh
    const std::vector<std::string> arguments = {"/var/tmp/Datos Veltor/EMP-20261210.FBK",
                                                "EMP 'x\" $(touch hecho) `id` *", ""};
    const HookRun run = runner.RunHook(script, arguments, 10);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.firstLine, "3|" + arguments[0] + "|" + arguments[1] + "||");
    EXPECT_FALSE(std::filesystem::exists(folder / "hecho"));
}

TEST_F(Hooks, OutputBeyondWhatThePipeHoldsDoesNotHoldTheScriptUp) {
    Script("#!/bin/sh\nyes línea | head -n 100000\nexit 5\n");
    const HookRun run = runner.RunHook("tras-backup.sh", {}, 20);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_EQ(run.firstLine, "línea");
}

TEST_F(Hooks, ScriptStillRunningAtTheLimitIsEndedWithTheProcessItStarted) {
    Script("#!/bin/sh\nsleep 60 &\necho $! > hijo\necho empezado\nsleep 60\n");
    const auto start = std::chrono::steady_clock::now();
    const HookRun run = runner.RunHook("tras-backup.sh", {}, 1);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.firstLine, "empezado");
    EXPECT_GE(took, 1s);
    EXPECT_LT(took, 2500ms); // SIGTERM was enough
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(runner.lastProcessId())));
    EXPECT_TRUE(Gone(std::stoi(ReadFile(folder / "hijo"))));
}

TEST_F(Hooks, ScriptThatIgnoresTheEndIsKilledTwoSecondsLater) {
    Script("#!/bin/sh\ntrap '' TERM\nwhile :; do sleep 0.1; done\n");
    const auto start = std::chrono::steady_clock::now();
    const HookRun run = runner.RunHook("tras-backup.sh", {}, 1);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(run.timedOut);
    EXPECT_GE(took, 3s);
    EXPECT_LT(took, 5s);
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(runner.lastProcessId())));
}

TEST_F(Hooks, ScriptOthersCanWriteIsRefusedAndAMissingOneIsNotStartedWithoutAReason) {
    const HookRun missing = runner.RunHook("tras-backup.sh", {"x"}, 10);
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.refused, "");
    const std::string script = Script("#!/bin/sh\ntouch corrido\n", 0775);
    const HookRun refused = runner.RunHook("tras-backup.sh", {"x"}, 10);
    EXPECT_FALSE(refused.started);
    EXPECT_EQ(refused.refused, "otros usuarios pueden modificar el archivo: " + script);
    EXPECT_FALSE(std::filesystem::exists(folder / "corrido"));
}

std::string FirstLineOf(std::initializer_list<std::string_view> pieces) {
    HookFirstLine line;
    for (const std::string_view piece : pieces)
        line.Add(piece);
    return line.Text();
}

TEST(HookFirstLine, EndsAtTheFirstLineEndOfAnyPieceWithoutIt) {
    EXPECT_EQ(FirstLineOf({"uno", " dos\r", "\ntres\n"}), "uno dos");
    EXPECT_EQ(FirstLineOf({"sin final"}), "sin final");
    EXPECT_EQ(FirstLineOf({"\nluego"}), "");
    EXPECT_EQ(FirstLineOf({}), "");
}

TEST(HookFirstLine, KeepsTwoHundredBytesAndNeverHalfACharacter) {
    const std::string full(200, 'a');
    EXPECT_EQ(FirstLineOf({full, "\r\n"}), full);
    EXPECT_EQ(FirstLineOf({full, "b\n"}), full);
    EXPECT_EQ(FirstLineOf({full, "\rb\n"}), full);
    EXPECT_EQ(FirstLineOf({std::string(199, 'a'), "é\n"}), std::string(199, 'a'));
    EXPECT_EQ(FirstLineOf({std::string(198, 'a'), "é\n"}), std::string(198, 'a') + "é");
    EXPECT_EQ(FirstLineOf({std::string(198, 'a'), "€\n"}), std::string(198, 'a'));
}

} // namespace
} // namespace veltor::posix
