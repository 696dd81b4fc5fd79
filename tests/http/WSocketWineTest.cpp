// The Winsock socket against real loopback peers. Peers are threads of this executable on
// blocking Winsock sockets bound to 127.0.0.1; every wait is bounded in time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/WSocket_win.h"
#include "tests/http/SocketTestUtil.h"

namespace {

// Dispatches this thread's messages until Done() holds or Ms milliseconds have passed.
bool PumpUntil(const std::function<bool()>& Done, DWORD Ms = 5000) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (Done()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= Ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(20, Ms - elapsed), QS_ALLINPUT);
    }
}

void PumpFor(DWORD Ms) {
    PumpUntil([] { return false; }, Ms);
}

struct WinsockUser {
    WinsockUser() {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
    }
    ~WinsockUser() { WSACleanup(); }
};

void SetTimeouts(SOCKET s, int Ms) {
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&Ms), sizeof Ms);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&Ms), sizeof Ms);
}

bool SendAll(SOCKET s, const std::string& Data) {
    size_t off = 0;
    while (off < Data.size()) {
        int n = send(s, Data.data() + off, static_cast<int>(Data.size() - off), 0);
        if (n <= 0) return false;
        off += n;
    }
    return true;
}

void HardClose(SOCKET s) {
    linger l{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    closesocket(s);
}

// Reads until the other side closes (or the time-out of the socket strikes).
std::string ReadToEnd(SOCKET s) {
    std::string all;
    char buf[4096];
    for (int i = 0; i < 100000; ++i) {
        int n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) break;
        all.append(buf, n);
    }
    return all;
}

// A listening peer on 127.0.0.1 that runs Serve on each accepted connection, for at most
// MaxConns connections, each accept waiting at most 10 s.
class LoopbackPeer {
public:
    LoopbackPeer(std::function<void(SOCKET)> Serve, int MaxConns = 1)
        : FServe(std::move(Serve)), FMax(MaxConns) {
        FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(FListener, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        int len = sizeof sa;
        getsockname(FListener, reinterpret_cast<sockaddr*>(&sa), &len);
        FPort = ntohs(sa.sin_port);
        listen(FListener, 64);
        FThread = std::thread([this] { Run(); });
    }
    ~LoopbackPeer() {
        FStop = true;
        if (FThread.joinable()) FThread.join();
        closesocket(FListener);
    }
    std::string Port() const { return std::to_string(FPort); }
    int Accepted() const { return FAccepted; }

private:
    void Run() {
        for (int i = 0; i < FMax && !FStop;) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(FListener, &set);
            timeval tv{0, 100000};
            if (select(0, &set, nullptr, nullptr, &tv) <= 0) {
                if (++FIdle > 100) break;  // 10 s without a client
                continue;
            }
            FIdle = 0;
            SOCKET c = accept(FListener, nullptr, nullptr);
            if (c == INVALID_SOCKET) break;
            ++i;
            ++FAccepted;
            SetTimeouts(c, 10000);
            FServe(c);
        }
    }
    WinsockUser FWsa;
    std::function<void(SOCKET)> FServe;
    int FMax;
    SOCKET FListener = INVALID_SOCKET;
    u_short FPort = 0;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<int> FAccepted{0};
    int FIdle = 0;
};

// A port on which nothing listens: bound once, then released.
std::string RefusedPort() {
    WinsockUser wsa;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    int len = sizeof sa;
    getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    closesocket(s);
    return std::to_string(ntohs(sa.sin_port));
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

// Events of one socket, in order.
struct Log {
    std::vector<std::string> events;
    int closed = 0;
    uint16_t closeError = 0xFFFF;
    int connected = 0;
    uint16_t connectError = 0xFFFF;
    void Wire(TWSocket& s) {
        s.OnSessionConnected = [this](TObject*, uint16_t e) {
            ++connected;
            connectError = e;
            events.push_back("connected " + std::to_string(e));
        };
        s.OnSessionClosed = [this](TObject*, uint16_t e) {
            ++closed;
            closeError = e;
            events.push_back("closed " + std::to_string(e));
        };
        s.OnDataSent = [this](TObject*, uint16_t e) { events.push_back("sent " + std::to_string(e)); };
        s.OnDnsLookupDone = [this](TObject*, uint16_t e) { events.push_back("dns " + std::to_string(e)); };
    }
};

void StartConnect(TWSocket& s, const std::string& Port) {
    s.SetAddr("127.0.0.1");
    s.SetPort(Port);
    s.SetProto("tcp");
    s.Connect();
}

BOOL CALLBACK CountIfSocketWindow(HWND h, LPARAM p) {
    char cls[64] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (std::string(cls) == "XSocketWindowClass") ++*reinterpret_cast<int*>(p);
    return TRUE;
}

int CountSocketWindows() {
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountIfSocketWindow, reinterpret_cast<LPARAM>(&n));
    return n;
}

// Handle tables hand out the lowest free slots, so the highest of a batch of fresh handles
// climbs when handles leak (the batch outnumbers the few holes) and stays put otherwise.
uintptr_t NextHandleValue() {
    std::vector<HANDLE> hs;
    uintptr_t top = 0;
    for (int i = 0; i < 64; ++i) {
        hs.push_back(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        top = std::max(top, reinterpret_cast<uintptr_t>(hs.back()));
    }
    for (HANDLE h : hs)
        CloseHandle(h);
    return top;
}

}  // namespace

