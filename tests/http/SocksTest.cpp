// The SOCKS negotiation of the socket rules, natively over the scripted double: the requests
// sent for each level, every reply a server may give (whole, in pieces, with application
// bytes behind it, or not at all), the events in their order, and the client's SOCKS
// settings outliving the socket's close.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http/SocksLayer.h"
#include "tests/http/FakeWSocket.h"
#include "tests/http/HttpCliTestUtil.h"
#include "tests/http/SocketTestUtil.h"

namespace {

std::string B(std::initializer_list<int> Bytes) {
    std::string s;
    for (int b : Bytes)
        s += static_cast<char>(b);
    return s;
}

const std::string kGreeting = B({5, 1, 0});
const std::string kGreetingAuth = B({5, 1, 2});
const std::string kRequest5 = B({5, 1, 0, 3, 11}) + "example.org" + B({0, 80});
const std::string kOk5 = B({5, 0, 0, 1, 10, 0, 0, 9, 0x1F, 0x90});
const std::string kOk4 = B({0, 90, 0, 0, 0, 0, 0, 0});

// A socket set up for a SOCKS connection to example.org:80, logging its events.
struct SocksRig {
    explicit SocksRig(const std::string& Level, const std::string& Addr = "example.org") {
        sock.SetAddr(Addr);
        sock.SetPort("80");
        sock.SetSocksServer(" 127.0.0.1 ");
        sock.SetSocksPort("1080");
        sock.SetSocksLevel(Level);
        sock.SocksUsercode = "user";
        sock.SocksPassword = "secret";
        sock.OnSocksConnected = [this](TObject*, uint16_t e) { Log("SocksConnected " + std::to_string(e)); };
        sock.OnSocksError = [this](TObject*, int e, const std::string& m) {
            Log("SocksError " + std::to_string(e) + " " + m);
        };
        sock.OnSocksAuthState = [this](TObject*, TSocksAuthState s) { Log("Auth " + std::to_string(s)); };
        sock.OnSessionConnected = [this](TObject*, uint16_t e) { Log("Connected " + std::to_string(e)); };
        sock.OnSessionClosed = [this](TObject*, uint16_t e) { Log("Closed " + std::to_string(e)); };
        sock.OnDataSent = [this](TObject*, uint16_t) { Log("DataSent"); };
        sock.OnDataAvailable = [this](TObject*, uint16_t) {
            char buf[3];  // small, so that held bytes are handed out over several reads
            const int n = sock.Receive(buf, sizeof buf);
            if (n > 0) received.append(buf, static_cast<size_t>(n));
        };
    }
    void Log(const std::string& Event) { events += Event + "; "; }
    // Connects, lets the server accept and answers with Replies, one delivery each.
    void Run(const std::vector<std::string>& Replies) {
        sock.Connect();
        sock.CompleteConnect(0);
        for (const auto& r : Replies)
            sock.Deliver(r);
        sock.RunPosted();
    }

    TFakeWSocket sock;
    std::string events, received;
};

}  // namespace

TEST(SocksProperties, LevelServerAndPortFollowTheClosedOnlyRules) {
    SocksRig rig("4a");
    EXPECT_EQ(rig.sock.SocksLevel(), "4A");
    EXPECT_EQ(rig.sock.SocksServer(), "127.0.0.1");
    EXPECT_EQ(SocketErrorOf([&] { rig.sock.SetSocksLevel("6"); }),
              "Invalid socks level. Must be 4, 4A or 5.");
    EXPECT_EQ(rig.sock.SocksLevel(), "4A");
    rig.sock.Connect();
    rig.sock.CompleteConnect(0);
    ASSERT_EQ(rig.sock.State(), wsConnected);
    EXPECT_EQ(SocketErrorOf([&] { rig.sock.SetSocksLevel("5"); }), "Can't change socks level if not closed");
    EXPECT_EQ(SocketErrorOf([&] { rig.sock.SetSocksServer("other"); }),
              "Can't change socks server if not closed");
    EXPECT_EQ(SocketErrorOf([&] { rig.sock.SetSocksPort("1"); }), "Can't change socks port if not closed");
    EXPECT_EQ(SocketErrorOf([&] { rig.sock.SetSocksPort("1080"); }), "(no exception)");
    // A close forgets the road: the next connection is direct unless it is set again.
    rig.sock.Close();
    EXPECT_EQ(rig.sock.SocksServer() + "|" + rig.sock.SocksPort() + "|" + rig.sock.SocksLevel(), "||5");
}

TEST(SocksConnect, RefusesWhatSocksCannotCarry) {
    SocksRig rig("5");
    rig.sock.SetProto("udp");
    EXPECT_EQ(SocketErrorOf([&] { rig.sock.Connect(); }),
              "tcp is the only protocol supported thru socks server");
    EXPECT_EQ(rig.sock.State(), wsClosed);
}

