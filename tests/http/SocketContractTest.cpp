// What the HTTP client may rely on from its socket, whichever transport is under it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Dispatcher.h"
#include "tests/http/SocketContract.h"
#include "tests/http/SocketTestUtil.h"

namespace {
using Events = std::vector<std::string>;

// The socket's completion events in order, as "connected 0", "closed 10054" and the like.
struct TEventLog {
    Events events;
    explicit TEventLog(TWSocketBase& S) {
        auto add = [this](const char* What) {
            return [this, What](TObject*, uint16_t e) { events.push_back(What + (" " + std::to_string(e))); };
        };
        S.OnSessionConnected = add("connected");
        S.OnSessionClosed = add("closed");
        S.OnDataSent = add("sent");
        S.OnDnsLookupDone = add("dns");
    }
    void CatchErrors(TWSocketBase& S) {
        S.OnError = [this](TObject*) { events.push_back("error"); };
    }
    int Count(const std::string& Prefix) const {
        int n = 0;
        for (const auto& e : events)
            n += e.compare(0, Prefix.size(), Prefix) == 0;
        return n;
    }
};

std::string Pattern(size_t N) {
    std::string s(N, '\0');
    for (size_t i = 0; i < N; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

// A connected socket whose connect events are behind it.
std::unique_ptr<TSocketRig> ConnectedRig() {
    auto rig = MakeSocketRig();
    rig->StartConnect();
    EXPECT_TRUE(rig->PumpUntil([&] { return rig->Socket().State() == wsConnected; }));
    rig->Settle();
    return rig;
}

// Appends what each notification can read, Chunk bytes at a time; records every result.
void ReadInto(TWSocketBase& S, std::string& Got, std::vector<int>* Results = nullptr, int Chunk = 700) {
    S.OnDataAvailable = [&S, &Got, Results, Chunk](TObject*, uint16_t) {
        std::vector<char> buf(static_cast<size_t>(Chunk));
        const int n = S.Receive(buf.data(), Chunk);
        if (Results) Results->push_back(n);
        if (n > 0) Got.append(buf.data(), static_cast<size_t>(n));
    };
}
}  // namespace

// ---- connecting ----

TEST(SocketContract, ConnectReportsConnectedThenDataSent) {
    auto rig = MakeSocketRig();
    TEventLog log(rig->Socket());
    rig->StartConnect();
    EXPECT_EQ(rig->Socket().State(), wsConnecting);
    ASSERT_TRUE(rig->PumpUntil([&] { return log.Count("sent") > 0; }));
    rig->Settle();
    EXPECT_EQ(log.events, (Events{"connected 0", "sent 0"}));
    EXPECT_EQ(rig->Socket().State(), wsConnected);
}

TEST(SocketContract, RefusedConnectReportsTheErrorThenClosesOnce) {
    auto rig = MakeSocketRig();
    TEventLog log(rig->Socket());
    rig->StartConnect(TSocketRig::tgClosedPort);
    ASSERT_TRUE(rig->PumpUntil([&] { return log.Count("closed") > 0; }));
    rig->Settle();
    EXPECT_EQ(log.events, (Events{"connected 10061", "closed 0"}));
    EXPECT_EQ(rig->Socket().State(), wsClosed);
}

TEST(SocketContract, ConnectThatFailsAtOnceRaisesThenCompletesOnce) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    log.CatchErrors(s);
    rig->StartConnect(TSocketRig::tgUnknownHost);
    EXPECT_NE(s.LastError(), 0);
    EXPECT_EQ(log.events, (Events{"error", "connected " + std::to_string(s.LastError())}));
    EXPECT_EQ(s.State(), wsClosed);
    rig->Settle();
    EXPECT_EQ(log.events.size(), 2u);
    // Without OnError the exception is the outcome.
    s.OnError = nullptr;
    log.events.clear();
    EXPECT_THROW(rig->StartConnect(TSocketRig::tgUnknownHost), ESocketException);
    EXPECT_TRUE(log.events.empty());
}

// ---- name lookup ----

TEST(SocketContract, LookupAnswersADottedAddressAtOnceAndANameFromTheLoop) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    s.DnsLookup(" 127.0.0.1 ");
    EXPECT_EQ(log.events, Events{"dns 0"});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    s.DnsLookup("localhost");
    EXPECT_EQ(log.events.size(), 1u);
    ASSERT_TRUE(rig->PumpUntil([&] { return log.events.size() == 2; }));
    EXPECT_EQ(log.events[1], "dns 0");
    EXPECT_TRUE(WSocketIsDottedIP(s.DnsResult())) << s.DnsResult();
    EXPECT_EQ(s.DnsResultList()[0], s.DnsResult());
}

TEST(SocketContract, FailedLookupReportsItsErrorOnce) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    s.DnsLookup(rig->UnknownHost());
    ASSERT_TRUE(rig->PumpUntil([&] { return !log.events.empty(); }));
    rig->Settle();
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_NE(log.events[0], "dns 0");
    EXPECT_TRUE(s.DnsResult().empty());
}