TEST(WSocketConnect, EchoesALargeBlockAndReportsDataSentOnceDrained) {
    LoopbackPeer peer([](SOCKET c) {
        char buf[8192];
        for (int i = 0; i < 100000; ++i) {
            int n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            if (!SendAll(c, std::string(buf, n))) break;
        }
        closesocket(c);
    });
    const std::string block = Pattern(300000);
    TWSocket s;
    Log log;
    log.Wire(s);
    std::string echoed;
    bool queueEmptyAtDataSent = false;
    int sendDataBytes = 0;
    s.OnSendData = [&](TObject*, int n) { sendDataBytes += n; };
    s.OnDataSent = [&](TObject*, uint16_t e) {
        log.events.push_back("sent " + std::to_string(e));
        queueEmptyAtDataSent = s.AllSent() && s.BufferedByteCount() == 0;
    };
    s.OnSessionConnected = [&](TObject*, uint16_t e) {
        log.events.push_back("connected " + std::to_string(e));
        EXPECT_EQ(s.State(), wsConnected);
        EXPECT_EQ(s.Send(block.data(), static_cast<int>(block.size())), static_cast<int>(block.size()));
    };
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[5000];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) echoed.append(buf, n);
    };
    StartConnect(s, peer.Port());
    EXPECT_EQ(s.State(), wsConnecting);
    ASSERT_TRUE(PumpUntil([&] { return echoed.size() >= block.size(); }, 20000)) << echoed.size();
    EXPECT_TRUE(echoed == block);
    EXPECT_EQ(s.ReadCount(), static_cast<int>(block.size()));
    EXPECT_EQ(sendDataBytes, static_cast<int>(block.size()));
    ASSERT_FALSE(log.events.empty());
    EXPECT_EQ(log.events.front(), "connected 0");
    EXPECT_TRUE(queueEmptyAtDataSent);
    EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(s.PeerPort(), peer.Port());
    s.Close();
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.PeerAddr(), "error");
}

TEST(WSocketConnect, RefusedPortGives10061ThenSessionClosed) {
    TWSocket s;
    Log log;
    log.Wire(s);
    StartConnect(s, RefusedPort());
    ASSERT_TRUE(PumpUntil([&] { return log.closed > 0; }, 10000));
    ASSERT_GE(log.events.size(), 2u);
    EXPECT_EQ(log.events[0], "connected 10061");
    EXPECT_EQ(log.events[1].rfind("closed", 0), 0u);
    EXPECT_EQ(log.closed, 1);
    EXPECT_EQ(s.State(), wsClosed);
    PumpFor(200);
    EXPECT_EQ(log.closed, 1);
}

