// The error box on a real (virtual) display: caption, text and its OK button. Another thread
// plays the operator: it finds the box, reads it and confirms it.
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace veltor::win32 {
namespace {

constexpr int kMessageTextId = 0xFFFF; // the static text of a message box

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

TEST(Win32MessageBox, ShowsTheErrorCaptionedWithTheTitleUntilConfirmed) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display (scripts/test-windows provides one)";

    std::wstring caption;
    std::wstring message;
    bool okButton = false;
    std::atomic<bool> confirmed{false};
    std::thread operatorThread([&] {
        for (int attempt = 0; attempt < 200 && !confirmed; ++attempt) {
            if (HWND box = FindWindowW(L"#32770", L"Backups Veltor")) {
                caption = TextOf(box);
                message = TextOf(GetDlgItem(box, kMessageTextId));
                okButton = GetDlgItem(box, IDOK) != nullptr;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                confirmed = true;
                return;
            }
            Sleep(50);
        }
    });
    Win32MessageBox().ShowError("Parámetros Incorrectos del Archivo ADMINBD.inf");
    confirmed = true;
    operatorThread.join();
    EXPECT_EQ(caption, L"Backups Veltor");
    EXPECT_EQ(message, L"Par\u00e1metros Incorrectos del Archivo ADMINBD.inf");
    EXPECT_TRUE(okButton);
}

} // namespace
} // namespace veltor::win32
