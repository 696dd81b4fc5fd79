// The Winsock socket against real loopback peers: the contract's rig (a peer socket on
// 127.0.0.1 driven by the test thread) and what only the Winsock socket does. Other peers
// are threads of this executable on blocking Winsock sockets bound to 127.0.0.1; every wait
// is bounded in time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http/WSocket_win.h"
#include "ui/MessagePump_win.h"
#include "tests/http/SocketContract.h"
#include "tests/http/SocketTestUtil.h"

namespace {

// Handles this thread's messages until Done() holds or Ms milliseconds have passed.
bool PumpUntil(const std::function<bool()>& Done, DWORD Ms = 5000) {
    return WaitHandlingMessages(Done, Ms) == wrDone;
}

void PumpFor(DWORD Ms) { SleepHandlingMessages(Ms); }

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

// Events of one socket, in order.
struct Log {
    std::vector<std::string> events;
    void Wire(TWSocket& s) {
        s.OnSessionConnected = [this](TObject*, uint16_t e) {
            events.push_back("connected " + std::to_string(e));
        };
        s.OnSessionClosed = [this](TObject*, uint16_t e) { events.push_back("closed " + std::to_string(e)); };
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

// ---- the contract's rig: the socket under test and a peer socket on 127.0.0.1 ----

namespace {
class TWinsockRig : public TSocketRig {
public:
    TWinsockRig() {
        FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(FListener, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        int len = sizeof sa;
        getsockname(FListener, reinterpret_cast<sockaddr*>(&sa), &len);
        FPort = std::to_string(ntohs(sa.sin_port));
        listen(FListener, 4);
        Adopt(new TWSocket);
    }
    ~TWinsockRig() override {
        if (FPeer != INVALID_SOCKET) closesocket(FPeer);
        closesocket(FListener);
    }
    void StartConnect(TTarget Target) override {
        TWSocketBase& s = Socket();
        s.SetAddr(Target == tgUnknownHost ? UnknownHost() : "127.0.0.1");
        s.SetPort(Target == tgClosedPort ? RefusedPort() : FPort);
        s.SetProto("tcp");
        s.Connect();
    }
    std::string UnknownHost() override { return "no-such-host.invalid"; }
    void PeerSend(const std::string& Data) override {
        if (Peer()) SendAll(FPeer, Data);
    }
    void PeerClose() override {
        if (!Peer()) return;
        shutdown(FPeer, SD_SEND);
        closesocket(FPeer);
        FPeer = INVALID_SOCKET;
    }
    void PeerReset() override {
        if (!Peer()) return;
        HardClose(FPeer);
        FPeer = INVALID_SOCKET;
    }
    std::string PeerReceived() override {
        std::vector<char> buf(64 * 1024);
        u_long waiting = 0;
        for (int i = 0; i < 100000 && Peer(); ++i) {
            if (ioctlsocket(FPeer, FIONREAD, &waiting) != 0 || waiting == 0) break;
            const int n = recv(FPeer, buf.data(), static_cast<int>(std::min<u_long>(waiting, buf.size())), 0);
            if (n <= 0) break;
            FReceived.append(buf.data(), static_cast<size_t>(n));
        }
        return FReceived;
    }
    // More than the loopback buffers of both ends hold.
    size_t BigBlock() override { return 24 * 1024 * 1024; }
    void BreakHandle() override { closesocket(static_cast<TWSocket&>(Socket()).HSocket()); }
    bool PumpUntil(const std::function<bool()>& Done) override { return ::PumpUntil(Done, 10000); }
    void Settle() override { PumpFor(200); }

private:
    // The accepted end of the socket's connection, taken once (waiting at most 5 s).
    bool Peer() {
        if (!FAccepted) {
            FAccepted = true;
            fd_set set;
            FD_ZERO(&set);
            FD_SET(FListener, &set);
            timeval tv{5, 0};
            if (select(0, &set, nullptr, nullptr, &tv) == 1) FPeer = accept(FListener, nullptr, nullptr);
            if (FPeer != INVALID_SOCKET) SetTimeouts(FPeer, 10000);
        }
        return FPeer != INVALID_SOCKET;
    }
    WinsockUser FWsa;
    SOCKET FListener = INVALID_SOCKET;
    SOCKET FPeer = INVALID_SOCKET;
    bool FAccepted = false;
    std::string FPort;
    std::string FReceived;
};
}  // namespace

std::unique_ptr<TSocketRig> MakeSocketRig() { return std::unique_ptr<TSocketRig>(new TWinsockRig); }

// ---- what only the Winsock socket does ----

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

TEST(WSocketReentrancy, HandlersMayFreeTheirSocket) {
    LoopbackPeer peer(
        [](SOCKET c) {
            SendAll(c, std::string(10000, 'p'));
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
    // The quit message is left for the main loop.
    EXPECT_TRUE(QuitPending());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
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

TEST(WSocketLineMode, LinesSplitAcrossPacketsThenTheRestRaw) {
    LoopbackPeer peer([](SOCKET c) {
        for (const char* p : {"hel", "lo\r\nwor", "ld\r\nrest-", "raw"}) {
            SendAll(c, p);
            Sleep(60);
        }
        ReadToEnd(c);
        closesocket(c);
    });
    TWSocket s;
    s.SetLineMode(true);
    std::vector<std::string> lines;
    std::string raw;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        const int n = s.Receive(buf, sizeof buf);
        if (n <= 0) return;
        if (!s.LineMode()) {
            raw.append(buf, n);
            return;
        }
        lines.emplace_back(buf, n);
        if (lines.size() == 2) s.SetLineMode(false);
    };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return raw.size() >= 8; }, 10000)) << raw;
    EXPECT_EQ(lines, (std::vector<std::string>{"hello\r\n", "world\r\n"}));
    EXPECT_EQ(raw, "rest-raw");
    s.Close();
}

TEST(WSocketLineMode, TheLastLineSurvivesAConnectionLostWhileSending) {
    std::atomic<bool> reset{false};
    LoopbackPeer peer([&](SOCKET c) {
        SendAll(c, "one\r\npart");
        char buf[16];
        recv(c, buf, sizeof buf, 0);  // the client's go-ahead
        HardClose(c);
        reset = true;
    });
    TWSocket s;
    s.SetLineMode(true);
    std::vector<std::string> events;
    s.OnDataAvailable = [&](TObject*, uint16_t) {
        char buf[64];
        const int n = s.Receive(buf, sizeof buf);
        if (n > 0) events.emplace_back(buf, n);
    };
    s.OnSessionClosed = [&](TObject*, uint16_t e) { events.push_back("closed " + std::to_string(e)); };
    StartConnect(s, peer.Port());
    ASSERT_TRUE(PumpUntil([&] { return s.LineBufferedCount() == 4; }));
    s.SendStr("go");
    for (int i = 0; i < 500 && !reset; ++i)
        Sleep(10);
    Sleep(100);  // the reset reaches this end
    // Not pumping: the loss is found by the send, not by a notification.
    s.SendStr("x");
    EXPECT_EQ(events, (std::vector<std::string>{"one\r\n", "part", "closed 10054"}));
}

TEST(WSocketProperties, AFailedBindStopsConnectAndCompletesItEvenWithOnError) {
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
    EXPECT_EQ(log.events, std::vector<std::string>{"connected " + std::to_string(s.LastError())});
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
    PumpFor(300);
    EXPECT_EQ(peer.Accepted(), 0);
    EXPECT_EQ(log.events.size(), 1u);
    TWSocket t;
    t.SetLocalAddr("192.0.2.1");
    const std::string err = SocketErrorOf([&] { StartConnect(t, peer.Port()); });
    EXPECT_EQ(err.rfind("winsock.bind failed, error #", 0), 0u) << err;
}

TEST(WSocketProperties, AMulticastConnectThatCannotResolveItsLocalAddressStaysInOnError) {
    TWSocket s;
    Log log;
    log.Wire(s);
    int errors = 0;
    s.OnError = [&](TObject*) { ++errors; };
    s.SetProto("udp");
    s.MultiCast = true;
    s.SetLocalAddr("no-such-host.invalid");
    s.SetAddr("239.1.2.3");
    s.SetPort("5000");
    EXPECT_NO_THROW(s.Connect());
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_NE(s.LastError(), 0);
    EXPECT_EQ(log.events, std::vector<std::string>{"connected " + std::to_string(s.LastError())});
}

TEST(WSocketDns, CancelledLookupsKeepNoMoreBuffersTheMoreTheyAre) {
    auto cancelAFew = [] {
        for (int i = 0; i < 20; ++i) {
            TWSocket s;
            s.DnsLookup("localhost");
            s.CancelDnsLookup();
        }
        PumpFor(300);
        return WSocketLookupBuffers();
    };
    const int first = cancelAFew();
    EXPECT_EQ(cancelAFew(), first);
    // A finished lookup gives its buffer back at once.
    TWSocket s;
    int done = 0;
    s.OnDnsLookupDone = [&](TObject*, uint16_t) { ++done; };
    for (int i = 1; i <= 3; ++i) {
        s.DnsLookup("localhost");
        ASSERT_TRUE(PumpUntil([&] { return done == i; }, 10000));
    }
    EXPECT_EQ(WSocketLookupBuffers(), first);
}