TEST(WSocketConnect, PeerResetWithDataQueuedClosesOnceWith10054) {
    std::atomic<bool> reset{false};
    LoopbackPeer peer([&](SOCKET c) {
        // Read a little so the client is surely connected, then stall and reset.
        char buf[16];
        recv(c, buf, sizeof buf, 0);
        Sleep(300);
        HardClose(c);
        reset = true;
    });
    TWSocket s;
    Log log;
    log.Wire(s);
    // More than the loopback buffers of both ends hold, so that some stays in our queue.
    const std::string big(24 * 1024 * 1024, 'q');
    s.OnSessionConnected = [&](TObject*, uint16_t e) {
        ++log.connected;
        EXPECT_EQ(e, 0);
        s.Send(big.data(), static_cast<int>(big.size()));
    };
    int queuedAtClose = -1;
    s.OnSessionClosed = [&](TObject*, uint16_t e) {
        ++log.closed;
        log.closeError = e;
        log.events.push_back("closed " + std::to_string(e));
        queuedAtClose = s.BufferedByteCount();
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return log.closed > 0; }, 15000));
    EXPECT_GT(queuedAtClose, 0);
    EXPECT_TRUE(reset);
    PumpFor(300);
    EXPECT_EQ(log.closed, 1);
    std::string seen;
    for (const auto& e : log.events)
        seen += e + "; ";
    EXPECT_EQ(log.closeError, 10054) << seen << " last error " << s.LastError();
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketReentrancy, ReconnectFromAFailedConnectKeepsTheNewAttempt) {
    LoopbackPeer peer([](SOCKET c) {
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    std::vector<std::string> events;
    s.OnSessionConnected = [&](TObject*, uint16_t e) {
        events.push_back("connected " + std::to_string(e));
        if (e != 0) {
            // Try the next place at once, from inside the report of the failure.
            s.Close();
            StartConnect(s, peer.Port());
        }
    };
    s.OnSessionClosed = [&](TObject*, uint16_t e) { events.push_back("closed " + std::to_string(e)); };
    StartConnect(s, RefusedPort());
    ASSERT_TRUE(PumpUntil([&] { return events.size() >= 3; }, 10000));
    PumpFor(200);
    EXPECT_EQ(events, (std::vector<std::string>{"connected 10061", "closed 0", "connected 0"}));
    EXPECT_EQ(s.State(), wsConnected);
    s.Close();
}

TEST(WSocketReentrancy, ReconnectFromTheCloseOfAnEarlySendKeepsTheNewAttempt) {
    LoopbackPeer peer(
        [](SOCKET c) {
            ReadToEnd(c);
            closesocket(c);
        },
        2);
    TWSocket s;
    std::vector<std::string> events;
    s.OnError = [&](TObject*) { events.push_back("error"); };
    s.OnSessionConnected = [&](TObject*, uint16_t e) { events.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [&](TObject*, uint16_t e) {
        events.push_back("closed " + std::to_string(e));
        StartConnect(s, peer.Port());
    };
    StartConnect(s, peer.Port());
    EXPECT_EQ(s.SendStr("too early"), -1);
    EXPECT_EQ(s.State(), wsConnecting);
    ASSERT_TRUE(PumpUntil([&] { return events.size() >= 3; }, 10000));
    EXPECT_EQ(events, (std::vector<std::string>{"closed 10057", "error", "connected 0"}));
    EXPECT_EQ(s.State(), wsConnected);
    s.OnSessionClosed = nullptr;
    s.Close();
}

TEST(WSocketReentrancy, ReconnectFromOnSessionClosedKeepsTheNewConnection) {
    LoopbackPeer peer(
        [](SOCKET c) {
            static int n = 0;
            if (n++ == 0) {
                SendAll(c, "bye");
            } else {
                ReadToEnd(c);
            }
            closesocket(c);
        },
        2);
    TWSocket s;
    std::vector<std::string> events;
    s.OnDataAvailable = [&](TObject*, uint16_t) { s.ReceiveStr(); };
    s.OnSessionConnected = [&](TObject*, uint16_t e) { events.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [&](TObject*, uint16_t e) {
        events.push_back("closed " + std::to_string(e));
        if (events.size() == 2) {
            s.Close();
            StartConnect(s, peer.Port());
        }
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return events.size() >= 3; }, 10000));
    PumpFor(200);
    EXPECT_EQ(events, (std::vector<std::string>{"connected 0", "closed 0", "connected 0"}));
    EXPECT_EQ(s.State(), wsConnected);
    s.Close();
}

TEST(WSocketConnect, NoDataSentAfterTheLossOfTheConnection) {
    // Each round: the peer takes a little, then resets while much of ours is still queued.
    int rounds = 0, lateDataSent = 0;
    for (int round = 0; round < 5; ++round) {
        LoopbackPeer peer([](SOCKET c) {
            char buf[4096];
            recv(c, buf, sizeof buf, 0);
            Sleep(100);
            HardClose(c);
        });
        TWSocket s;
        bool closed = false;
        const std::string big(8 * 1024 * 1024, 'z');
        s.OnSessionConnected = [&](TObject*, uint16_t) { s.Send(big.data(), static_cast<int>(big.size())); };
        s.OnSessionClosed = [&](TObject*, uint16_t) { closed = true; };
        s.OnDataSent = [&](TObject*, uint16_t) {
            if (closed || s.State() != wsConnected) ++lateDataSent;
        };
        StartConnect(s, peer.Port());
        if (!PumpUntil([&] { return closed; }, 10000)) break;
        PumpFor(100);
        ++rounds;
    }
    EXPECT_EQ(rounds, 5);
    EXPECT_EQ(lateDataSent, 0);
}

TEST(WSocketSend, OnClosedSocketGivesMinusOneAnd10057) {
    TWSocket s;
    int errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    EXPECT_EQ(s.Send("abc", 3), -1);
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(errors, 1);
    TWSocket t;
    EXPECT_EQ(SocketErrorOf([&] { t.SendStr("abc"); }),
              "Error 10057 in function Send\r\nSocket is not connected");
    EXPECT_EQ(t.SendStr(""), 0);
}

TEST(WSocketSend, WhileConnectingDropsTheConnectionAndReportsIt) {
    LoopbackPeer peer([](SOCKET c) {
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    Log log;
    log.Wire(s);
    s.OnError = [&](TObject*) { log.events.push_back("error"); };
    StartConnect(s, peer.Port());
    ASSERT_EQ(s.State(), wsConnecting);
    EXPECT_EQ(s.SendStr("early"), -1);
    EXPECT_EQ(log.events, (std::vector<std::string>{"closed 10057", "error"}));
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.LastError(), 10057);
    PumpFor(200);
    EXPECT_EQ(log.closed, 1);
}

TEST(WSocketSend, NoDataIsNothingQueuedWhateverTheLength) {
    LoopbackPeer peer([](SOCKET c) {
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    EXPECT_EQ(s.Send(nullptr, 5), 0);
    EXPECT_EQ(s.Send("abc", -2), 0);
    EXPECT_EQ(s.BufferedByteCount(), 0);
    EXPECT_TRUE(s.AllSent());
    s.Close();
}

TEST(WSocketReceive, WithoutHandlerDataIsReadAndDiscarded) {
    std::atomic<bool> clientClosed{false};
    LoopbackPeer peer([&](SOCKET c) {
        SendAll(c, Pattern(50000));
        ReadToEnd(c);
        clientClosed = true;
        closesocket(c);
    });
    TWSocket s;
    Log log;
    log.Wire(s);
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.ReadCount() >= 50000; }, 10000)) << s.ReadCount();
    EXPECT_EQ(s.ReadCount(), 50000);
    s.Close();
    EXPECT_TRUE(PumpUntil([&] { return clientClosed.load(); }, 5000));
}

TEST(WSocketClose, PeerCloseDeliversEverythingThenClosesOnce) {
    LoopbackPeer peer([](SOCKET c) {
        SendAll(c, Pattern(20000));
        shutdown(c, SD_SEND);
        closesocket(c);
    });
    TWSocket s;
    Log log;
    log.Wire(s);
    std::string got;
    bool closedBeforeAllData = false;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[700];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.append(buf, n);
    };
    s.OnSessionClosed = [&](TObject*, uint16_t e) {
        ++log.closed;
        log.closeError = e;
        closedBeforeAllData = got.size() < 20000;
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return log.closed > 0; }, 10000));
    EXPECT_FALSE(closedBeforeAllData);
    EXPECT_TRUE(got == Pattern(20000));
    EXPECT_EQ(log.closeError, 0);
    PumpFor(200);
    EXPECT_EQ(log.closed, 1);
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketReceive, HandlerThatReadsNothingDoesNotStallTheThread) {
    LoopbackPeer peer([](SOCKET c) {
        SendAll(c, Pattern(3000));
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    int calls = 0;
    s.OnDataAvailable = [&](TObject*, uint16_t) { ++calls; };
    StartConnect(s, peer.Port());
    // The data stays in Winsock; the socket must hand control back rather than spin on it.
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }, 5000));
    PumpFor(300);
    EXPECT_LT(calls, 10);
    EXPECT_GT(s.RcvdCount(), 0);
    s.Close();
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketClose, CloseLaterClosesFromTheMessageLoop) {
    std::atomic<bool> peerSawEnd{false};
    LoopbackPeer peer([&](SOCKET c) {
        ReadToEnd(c);
        peerSawEnd = true;
        closesocket(c);
    });
    TWSocket s;
    Log log;
    log.Wire(s);
    TSocketState stateAfterCall = wsInvalidState;
    s.OnSessionConnected = [&](TObject*, uint16_t) {
        s.CloseLater();
        stateAfterCall = s.State();
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return log.closed > 0; }, 10000));
    EXPECT_EQ(stateAfterCall, wsConnected);
    EXPECT_EQ(log.closeError, 0);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_TRUE(PumpUntil([&] { return peerSawEnd.load(); }, 5000));
}

