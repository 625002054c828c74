// The two Windows programs as processes: veltor-backups-console.exe with its output, options and
// console control events, and veltor-backups.exe with its window driven from outside, as an
// operator would. No fbclient.dll is to be found here, so every Firebird operation fails.
#include "platform/win32/Win32Application.h"
#include "platform/win32/Win32Platform.h"
#include "tests/support/Win32Processes.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "tests/support/Win32Bitmap.h" // after windows.h

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace veltor::win32 {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

constexpr const char* kClientMissing = "No est\xC3\xA1 disponible la biblioteca cliente de Firebird";
const std::string kMissingFile = "Backups Veltor: No se encontr\xC3\xB3 el archivo ADMINBD.inf\r\n";

using ConsoleProgram = ProgramFolderTest;

TEST_F(ConsoleProgram, NowAndTickRunOnceWithoutTheClientLibraryAndEndWithTwo) {
    WriteConfiguration();
    for (const char* option : {"--now", "--tick"}) {
        Child program(folder, "veltor-backups-console.exe", option);
        const std::optional<DWORD> code = program.Wait();
        ASSERT_TRUE(code) << option << " did not end";
        // Without the client library the catalogue cannot be reached.
        EXPECT_EQ(*code, 2u) << option;
        EXPECT_EQ(program.Err(), "") << option;
        // Memo lines in UTF-8, one Windows line each.
        const std::string out = program.Out();
        EXPECT_THAT(out, HasSubstr(kClientMissing)) << option;
        EXPECT_THAT(out, HasSubstr("Conexi\xC3\xB3n: LOCALHOST:C:\\DATOS\\ADMIN.FDB")) << option;
        EXPECT_THAT(out, HasSubstr("\r\n")) << option;
        EXPECT_THAT(out, Not(HasSubstr("\r\r"))) << option;
    }
    EXPECT_TRUE(fs::is_directory(In("bk"))); // the run made the backup folder
}

TEST_F(ConsoleProgram, ErrorBoxesAreLinesOnStandardErrorThatWaitForNobody) {
    Child program(folder, "veltor-backups-console.exe", "--tick");
    const std::optional<DWORD> code = program.Wait();
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 2u);
    // The activation and then the run read the configuration.
    EXPECT_EQ(program.Err(), kMissingFile + kMissingFile);
}

// --status without the client library: the catalogue cannot be read, which is critical (2), and
// nothing waits for anybody; the same for machines with --json, also without ADMINBD.inf.
TEST_F(ConsoleProgram, StatusWithoutTheCatalogueIsCriticalOnOneLine) {
    WriteConfiguration();
    Child text(folder, "veltor-backups-console.exe", "--status");
    std::optional<DWORD> code = text.Wait();
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 2u);
    const std::string out = text.Out();
    EXPECT_THAT(out, ::testing::StartsWith("VELTOR BACKUPS CRITICAL - no se pudo leer el cat\xC3\xA1logo "
                                           "LOCALHOST:C:\\DATOS\\ADMIN.FDB: "));
    EXPECT_THAT(out, ::testing::EndsWith("\r\n"));
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(text.Err(), "");

    fs::remove(In("ADMINBD.inf"));
    Child json(folder, "veltor-backups-console.exe", "--status --json");
    code = json.Wait();
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 2u);
    EXPECT_THAT(json.Out(), HasSubstr("\"status\": \"CRITICAL\",\r\n"));
    EXPECT_THAT(json.Out(), HasSubstr("No se encontr\xC3\xB3 el archivo ADMINBD.inf"));
    EXPECT_EQ(json.Err(), "");
}

// --list and --restore run on the backup module in place of a run, and end with what they came
// to: here the catalogue cannot be reached and nobody can confirm.
TEST_F(ConsoleProgram, ListAndRestoreRunInPlaceOfTheBackupAndEndWithTheirOutcome) {
    WriteConfiguration();
    for (const char* arguments : {"--list EMP01", "--restore EMP01 --replace"}) {
        Child program(folder, "veltor-backups-console.exe", arguments);
        const std::optional<DWORD> code = program.Wait();
        ASSERT_TRUE(code) << arguments << " did not end";
        EXPECT_EQ(*code, 2u) << arguments;
        EXPECT_THAT(program.Out(), Not(HasSubstr(" Inicia Backup "))) << arguments;
        EXPECT_THAT(program.Err(), Not(HasSubstr("Try "))) << arguments;
    }
    EXPECT_FALSE(fs::exists(In("bk"))); // no run made the backup folder
}

// Joins the console of a program for the life of the object, ignoring Ctrl-C itself.
class InConsoleOf {
public:
    explicit InConsoleOf(const Child& program) {
        FreeConsole();
        attached_ = AttachConsole(program.id()) != FALSE;
        SetConsoleCtrlHandler(nullptr, TRUE);
    }
    ~InConsoleOf() {
        FreeConsole();
        SetConsoleCtrlHandler(nullptr, FALSE);
    }
    InConsoleOf(const InConsoleOf&) = delete;
    InConsoleOf& operator=(const InConsoleOf&) = delete;
    bool attached() const { return attached_; }

    // The first lines of the console's screen.
    static std::wstring Screen() {
        HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (screen == INVALID_HANDLE_VALUE) return {};
        CONSOLE_SCREEN_BUFFER_INFO info{};
        std::wstring text;
        if (GetConsoleScreenBufferInfo(screen, &info)) {
            text.resize(static_cast<std::size_t>(info.dwSize.X) * 10);
            DWORD got = 0;
            ReadConsoleOutputCharacterW(screen, text.data(), static_cast<DWORD>(text.size()), COORD{0, 0}, &got);
            text.resize(got);
        }
        CloseHandle(screen);
        return text;
    }

private:
    bool attached_ = false;
};

