// One hit-test layout of a 100-item news popup, as every mouse move over the popup runs.
#include <benchmark/benchmark.h>

#include "htmlpopup/HTMLPopup.h"
#include "tests/htmlpopup/FakeSurface.h"
#include "tests/htmlpopup/NewsText.h"

static void BM_HitTestNewsPopup100(benchmark::State& state) {
    TFakeSurface s;
    s.Log = false;
    TFakeImages images(&s, 12);
    const std::string text = Joined(NewsPopupLines(100));
    for (auto _ : state) {
        THTMLRenderResult r =
            RenderHTML(s, text, {9, 7, 4096, 4096}, &images, nullptr, nullptr, false, -1, true, {40, 110});
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_HitTestNewsPopup100);

static void BM_PaintNewsPopup100(benchmark::State& state) {
    TFakeSurface s;
    s.Log = false;
    TFakeImages images(&s, 12);
    const std::string text = Joined(NewsPopupLines(100));
    for (auto _ : state) {
        THTMLRenderResult r =
            RenderHTML(s, text, {9, 7, 4096, 4096}, &images, nullptr, nullptr, false, -1, false, {});
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_PaintNewsPopup100);

BENCHMARK_MAIN();
