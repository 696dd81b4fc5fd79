// Queueing a block for sending must cost about one copy, whatever its size, and draining
// it in Winsock-sized pieces must not move the data again.
#include <benchmark/benchmark.h>

#include <string>

#include "http/WSockBuf.h"

static void BM_SendQueuePut(benchmark::State& state) {
    const std::string data(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        TSendQueue q(1460);
        q.Put(data.data(), static_cast<int>(data.size()));
        benchmark::DoNotOptimize(q.Size());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SendQueuePut)->Arg(1460)->Arg(64 * 1024)->Arg(1024 * 1024);

static void BM_SendQueuePutAndDrain(benchmark::State& state) {
    const std::string data(static_cast<size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        TSendQueue q(1460);
        q.Put(data.data(), static_cast<int>(data.size()));
        int len = 0;
        long taken = 0;
        // A Winsock that takes 8 KB at a time at most, like a loopback send buffer.
        while (const char* p = q.Front(len)) {
            int n = len < 8192 ? len : 8192;
            benchmark::DoNotOptimize(p);
            q.Remove(n);
            taken += n;
        }
        benchmark::DoNotOptimize(taken);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SendQueuePutAndDrain)->Arg(64 * 1024)->Arg(1024 * 1024);

// A handler that keeps adding small pieces while much is still queued (a peer that reads
// slowly): each Send asks whether the queue is empty, which must not walk every block.
static void BM_SendQueueSmallPutsBehindABacklog(benchmark::State& state) {
    TSendQueue q(1460);
    const std::string backlog(static_cast<size_t>(state.range(0)), 'b');
    q.Put(backlog.data(), static_cast<int>(backlog.size()));
    const std::string piece(100, 'p');
    for (auto _ : state) {
        q.Put(piece.data(), static_cast<int>(piece.size()));
        benchmark::DoNotOptimize(q.Empty());
        int len = 0;
        q.Front(len);
        q.Remove(len < 100 ? len : 100);
    }
}
BENCHMARK(BM_SendQueueSmallPutsBehindABacklog)->Arg(64 * 1024)->Arg(16 * 1024 * 1024);