TEST_F(ConsoleProgram, WritesItsCharactersToItsConsoleAndCtrlCEndsTheTimerLoop) {
    Child program(folder, "veltor-backups-console.exe", {}, CREATE_NEW_CONSOLE, false);
    std::optional<InConsoleOf> console;
    ASSERT_TRUE(Eventually([&] { return console.emplace(program).attached(); })) << GetLastError();
    // The loop runs once the activation has reported the missing file, accent and all.
    ASSERT_TRUE(Eventually([&] {
        return InConsoleOf::Screen().find(L"Backups Veltor: No se encontr\u00f3 el archivo ADMINBD.inf") !=
               std::wstring::npos;
    }));
    EXPECT_FALSE(program.Wait(300)) << "ended by itself";
    // (Wine refuses to generate a Ctrl-Break; the program takes both alike.)
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    const std::optional<DWORD> code = program.Wait();
    ASSERT_TRUE(code) << "still running after Ctrl-C";
    EXPECT_EQ(*code, 0u);
}

TEST_F(ConsoleProgram, ClosingItsConsoleEndsTheProgram) {
    Child program(folder, "veltor-backups-console.exe", {}, CREATE_NEW_CONSOLE);
    ASSERT_TRUE(Eventually([&] { return program.Err() == kMissingFile; })) << program.Err();
    HWND consoleWindow = nullptr;
    {
        InConsoleOf console(program);
        ASSERT_TRUE(console.attached()) << GetLastError();
        consoleWindow = GetConsoleWindow();
    }
    ASSERT_NE(consoleWindow, nullptr);
    PostMessageW(consoleWindow, WM_CLOSE, 0, 0);
    const std::optional<DWORD> code = program.Wait();
    ASSERT_TRUE(code) << "still running after its console closed";
    EXPECT_EQ(*code, 0u);
}

// The window of another process, found by its class and owner.
HWND WindowOf(DWORD processId) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"VeltorFrmActividad", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

// A control's text, asked across processes (the system carries WM_GETTEXT over).
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return L"<hung>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                        &got);
    text.resize(got);
    return text;
}

// The window as it shows on the screen, frame and caption with it, as a 24-bit BMP file.
void SaveScreenshot(HWND window, const std::string& path) {
    RECT frame{};
    GetWindowRect(window, &frame);
    HDC screen = GetDC(nullptr);
    test::SaveBitmap(screen, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, path);
    ReleaseDC(nullptr, screen);
}

using WindowProgram = ProgramFolderTest;

TEST_F(WindowProgram, StartsWithoutTheClientLibraryRunsFromItsButtonAndClosesWithZero) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display (scripts/test-windows provides one)";
    WriteConfiguration();
    Child program(folder, "veltor-backups.exe");
    HWND window = nullptr;
    ASSERT_TRUE(Eventually([&] { return (window = WindowOf(program.id())) != nullptr; })) << "no window";

    // Shown and activated: the folder of the configuration is in its field.
    std::wstring folderShown = L"";
    for (const char c : In("BK\\"))
        folderShown += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(Eventually([&] { return TextOf(GetDlgItem(window, kEdRutaCopias)) == folderShown; }))
        << "the folder field holds: " << TextOf(GetDlgItem(window, kEdRutaCopias)).size() << " characters";
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(TextOf(window), L"Veltor - Backups");
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 825);
    EXPECT_EQ(client.bottom, 468);
    EXPECT_EQ(TextOf(GetDlgItem(window, kPanel1)), L"BACKUPS VELTOR 2026  ");
    EXPECT_EQ(TextOf(GetDlgItem(window, kButton1)), L"Minimizar");
    EXPECT_EQ(TextOf(GetDlgItem(window, kButton3)), L"Backup Restore Ahora");
    EXPECT_EQ(TextOf(GetDlgItem(window, kLabRutaCopia)), L"Carpeta Backups:");
    EXPECT_EQ(TextOf(GetDlgItem(window, kLabel3)), L"Log de Actividad:");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kEdRutaCopias)));

    // The operator's click: the run reports the missing client library and the program goes on.
    HWND memo = GetDlgItem(window, kMemoActividad);
    PostMessageW(GetDlgItem(window, kButton3), BM_CLICK, 0, 0);
    ASSERT_TRUE(Eventually([&] {
        return TextOf(memo).find(L"No est\u00e1 disponible la biblioteca cliente de Firebird") != std::wstring::npos;
    })) << "memo: "
        << TextOf(memo).size() << " characters";
    EXPECT_NE(TextOf(memo).find(L"Conexi\u00f3n: LOCALHOST:C:\\DATOS\\ADMIN.FDB"), std::wstring::npos);
    EXPECT_FALSE(program.Wait(200));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(fs::is_directory(In("bk")));

#ifdef VELTOR_ARTIFACTS_DIR
    CreateDirectoryA(VELTOR_ARTIFACTS_DIR, nullptr);
    SetForegroundWindow(window);
    Sleep(300);
    SaveScreenshot(window, VELTOR_ARTIFACTS_DIR "/veltor-program.bmp");
#endif

    PostMessageW(window, WM_CLOSE, 0, 0);
    const std::optional<DWORD> code = program.Wait();
    ASSERT_TRUE(code) << "still running after its window was closed";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(program.Err(), "");
}

} // namespace
} // namespace veltor::win32
