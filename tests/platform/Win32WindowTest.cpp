// The activity window on a real (virtual) display: its controls read back through the Windows
// API, its timers, its button and its message loop. A screenshot goes to artifacts/.
#include "platform/win32/Win32Application.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "tests/support/Win32Bitmap.h" // after windows.h

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace veltor::win32 {
namespace {

struct Expected {
    int id;
    const wchar_t* text;
    RECT place; // left, top, right, bottom in the client area
};

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

RECT PlaceIn(HWND parent, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

// The window's client area as a 24-bit BMP file.
void SaveScreenshot(HWND window, const std::string& path) {
    RECT client{};
    GetClientRect(window, &client);
    HDC source = GetDC(window);
    test::SaveBitmap(source, 0, 0, client.right, client.bottom, path, window);
    ReleaseDC(window, source);
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display (scripts/test-windows provides one)";
        parts.emplace(gui.CreateMainWindow());
        window = static_cast<HWND>(gui.window()->handle());
    }
    // Lets the loop's messages through for about the given time.
    void Pump(int milliseconds) {
        for (int waited = 0; waited < milliseconds; waited += 10) {
            gui.window()->ProcessPendingEvents();
            Sleep(10);
        }
    }

    Win32GuiApplication gui;
    std::optional<MainWindowParts> parts;
    HWND window = nullptr;
};

TEST_F(Win32Window, ControlsCarryTheirTextsPlacesAndFonts) {
    EXPECT_EQ(TextOf(window), L"Veltor - Backups");
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 825);
    EXPECT_EQ(client.bottom, 468);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

    const Expected controls[] = {
        {kPanel1, L"BACKUPS VELTOR 2026  ", {24, 16, 809, 40}},
        {kButton1, L"Minimizar", {738, 428, 811, 453}},
        {kMemoActividad, L"", {24, 100, 809, 413}},
        {kEdRutaCopias, L"", {128, 52, 809, 76}},
        {kButton3, L"Backup Restore Ahora", {611, 428, 732, 453}},
    };
    for (const Expected& c : controls) {
        HWND control = GetDlgItem(window, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(TextOf(control), c.text) << c.id;
        const RECT r = PlaceIn(window, control);
        EXPECT_EQ(r.left, c.place.left) << c.id;
        EXPECT_EQ(r.top, c.place.top) << c.id;
        EXPECT_EQ(r.right, c.place.right) << c.id;
        EXPECT_EQ(r.bottom, c.place.bottom) << c.id;
    }
    EXPECT_EQ(TextOf(GetDlgItem(window, kLabRutaCopia)), L"Carpeta Backups:");
    EXPECT_EQ(TextOf(GetDlgItem(window, kLabel3)), L"Log de Actividad:");

    HWND memo = GetDlgItem(window, kMemoActividad);
    EXPECT_TRUE(GetWindowLongW(memo, GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongW(memo, GWL_STYLE) & WS_VSCROLL);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kEdRutaCopias)));

    const LOGFONTW panel = FontOf(GetDlgItem(window, kPanel1));
    EXPECT_EQ(panel.lfHeight, -16);
    EXPECT_EQ(panel.lfWeight, FW_BOLD);
    const LOGFONTW folder = FontOf(GetDlgItem(window, kEdRutaCopias));
    EXPECT_EQ(folder.lfHeight, -13);
    EXPECT_EQ(folder.lfWeight, FW_BOLD);
    const LOGFONTW button = FontOf(GetDlgItem(window, kButton3));
    EXPECT_EQ(button.lfHeight, -11);
    EXPECT_EQ(button.lfWeight, FW_NORMAL);
    EXPECT_EQ(std::wstring(button.lfFaceName), L"MS Sans Serif");
}

TEST_F(Win32Window, ShowsTheFolderAndAppendsMemoLines) {
    parts->view.ShowBackupFolder("C:\\Datos Veltor\\Backups\\");
    EXPECT_EQ(TextOf(GetDlgItem(window, kEdRutaCopias)), L"C:\\Datos Veltor\\Backups\\");
    parts->memo.AppendMemoLines({" "});
    parts->memo.AppendMemoLines({"07/12/2026 - 12:45:03 Conexión", "uno\r\ndos", "  "});
    EXPECT_EQ(TextOf(GetDlgItem(window, kMemoActividad)),
              L" \r\n07/12/2026 - 12:45:03 Conexi\u00f3n\r\nuno\r\ndos\r\n  ");
}

