// Portable pieces of the socket: send buffers, error texts, address and number parsing,
// the property rules of the socket base, and the scripted double that plays the network for
// the contract tests (SocketContractTest.cpp) and for the HTTP client's tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "http/WSockBuf.h"
#include "http/WSocket.h"
#include "tests/http/FakeWSocket.h"
#include "tests/http/SocketContract.h"
#include "tests/http/SocketTestUtil.h"

TEST(TBufferTest, NonPositiveSizeGetsAFullFrame) {
    EXPECT_EQ(TBuffer(0).BufSize(), 1514);
    EXPECT_EQ(TBuffer(-5).BufSize(), 1514);
    EXPECT_EQ(TBuffer(1460).BufSize(), 1460);
}

TEST(TBufferTest, WriteCopiesOnlyWhatFits) {
    TBuffer b(8);
    EXPECT_EQ(b.Write("abcde", 5), 5);
    EXPECT_EQ(b.Write("fghij", 5), 3);
    EXPECT_TRUE(b.Full());
    EXPECT_EQ(b.Write("x", 1), 0);
    int len = 0;
    const char* p = b.Peek(len);
    ASSERT_EQ(len, 8);
    EXPECT_EQ(std::string(p, len), "abcdefgh");
}

TEST(TBufferTest, RemoveAdvancesAndResetsWhenEmpty) {
    TBuffer b(8);
    b.Write("abcdef", 6);
    b.Remove(2);
    int len = 0;
    const char* p = b.Peek(len);
    EXPECT_EQ(std::string(p, len), "cdef");
    // Removing more than is unread only empties it; the block is then reused from the start.
    b.Remove(100);
    EXPECT_EQ(b.DataLength(), 0);
    EXPECT_EQ(b.Write("12345678", 8), 8);
    char out[9] = {};
    EXPECT_EQ(b.Read(out, 3), 3);
    EXPECT_STREQ(out, "123");
    EXPECT_EQ(b.DataLength(), 5);
}

TEST(TBufferTest, BadArgumentsMoveNothing) {
    TBuffer b(4);
    EXPECT_EQ(b.Write(nullptr, 3), 0);
    EXPECT_EQ(b.Write("ab", -1), 0);
    char out[2];
    EXPECT_EQ(b.Read(out, 2), 0);
    b.Remove(-3);
    EXPECT_EQ(b.DataLength(), 0);
}

namespace {
// Drains a queue the way the socket does, taking at most Chunk bytes per send.
std::string Drain(TSendQueue& q, int Chunk) {
    std::string out;
    for (int guard = 0; guard < 1000000; ++guard) {
        int len = 0;
        const char* p = q.Front(len);
        if (!p) break;
        int n = std::min(len, Chunk);
        out.append(p, n);
        q.Remove(n);
    }
    return out;
}
}  // namespace

TEST(TSendQueueTest, LargeBlockIsSplitIntoFixedBlocksAndComesBackInOrder) {
    TSendQueue q(1460);
    std::string data;
    for (int i = 0; i < 5000; ++i)
        data += static_cast<char>('A' + i % 26);
    q.Put(data.data(), static_cast<int>(data.size()));
    EXPECT_EQ(q.Size(), 5000);
    EXPECT_EQ(q.BlockCount(), 4);  // 3 full blocks and 620 bytes
    EXPECT_EQ(Drain(q, 1000), data);
    EXPECT_TRUE(q.Empty());
    // Emptied blocks are freed, the last one is kept for the next data.
    EXPECT_EQ(q.BlockCount(), 1);
}

TEST(TSendQueueTest, PartialSendsAndAppendsWhileDraining) {
    TSendQueue q(4);
    q.Put("abcdef", 6);
    int len = 0;
    const char* p = q.Front(len);
    ASSERT_EQ(len, 4);
    EXPECT_EQ(std::string(p, 1), "a");
    q.Remove(1);
    q.Put("gh", 2);  // fills the last block's tail first
    EXPECT_EQ(q.BlockCount(), 2);
    EXPECT_EQ(Drain(q, 3), "bcdefgh");
}

TEST(TSendQueueTest, SizeFollowsEveryPutRemoveAndClear) {
    TSendQueue q(1460);
    std::string data(5000, 's');
    q.Put(data.data(), 5000);
    q.Remove(100);
    EXPECT_EQ(q.Size(), 4900);
    // Only the front block's unread bytes can go at once.
    q.Remove(100000);
    EXPECT_EQ(q.Size(), 5000 - 1460);
    q.Remove(-7);
    EXPECT_EQ(q.Size(), 5000 - 1460);
    EXPECT_EQ(Drain(q, 700).size(), 5000u - 1460u);
    EXPECT_TRUE(q.Empty());
    q.Put("abc", 3);
    EXPECT_EQ(q.Size(), 3);
    q.Clear();
    EXPECT_EQ(q.Size(), 0);
    EXPECT_TRUE(q.Empty());
}