// Each level's requests and the events of a connection the server grants.
TEST(SocksNegotiation, SucceedsWithTheRequestsOfEachLevel) {
    struct Case {
        const char* level;
        TSocksAuthentication auth;
        const char* addr;
        std::vector<std::string> replies;
        std::string sent;
        std::string events;
    } cases[] = {
        {"5",
         socksNoAuthentication,
         "example.org",
         {B({5, 0}), kOk5},
         kGreeting + kRequest5,
         "SocksConnected 0; Connected 0; "},
        // A dotted address still goes as a name.
        {"5",
         socksNoAuthentication,
         "10.1.2.3",
         {B({5, 0}), kOk5},
         kGreeting + B({5, 1, 0, 3, 8}) + "10.1.2.3" + B({0, 80}),
         "SocksConnected 0; Connected 0; "},
        {"5",
         socksAuthenticateUsercode,
         "example.org",
         {B({5, 2}), B({1, 0}), kOk5},
         kGreetingAuth + B({1, 4}) + "user" + B({6}) + "secret" + kRequest5,
         "SocksConnected 0; Auth 0; Auth 1; Connected 0; "},
        {"5",
         socksAuthenticateUsercode,
         "example.org",
         {B({5, 0}), kOk5},
         kGreetingAuth + kRequest5,
         "SocksConnected 0; Auth 3; Connected 0; "},
        {"4",
         socksNoAuthentication,
         "10.1.2.3",
         {kOk4},
         B({4, 1, 0, 80, 10, 1, 2, 3}) + "user" + B({0}),
         "SocksConnected 0; Connected 0; "},
        {"4A",
         socksNoAuthentication,
         "example.org",
         {kOk4},
         B({4, 1, 0, 80, 0, 0, 0, 1}) + "user" + B({0}) + "example.org" + B({0}),
         "SocksConnected 0; Connected 0; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.level) + " " + c.addr + " auth " + std::to_string(c.auth));
        SocksRig rig(c.level, c.addr);
        rig.sock.SocksAuthentication = c.auth;
        rig.Run(c.replies);
        EXPECT_EQ(rig.sock.Sent, c.sent);
        EXPECT_EQ(rig.events, c.events);
        EXPECT_EQ(rig.sock.State(), wsConnected);
        EXPECT_FALSE(rig.sock.SocksNegotiating());
    }
}

// Every failure a server can answer with ends in the same three events, and nothing is
// sent after the failing reply.
TEST(SocksNegotiation, FailureRepliesEndInErrorConnectedAndClosed) {
    struct Case {
        const char* level;
        TSocksAuthentication auth;
        std::vector<std::string> replies;
        int code;
        std::string text;
    } cases[] = {
        {"5", socksNoAuthentication, {B({5, 255})}, 20003, "authentification method not acceptable"},
        {"5", socksNoAuthentication, {B({5, 2})}, 20003, "authentification method not acceptable"},
        {"5", socksNoAuthentication, {B({4, 0})}, 20002, "socks version error"},
        {"5", socksNoAuthentication, {B({5, 0, 0})}, 20001, "too much data availaible"},
        {"5", socksAuthenticateUsercode, {B({5, 2}), B({1, 1})}, 20015, "socks authentication failed"},
        {"5", socksAuthenticateUsercode, {B({5, 2}), B({2, 0})}, 20002, "socks version error"},
        {"5", socksAuthenticateUsercode, {B({5, 2}), B({1, 0, 0})}, 20001, "too much data availaible"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 1, 0, 1})}, 20004, "general SOCKS server failure"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 2})}, 20005, "connection not allowed by ruleset"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 3})}, 20006, "network unreachable"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 4})}, 20007, "host unreachable"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 5})}, 20008, "connection refused"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 6})}, 20009, "time to live expired"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 7})}, 20010, "command not supported"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 8})}, 20011, "address type not supported"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 9})}, 20012, "unassigned error #9"},
        {"5", socksNoAuthentication, {B({5, 0}), B({5, 0, 0, 4, 1})}, 20011, "address type not supported"},
        {"5", socksNoAuthentication, {B({5, 0}), B({6, 0})}, 20002, "socks version error"},
        {"4", socksNoAuthentication, {B({0, 91, 0, 0, 0, 0, 0, 0})}, 20016, "request rejected or failed"},
        {"4", socksNoAuthentication, {B({0, 92, 0, 0, 0, 0, 0, 0})}, 20008, "connection refused"},
        {"4", socksNoAuthentication, {B({0, 93, 0, 0, 0, 0, 0, 0})}, 20015, "authentification failed"},
        {"4A", socksNoAuthentication, {B({0, 94, 0, 0, 0, 0, 0, 0})}, 20012, "unassigned error #94"},
        {"4", socksNoAuthentication, {B({4, 90, 0, 0, 0, 0, 0, 0})}, 20002, "socks version error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.level) + " " + std::to_string(c.code) + " " + c.text);
        SocksRig rig(c.level, "10.1.2.3");
        rig.sock.SocksAuthentication = c.auth;
        rig.sock.Connect();
        rig.sock.CompleteConnect(0);
        for (size_t i = 0; i + 1 < c.replies.size(); ++i)
            rig.sock.Deliver(c.replies[i]);
        const std::string sentBefore = rig.sock.Sent;
        rig.events.clear();
        rig.sock.Deliver(c.replies.back());
        const std::string code = std::to_string(c.code);
        const std::string authFailed =
            c.auth == socksAuthenticateUsercode && c.replies.size() == 2 ? "Auth 2; " : "";
        EXPECT_EQ(rig.events, authFailed + "SocksError " + code + " " + c.text + "; Connected " + code +
                                  "; Closed " + code + "; ");
        EXPECT_EQ(rig.sock.Sent, sentBefore);
        EXPECT_EQ(rig.sock.State(), wsClosed);
    }
}