TEST_F(Win32Window, MemoKeepsItsLastLinesCountedAsLinesNotAsWrappedScreenLines) {
    Win32MainWindow small(3);
    HWND memo = GetDlgItem(static_cast<HWND>(small.handle()), kMemoActividad);
    // Each line wraps into several screen lines of the memo.
    const std::string wide(400, 'x');
    small.AppendMemoLines({"1" + wide, "2" + wide});
    small.AppendMemoLines({"3" + wide});
    EXPECT_EQ(TextOf(memo).substr(0, 2), L"1x") << "three lines fit";
    small.AppendMemoLines({"4" + wide});
    const std::wstring kept = TextOf(memo);
    EXPECT_EQ(kept.substr(0, 2), L"2x");
    EXPECT_EQ(std::count(kept.begin(), kept.end(), L'\n'), 2);
    // A line with a line end of its own counts twice.
    small.AppendMemoLines({"5\r\n6"});
    EXPECT_EQ(TextOf(memo).substr(0, 2), L"4x");
}

TEST_F(Win32Window, TaskbarEntryCarriesTheApplicationTitleAndMinimisesTheWindowWithIt) {
    gui.SetTitle("Backups Veltor");
    HWND entry = GetWindow(window, GW_OWNER);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(TextOf(entry), L"Backups Veltor");
    EXPECT_EQ(GetWindow(entry, GW_OWNER), nullptr);
    EXPECT_FALSE(GetWindowLongW(entry, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(TextOf(window), L"Veltor - Backups");
    ShowWindow(entry, SW_SHOWNOACTIVATE);
    ShowWindow(window, SW_SHOW);
    parts->view.Minimize();
    Pump(100);
    EXPECT_TRUE(IsIconic(entry));
    EXPECT_FALSE(IsWindowVisible(window));
    ShowWindow(entry, SW_RESTORE);
    Pump(100);
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(Win32Window, TimersFireWhileEnabledAndNeverWithIntervalZero) {
    int backup = 0;
    int minimise = 0;
    parts->timerBackup.SetOnTimer([&] { ++backup; });
    parts->timerVerTerminal.SetOnTimer([&] { ++minimise; });
    parts->timerBackup.SetInterval(20);
    parts->timerBackup.SetEnabled(true);
    parts->timerVerTerminal.SetEnabled(true); // interval 0
    for (int waited = 0; waited < 3000 && backup < 2; waited += 10)
        Pump(10);
    EXPECT_GE(backup, 2);
    parts->timerBackup.SetEnabled(false);
    const int stopped = backup;
    Pump(200);
    EXPECT_EQ(backup, stopped);
    EXPECT_EQ(minimise, 0);
}

TEST_F(Win32Window, ButtonsRaiseTheirEvents) {
    int runs = 0;
    int minimises = 0;
    parts->view.BindEvents({{}, [&] { ++minimises; }, [&] { ++runs; }});
    SendMessageW(GetDlgItem(window, kButton3), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(window, kButton1), BM_CLICK, 0, 0);
    Pump(50);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(minimises, 1);
    parts->view.SetRunNowEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kButton3)));
}

TEST_F(Win32Window, LoopShowsTheWindowActivatesItOnceAndEndsWhenItCloses) {
    int activations = 0;
    parts->view.BindEvents({[&] {
                                ++activations;
                                parts->memo.AppendMemoLines({"07/12/2026 - 12:45:03 Inicio Backup: ===> "});
                                parts->view.ShowBackupFolder("C:\\Datos Veltor\\Backups\\");
                                parts->memo.ProcessPendingEvents();
                                EXPECT_TRUE(IsWindowVisible(window));
#ifdef VELTOR_ARTIFACTS_DIR
                                CreateDirectoryA(VELTOR_ARTIFACTS_DIR, nullptr);
                                UpdateWindow(window);
                                SaveScreenshot(window, VELTOR_ARTIFACTS_DIR "/veltor-window.bmp");
#endif
                                PostMessageW(window, WM_CLOSE, 0, 0);
                            },
                            {},
                            {}});
    gui.RunMessageLoop();
    EXPECT_EQ(activations, 1);
    EXPECT_FALSE(IsWindow(window));
}

} // namespace
} // namespace veltor::win32
