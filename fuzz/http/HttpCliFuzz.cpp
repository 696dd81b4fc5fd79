// Feeds arbitrary response bytes, cut into pieces of varying size, to the HTTP client over
// the scripted socket, across relocations, and checks that every request ends once the
// server goes away, with nothing left waiting and the body within its cap.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/http/HttpCliTestUtil.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

// Input: a byte of flags (bit 0 HTTP/1.1, bit 1 through a proxy, bit 2 HEAD, bit 3 close at
// the end of each connection), a byte that sets the piece sizes, then the bytes the server
// sends; a form feed ends what one connection sends.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const unsigned flags = data[0], seed = data[1];
    const std::string in(reinterpret_cast<const char*>(data + 2), size - 2);

    THttpBench b;
    b.Cli->MaxBodySize = 1 << 16;
    if (flags & 1) b.Cli->SetRequestVer("1.1");
    if (flags & 2) b.Cli->Proxy = "proxy:3128";
    b.Start("http://h/dir/doc?q=1", (flags & 4) ? httpHEAD : httpGET);

    size_t at = 0;
    for (int conn = 0; conn < 16 && at <= in.size() && b.Cli->State() != hsReady; ++conn) {
        b.Accept();
        const size_t end = std::min(in.find('\f', at), in.size());
        for (size_t i = 0; at < end && b.Sock->State() == wsConnected; ++i) {
            const size_t n = std::min<size_t>(1 + (seed + i * 13) % 29, end - at);
            b.Serve(in.substr(at, n));
            at += n;
        }
        at = end + 1;
        if (b.Sock->State() == wsConnected && ((flags & 8) || at > in.size())) {
            b.Sock->PeerClose(0);
            b.Run();
        }
    }
    // A server that goes away ends the request, relocations included.
    for (int i = 0; i < 16 && b.Cli->State() != hsReady; ++i) {
        b.Accept();
        if (b.Sock->State() == wsConnected) b.Sock->PeerClose(0);
        b.Run();
    }
    Check(b.Cli->State() == hsReady);
    Check(b.Rcvd.Size() <= (1 << 16));
    Check(b.Cli->RcvdCount >= 0);
    return 0;
}