TEST(TSendQueueTest, EmptyAndInvalidInput) {
    TSendQueue q;
    int len = 7;
    EXPECT_EQ(q.Front(len), nullptr);
    EXPECT_EQ(len, 0);
    q.Put(nullptr, 10);
    q.Put("x", 0);
    q.Put("x", -4);
    q.Remove(5);
    EXPECT_TRUE(q.Empty());
    q.Put("xyz", 3);
    q.Clear();
    EXPECT_EQ(q.Front(len), nullptr);
    EXPECT_EQ(q.BlockCount(), 0);
}

TEST(SocketErrorTextTest, KnownAndUnknownCodes) {
    EXPECT_EQ(SocketErrorText(0), "No Error");
    EXPECT_EQ(SocketErrorText(10004), "Interrupted system call");
    EXPECT_EQ(SocketErrorText(10035), "Operation would block");
    EXPECT_EQ(SocketErrorText(10054), "Connection reset by peer");
    EXPECT_EQ(SocketErrorText(10057), "Socket is not connected");
    EXPECT_EQ(SocketErrorText(10061), "Connection refused");
    EXPECT_EQ(SocketErrorText(10071), "Too many levels of remote in path");
    EXPECT_EQ(SocketErrorText(10093), "WinSock not initialized");
    EXPECT_EQ(SocketErrorText(11001), "Host not found");
    EXPECT_EQ(SocketErrorText(11004), "No Data");
    // Gaps in the numbering are not Winsock errors.
    EXPECT_EQ(SocketErrorText(10072), "Not a WinSock error");
    EXPECT_EQ(SocketErrorText(10090), "Not a WinSock error");
    EXPECT_EQ(SocketErrorText(-1), "Not a WinSock error");
    EXPECT_EQ(SocketErrorText(12001), "Not a WinSock error");
}

TEST(SocketErrorTextTest, MessageNamesFunctionAndText) {
    EXPECT_EQ(WSocketErrorMessage(10057, "Send"), "Error 10057 in function Send\r\nSocket is not connected");
}

TEST(WSocketIsDottedIPTest, AcceptsFourPartsUpTo255WithOuterBlanks) {
    EXPECT_TRUE(WSocketIsDottedIP("127.0.0.1"));
    EXPECT_TRUE(WSocketIsDottedIP("255.255.255.255"));
    EXPECT_TRUE(WSocketIsDottedIP("  10.1.2.3  "));
    EXPECT_TRUE(WSocketIsDottedIP("0.0.0.0"));
}

TEST(WSocketIsDottedIPTest, RejectsEverythingElse) {
    for (const char* s :
         {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.1000", ".1.2.3", "1.2.3.", "1..2.3", "1.2. 3.4",
          "a.b.c.d", "localhost", "1.2.3.4x", "-1.2.3.4", "1.2.3.4 5", " . . . "}) {
        EXPECT_FALSE(WSocketIsDottedIP(s)) << '"' << s << '"';
    }
}

TEST(WSocketIsDottedIPTest, ExactSizeBufferWithoutTerminator) {
    // Only the string's own bytes are read.
    std::unique_ptr<char[]> raw(new char[7]);
    std::memcpy(raw.get(), "1.2.3.4", 7);
    EXPECT_TRUE(WSocketIsDottedIP(std::string(raw.get(), 7)));
    EXPECT_FALSE(WSocketIsDottedIP(std::string(raw.get(), 6)));
}

TEST(WSocketParseLeadingNumberTest, ReadsDigitsUpToTheFirstOther) {
    int v = -1;
    EXPECT_TRUE(WSocketParseLeadingNumber("80", v));
    EXPECT_EQ(v, 80);
    EXPECT_TRUE(WSocketParseLeadingNumber("  8080abc", v));
    EXPECT_EQ(v, 8080);
    EXPECT_TRUE(WSocketParseLeadingNumber("17 ", v));
    EXPECT_EQ(v, 17);
    EXPECT_FALSE(WSocketParseLeadingNumber("http", v));
    EXPECT_FALSE(WSocketParseLeadingNumber("", v));
    EXPECT_FALSE(WSocketParseLeadingNumber("99999999999999999999", v));
}

