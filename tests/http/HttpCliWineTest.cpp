// The HTTP client over Winsock under Wine, against the loopback fixture server (started by
// a ctest fixture): Get direct and through the fixture's proxy mode, both versions,
// keep-alive, chunked bodies, relocation across ports, failures and the time limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/Streams.h"
#include "http/HttpCli_win.h"
#include "ui/WindowDispatcher_win.h"

namespace {

// "<port> <second port>" written by the fixture into the folder named by the environment.
bool FixturePorts(int& Port, int& Port2) {
    const char* dir = std::getenv("PELORIN_HTTP_FIXTURE");
    if (dir == nullptr) return false;
    std::FILE* f = std::fopen((std::string(dir) + "\\port").c_str(), "r");
    if (f == nullptr) return false;
    const bool ok = std::fscanf(f, "%d %d", &Port, &Port2) == 2;
    std::fclose(f);
    return ok;
}

class HttpCliWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FixturePorts(port, port2)) << "the fixture server did not start";
        SetDispatcher(&dispatcher);
        cli.reset(NewHttpCli());
        cli->RcvdStream = &rcvd;
        // No request in these tests may take long; a broken one ends here instead of hanging.
        cli->RequestTimeout = 20000;
    }
    void TearDown() override {
        cli.reset();
        SetDispatcher(nullptr);
    }
    std::string Url(const std::string& Path, int P = 0) {
        return "http://127.0.0.1:" + std::to_string(P ? P : port) + Path;
    }
    // Get, giving the body, or "E<code> <reason>" for the exception it raised.
    std::string Fetch(const std::string& Url) {
        rcvd.Clear();
        cli->URL = Url;
        try {
            cli->Get();
        } catch (const EHttpException& e) {
            return "E" + std::to_string(e.ErrorCode) + " " + e.what();
        }
        return rcvd.DataString();
    }

    TWindowDispatcher dispatcher;
    std::unique_ptr<THttpCli> cli;
    TMemoryStream rcvd;
    int port = 0, port2 = 0;
};

}  // namespace

TEST_F(HttpCliWineTest, GetsDirectAndThroughTheProxy) {
    for (const char* ver : {"1.0", "1.1"}) {
        SCOPED_TRACE(ver);
        cli->SetRequestVer(ver);
        cli->Proxy.clear();
        EXPECT_EQ(Fetch(Url("/file/hello.txt")), "hello from the fixture\n");
        EXPECT_EQ(Fetch(Url("/chunked")), "hello chunk");
        cli->Proxy = "127.0.0.1";
        cli->ProxyPort = std::to_string(port);
        EXPECT_EQ(Fetch("http://catalogue.example:" + std::to_string(port2) + "/echo"),
                  std::string("GET /echo HTTP/") + ver + "|");
    }
}

TEST_F(HttpCliWineTest, KeepAliveReusesTheConnectionOn11Only) {
    cli->SetRequestVer("1.1");
    const std::string first = Fetch(Url("/conn"));
    EXPECT_EQ(Fetch(Url("/conn")), first);
    // A 1.0 request may still go out on the open connection, but then the server closes it.
    cli->SetRequestVer("1.0");
    const std::string third = Fetch(Url("/conn"));
    EXPECT_NE(Fetch(Url("/conn")), third);
}

TEST_F(HttpCliWineTest, FollowsRelocations) {
    EXPECT_EQ(Fetch(Url("/other")), "hello from the fixture\n");
    EXPECT_EQ(cli->Location, "http://127.0.0.1/file/hello.txt");
    EXPECT_EQ(Fetch(Url("/redirect/3")), "arrived");
    EXPECT_EQ(Fetch(Url("/loop")), "E404 More than 10 relocations");
    EXPECT_EQ(Fetch(Url("/interim")), "final");
    EXPECT_EQ(Fetch(Url("/long-header")), "long");
}

TEST_F(HttpCliWineTest, FailuresRaiseWithReasonAndCode) {
    const std::pair<std::string, std::string> cases[] = {
        {Url("/status/404"), "E404 Not Found"},
        {"http://no-such-host.invalid/", "E404 can't resolve hostname to IP address"},
        {"http://127.0.0.1:1/", "E404 Connection refused (Error #10061)"},
        {Url("/close-in-header"), "E404 Connection closed inside the response header"},
        {Url("/close-in-chunk"), "E404 Connection closed inside a chunked body"},
        {Url("/wrong-length"), "E404 Connection closed before the end of the body"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Fetch(c.first), c.second) << c.first;
    EXPECT_EQ(Fetch(Url("/status/401")), "status 401");
    EXPECT_EQ(cli->StatusCode, 401);
    EXPECT_EQ(Fetch(Url("/reset")).substr(0, 5), "E404 ");
}

TEST_F(HttpCliWineTest, StallAndTrickleEndAtTheirLimits) {
    cli->IdleTimeout = 1000;
    EXPECT_EQ(Fetch(Url("/stall")), "E404 No data for 1000 ms");
    cli->RequestTimeout = 2500;
    const std::string trickle = Fetch(Url("/trickle"));
    EXPECT_EQ(trickle, "E404 Request not done within 2500 ms");
    EXPECT_GT(rcvd.Size(), 2);
}
