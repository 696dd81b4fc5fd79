// Download speed and memory of the HTTP client beside WinINet, run by hand under Wine
// against the loopback nginx (bench/http/run.sh starts it):
//   httpcli_bench.exe http://127.0.0.1:<port>/big.bin [rounds]
// Each round fetches the URL with THttpCli into a file stream and with an InternetReadFile
// loop into a file, and prints MB/s; the client's private memory is sampled while the body
// streams in, to show that it stays flat whatever the size.
#include <windows.h>
// After windows.h.
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "base/Streams.h"
#include "http/HttpCli_win.h"
#include "ui/WindowDispatcher_win.h"

namespace {

double Seconds(LARGE_INTEGER From, LARGE_INTEGER To) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(To.QuadPart - From.QuadPart) / double(f.QuadPart);
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
    // Wine leaves PrivateUsage at 0; the commit charge counts the same private pages.
    return pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
}

// Bytes fetched, with the time taken and the growth of private memory at its highest.
struct TRun {
    long long Bytes = 0;
    double Secs = 0;
    long long PeakGrowth = 0;
    long long Base = 0;
};

TRun ByHttpCli(const std::string& Url, const std::string& File) {
    TRun r;
    std::unique_ptr<THttpCli> cli(NewHttpCli());
    TFileStream out(File, fmCreate);
    cli->RcvdStream = &out;
    cli->URL = Url;
    cli->SetRequestVer("1.1");
    const SIZE_T base = PrivateBytes();
    r.Base = static_cast<long long>(base);
    int calls = 0;
    cli->OnDocData = [&](TObject*, const char*, int) {
        if (++calls % 256 == 0)
            r.PeakGrowth = std::max<long long>(r.PeakGrowth, (long long)PrivateBytes() - (long long)base);
    };
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    cli->Get();
    QueryPerformanceCounter(&b);
    r.Bytes = cli->RcvdCount;
    r.Secs = Seconds(a, b);
    return r;
}

TRun ByWinINet(const std::string& Url, const std::string& File) {
    TRun r;
    HINTERNET net = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    HINTERNET url = InternetOpenUrlA(
        net, Url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
    if (url == nullptr) {
        std::printf("WinINet could not open %s (error %lu)\n", Url.c_str(), GetLastError());
        InternetCloseHandle(net);
        return r;
    }
    std::FILE* out = std::fopen(File.c_str(), "wb");
    static char buf[65536];
    DWORD got = 0;
    while (InternetReadFile(url, buf, sizeof buf, &got) && got > 0) {
        std::fwrite(buf, 1, got, out);
        r.Bytes += got;
    }
    std::fclose(out);
    QueryPerformanceCounter(&b);
    r.Secs = Seconds(a, b);
    InternetCloseHandle(url);
    InternetCloseHandle(net);
    return r;
}

void Print(const char* Who, const TRun& R) {
    std::printf("%-9s %10lld bytes %7.3f s %8.1f MB/s", Who, R.Bytes, R.Secs,
                R.Bytes / 1048576.0 / std::max(R.Secs, 1e-9));
    if (R.Base) std::printf("  private memory %lld KB, +%lld KB at most", R.Base / 1024, R.PeakGrowth / 1024);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: httpcli_bench <url> [rounds]\n");
        return 2;
    }
    const std::string url = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    const std::string file = std::string(tmp) + "httpcli_bench.bin";
    TWindowDispatcher dispatcher;
    SetDispatcher(&dispatcher);
    double cliBest = 0, inetBest = 0;
    try {
        for (int i = 0; i < rounds; ++i) {
            const TRun c = ByHttpCli(url, file);
            Print("THttpCli", c);
            const TRun w = ByWinINet(url, file);
            Print("WinINet", w);
            cliBest = std::max(cliBest, c.Bytes / std::max(c.Secs, 1e-9));
            inetBest = std::max(inetBest, w.Bytes / std::max(w.Secs, 1e-9));
        }
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        SetDispatcher(nullptr);
        return 1;
    }
    DeleteFileA(file.c_str());
    SetDispatcher(nullptr);
    std::printf("best: THttpCli %.1f MB/s, WinINet %.1f MB/s (%.2fx)\n", cliBest / 1048576.0,
                inetBest / 1048576.0, cliBest / std::max(inetBest, 1e-9));
    return 0;
}
