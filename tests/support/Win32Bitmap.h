#pragma once
// Pictures of windows for the Windows tests, saved as 24-bit BMP files (after <windows.h>).

#include <fstream>
#include <string>

namespace veltor::test {

// Copies `width` x `height` pixels at (x, y) of `source` into a BMP file. A window given as
// `painted` first paints its client area into the copy (PrintWindow).
inline void SaveBitmap(HDC source, int x, int y, int width, int height, const std::string& path,
                       HWND painted = nullptr) {
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (painted) PrintWindow(painted, memory, PW_CLIENTONLY);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    const DWORD imageBytes = static_cast<DWORD>((width * 3 + 3) & ~3) * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageBytes;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), imageBytes);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

} // namespace veltor::test