// ---- the double as the contract's rig ----

namespace {
class TFakeRig : public TSocketRig {
public:
    TFakeRig() {
        auto* s = new TFakeWSocket;
        // Short sends everywhere: at most 1000 bytes a call, 16 KB before the peer reads.
        s->LimitSends(1000, 16 * 1024);
        Adopt(s);
    }
    void StartConnect(TTarget Target) override {
        FTarget = Target;
        Fake()->SetAddr(Target == tgUnknownHost ? UnknownHost() : "127.0.0.1");
        Fake()->SetPort("80");
        Fake()->SetProto("tcp");
        if (Target == tgUnknownHost) Fake()->ConnectError = 11001;
        Fake()->Connect();
    }
    std::string UnknownHost() override { return "no-such-host.invalid"; }
    void PeerSend(const std::string& Data) override { Fake()->Deliver(Data); }
    void PeerClose() override { Fake()->PeerClose(0); }
    void PeerReset() override { Fake()->PeerClose(WSocket_ECONNRESET); }
    std::string PeerReceived() override {
        Fake()->PeerReads();
        return Fake()->Sent;
    }
    size_t BigBlock() override { return 64 * 1024; }
    void BreakHandle() override { Fake()->CloseError = WSocket_ENOTSOCK; }
    bool PumpUntil(const std::function<bool()>& Done) override {
        // Done may itself move the network (a peer that reads), so idle rounds go on too.
        for (int i = 0; i < 2000 && FSocket; ++i) {
            if (Done()) return true;
            if (!Network()) Fake()->RunPosted();
        }
        return Done();
    }
    void Settle() override {
        PumpUntil([] { return false; });
    }

private:
    TFakeWSocket* Fake() { return static_cast<TFakeWSocket*>(FSocket); }
    // The far side answers what waits for it: a connect, a lookup.
    bool Network() {
        TFakeWSocket* s = Fake();
        if (s->State() == wsConnecting) {
            s->CompleteConnect(FTarget == tgClosedPort ? WSocket_ECONNREFUSED : 0);
            return true;
        }
        if (s->LookupRunning()) {
            const bool unknown = s->Calls.back() == "DnsLookup " + UnknownHost();
            s->CompleteDnsLookup(unknown ? 11001 : 0, "127.0.0.1");
            return true;
        }
        return false;
    }
    TTarget FTarget = tgPeer;
};
}  // namespace

std::unique_ptr<TSocketRig> MakeSocketRig() { return std::unique_ptr<TSocketRig>(new TFakeRig); }

// ---- rules of the socket base that need no network ----

namespace {
struct Recorder {
    std::vector<std::string> events;
    void Wire(TWSocketBase& s) {
        s.OnDnsLookupDone = [this](TObject*, uint16_t e) { events.push_back("dns " + std::to_string(e)); };
        s.OnSessionConnected = [this](TObject*, uint16_t e) {
            events.push_back("connected " + std::to_string(e));
        };
        s.OnSessionClosed = [this](TObject*, uint16_t e) { events.push_back("closed " + std::to_string(e)); };
        s.OnDataSent = [this](TObject*, uint16_t e) { events.push_back("sent " + std::to_string(e)); };
        s.OnError = [this](TObject*) { events.push_back("error"); };
    }
};

void ConnectFake(TFakeWSocket& s) {
    s.SetAddr("10.0.0.1");
    s.SetPort("80");
    s.Connect();
    s.CompleteConnect(0);
}
}  // namespace

TEST(TWSocketBaseTest, DefaultsOfAClosedSocket) {
    TFakeWSocket s;
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.Proto(), "tcp");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
    EXPECT_EQ(s.LocalPort(), "0");
    EXPECT_EQ(s.ReadCount(), 0);
    EXPECT_EQ(s.LastError(), 0);
}

TEST(TWSocketBaseTest, PropertiesAreTrimmedAndEmptyLocalAddrIsAny) {
    TFakeWSocket s;
    s.SetAddr("  example.test ");
    s.SetPort(" 8080 ");
    s.SetProto(" udp ");
    s.SetLocalAddr("");
    EXPECT_EQ(s.Addr(), "example.test");
    EXPECT_EQ(s.Port(), "8080");
    EXPECT_EQ(s.Proto(), "udp");
    EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
}