TEST(WSocketClose, AbortClosesAtOnceAndDropsTheQueue) {
    std::atomic<bool> peerSawEnd{false};
    LoopbackPeer peer([&](SOCKET c) {
        Sleep(200);
        ReadToEnd(c);
        peerSawEnd = true;
        closesocket(c);
    });
    TWSocket s;
    Log log;
    log.Wire(s);
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    const std::string big = Pattern(2 * 1024 * 1024);
    s.Send(big.data(), static_cast<int>(big.size()));
    s.Abort();
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.BufferedByteCount(), 0);
    EXPECT_EQ(log.closed, 1);
    EXPECT_TRUE(PumpUntil([&] { return peerSawEnd.load(); }, 15000));
    PumpFor(100);
    EXPECT_EQ(log.closed, 1);
}

TEST(WSocketClose, NoNotificationOfAClosedHandleStaysQueued) {
    // Winsock hands out a closed handle's value again, so news still queued for it would
    // be taken for news of the socket's next connection.
    LoopbackPeer peer([&](SOCKET c) {
        SendAll(c, "stale");
        closesocket(c);
    });
    TWSocket s;
    StartConnect(s, peer.Port());
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s.HSocket(), &set);
    timeval tv{5, 0};
    select(0, &set, nullptr, nullptr, &tv);
    const SOCKET old = s.HSocket();
    PostMessageA(s.Handle(), WM_SOCKET_SELECT, static_cast<WPARAM>(old), WSAMAKESELECTREPLY(FD_CLOSE, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, s.Handle(), WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_NOREMOVE));
    s.Abort();
    EXPECT_FALSE(PeekMessageA(&msg, s.Handle(), WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_NOREMOVE));
}

TEST(WSocketDns, DottedAddressAnswersBeforeDnsLookupReturns) {
    TWSocket s;
    Log log;
    log.Wire(s);
    s.DnsLookup(" 127.0.0.1 ");
    EXPECT_EQ(log.events, std::vector<std::string>{"dns 0"});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    EXPECT_EQ(s.DnsResultList().Count(), 1);
}

TEST(WSocketDns, HostNameAnswersLaterFromTheMessageLoop) {
    TWSocket s;
    Log log;
    log.Wire(s);
    s.DnsLookup("localhost");
    EXPECT_TRUE(log.events.empty());
    ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }, 10000));
    EXPECT_EQ(log.events[0], "dns 0");
    EXPECT_FALSE(s.DnsResult().empty());
    EXPECT_TRUE(WSocketIsDottedIP(s.DnsResult())) << s.DnsResult();
    EXPECT_EQ(s.DnsResultList()[0], s.DnsResult());
}

TEST(WSocketDns, FinishedLookupsKeepNoBuffers) {
    const int before = WSocketAbandonedLookupBuffers();
    for (int i = 0; i < 20; ++i) {
        TWSocket s;
        int done = 0;
        s.OnDnsLookupDone = [&](TObject*, uint16_t) { ++done; };
        s.DnsLookup("localhost");
        ASSERT_TRUE(PumpUntil([&] { return done == 1; }, 10000));
        s.DnsLookup("localhost");
        ASSERT_TRUE(PumpUntil([&] { return done == 2; }, 10000));
    }
    EXPECT_EQ(WSocketAbandonedLookupBuffers(), before);
}

TEST(WSocketDns, EmptyNameThrowsOrReportsThroughOnError) {
    TWSocket s;
    EXPECT_EQ(SocketErrorOf([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
    Log log;
    log.Wire(s);
    s.OnError = [&](TObject*) { log.events.push_back("error"); };
    s.DnsLookup("");
    EXPECT_EQ(log.events, (std::vector<std::string>{"error", "dns 10022"}));
}

TEST(WSocketDns, CancelReportsInterruptedAndIgnoresTheLateAnswer) {
    TWSocket s;
    Log log;
    log.Wire(s);
    s.DnsLookup("localhost");
    s.CancelDnsLookup();
    EXPECT_EQ(log.events, std::vector<std::string>{"dns 10004"});
    PumpFor(500);
    EXPECT_EQ(log.events.size(), 1u);
}

TEST(WSocketLineMode, SplitsLinesAcrossPackets) {
    LoopbackPeer peer([](SOCKET c) {
        const char* parts[] = {"hel", "lo\r\nwor", "ld\r\nla", "st"};
        for (const char* p : parts) {
            SendAll(c, p);
            Sleep(60);
        }
        closesocket(c);
    });
    TWSocket s;
    Log log;
    log.Wire(s);
    s.SetLineMode(true);
    std::vector<std::string> lines;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) lines.emplace_back(buf, n);
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return log.closed > 0; }, 10000));
    // The unterminated tail comes as a last line when the connection ends.
    EXPECT_EQ(lines, (std::vector<std::string>{"hello\r\n", "world\r\n", "last"}));
}

TEST(WSocketLineMode, LineLimitClearsAnOverlongLine) {
    std::atomic<bool> go{false};
    LoopbackPeer peer([&](SOCKET c) {
        for (int i = 0; i < 500 && !go; ++i)
            Sleep(10);
        SendAll(c, "0123456789abcdefghij");
        Sleep(200);
        SendAll(c, "ok\r\n");
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    s.SetLineMode(true);
    s.LineLimit = 10;
    std::vector<int> exceeded;
    std::vector<std::string> lines;
    s.OnLineLimitExceeded = [&](TObject*, int len, bool& clear) {
        exceeded.push_back(len);
        EXPECT_TRUE(clear);
    };
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) lines.emplace_back(buf, n);
    };
    s.OnSessionConnected = [&](TObject*, uint16_t) { go = true; };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return !lines.empty(); }, 10000));
    ASSERT_FALSE(exceeded.empty());
    EXPECT_EQ(exceeded.back(), 20);
    // The cleared bytes are gone; the next line stands alone.
    EXPECT_EQ(lines, std::vector<std::string>{"ok\r\n"});
    EXPECT_EQ(s.LineBufferedCount(), 0);
}

