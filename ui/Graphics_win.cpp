#include "ui/Graphics_win.h"

#include <map>
#include <tuple>

#include "ui/ScopedHandles_win.h"

HFONT GetFont(const std::string& Face, int Points, bool Bold, bool Underline) {
    static std::map<std::tuple<std::string, int, bool, bool>, HFONT> cache;
    auto key = std::make_tuple(Face, Points, Bold, Underline);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    int height = -MulDiv(Points, GetDeviceCaps(TWindowDC(nullptr).Get(), LOGPIXELSY), 72);
    HFONT font = CreateFontA(height, 0, 0, 0, Bold ? FW_BOLD : FW_NORMAL, FALSE, Underline, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, Face.c_str());
    cache[key] = font;
    return font;
}

TIcon::~TIcon() {
    if (FHandle) DestroyIcon(FHandle);
}

void TIcon::SetHandle(HICON Icon) {
    if (Icon == FHandle) return;
    if (FHandle) DestroyIcon(FHandle);
    FHandle = Icon;
    Raise(OnChange, this);
}

void TIcon::Assign(const TIcon& Source) { SetHandle(Source.Handle() ? CopyIcon(Source.Handle()) : nullptr); }
