// One hit-test layout (and one paint) of a 100-item news popup with GDI, timed with the
// performance counter. Run under Wine: every mouse move over the popup costs one hit test.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "htmlpopup/HTMLPopup_win.h"
#include "tests/htmlpopup/NewsText.h"
#include "ui/ScopedHandles_win.h"

namespace {

HIMAGELIST MakeImages() {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 12, 0);
    TWindowDC screen(nullptr);
    for (int i = 0; i < 12; ++i)
        ImageList_AddMasked(list, TGdiObject<HBITMAP>(CreateCompatibleBitmap(screen.Get(), 16, 16)).Get(),
                            RGB(255, 0, 255));
    return list;
}

double Microseconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

template <typename F>
void Time(const char* name, int rounds, F f) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    f();  // fonts and widths are made on the first call and kept, as in the window
    std::vector<double> us;
    for (int i = 0; i < rounds; ++i) {
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        f();
        QueryPerformanceCounter(&b);
        us.push_back(Microseconds(a, b, freq));
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us)
        sum += v;
    std::printf("%-28s rounds %4d  median %8.1f us  mean %8.1f us  min %8.1f us\n", name, rounds,
                us[us.size() / 2], sum / us.size(), us.front());
}

}  // namespace

int main() {
    TGDIImageList images(nullptr, MakeImages(), true);
    const std::string text = Joined(NewsPopupLines(100));
    THTMLPopupLook look;
    look.BorderSize = 3;
    look.MarginX = 6;
    look.ShadeEnable = true;
    THTMLPopupContent content;
    content.Text = text;
    content.Images = &images;
    TGDIFontCache fonts;
    TMemoryDC memory;
    HDC dc = memory.Get();
    int w = 0, h = 0;
    {
        TGDISurface s(dc, fonts);
        PopupAutoSize(s, 200, 200, look, content, false, -1, w, h);
    }
    std::printf("100-item popup: %d x %d pixels, %u bytes of text\n", w, h,
                static_cast<unsigned>(text.size()));
    Time("hit test (GDI)", 500, [&] {
        TGDISurface s(dc, fonts);
        volatile bool hit = PopupHitTest(s, w, h, look, content, {40, 110}).Hit;
        (void)hit;
    });
    TGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(TWindowDC(nullptr).Get(), w, h));
    TSelectObject canvas(dc, bmp.Get());
    Time("paint (GDI)", 50, [&] {
        TGDISurface s(dc, fonts);
        PaintPopup(s, w, h, look, content, false, -1);
    });
    return 0;
}
