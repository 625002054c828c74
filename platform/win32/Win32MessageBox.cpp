// Error boxes of the Windows user interface.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

namespace veltor::win32 {

void Win32MessageBox::ShowError(const std::string& text) {
    std::wstring wideText;
    std::wstring wideCaption;
    try {
        wideText = WideForDisplay(text);
        wideCaption = WideForDisplay(caption_);
    } catch (...) {
        wideText = L"?";
    }
    MessageBoxW(static_cast<HWND>(owner_), wideText.c_str(), wideCaption.c_str(), MB_ICONERROR | MB_OK);
}

} // namespace veltor::win32
