// The hooks on Windows as real processes (run under Wine here).
#include "platform/win32/Win32Platform.h"

#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace veltor::win32 {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the user's temporary folder, removed with its content afterwards.
class Win32Hooks : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        folder = (fs::temp_directory_path() / ("veltor-hook-" + std::to_string(random()))).string();
        fs::create_directories(folder);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string Put(const std::string& name, const std::string& bytes) const {
        const std::string path = folder + "\\" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string folder;
    Win32HookRunner runner;
};

TEST_F(Win32Hooks, CmdFileGetsItsArgumentsAndGivesItsExitCodeAndFirstLine) {
    const std::string script = Put("tras backup.cmd", "@echo %~1^|%~2^|%~3\r\n@echo segunda\r\n@exit /b 3\r\n");
    const HookRun run = runner.RunHook(script, {"C:\\Datos Veltor\\EMP 1.FBK", "EMP", ""}, 30);
    ASSERT_TRUE(run.started) << run.refused;
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.firstLine, "C:\\Datos Veltor\\EMP 1.FBK|EMP|");
}

TEST_F(Win32Hooks, CmdFileStillRunningAtTheLimitIsEndedWithTheProcessItStarted) {
    Put("hijo.cmd", ":otra\r\n@echo x>> \"%~dp0vivo.txt\"\r\n@goto otra\r\n");
    const std::string script =
        Put("cuelga.cmd", "@start \"\" /b cmd /d /c \"%~dp0hijo.cmd\"\r\n@echo empezado\r\n:otra\r\n@goto otra\r\n");
    const ULONGLONG start = GetTickCount64();
    const HookRun run = runner.RunHook(script, {}, 1);
    const ULONGLONG took = GetTickCount64() - start;
    ASSERT_TRUE(run.started) << run.refused;
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.firstLine, "empezado");
    EXPECT_GE(took, 1000u);
    EXPECT_LT(took, 8000u);
    // The child wrote while the script ran, and writes no more.
    ASSERT_TRUE(fs::exists(folder + "\\vivo.txt"));
    Sleep(300);
    const auto size = fs::file_size(folder + "\\vivo.txt");
    Sleep(700);
    EXPECT_EQ(fs::file_size(folder + "\\vivo.txt"), size);
}

TEST_F(Win32Hooks, MissingScriptIsNotStartedWithoutAReason) {
    const HookRun run = runner.RunHook(folder + "\\no-esta.cmd", {"x"}, 5);
    EXPECT_FALSE(run.started);
    EXPECT_EQ(run.refused, "");
}

} // namespace
} // namespace veltor::win32