TEST(WSocketLineMode, SwitchingLineModeOffHandsOutTheRestRaw) {
    LoopbackPeer peer([](SOCKET c) {
        SendAll(c, "HEAD\r\nbody-bytes");
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    s.SetLineMode(true);
    std::string first, rest;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        int n = s.Receive(buf, sizeof buf);
        if (n <= 0) return;
        if (first.empty()) {
            first.assign(buf, n);
            s.SetLineMode(false);
        } else {
            rest.append(buf, n);
        }
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return rest.size() >= 10; }, 10000));
    EXPECT_EQ(first, "HEAD\r\n");
    EXPECT_EQ(rest, "body-bytes");
}

TEST(WSocketServer, ListenAcceptAndTalk) {
    TWSocket server;
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.SetProto("tcp");
    std::unique_ptr<TWSocket> accepted;
    std::string serverGot;
    server.OnSessionAvailable = [&](TObject*, uint16_t e) {
        EXPECT_EQ(e, 0);
        SOCKET h = server.Accept();
        ASSERT_NE(h, INVALID_SOCKET);
        accepted.reset(new TWSocket);
        accepted->OnDataAvailable = [&](TObject*, uint16_t) {
            char buf[64];
            int n = accepted->Receive(buf, sizeof buf);
            if (n > 0) serverGot.append(buf, n);
            if (serverGot == "ping") accepted->SendStr("pong");
        };
        accepted->Dup(h);
    };
    server.Listen();
    ASSERT_EQ(server.State(), wsListening);
    std::string port = server.GetXPort();
    ASSERT_NE(port, "0");

    TWSocket client;
    std::string clientGot;
    client.OnSessionConnected = [&](TObject*, uint16_t e) {
        EXPECT_EQ(e, 0);
        client.SendStr("ping");
    };
    client.OnDataAvailable = [&](TObject*, uint16_t) { clientGot += client.ReceiveStr(); };
    StartConnect(client, port);
    ASSERT_TRUE(PumpUntil([&] { return clientGot == "pong"; }, 10000)) << clientGot;
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->State(), wsConnected);
    EXPECT_EQ(accepted->PeerAddr(), "127.0.0.1");
    EXPECT_EQ(accepted->PeerPort(), client.GetXPort());

    TWSocket notListening;
    EXPECT_THROW(notListening.Accept(), ESocketException);
}

TEST(WSocketServer, ListenOnABusyPortFailsWithoutLeakingTheHandle) {
    TWSocket first;
    first.SetAddr("127.0.0.1");
    first.SetPort("0");
    first.Listen();
    std::string port = first.GetXPort();
    TWSocket second;
    second.SetAddr("127.0.0.1");
    second.SetPort(port);
    const std::string err = SocketErrorOf([&] { second.Listen(); });
    EXPECT_NE(err.find("in function Bind"), std::string::npos) << err;
    EXPECT_EQ(second.HSocket(), INVALID_SOCKET);
    EXPECT_EQ(second.State(), wsClosed);
}

TEST(WSocketServer, ListenOnAnOpenSocketIsRefusedAndKeepsItsHandle) {
    TWSocket server;
    server.SetAddr("127.0.0.1");
    server.SetPort("0");
    server.Listen();
    ASSERT_EQ(server.State(), wsListening);
    const SOCKET h = server.HSocket();
    const uintptr_t handleBefore = NextHandleValue();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(SocketErrorOf([&] { server.Listen(); }), "listen: Socket already in use");
    }
    EXPECT_EQ(server.HSocket(), h);
    EXPECT_EQ(server.State(), wsListening);
    EXPECT_LE(NextHandleValue(), handleBefore + 64);
}

