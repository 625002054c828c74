#pragma once
// Windows programs as processes, for the tests that run them under Wine: a scratch folder to
// run them in, a started program with its output in files, and a poll with a limit.
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>

namespace veltor::win32 {

inline std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh folder under the user's temporary folder, where the program runs.
class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder =
            (std::filesystem::temp_directory_path() / ("veltor-" + std::to_string(std::random_device()()))).string();
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string In(const std::string& name) const { return folder + "\\" + name; }
    // An ADMINBD.inf whose backups go to BK\ in the folder.
    void WriteConfiguration() const {
        std::ofstream(In("ADMINBD.inf"), std::ios::binary)
            << "RUTABD=c:\\datos\\admin.fdb\r\nSERVIDOR=localhost\r\nRUTABACKUP=" << In("bk\\") << "\r\n";
    }

    std::string folder;
};

// A program started in a folder, its standard output and error going to out.txt and err.txt
// there. Killed if it is still running at the end.
class Child {
public:
    Child(const std::string& folder, const std::string& program, const std::string& arguments = {},
          DWORD flags = CREATE_NEW_PROCESS_GROUP, bool redirect = true)
        : folder_(folder) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        HANDLE out =
            CreateFileA((folder + "\\out.txt").c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
        HANDLE err =
            CreateFileA((folder + "\\err.txt").c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOA start{};
        start.cb = sizeof start;
        start.dwFlags = redirect ? STARTF_USESTDHANDLES : 0;
        start.hStdOutput = out;
        start.hStdError = err;
        // A program of the tests' folder by its name, any other by its full path.
        const std::string path = program.find(':') == std::string::npos ? ProgramFolder() + "\\" + program : program;
        std::string command = "\"" + path + "\"" + (arguments.empty() ? "" : " ") + arguments;
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, folder.c_str(), &start,
                            &process_))
            ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
        CloseHandle(out);
        CloseHandle(err);
    }
    ~Child() {
        if (process_.hProcess == nullptr) return;
        if (!Wait(0)) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    DWORD id() const { return process_.dwProcessId; }
    // The exit code once the program has ended, waiting at most `milliseconds`.
    std::optional<DWORD> Wait(DWORD milliseconds = 30000) const {
        if (process_.hProcess == nullptr || WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }
    std::string Out() const { return Bytes(folder_ + "\\out.txt"); }
    std::string Err() const { return Bytes(folder_ + "\\err.txt"); }

private:
    std::string folder_;
    PROCESS_INFORMATION process_{};
};

// Polls `ready` every 20 ms for at most `milliseconds`.
template <typename Ready> bool Eventually(Ready ready, DWORD milliseconds = 20000) {
    const DWORD begun = GetTickCount();
    while (!ready()) {
        if (GetTickCount() - begun > milliseconds) return false;
        Sleep(20);
    }
    return true;
}

} // namespace veltor::win32