TEST(SocksNegotiation, Socks4NameThatCannotBeResolvedFailsWith20017) {
    SocksRig rig("4");
    rig.Run({});
    EXPECT_EQ(rig.events,
              "SocksConnected 0; SocksError 20017 ESocketException WSocketResolveHost: Cannot convert "
              "host address 'example.org', Error #11001; Connected 20017; Closed 20017; ");
    EXPECT_EQ(rig.sock.Sent, "");
}

// Replies cut anywhere wait for the rest; bytes behind the last reply reach the
// application through the ordinary reads, in order and whole.
TEST(SocksNegotiation, SplitRepliesAndDataBehindTheLastReply) {
    const std::string bound = B({5, 0, 0, 3, 9}) + "bound.net" + B({0x04, 0x38});
    for (const char* level : {"5", "4"}) {
        SCOPED_TRACE(level);
        SocksRig rig(level, "10.1.2.3");
        rig.sock.Connect();
        rig.sock.CompleteConnect(0);
        std::string replies = (level[0] == '5' ? B({5, 0}) + bound : kOk4) + "HTTP/1.0 200 OK\r\n";
        // Byte by byte up to the last reply's last byte, which comes with the data.
        const size_t whole = replies.size() - 17;
        for (size_t i = 0; i + 1 < whole; ++i)
            rig.sock.Deliver(replies.substr(i, 1));
        EXPECT_EQ(rig.events, "SocksConnected 0; ");
        rig.sock.Deliver(replies.substr(whole - 1));
        EXPECT_EQ(rig.events, "SocksConnected 0; Connected 0; ");
        EXPECT_EQ(rig.received, "HTTP/1.0 200 OK\r\n");
        EXPECT_EQ(rig.sock.ReadCount(), static_cast<int>(replies.size()));
        if (level[0] == '5') {
            EXPECT_EQ(rig.sock.SocksBoundAddr() + ":" + rig.sock.SocksBoundPort(), "bound.net:1080");
        }
    }
}

TEST(SocksNegotiation, ServerThatHangsUpStillEndsTheConnect) {
    struct Case {
        TSocksAuthentication auth;
        std::vector<std::string> replies;
        uint16_t closeError;
        std::string events;
    } cases[] = {
        // Before any reply, during authentication, and before the connect reply (with a reset).
        {socksNoAuthentication, {}, 0, "SocksConnected 0; Connected 10053; Closed 0; "},
        {socksAuthenticateUsercode,
         {B({5, 2})},
         0,
         "SocksConnected 0; Auth 0; Auth 2; Connected 10053; Closed 0; "},
        {socksNoAuthentication,
         {B({5, 0}), B({5, 0, 0})},
         10054,
         "SocksConnected 0; SocksError 10054 data receive error; Connected 10054; Closed 10054; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events);
        SocksRig rig("5");
        rig.sock.SocksAuthentication = c.auth;
        rig.Run(c.replies);
        rig.sock.PeerClose(c.closeError);
        EXPECT_EQ(rig.events, c.events);
        EXPECT_EQ(rig.sock.State(), wsClosed);
    }
}

// The socket forgets its SOCKS server at every close; the client must not: each of its
// connections goes through the server.
TEST(SocksHttpCli, EveryConnectionGoesThroughTheSocksServer) {
    THttpBench bench;
    bench.Cli->SetSocksServer("127.0.0.1");
    bench.Cli->SetSocksPort("1080");
    bench.Cli->SetSocksLevel("4a");
    std::string errors;
    bench.Cli->OnSocksError = [&](TObject*, int e, const std::string&) { errors += std::to_string(e) + " "; };
    for (int i = 0; i < 2; ++i) {
        bench.Start("http://127.0.0.1:8080/x");
        const std::string request = bench.TakeSent();
        ASSERT_EQ(request.substr(0, 8), B({4, 1, 0x1F, 0x90, 0, 0, 0, 1}));
        bench.Serve(kOk4);
        EXPECT_EQ(bench.TakeSent().substr(0, 6), "GET /x");
        bench.Serve("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", {}, true);
        EXPECT_EQ(bench.Outcome(), "200|OK|" + std::string(i ? "okok" : "ok") + "|2|ready|" +
                                       std::string(i ? "HB HE DB DE Done0 " : "") + "HB HE DB DE Done0 ");
    }
    // A refusal fails the request with the SOCKS code.
    bench.Start("http://127.0.0.1:8080/x");
    bench.Serve(B({0, 91, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(errors, "20016 ");
    EXPECT_EQ(bench.Cli->StatusCode, 404);
    EXPECT_EQ(bench.Cli->State(), hsReady);
}
