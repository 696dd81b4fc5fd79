#include "ui/Graphics_win.h"

#include <map>
#include <tuple>

#include "ui/Dpi_win.h"
#include "ui/ScopedHandles_win.h"

namespace {
// Face, points, bold, underline.
using TFontKey = std::tuple<std::string, int, bool, bool>;

std::map<std::tuple<TFontKey, int>, HFONT>& Fonts() {
    static std::map<std::tuple<TFontKey, int>, HFONT> fonts;
    return fonts;
}

// Which description each font was made from, to make it again at another DPI.
std::map<HFONT, TFontKey>& Keys() {
    static std::map<HFONT, TFontKey> keys;
    return keys;
}
}  // namespace

HFONT GetFont(const std::string& Face, int Points, bool Bold, bool Underline) {
    return GetFontForDpi(Face, Points, Bold, Underline, SystemDpi());
}

HFONT GetFontForDpi(const std::string& Face, int Points, bool Bold, bool Underline, int Dpi) {
    TFontKey key = std::make_tuple(Face, Points, Bold, Underline);
    auto it = Fonts().find(std::make_tuple(key, UsableDpi(Dpi)));
    if (it != Fonts().end()) return it->second;
    HFONT font = CreateFontA(FontHeightForDpi(Points, Dpi), 0, 0, 0, Bold ? FW_BOLD : FW_NORMAL, FALSE,
                             Underline, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Face.c_str());
    Fonts()[std::make_tuple(key, UsableDpi(Dpi))] = font;
    if (font) Keys()[font] = key;
    return font;
}

HFONT FontForDpi(HFONT Font, int Dpi) {
    auto it = Keys().find(Font);
    if (it == Keys().end()) return Font;
    const TFontKey& k = it->second;
    return GetFontForDpi(std::get<0>(k), std::get<1>(k), std::get<2>(k), std::get<3>(k), Dpi);
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