TEST(SocketContract, EmptyLookupThrowsOrReportsThroughOnError) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    EXPECT_EQ(SocketErrorOf([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
    TEventLog log(s);
    log.CatchErrors(s);
    s.DnsLookup("");
    EXPECT_EQ(log.events, (Events{"error", "dns 10022"}));
}

TEST(SocketContract, CancelledLookupReportsInterruptedAndNothingLater) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    s.DnsLookup("localhost");
    s.CancelDnsLookup();
    EXPECT_EQ(log.events, Events{"dns 10004"});
    rig->Settle();
    EXPECT_EQ(log.events.size(), 1u);
}

// ---- receiving ----

TEST(SocketContract, BytesArriveInOrderThroughSmallReads) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    std::string got;
    ReadInto(s, got);
    rig->PeerSend(Pattern(20000));
    ASSERT_TRUE(rig->PumpUntil([&] { return got.size() >= 20000; })) << got.size();
    EXPECT_TRUE(got == Pattern(20000));
    EXPECT_EQ(s.ReadCount(), 20000);
}

TEST(SocketContract, WithoutAHandlerBytesAreReadAndDiscarded) {
    auto rig = ConnectedRig();
    rig->PeerSend(Pattern(5000));
    ASSERT_TRUE(rig->PumpUntil([&] { return rig->Socket().ReadCount() >= 5000; }));
    EXPECT_EQ(rig->Socket().ReadCount(), 5000);
}

TEST(SocketContract, AHandlerThatSkipsAReadHearsNothingMoreUntilItReads) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    int calls = 0;
    std::string got;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        if (++calls == 1) return;  // a full buffer: the data is left waiting
        char buf[64];
        const int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
    };
    rig->PeerSend("first");
    ASSERT_TRUE(rig->PumpUntil([&] { return calls == 1; }));
    rig->PeerSend("second");
    rig->Settle();
    EXPECT_EQ(calls, 1);
    // A read re-arms the notification: what it left comes next.
    char buf[3];
    ASSERT_EQ(s.Receive(buf, sizeof buf), 3);
    ASSERT_TRUE(rig->PumpUntil([&] { return got.size() >= 8; }));
    EXPECT_EQ(std::string(buf, 3) + got, "firstsecond");
}

TEST(SocketContract, PeerCloseDeliversEverythingThenAnEmptyReadThenClosesOnce) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    std::string got;
    std::vector<int> reads;
    ReadInto(s, got, &reads);
    size_t gotAtClose = 0;
    int lastReadAtClose = -2;
    s.OnSessionClosed = [&](TObject*, uint16_t e) {
        log.events.push_back("closed " + std::to_string(e));
        gotAtClose = got.size();
        if (!reads.empty()) lastReadAtClose = reads.back();
    };
    rig->PeerSend(Pattern(20000));
    rig->PeerClose();
    ASSERT_TRUE(rig->PumpUntil([&] { return log.Count("closed") > 0; }));
    rig->Settle();
    EXPECT_EQ(gotAtClose, 20000u);
    EXPECT_TRUE(got == Pattern(20000));
    EXPECT_EQ(lastReadAtClose, 0);
    EXPECT_EQ(log.events, Events{"closed 0"});
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(SocketContract, BytesLeftUnreadAtThePeersCloseComeBeforeTheCloseOnceReadingResumes) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    bool skipped = false;
    std::string got, gotAtClose = "(not closed)";
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        if (!skipped) {
            skipped = true;  // a full buffer: the data is left waiting
            return;
        }
        char buf[64];
        const int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<size_t>(n));
    };
    s.OnSessionClosed = [&](TObject*, uint16_t) { gotAtClose = got; };
    rig->PeerSend("unread bytes");
    ASSERT_TRUE(rig->PumpUntil([&] { return skipped; }));
    rig->PeerClose();
    rig->Settle();
    // The close may be reported at once or only once everything was read; either way,
    // reading again brings the rest first.
    if (s.State() != wsClosed) {
        char buf[3];
        ASSERT_EQ(s.Receive(buf, sizeof buf), 3);
        got.assign(buf, 3);
    }
    ASSERT_TRUE(rig->PumpUntil([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(gotAtClose, "unread bytes");
}

TEST(SocketContract, PeerResetWhileDataIsQueuedClosesOnceWith10054) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    log.CatchErrors(s);
    const std::string big(rig->BigBlock(), 'q');
    int queuedAtClose = -1;
    s.OnSessionClosed = [&](TObject*, uint16_t e) {
        log.events.push_back("closed " + std::to_string(e));
        queuedAtClose = s.BufferedByteCount();
        // A last word to a peer that is gone reports nothing a second time.
        s.SendStr("bye");
    };
    s.Send(big.data(), static_cast<int>(big.size()));
    rig->PeerReset();
    ASSERT_TRUE(rig->PumpUntil([&] { return log.Count("closed") > 0; }));
    rig->Settle();
    EXPECT_GT(queuedAtClose, 0);
    EXPECT_EQ(log.Count("closed"), 1);
    EXPECT_EQ(log.events.front(), "closed 10054");
    EXPECT_EQ(log.Count("sent"), 0);
    EXPECT_EQ(s.State(), wsClosed);
}

// ---- sending ----

TEST(SocketContract, ALargeBlockGoesOutInShortSendsAndDataSentComesAtTheEnd) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    const std::string big = Pattern(rig->BigBlock());
    int taken = 0, dataSent = 0;
    bool drainedAtEveryDataSent = true;
    s.OnSendData = [&](TObject*, int n) { taken += n; };
    s.OnDataSent = [&](TObject*, uint16_t) {
        ++dataSent;
        drainedAtEveryDataSent &= s.AllSent() && s.BufferedByteCount() == 0;
    };
    EXPECT_EQ(s.Send(big.data(), static_cast<int>(big.size())), static_cast<int>(big.size()));
    EXPECT_GT(s.BufferedByteCount(), 0);
    ASSERT_TRUE(rig->PumpUntil([&] { return rig->PeerReceived().size() >= big.size(); }));
    rig->Settle();
    EXPECT_TRUE(rig->PeerReceived() == big);
    EXPECT_EQ(taken, static_cast<int>(big.size()));
    EXPECT_GE(dataSent, 1);
    EXPECT_TRUE(drainedAtEveryDataSent);
}

