// Error boxes of the Windows user interface.
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Text.h"
#include "platform/win32/WinApi.h"

namespace veltor::win32 {

void Win32MessageBox::ShowError(const std::string& text) {
    std::wstring wide;
    try {
        wide = WideFromUtf8(text);
    } catch (...) {
        wide = L"?";
    }
    MessageBoxW(static_cast<HWND>(owner_), wide.c_str(), L"Backups Veltor", MB_ICONERROR | MB_OK);
}

} // namespace veltor::win32
