// Line mode must cost about one pass over the bytes: a long line that arrives in small
// pieces is not searched from its start again for every piece.
#include <benchmark/benchmark.h>

#include <string>

#include "http/LineBuffer.h"

static void BM_LineBufferLongLineInSmallPieces(benchmark::State& state) {
    const std::string piece(static_cast<size_t>(state.range(0)), 'x');
    const int pieces = 64 * 1024 / static_cast<int>(piece.size());
    for (auto _ : state) {
        TLineBuffer b;
        for (int i = 0; i < pieces; ++i) {
            b.Append(piece.data(), piece.size(), false, false);
            benchmark::DoNotOptimize(b.NextLine());
        }
        b.Append("\r\n", 2, false, false);
        benchmark::DoNotOptimize(b.NextLine());
    }
    state.SetBytesProcessed(state.iterations() * pieces * state.range(0));
}
BENCHMARK(BM_LineBufferLongLineInSmallPieces)->Arg(1)->Arg(16)->Arg(1460);

static void BM_LineBufferShortLines(benchmark::State& state) {
    std::string block;
    while (block.size() < 64 * 1024)
        block += "header-name: some value\r\n";
    char out[256];
    for (auto _ : state) {
        TLineBuffer b;
        b.Append(block.data(), block.size(), false, false);
        while (b.NextLine())
            while (b.ReadLine(out, sizeof out) > 0) {
            }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_LineBufferShortLines);