TEST(WSocketProperties, ChecksAndTextsOnAConnectedSocket) {
    LoopbackPeer peer([](SOCKET c) {
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    EXPECT_EQ(SocketErrorOf([&] { s.SetPort("1"); }), "Cannot change Port if not closed");
    EXPECT_NO_THROW(s.SetPort(peer.Port()));
    EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: Socket already in use");
    EXPECT_EQ(SocketErrorOf([&] { s.SetReqVerHigh(2); }),
              "SetReqVerHigh: WinSock version can't be changed now");
    EXPECT_THROW(s.SetSendFlags(static_cast<TSocketSendFlags>(7)), ESocketException);
    s.Close();
}

TEST(WSocketProperties, ConnectChecksAndResolverFailures) {
    TWSocket s;
    EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");
    s.SetPort("80");
    EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No IP Address Specified");
    s.SetAddr("1.2.3.4");
    s.SetProto("");
    EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Protocol Specified");
    s.SetProto("tcp");
    s.SetPort("no-such-service-here");
    const std::string err = SocketErrorOf([&] { s.Connect(); });
    EXPECT_EQ(
        err.rfind("connect: WSocketResolvePort: Cannot convert port 'no-such-service-here', Error #", 0), 0u)
        << err;
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketProperties, FailedBindStopsConnectEvenWithOnError) {
    LoopbackPeer peer([](SOCKET c) { closesocket(c); });
    // 192.0.2.1 is a documentation address that no interface of this machine holds.
    TWSocket s;
    Log log;
    log.Wire(s);
    int errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    s.SetLocalAddr("192.0.2.1");
    StartConnect(s, peer.Port());
    EXPECT_EQ(errors, 1);
    EXPECT_NE(s.State(), wsConnecting);
    PumpFor(300);
    EXPECT_EQ(log.connected, 0);
    EXPECT_EQ(peer.Accepted(), 0);
    s.Close();
    EXPECT_EQ(s.State(), wsClosed);
    TWSocket t;
    t.SetLocalAddr("192.0.2.1");
    const std::string err = SocketErrorOf([&] { StartConnect(t, peer.Port()); });
    EXPECT_EQ(err.rfind("winsock.bind failed, error #", 0), 0u) << err;
    // A local address that cannot be resolved reaches OnError too instead of escaping.
    TWSocket u;
    u.OnError = [&](TObject*) { ++errors; };
    u.SetLocalAddr(std::string(300, 'h'));
    EXPECT_NO_THROW(StartConnect(u, peer.Port()));
    EXPECT_EQ(errors, 2);
    EXPECT_NE(u.State(), wsConnecting);
}

TEST(WSocketResolvers, ProtocolsPortsAndHosts) {
    EXPECT_EQ(WSocketResolveProto("UDP "), 17);
    EXPECT_EQ(WSocketResolveProto("17"), 17);
    EXPECT_EQ(WSocketResolveProto("tcp"), 6);
    EXPECT_EQ(WSocketResolveProto("raw"), 255);
    EXPECT_EQ(SocketErrorOf([&] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");
    EXPECT_THROW(WSocketResolveProto(std::string(32, 'x')), ESocketException);
    EXPECT_EQ(WSocketResolvePort("8080", "tcp"), htons(8080));
    EXPECT_EQ(WSocketResolvePort(" 81x", "tcp"), htons(81));
    EXPECT_EQ(SocketErrorOf([&] { WSocketResolvePort("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
    EXPECT_EQ(WSocketResolveHost("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), INADDR_NONE);
    EXPECT_EQ(SocketErrorOf([&] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
    EXPECT_THROW(WSocketResolveHost("no-such-host.invalid"), ESocketException);
    EXPECT_FALSE(LocalHostName().empty());
}

TEST(WSocketLibrary, LoadedOnFirstUseAndReleasedWithTheLastSocket) {
    ASSERT_EQ(WSocketLiveCount(), 0);
    EXPECT_FALSE(WSocketLibraryLoaded());
    {
        TWSocket s;
        EXPECT_FALSE(WSocketLibraryLoaded());  // nothing called Winsock yet
        s.DnsLookup("127.0.0.1");
        EXPECT_TRUE(WSocketLibraryLoaded());
        EXPECT_EQ(WSocketLiveCount(), 1);
    }
    EXPECT_FALSE(WSocketLibraryLoaded());
    EXPECT_EQ(WSocketLiveCount(), 0);
    // While unloaded the requested version may change.
    EXPECT_NO_THROW(WSocketSetReqVerHigh(1));
}

TEST(WSocketBackground, ExceptionInAHandlerReachesOnBgExceptionAndAborts) {
    LoopbackPeer peer([](SOCKET c) {
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    std::string bg;
    s.OnBgException = [&](TObject*, const std::exception& e, bool& canClose) {
        bg = e.what();
        EXPECT_TRUE(canClose);
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    PostMessageA(s.Handle(), WM_SOCKET_TEST, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !bg.empty(); }, 5000));
    EXPECT_EQ(bg, "Test exception in WSocket");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocketBackground, WithoutOnBgExceptionTheProcessHandlerHearsIt) {
    TWSocket s;
    std::string heard;
    TObject* sender = nullptr;
    SetWSocketBgExceptionHandler([&](TObject* who, const std::exception& e) {
        heard = e.what();
        sender = who;
    });
    PostMessageA(s.Handle(), WM_SOCKET_TEST, 0, 0);
    PumpUntil([&] { return !heard.empty(); }, 2000);
    SetWSocketBgExceptionHandler(nullptr);
    EXPECT_EQ(heard, "Test exception in WSocket");
    EXPECT_EQ(sender, &s);
}

TEST(WSocketReentrancy, HandlersMayFreeTheirSocket) {
    LoopbackPeer peer(
        [](SOCKET c) {
            SendAll(c, Pattern(10000));
            ReadToEnd(c);
            closesocket(c);
        },
        3);
    int freed = 0;
    // Freed from OnDataAvailable while more data waits.
    auto* a = new TWSocket;
    a->OnDataAvailable = [&](TObject* sender, uint16_t) {
        ++freed;
        delete static_cast<TWSocket*>(sender);
    };
    StartConnect(*a, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return freed == 1; }, 5000));
    // Freed from OnSessionClosed, called from inside Close.
    auto* b = new TWSocket;
    b->OnSessionConnected = [&](TObject* sender, uint16_t) { static_cast<TWSocket*>(sender)->Close(); };
    b->OnSessionClosed = [&](TObject* sender, uint16_t) {
        ++freed;
        delete static_cast<TWSocket*>(sender);
    };
    StartConnect(*b, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return freed == 2; }, 5000));
    // Released later from its own handler.
    auto* c = new TWSocket;
    bool closedC = false;
    c->OnSessionConnected = [&](TObject* sender, uint16_t) {
        static_cast<TWSocket*>(sender)->Abort();
        static_cast<TWSocket*>(sender)->ReleaseLater();
    };
    c->OnSessionClosed = [&](TObject*, uint16_t) { closedC = true; };
    StartConnect(*c, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return closedC && WSocketLiveCount() == 0; }, 5000));
    EXPECT_EQ(CountSocketWindows(), 0);
}

TEST(WSocketReentrancy, FreedFromLookupDataSentAndLineHandlers) {
    LoopbackPeer peer(
        [](SOCKET c) {
            SendAll(c, "one\r\ntwo\r\nthree\r\n");
            ReadToEnd(c);
            closesocket(c);
        },
        2);
    int freed = 0;
    auto* a = new TWSocket;
    a->OnDnsLookupDone = [&](TObject* sender, uint16_t) {
        ++freed;
        delete static_cast<TWSocket*>(sender);
    };
    a->DnsLookup("localhost");
    ASSERT_TRUE(PumpUntil([&] { return freed == 1; }, 10000));
    // Freed from OnDataSent, which the send kick posts.
    auto* b = new TWSocket;
    b->OnSessionConnected = [&](TObject* sender, uint16_t) { static_cast<TWSocket*>(sender)->SendStr("x"); };
    b->OnDataSent = [&](TObject* sender, uint16_t) {
        ++freed;
        delete static_cast<TWSocket*>(sender);
    };
    StartConnect(*b, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return freed == 2; }, 5000));
    // Freed in line mode with more lines buffered behind the current one.
    auto* c = new TWSocket;
    c->SetLineMode(true);
    c->OnDataAvailable = [&](TObject* sender, uint16_t) {
        ++freed;
        delete static_cast<TWSocket*>(sender);
    };
    StartConnect(*c, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return freed == 3; }, 5000));
    PumpFor(200);
    EXPECT_EQ(freed, 3);
    EXPECT_EQ(WSocketLiveCount(), 0);
    EXPECT_EQ(CountSocketWindows(), 0);
}

TEST(WSocketSync, WaitUntilReadyTimesOutOrSeesTheFlag) {
    TWSocket s;
    s.Timeout = 200;
    int flag = 0;
    DWORD start = GetTickCount();
    EXPECT_EQ(s.WaitUntilReady(flag), 12001);
    EXPECT_GE(GetTickCount() - start, 150u);
    s.Timeout = 5000;
    int done = 0;
    s.OnDnsLookupDone = [&](TObject*, uint16_t) { done = 1; };
    EXPECT_EQ(s.Synchronize([&] { s.DnsLookup("localhost"); }, done), 0);
    EXPECT_EQ(done, 1);
}

TEST(WSocketUdp, ConnectIsImmediateAndDatagramsFlowBothWays) {
    WinsockUser wsa;
    SOCKET peer = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(peer, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    int len = sizeof sa;
    getsockname(peer, reinterpret_cast<sockaddr*>(&sa), &len);
    SetTimeouts(peer, 5000);
    TWSocket s;
    Log log;
    log.Wire(s);
    std::string got;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        sockaddr_in from{};
        int n = s.ReceiveFrom(buf, sizeof buf, from);
        if (n > 0) got.append(buf, n);
    };
    s.SetProto("udp");
    s.SetAddr("127.0.0.1");
    s.SetPort(std::to_string(ntohs(sa.sin_port)));
    s.Connect();
    EXPECT_EQ(s.State(), wsConnected);
    EXPECT_EQ(log.events, std::vector<std::string>{"connected 0"});
    EXPECT_NE(s.LocalPort(), "0");
    EXPECT_EQ(s.SendStr("dgram"), 5);
    char buf[64];
    sockaddr_in from{};
    int fromLen = sizeof from;
    int n = recvfrom(peer, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::string(buf, n), "dgram");
    EXPECT_EQ(std::to_string(ntohs(from.sin_port)), s.LocalPort());
    sendto(peer, "reply", 5, 0, reinterpret_cast<sockaddr*>(&from), fromLen);
    EXPECT_TRUE(PumpUntil([&] { return got == "reply"; }, 5000)) << got;
    s.Close();
    closesocket(peer);
}

TEST(WSocketPause, NoNotificationsWhilePausedThenResume) {
    LoopbackPeer peer([](SOCKET c) {
        Sleep(100);
        SendAll(c, "while paused");
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    std::string got;
    s.OnSessionConnected = [&](TObject*, uint16_t) { s.Pause(); };
    s.OnDataAvailable = [&](TObject*, uint16_t) { got += s.ReceiveStr(); };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    PumpFor(400);
    EXPECT_TRUE(got.empty());
    EXPECT_GT(s.RcvdCount(), 0);
    s.Resume();
    EXPECT_TRUE(PumpUntil([&] { return got == "while paused"; }, 5000)) << got;
    s.Close();
}

namespace {
// Sends Input in one piece to a socket in line mode with editing and echo; returns the
// lines the socket handed out (the first Lines of them) and what it echoed.
std::pair<std::vector<std::string>, std::string> EditAndEcho(const std::string& Input, size_t Lines) {
    std::string echoed;
    std::atomic<bool> peerDone{false};
    LoopbackPeer peer([&](SOCKET c) {
        SendAll(c, Input);
        echoed = ReadToEnd(c);
        peerDone = true;
        closesocket(c);
    });
    TWSocket s;
    s.SetLineMode(true);
    s.LineEdit = true;
    s.LineEcho = true;
    std::vector<std::string> lines;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        int n = s.Receive(buf, sizeof buf);
        if (n > 0) lines.emplace_back(buf, n);
    };
    StartConnect(s, peer.Port());
    EXPECT_TRUE(PumpUntil([&] { return lines.size() >= Lines; }, 5000)) << lines.size();
    s.Close();
    EXPECT_TRUE(PumpUntil([&] { return peerDone.load(); }, 5000));
    return {lines, echoed};
}
}  // namespace

TEST(WSocketLineMode, LineEditAndEcho) {
    auto got = EditAndEcho("ab\bc\td\r\n", 1);
    // Backspace removed "b"; the tab after "ac" filled up to column 8.
    EXPECT_EQ(got.first, std::vector<std::string>{"ac      d\r\n"});
    EXPECT_EQ(got.second, "ab\b \bc      d\r\n");
}

TEST(WSocketLineMode, LineEditStaysWithinTheCurrentLine) {
    // Two lines in one packet; the backspace opens the second and has nothing to erase.
    auto got = EditAndEcho("ab\r\n\bc\td\r\n", 2);
    EXPECT_EQ(got.first, (std::vector<std::string>{"ab\r\n", "c       d\r\n"}));
    EXPECT_EQ(got.second, "ab\r\nc       d\r\n");
}

TEST(WSocketDns, ReverseLookupAnswersWithOneName) {
    TWSocket s;
    Log log;
    log.Wire(s);
    s.ReverseDnsLookup("127.0.0.1");
    ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }, 10000));
    if (log.events[0] == "dns 0") {
        EXPECT_FALSE(s.DnsResult().empty());
        EXPECT_EQ(s.DnsResultList().Count(), 1);
    }
    TWSocket t;
    EXPECT_THROW(t.ReverseDnsLookup(""), ESocketException);
    EXPECT_THROW(t.ReverseDnsLookup(std::string(300, '1')), ESocketException);
    // A name is not an address: refused like an empty one, and the lookup still reports.
    EXPECT_EQ(SocketErrorOf([&] { t.ReverseDnsLookup("localhost"); }),
              "ReverseDnsLookup: Invalid host name.");
    Log tlog;
    tlog.Wire(t);
    t.OnError = [&](TObject*) { tlog.events.push_back("error"); };
    t.ReverseDnsLookup("localhost");
    EXPECT_EQ(tlog.events, (std::vector<std::string>{"error", "dns 10022"}));
    PumpFor(300);
    EXPECT_EQ(tlog.events.size(), 2u);
}

TEST(WSocketThreads, SocketOnAWorkerThreadRunsItsOwnPump) {
    int result = -1;
    DWORD eventThread = 0, workerThread = 0;
    std::thread worker([&] {
        workerThread = GetCurrentThreadId();
        TWSocket s;
        s.SetMultiThreaded(true);
        s.Timeout = 10000;
        int done = 0;
        s.OnDnsLookupDone = [&](TObject*, uint16_t) {
            eventThread = GetCurrentThreadId();
            done = 1;
        };
        result = s.Synchronize([&] { s.DnsLookup("localhost"); }, done);
    });
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(eventThread, workerThread);
}

TEST(WSocketSync, ProgramEndStopsTheWaitAndStillReachesTheMainLoop) {
    TWSocket s;
    s.Timeout = 5000;
    int never = 0;
    PostQuitMessage(3);
    DWORD start = GetTickCount();
    EXPECT_EQ(s.WaitUntilReady(never), 12001);
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_TRUE(WSocketApplicationTerminated());
    // The quit message is left for the main loop.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    WSocketSetApplicationTerminated(false);
}

TEST(WSocketSend, FlushReturnsOnceEverythingWentOut) {
    std::atomic<size_t> received{0};
    LoopbackPeer peer([&](SOCKET c) {
        received = ReadToEnd(c).size();
        closesocket(c);
    });
    TWSocket s;
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    const std::string big(16 * 1024 * 1024, 'f');
    s.Send(big.data(), static_cast<int>(big.size()));
    s.FlushTimeout = 20;
    s.Flush();
    EXPECT_TRUE(s.AllSent());
    EXPECT_EQ(s.BufferedByteCount(), 0);
    s.Close();
    ASSERT_TRUE(PumpUntil([&] { return received.load() > 0; }, 10000));
    EXPECT_EQ(received.load(), big.size());
}

TEST(WSocketClose, GracefulCloseDeliversWhatWinsockStillHolds) {
    std::atomic<size_t> received{0};
    std::atomic<bool> done{false};
    LoopbackPeer peer([&](SOCKET c) {
        Sleep(400);  // the client has closed long before we read
        received = ReadToEnd(c).size();
        done = true;
        closesocket(c);
    });
    TWSocket s;
    bool sent = false;
    const std::string block(2 * 1024 * 1024, 'g');
    s.OnSessionConnected = [&](TObject*, uint16_t) { s.Send(block.data(), static_cast<int>(block.size())); };
    s.OnDataSent = [&](TObject*, uint16_t) { sent = true; };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return sent; }, 10000));
    s.Close();
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }, 10000));
    EXPECT_EQ(received.load(), block.size());
}

