// Feeds arbitrary bytes to the SOCKS reply decoders, every prefix in a buffer of exactly its
// size, and checks that a reply is complete or failed at the first prefix that says so and
// stays so; then plays the same bytes as the server of a negotiation over the scripted
// socket, which must end connected or closed with its events in order, or keep waiting.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/SocksLayer.h"
#include "tests/http/FakeWSocket.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

TSocksReply Decode(int Kind, const uint8_t* Data, size_t Len) {
    switch (Kind) {
    case 0:
        return SocksDecodeMethodReply(Data, Len, 0);
    case 1:
        return SocksDecodeMethodReply(Data, Len, 2);
    case 2:
        return SocksDecodeAuthReply(Data, Len);
    case 3:
        return SocksDecodeConnectReply(false, Data, Len);
    default:
        return SocksDecodeConnectReply(true, Data, Len);
    }
}

void CheckDecoders(const uint8_t* Data, size_t Size) {
    // No reply is longer than the longest SOCKS 5 reply.
    const size_t limit = Size < kSocksReplyMax + 8 ? Size : kSocksReplyMax + 8;
    for (int kind = 0; kind < 5; ++kind) {
        TSocksReply first;
        for (size_t len = 0; len <= limit; ++len) {
            std::vector<uint8_t> exact(Data, Data + len);
            const TSocksReply r = Decode(kind, exact.empty() ? nullptr : exact.data(), len);
            if (r.Status == TSocksReply::Done) {
                Check(r.Length > 0 && r.Length <= len && r.Error == 0);
                Check(r.BoundAddr.size() <= 255 && r.BoundPort.size() <= 5);
            }
            if (r.Status == TSocksReply::Failed)
                Check(r.Error >= 20001 && r.Error <= 20017 && !r.Msg.empty());
            if (first.Status == TSocksReply::More) {
                first = r;
            } else if (first.Status == TSocksReply::Done && kind >= 3) {
                // Bytes behind a connect reply belong to the application: they change nothing.
                Check(r.Status == TSocksReply::Done && r.Length == first.Length &&
                      r.BoundAddr == first.BoundAddr && r.BoundPort == first.BoundPort);
            }
        }
        // A reply still waiting for bytes never waits beyond the longest one.
        if (first.Status == TSocksReply::More) Check(limit < kSocksReplyMax);
    }
}

// The negotiation over the double, the server's bytes arriving in pieces of varying size.
void CheckNegotiation(uint8_t Flags, const uint8_t* Data, size_t Size) {
    static const char* const kLevels[] = {"4", "4A", "5", "5"};
    TFakeWSocket sock;
    std::string events;
    std::string received;
    sock.OnSessionConnected = [&](TObject*, uint16_t e) { events += e ? 'E' : 'C'; };
    sock.OnSessionClosed = [&](TObject*, uint16_t) { events += 'Z'; };
    sock.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        const int n = sock.Receive(buf, sizeof buf);
        if (n > 0) received.append(buf, static_cast<size_t>(n));
    };
    // SOCKS 4 takes an address; the double resolves no names.
    sock.SetAddr((Flags & 3) == 0 ? "10.1.2.3" : "example.org");
    sock.SetPort("80");
    sock.SetSocksServer("127.0.0.1");
    sock.SetSocksPort("1080");
    sock.SetSocksLevel(kLevels[Flags & 3]);
    sock.SocksAuthentication = (Flags & 3) == 3 ? socksAuthenticateUsercode : socksNoAuthentication;
    sock.Connect();
    sock.CompleteConnect(0);
    size_t at = 0;
    for (unsigned step = Flags >> 2; at < Size; ++step) {
        const size_t n = 1 + (step * 7 + Data[at]) % 16;
        const size_t take = n < Size - at ? n : Size - at;
        sock.Deliver(std::string(reinterpret_cast<const char*>(Data + at), take));
        at += take;
    }
    sock.PeerClose(0);
    // However the server behaved, the connect ended once: granted (then closed) or failed.
    Check(events == "CZ" || events == "EZ");
    Check(sock.State() == wsClosed && !sock.SocksNegotiating());
    Check(received.size() <= Size);
}
}  // namespace

// Input: a byte of flags (bits 0-1 the level and authentication, the rest the piece
// sizes), then the server's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    CheckDecoders(data + 1, size - 1);
    if (size <= 4096) CheckNegotiation(data[0], data + 1, size - 1);
    return 0;
}