TEST(TWSocketBaseTest, ChangingPropertiesOfAnOpenSocketIsRefused) {
    TFakeWSocket s;
    ConnectFake(s);
    ASSERT_EQ(s.State(), wsConnected);
    EXPECT_EQ(SocketErrorOf([&] { s.SetPort("81"); }), "Cannot change Port if not closed");
    EXPECT_THROW(s.SetAddr("10.0.0.2"), ESocketException);
    EXPECT_THROW(s.SetProto("udp"), ESocketException);
    EXPECT_THROW(s.SetLocalAddr("127.0.0.1"), ESocketException);
    EXPECT_THROW(s.SetLocalPort("5"), ESocketException);
    // The value it already has is not a change.
    EXPECT_NO_THROW(s.SetPort("80"));
    EXPECT_NO_THROW(s.SetAddr(" 10.0.0.1"));
    EXPECT_EQ(s.Port(), "80");
}

TEST(TWSocketBaseTest, OnErrorReplacesTheException) {
    TFakeWSocket s;
    Recorder r;
    r.Wire(s);
    ConnectFake(s);
    r.events.clear();
    EXPECT_NO_THROW(s.SetPort("81"));
    EXPECT_EQ(r.events, std::vector<std::string>{"error"});
    EXPECT_EQ(s.Port(), "80");
}

TEST(TWSocketBaseTest, ChangeStateFiresOnlyOnChange) {
    TFakeWSocket s;
    std::vector<std::pair<TSocketState, TSocketState>> changes;
    s.OnChangeState = [&](TObject*, TSocketState o, TSocketState n) { changes.emplace_back(o, n); };
    ConnectFake(s);
    s.Close();
    s.Close();
    std::vector<std::pair<TSocketState, TSocketState>> want = {
        {wsClosed, wsOpened}, {wsOpened, wsConnecting}, {wsConnecting, wsConnected}, {wsConnected, wsClosed}};
    EXPECT_EQ(changes, want);
}

TEST(TWSocketBaseTest, CloseResetsAssignmentsSoTheNextConnectNeedsThemAgain) {
    TFakeWSocket s;
    ConnectFake(s);
    s.Close();
    EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");
    s.SetPort("80");
    s.SetAddr("10.0.0.1");
    s.SetProto("");
    EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Protocol Specified");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(TWSocketBaseTest, ALookupThatCannotStartRaisesThenCompletesOnce) {
    TFakeWSocket s;
    s.LookupError = 10055;
    EXPECT_EQ(SocketErrorOf([&] { s.DnsLookup("host.test"); }),
              "host.test: can't start DNS lookup, error #10055");
    Recorder r;
    r.Wire(s);
    s.LookupError = 10055;
    s.DnsLookup("host.test");
    EXPECT_EQ(r.events, (std::vector<std::string>{"error", "dns 10055"}));
    EXPECT_EQ(s.LastError(), 10055);
    EXPECT_FALSE(s.LookupRunning());
}

TEST(TWSocketBaseTest, SendWithoutDataQueuesNothingWhateverTheLength) {
    TFakeWSocket s;
    ConnectFake(s);
    EXPECT_EQ(s.Send(nullptr, 5), 0);
    EXPECT_EQ(s.Send("abc", -2), 0);
    EXPECT_EQ(s.BufferedByteCount(), 0);
    EXPECT_TRUE(s.AllSent());
    EXPECT_TRUE(s.Sent.empty());
}

TEST(TWSocketBaseTest, ACloseReportedWhileBytesAreUnreadDeliversThemFirst) {
    TFakeWSocket s;
    ConnectFake(s);
    bool skipped = false;
    std::string got, gotAtClose;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        if (!skipped) {
            skipped = true;
            return;
        }
        char buf[4];
        const int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
    };
    s.OnSessionClosed = [&](TObject*, uint16_t) { gotAtClose = got; };
    s.Deliver("left unread");
    s.PeerCloseBeforeRead();
    EXPECT_EQ(gotAtClose, "left unread");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(TFakeWSocketTest, ASharedQueueKeepsTheCallersWorkInOrderWithTheSockets) {
    TQueueDispatcher queue;
    TFakeWSocket s(nullptr, &queue);
    std::vector<std::string> order;
    ConnectFake(s);
    s.OnDataSent = [&](TObject*, uint16_t) { order.push_back("sent"); };
    s.SendStr("GET / HTTP/1.0\r\n\r\n");
    queue.Post([&] { order.push_back("client step"); });
    s.RunPosted();
    EXPECT_EQ(order, (std::vector<std::string>{"sent", "client step"}));
    EXPECT_EQ(s.Sent, "GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(s.Calls, (std::vector<std::string>{"Connect 10.0.0.1:80"}));
}