TEST(WSocketRobustness, ThousandConnectionsLeakNoHandlesOrWindows) {
    // The peer ends each connection differently: graceful close inside a line, reset,
    // a stall that the client ends, or a reset right after a line and a half.
    LoopbackPeer peer(
        [](SOCKET c) {
            static int n = 0;
            switch (n++ % 4) {
            case 0:
                SendAll(c, "hello");
                closesocket(c);
                break;
            case 1:
                HardClose(c);
                break;
            case 2:
                ReadToEnd(c);
                closesocket(c);
                break;
            default:
                SendAll(c, "line\r\npart");
                HardClose(c);
            }
        },
        1000);
    // Warm up the lazily loaded parts before counting.
    {
        TWSocket w;
        w.DnsLookup("127.0.0.1");
    }
    const int windowsBefore = CountSocketWindows();
    const uintptr_t handleBefore = NextHandleValue();
    int done = 0;
    for (int i = 0; i < 1000; ++i) {
        TWSocket s;
        bool closed = false;
        s.SetLineMode(i % 2 == 1);
        s.OnDataAvailable = [&](TObject*, uint16_t) { s.ReceiveStr(); };
        s.OnSessionClosed = [&](TObject*, uint16_t) { closed = true; };
        s.OnSessionConnected = [&](TObject*, uint16_t) {
            s.SendStr("request\r\n");
            if (i % 4 == 2) s.CloseLater();
        };
        StartConnect(s, peer.Port());
        if (!PumpUntil([&] { return closed; }, 5000)) break;
        ++done;
    }
    EXPECT_EQ(done, 1000);
    PumpFor(200);
    EXPECT_EQ(CountSocketWindows(), windowsBefore);
    EXPECT_EQ(WSocketLiveCount(), 0);
    const uintptr_t handleAfter = NextHandleValue();
    // A handful of lazily created system handles may appear, not one per connection.
    EXPECT_LE(handleAfter, handleBefore + 64 * 4) << handleBefore << " -> " << handleAfter;
}

TEST(WSocketClose, SendFromOnSessionClosedOfAResetConnectionDoesNotReportItAgain) {
    LoopbackPeer peer([](SOCKET c) {
        char buf[16];
        recv(c, buf, sizeof buf, 0);
        HardClose(c);
    });
    TWSocket s;
    int closed = 0, errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    s.OnSessionConnected = [&](TObject*, uint16_t) { s.SendStr("hi"); };
    s.OnSessionClosed = [&](TObject*, uint16_t) {
        // A last word to a peer that is already gone.
        if (++closed == 1) s.SendStr("bye");
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return closed > 0; }, 5000));
    PumpFor(300);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(s.State(), wsClosed);
}