TEST(SocketContract, SendOnAClosedSocketGivesMinusOneAnd10057) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    EXPECT_EQ(SocketErrorOf([&] { s.SendStr("abc"); }),
              "Error 10057 in function Send\r\nSocket is not connected");
    TEventLog log(s);
    log.CatchErrors(s);
    EXPECT_EQ(s.Send("abc", 3), -1);
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(log.events, Events{"error"});
    EXPECT_EQ(s.SendStr(""), 0);
}

TEST(SocketContract, SendWhileConnectingDropsTheConnectionAndReportsIt) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    log.CatchErrors(s);
    rig->StartConnect();
    ASSERT_EQ(s.State(), wsConnecting);
    EXPECT_EQ(s.SendStr("early"), -1);
    EXPECT_EQ(log.events, (Events{"closed 10057", "error"}));
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.LastError(), 10057);
    rig->Settle();
    EXPECT_EQ(log.Count("closed"), 1);
}

// ---- closing ----

TEST(SocketContract, CloseLaterClosesFromTheMessageLoop) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    s.CloseLater();
    EXPECT_EQ(s.State(), wsConnected);
    ASSERT_TRUE(rig->PumpUntil([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(log.events, Events{"closed 0"});
}

TEST(SocketContract, AbortClosesAtOnceAndDropsTheQueue) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    const std::string big(rig->BigBlock(), 'a');
    s.Send(big.data(), static_cast<int>(big.size()));
    s.Abort();
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.BufferedByteCount(), 0);
    rig->Settle();
    EXPECT_EQ(log.events, Events{"closed 0"});
}

TEST(SocketContract, AFailingCloseStillReportsTheCloseAndResetsTheDefaults) {
    auto rig = ConnectedRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    log.CatchErrors(s);
    rig->BreakHandle();
    s.Close();
    EXPECT_EQ(s.State(), wsClosed);
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0].rfind("closed ", 0), 0u);
    EXPECT_EQ(log.events[1], "error");
    // The next connection starts from the defaults, like after any close.
    s.OnError = nullptr;
    EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");
}

TEST(SocketContract, AHandlerMayFreeTheSocketFromOnSessionClosed) {
    auto rig = ConnectedRig();
    TWSocketBase* s = rig->Release();
    int closed = 0;
    s->OnSessionClosed = [&](TObject* Sender, uint16_t) {
        ++closed;
        delete static_cast<TWSocketBase*>(Sender);
    };
    rig->PeerClose();
    ASSERT_TRUE(rig->PumpUntil([&] { return closed > 0; }));
    rig->Settle();
    EXPECT_EQ(closed, 1);
}

// ---- a handler's exception ----

TEST(SocketContract, AHandlersExceptionGoesToOnBgExceptionThenTheSocketIsAborted) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    TEventLog log(s);
    std::string heard;
    s.OnSessionConnected = [](TObject*, uint16_t) { throw ESocketException("boom"); };
    s.OnBgException = [&](TObject*, const std::exception& E, bool& CanClose) {
        heard = E.what();
        EXPECT_TRUE(CanClose);
    };
    rig->StartConnect();
    ASSERT_TRUE(rig->PumpUntil([&] { return !heard.empty(); }));
    rig->Settle();
    EXPECT_EQ(heard, "boom");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(log.events, Events{"closed 0"});
}

TEST(SocketContract, WithoutOnBgExceptionTheApplicationHearsIt) {
    auto rig = MakeSocketRig();
    TWSocketBase& s = rig->Socket();
    std::string heard;
    SetExceptionReporter([&](const std::exception& E) { heard = E.what(); });
    s.OnSessionConnected = [](TObject*, uint16_t) { throw ESocketException("boom"); };
    rig->StartConnect();
    const bool reported = rig->PumpUntil([&] { return !heard.empty(); });
    SetExceptionReporter(nullptr);
    EXPECT_TRUE(reported);
    EXPECT_EQ(heard, "boom");
    EXPECT_EQ(s.State(), wsClosed);
}
