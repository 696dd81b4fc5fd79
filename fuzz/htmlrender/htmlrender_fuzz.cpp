// Any text through the renderer: painting, a hit test and a narrow box must neither crash
// nor hang, and the surface must be left as it was found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmlpopup/HTMLPopup.h"
#include "tests/htmlpopup/FakeSurface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    TFakeSurface s;
    s.Log = false;
    TFakeImages images(&s, 12, 16, 16);
    const THTMLFont base = s.Font();
    RenderHTML(s, text, {0, 0, 300, 4096}, &images, nullptr, nullptr, false, -1, false, {});
    RenderHTML(s, text, {10, 10, 40, 400}, &images, nullptr, nullptr, true, 2, false, {});
    const THTMLRenderResult r =
        RenderHTML(s, text, {0, 0, 300, 4096}, &images, nullptr, nullptr, false, -1, true, {50, 20});
    if (!(s.Font() == base) || s.TextBackground() != clNone || r.NeededHeight <= 0 || r.NeededWidth < 0)
        std::abort();
    return 0;
}
