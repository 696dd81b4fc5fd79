#pragma once
// Screenshots of popups for people to look at: 24-bit BMPs written to
// PELORIN_SCREENSHOT_DIR when it is set.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "htmlpopup/HTMLPopup_win.h"
#include "ui/MessagePump_win.h"
#include "ui/ScopedHandles_win.h"

inline bool SaveBitmap(HDC src, int x, int y, int w, int h, const std::string& path) {
    TMemoryDC mem(src);
    TGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(src, w, h));
    {
        TSelectObject copy(mem.Get(), bmp.Get());
        BitBlt(mem.Get(), 0, 0, w, h, src, x, y, SRCCOPY);
    }
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    const int stride = (w * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<size_t>(stride) * h);
    GetDIBits(mem.Get(), bmp.Get(), 0, h, pixels.data(), &bi, DIB_RGB_COLORS);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    std::fwrite(&fh, sizeof(fh), 1, f);
    std::fwrite(&bi.bmiHeader, sizeof(bi.bmiHeader), 1, f);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
    return true;
}

inline std::string ScreenshotDir() {
    const char* d = std::getenv("PELORIN_SCREENSHOT_DIR");
    return d ? d : "";
}

inline void Screenshot(THTMLPopupWindow* w, const std::string& name) {
    const std::string dir = ScreenshotDir();
    if (dir.empty() || !w) return;
    // The window's own painting, pixel for pixel. (The whole screen, drop shadow included,
    // is captured from outside while the popup is held up: PELORIN_SCREENSHOT_HOLD_MS.)
    {
        TWindowDC screen(nullptr);
        TMemoryDC mem(screen.Get());
        TGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(screen.Get(), w->Width(), w->Height()));
        TSelectObject canvas(mem.Get(), bmp.Get());
        w->PaintTo(mem.Get());
        SaveBitmap(mem.Get(), 0, 0, w->Width(), w->Height(), dir + "\\" + name + "_paint.bmp");
    }
    if (const char* hold = std::getenv("PELORIN_SCREENSHOT_HOLD_MS")) SleepHandlingMessages(std::atoi(hold));
}
