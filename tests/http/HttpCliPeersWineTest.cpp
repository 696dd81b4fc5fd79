// The HTTP client over Winsock under Wine against real peers, as users meet them: nginx as
// the origin server and squid as the proxy, each started by a ctest fixture on 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/Streams.h"
#include "http/HttpCli_win.h"
#include "ui/WindowDispatcher_win.h"

namespace {

// The ports a peer's fixture wrote into the folder named by the environment variable Var.
bool PeerPorts(const char* Var, int& Port, int& Port2) {
    const char* dir = std::getenv(Var);
    if (dir == nullptr) return false;
    std::FILE* f = std::fopen((std::string(dir) + "\\port").c_str(), "r");
    if (f == nullptr) return false;
    const int n = std::fscanf(f, "%d %d", &Port, &Port2);
    std::fclose(f);
    return n >= 1;
}

class HttpCliPeersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(PeerPorts("PELORIN_NGINX", nginx, nginx2)) << "nginx did not start";
        ASSERT_TRUE(PeerPorts("PELORIN_SQUID", squid, unused)) << "squid did not start";
        SetDispatcher(&dispatcher);
        cli.reset(NewHttpCli());
        cli->RcvdStream = &rcvd;
        cli->RequestTimeout = 20000;
        cli->Socket().OnChangeState = [this](TObject*, TSocketState, TSocketState s) {
            if (s == wsConnecting) ++connects;
        };
    }
    void TearDown() override {
        cli.reset();
        SetDispatcher(nullptr);
    }
    std::string Origin(int Port, const std::string& Path, const char* Host = "127.0.0.1") {
        return std::string("http://") + Host + ":" + std::to_string(Port) + Path;
    }
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
    int nginx = 0, nginx2 = 0, squid = 0, unused = 0;
    int connects = 0;
};

const char kHello[] = "hello from the fixture\n";

}  // namespace

TEST_F(HttpCliPeersTest, OriginServesBothVersionsAndKeepsAlive) {
    EXPECT_EQ(Fetch(Origin(nginx, "/hello.txt")), kHello);
    EXPECT_EQ(Fetch(Origin(nginx, "/hello.txt")), kHello);
    EXPECT_EQ(connects, 2);
    cli->SetRequestVer("1.1");
    EXPECT_EQ(Fetch(Origin(nginx, "/hello.txt")), kHello);
    EXPECT_EQ(Fetch(Origin(nginx, "/hello.txt")), kHello);
    EXPECT_EQ(connects, 3);
    EXPECT_EQ(Fetch(Origin(nginx, "/missing")), "E404 Not Found");
}

TEST_F(HttpCliPeersTest, FollowsRedirectsAcrossPorts) {
    for (const char* ver : {"1.0", "1.1"}) {
        SCOPED_TRACE(ver);
        cli->SetRequestVer(ver);
        EXPECT_EQ(Fetch(Origin(nginx, "/r301")), kHello);
        EXPECT_EQ(Fetch(Origin(nginx, "/r302")), kHello);
        EXPECT_EQ(cli->Location, "http://127.0.0.1/hello.txt");
    }
}

TEST_F(HttpCliPeersTest, ThroughTheProxy) {
    cli->Proxy = "127.0.0.1";
    cli->ProxyPort = std::to_string(squid);
    for (const char* ver : {"1.0", "1.1"}) {
        SCOPED_TRACE(ver);
        cli->SetRequestVer(ver);
        EXPECT_EQ(Fetch(Origin(nginx, "/hello.txt", "www.quenlow.com")), kHello);
        EXPECT_EQ(Fetch(Origin(nginx, "/r302", "www.quenlow.com")), kHello);
        EXPECT_EQ(cli->Location, Origin(nginx2, "/hello.txt"));
        EXPECT_EQ(Fetch(Origin(nginx, "/missing", "www.quenlow.com")), "E404 Not Found");
    }
}
