// SOCKS over Winsock under Wine, against the peers ctest fixtures start on 127.0.0.1: the
// news feed fetched by the HTTP client through danted (SOCKS 4 and 5), and the socket
// against the loopback SOCKS fixture for what danted shows only with accounts or on
// failure: user name and password, every failure reply, a SOCKS 4A host name, a server that
// hangs up during the negotiation.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "base/Streams.h"
#include "http/HttpCli_win.h"
#include "http/WSocket_win.h"
#include "ui/MessagePump_win.h"
#include "ui/WindowDispatcher_win.h"

namespace {

// The first one or two numbers of the "port" file in the folder named by the variable Var.
bool Ports(const char* Var, int& Port, int* Port2 = nullptr) {
    const char* dir = std::getenv(Var);
    if (dir == nullptr) return false;
    std::FILE* f = std::fopen((std::string(dir) + "\\port").c_str(), "r");
    if (f == nullptr) return false;
    int second = 0;
    const int n = std::fscanf(f, "%d %d", &Port, &second);
    std::fclose(f);
    if (Port2) *Port2 = second;
    return n >= (Port2 ? 2 : 1);
}

std::string FileText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(SocksDanted, NewsFeedComesThroughSocks4And5OnEveryConnection) {
    int danted = 0, http = 0, http2 = 0;
    ASSERT_TRUE(Ports("PELORIN_DANTED", danted)) << "danted did not start";
    ASSERT_TRUE(Ports("PELORIN_HTTP_FIXTURE", http, &http2)) << "the fixture server did not start";
    const char* catalogue = std::getenv("PELORIN_CATALOGUE");
    ASSERT_NE(catalogue, nullptr);
    const std::string feed = FileText(std::string(catalogue) + "\\news\\AA_last.xml");
    ASSERT_FALSE(feed.empty());

    TWindowDispatcher dispatcher;
    SetDispatcher(&dispatcher);
    {
        std::unique_ptr<THttpCli> cli(NewHttpCli());
        TMemoryStream rcvd;
        cli->RcvdStream = &rcvd;
        cli->RequestTimeout = 20000;
        cli->SetSocksServer("127.0.0.1");
        cli->SetSocksPort(std::to_string(danted));
        int socksConnects = 0;
        cli->OnSocksConnected = [&](TObject*, uint16_t e) { socksConnects += e == 0; };
        cli->URL = "http://127.0.0.1:" + std::to_string(http) + "/rss/rss.php?id=AA&type=last&pport=1";
        for (const char* level : {"4", "5"}) {
            cli->SetSocksLevel(level);
            // HTTP/1.0: a new connection for each request, each through the server.
            for (int i = 1; i <= 2; ++i) {
                SCOPED_TRACE(std::string("SOCKS ") + level + " request " + std::to_string(i));
                rcvd.Clear();
                socksConnects = 0;
                EXPECT_NO_THROW(cli->Get());
                EXPECT_EQ(cli->StatusCode, 200);
                EXPECT_EQ(rcvd.DataString(), feed);
                EXPECT_EQ(socksConnects, 1);
            }
        }
    }
    SetDispatcher(nullptr);
}

namespace {

// A socket through the SOCKS fixture to Host:80, run until the fixture closes it; the
// events and the bytes that arrived, in order.
struct FixtureRun {
    std::string events, data;
};

FixtureRun ThroughFixture(int SocksPort, const std::string& Level, const std::string& Host,
                          const std::string& User = "", const std::string& Password = "") {
    FixtureRun run;
    TWSocket sock;
    auto log = [&](const std::string& e) { run.events += e + "; "; };
    bool closed = false;
    sock.OnSocksError = [&](TObject*, int e, const std::string& m) {
        log("SocksError " + std::to_string(e) + " " + m);
    };
    sock.OnSocksAuthState = [&](TObject*, TSocksAuthState s) { log("Auth " + std::to_string(s)); };
    sock.OnSessionConnected = [&](TObject*, uint16_t e) { log("Connected " + std::to_string(e)); };
    sock.OnSessionClosed = [&](TObject*, uint16_t e) {
        log("Closed " + std::to_string(e));
        closed = true;
    };
    sock.OnDataAvailable = [&](TObject*, uint16_t) { run.data += sock.ReceiveStr(); };
    sock.SetAddr(Host);
    sock.SetPort("80");
    sock.SetSocksServer("127.0.0.1");
    sock.SetSocksPort(std::to_string(SocksPort));
    sock.SetSocksLevel(Level);
    sock.SocksUsercode = User;
    sock.SocksPassword = Password;
    if (!User.empty() && Level == "5") sock.SocksAuthentication = socksAuthenticateUsercode;
    sock.Connect();
    if (WaitHandlingMessages([&] { return closed; }, 10000) != wrDone) log("(no close within 10 s)");
    return run;
}

std::string Failure(int Code, const std::string& Text) {
    const std::string c = std::to_string(Code);
    return "SocksError " + c + " " + Text + "; Connected " + c + "; Closed " + c + "; ";
}

}  // namespace

TEST(SocksFixture, GrantedConnectionsCarryTheirDataWithTheReply) {
    int port = 0, refusing = 0;
    ASSERT_TRUE(Ports("PELORIN_SOCKS_FIXTURE", port, &refusing)) << "the SOCKS fixture did not start";
    struct Case {
        const char* level;
        const char* host;
        const char* user;
        std::string events, data;
    } cases[] = {
        {"5", "example.org", "user", "Auth 0; Auth 1; Connected 0; Closed 0; ", "SOCKS5 example.org 80\r\n"},
        {"4A", "name.test", "someone", "Connected 0; Closed 0; ", "SOCKS4A name.test 80\r\n"},
        {"4", "127.0.0.1", "", "Connected 0; Closed 0; ", "SOCKS4 127.0.0.1 80\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.level) + " " + c.host);
        const FixtureRun run = ThroughFixture(port, c.level, c.host, c.user, "secret");
        EXPECT_EQ(run.events, c.events);
        EXPECT_EQ(run.data, c.data);
    }
}

TEST(SocksFixture, RefusalsAndHangUpsEndTheConnect) {
    int port = 0, refusing = 0;
    ASSERT_TRUE(Ports("PELORIN_SOCKS_FIXTURE", port, &refusing)) << "the SOCKS fixture did not start";
    const char* const socks5Texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                                       "network unreachable",          "host unreachable",
                                       "connection refused",           "time to live expired",
                                       "command not supported",        "address type not supported"};
    for (int code = 1; code <= 9; ++code) {
        SCOPED_TRACE(code);
        const FixtureRun run = ThroughFixture(port, "5", "fail-" + std::to_string(code) + ".test");
        EXPECT_EQ(run.events, code <= 8 ? Failure(20003 + code, socks5Texts[code - 1])
                                        : Failure(20012, "unassigned error #9"));
    }
    const struct {
        const char* user;
        std::string events;
    } socks4[] = {
        {"fail-91", Failure(20016, "request rejected or failed")},
        {"fail-92", Failure(20008, "connection refused")},
        {"fail-93", Failure(20015, "authentification failed")},
        {"fail-94", Failure(20012, "unassigned error #94")},
    };
    for (const auto& c : socks4) {
        SCOPED_TRACE(c.user);
        EXPECT_EQ(ThroughFixture(port, "4", "127.0.0.1", c.user).events, c.events);
    }
    EXPECT_EQ(ThroughFixture(port, "5", "example.org", "user", "wrong").events,
              "Auth 0; Auth 2; " + Failure(20015, "socks authentication failed"));
    EXPECT_EQ(ThroughFixture(refusing, "5", "example.org").events,
              Failure(20003, "authentification method not acceptable"));
    // Hanging up during the authentication and before the connect reply.
    EXPECT_EQ(ThroughFixture(port, "5", "example.org", "close").events,
              "Auth 0; Auth 2; Connected 10053; Closed 0; ");
    EXPECT_EQ(ThroughFixture(port, "5", "close.test").events, "Connected 10053; Closed 0; ");
}
