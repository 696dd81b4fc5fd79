// Portable pieces of the socket: send buffers, error texts, address and number parsing,
// the property rules of the socket base and the scripted double the HTTP client tests use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "http/WSockBuf.h"
#include "http/WSocket.h"
#include "tests/http/FakeWSocket.h"
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

// ---- the socket base, through the scripted double ----

namespace {
struct Recorder {
    std::vector<std::string> events;
    void Wire(TFakeWSocket& s) {
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

TEST(TFakeWSocketTest, DottedLookupAnswersBeforeReturning) {
    TFakeWSocket s;
    Recorder r;
    r.Wire(s);
    s.DnsLookup(" 192.168.1.2 ");
    EXPECT_EQ(r.events, std::vector<std::string>{"dns 0"});
    EXPECT_EQ(s.DnsResult(), "192.168.1.2");
    s.DnsLookup("host.test");
    EXPECT_EQ(r.events.size(), 1u);
    s.CompleteDnsLookup(0, "10.1.1.1");
    EXPECT_EQ(r.events.back(), "dns 0");
    EXPECT_EQ(s.DnsResult(), "10.1.1.1");
}

TEST(TFakeWSocketTest, ANewLookupEndsTheRunningOneWithInterrupted) {
    TFakeWSocket s;
    Recorder r;
    r.Wire(s);
    s.DnsLookup("first.test");
    s.DnsLookup("second.test");
    EXPECT_EQ(r.events, std::vector<std::string>{"dns 10004"});
    s.CompleteDnsLookup(0, "10.2.2.2");
    EXPECT_EQ(r.events, (std::vector<std::string>{"dns 10004", "dns 0"}));
    EXPECT_EQ(s.DnsResult(), "10.2.2.2");
    EXPECT_EQ(s.DnsResultList().Count(), 1);
}

TEST(TFakeWSocketTest, EmptyLookupRaisesOrReportsLikeTheRealSocket) {
    TFakeWSocket s;
    EXPECT_THROW(s.DnsLookup(""), ESocketException);
    Recorder r;
    r.Wire(s);
    s.DnsLookup("");
    EXPECT_EQ(r.events, (std::vector<std::string>{"error", "dns 10022"}));
}

TEST(TFakeWSocketTest, SendOnClosedSocketGivesMinusOneAnd10057) {
    TFakeWSocket s;
    Recorder r;
    r.Wire(s);
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(r.events, std::vector<std::string>{"error"});
    EXPECT_TRUE(s.Sent.empty());
}

TEST(TFakeWSocketTest, SendWhileConnectingDropsTheConnectionLikeTheRealSocket) {
    TFakeWSocket s;
    Recorder r;
    r.Wire(s);
    s.SetAddr("10.0.0.1");
    s.SetPort("80");
    s.Connect();
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(r.events, (std::vector<std::string>{"closed 10057", "error"}));
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.LastError(), 10057);
}

TEST(TFakeWSocketTest, DataSentComesFromThePostedQueue) {
    TFakeWSocket s;
    Recorder r;
    r.Wire(s);
    ConnectFake(s);
    r.events.clear();
    s.PutDataInSendBuffer("GET / ", 6);
    EXPECT_EQ(s.Send(nullptr, 0), 0);
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(s.RunPosted(), 1);
    EXPECT_EQ(r.events, std::vector<std::string>{"sent 0"});
    EXPECT_EQ(s.Sent, "GET / ");
}

TEST(TFakeWSocketTest, DeliverSplitsReadsAndDiscardsWithoutHandler) {
    TFakeWSocket s;
    ConnectFake(s);
    s.Deliver("0123456789");
    EXPECT_EQ(s.Inbound(), 0);
    EXPECT_EQ(s.ReadCount(), 10);
    std::string got;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[3];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, n);
    };
    s.Deliver("abcdefgh");
    EXPECT_EQ(got, "abcdefgh");
}

TEST(TFakeWSocketTest, SessionClosedOnceAndHandlerMayFreeTheSocket) {
    auto* s = new TFakeWSocket;
    int closed = 0;
    ConnectFake(*s);
    s->OnSessionClosed = [&](TObject* sender, uint16_t e) {
        ++closed;
        EXPECT_EQ(e, 10054);
        delete static_cast<TFakeWSocket*>(sender);
    };
    s->PeerClose(10054);
    EXPECT_EQ(closed, 1);
}

TEST(TFakeWSocketTest, CloseLaterWaitsForTheQueue) {
    TFakeWSocket s;
    Recorder r;
    r.Wire(s);
    ConnectFake(s);
    s.CloseLater();
    EXPECT_EQ(s.State(), wsConnected);
    s.RunPosted();
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(r.events.back(), "closed 0");
}

TEST(BgExceptionHandlerTest, ReplaceableHandlerHearsTheException) {
    std::string heard;
    SetWSocketBgExceptionHandler([&](TObject*, const std::exception& e) { heard = e.what(); });
    WSocketReportBgException(nullptr, ESocketException("boom"));
    EXPECT_EQ(heard, "boom");
    // A throwing handler is contained.
    SetWSocketBgExceptionHandler([](TObject*, const std::exception&) { throw 1; });
    EXPECT_NO_THROW(WSocketReportBgException(nullptr, ESocketException("x")));
    SetWSocketBgExceptionHandler(nullptr);
}
