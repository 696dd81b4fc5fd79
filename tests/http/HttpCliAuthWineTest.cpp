// The client's authentication over Winsock under Wine, against peers started by ctest
// fixtures on 127.0.0.1: the loopback fixture asking for Basic and NTLM (401, checking the
// NTLM responses for its password and challenge), and squid asking for Basic (checked by
// basic_ncsa_auth) and NTLM (ntlm_fake_auth) proxy credentials (407) in front of nginx.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "http/HttpCli_win.h"
#include "ui/WindowDispatcher_win.h"

namespace {

// The first port a peer's fixture wrote into the folder named by the environment variable.
int PeerPort(const char* Var) {
    const char* dir = std::getenv(Var);
    if (dir == nullptr) return 0;
    std::FILE* f = std::fopen((std::string(dir) + "\\port").c_str(), "r");
    if (f == nullptr) return 0;
    int port = 0;
    if (std::fscanf(f, "%d", &port) != 1) port = 0;
    std::fclose(f);
    return port;
}

// The credentials the fixtures know (tests/fixtures/http_fixture.py and peers.py).
const char kServerUser[] = "pelorin", kServerPassword[] = "Fixture-Password-2";
const char kProxyUser[] = "pelorin", kProxyPassword[] = "proxy-Secret-42";
const char kHello[] = "hello from the fixture\n";

class HttpCliAuthWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixture = PeerPort("PELORIN_HTTP_FIXTURE");
        nginx = PeerPort("PELORIN_NGINX");
        squidBasic = PeerPort("PELORIN_SQUID_BASIC");
        squidNtlm = PeerPort("PELORIN_SQUID_NTLM");
        ASSERT_TRUE(fixture && nginx && squidBasic && squidNtlm) << "a peer did not start";
        SetDispatcher(&dispatcher);
        NewClient();
    }
    void TearDown() override {
        cli.reset();
        SetDispatcher(nullptr);
    }
    // A client of its own for each case, so that no connection or handshake carries over.
    void NewClient() {
        connects = 0;
        cli.reset(NewHttpCli());
        cli->RcvdStream = &rcvd;
        // A request that went round in circles ends here, and fails the test.
        cli->RequestTimeout = 20000;
        cli->Socket().OnChangeState = [this](TObject*, TSocketState, TSocketState s) {
            if (s == wsConnecting) ++connects;
        };
        // The connection each NTLM message went out on.
        cli->OnBeforeHeaderSend = [this](TObject*, const std::string&, TStringList& Lines) {
            for (const std::string& line : Lines.Lines())
                if (line.find("Authorization: NTLM ") != std::string::npos)
                    ntlmConnections.push_back(connects);
        };
    }
    // Get: the status and the body, or "E<code> <reason>" for the exception it raised.
    std::string Fetch(const std::string& Url) {
        rcvd.Clear();
        ntlmConnections.clear();
        cli->URL = Url;
        try {
            cli->Get();
        } catch (const EHttpException& e) {
            return "E" + std::to_string(e.ErrorCode) + " " + e.what();
        }
        return std::to_string(cli->StatusCode) + " " + rcvd.DataString();
    }
    std::string Server(const std::string& Path) {
        return "http://127.0.0.1:" + std::to_string(fixture) + Path;
    }
    std::string ThroughSquid(int Port) {
        cli->Proxy = "127.0.0.1";
        cli->ProxyPort = std::to_string(Port);
        return "http://www.quenlow.com:" + std::to_string(nginx) + "/hello.txt";
    }

    TWindowDispatcher dispatcher;
    std::unique_ptr<THttpCli> cli;
    TMemoryStream rcvd;
    int fixture = 0, nginx = 0, squidBasic = 0, squidNtlm = 0;
    int connects = 0;
    std::vector<int> ntlmConnections;
};

}  // namespace

TEST_F(HttpCliAuthWineTest, ServerBasic) {
    for (const char* ver : {"1.0", "1.1"}) {
        SCOPED_TRACE(ver);
        cli->SetRequestVer(ver);
        cli->Username = kServerUser;
        cli->Password = kServerPassword;
        EXPECT_EQ(Fetch(Server("/auth/basic")), "200 welcome pelorin (Basic)");
        cli->Password = "wrong";
        EXPECT_EQ(Fetch(Server("/auth/basic")), "401 credentials, please");
    }
}

TEST_F(HttpCliAuthWineTest, ServerNtlmResponsesAreChecked) {
    const struct {
        const char* ver;
        THttpNTLMVersion option;
        const char *path, *password, *outcome;
    } cases[] = {
        {"1.0", httpNTLMv1, "/auth/ntlm", kServerPassword, "200 welcome pelorin (NTLMv1)"},
        {"1.1", httpNTLMv1, "/auth/ntlm", kServerPassword, "200 welcome pelorin (NTLMv1)"},
        {"1.0", httpNTLMv2WithTargetInfo, "/auth/ntlm", kServerPassword, "200 welcome pelorin (NTLMv2)"},
        {"1.0", httpNTLMv2WithTargetInfo, "/auth/ntlm-v1", kServerPassword, "200 welcome pelorin (NTLMv1)"},
        {"1.0", httpNTLMv2, "/auth/ntlm-v1", kServerPassword, "200 welcome pelorin (NTLMv2)"},
        {"1.0", httpNTLMv1, "/auth/ntlm", "wrong", "401 credentials, please"},
        {"1.0", httpNTLMv2, "/auth/ntlm", "wrong", "401 credentials, please"},
        {"1.0", httpNTLMv1, "/auth/ntlm-bad", kServerPassword, "401 credentials, please"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ver) + " " + c.path + " " + std::to_string(c.option) + " " + c.password);
        NewClient();
        cli->SetRequestVer(c.ver);
        cli->NTLMVersion = c.option;
        cli->Username = kServerUser;
        cli->Password = c.password;
        EXPECT_EQ(Fetch(Server(c.path)), c.outcome);
        // The negotiation and the authentication share their connection.
        if (ntlmConnections.size() == 2) {
            EXPECT_EQ(ntlmConnections[0], ntlmConnections[1]);
        }
        if (std::string(c.ver) == "1.0") {
            EXPECT_EQ(cli->Connection, "Keep-alive");
        }
    }
}

TEST_F(HttpCliAuthWineTest, SquidBasicProxy) {
    const std::string url = ThroughSquid(squidBasic);
    for (const char* ver : {"1.0", "1.1"}) {
        SCOPED_TRACE(ver);
        cli->SetRequestVer(ver);
        cli->ProxyUsername = kProxyUser;
        cli->ProxyPassword = kProxyPassword;
        EXPECT_EQ(Fetch(url), std::string("200 ") + kHello);
        cli->ProxyPassword = "wrong";
        EXPECT_EQ(Fetch(url).substr(0, 4), "407 ");
        cli->ProxyPassword.clear();
        EXPECT_EQ(Fetch(url).substr(0, 4), "407 ");
    }
}

TEST_F(HttpCliAuthWineTest, SquidNtlmProxyOnOneConnection) {
    for (const char* ver : {"1.0", "1.1"}) {
        SCOPED_TRACE(ver);
        NewClient();
        const std::string url = ThroughSquid(squidNtlm);
        cli->ProxyUsername = kProxyUser;
        cli->ProxyPassword = kProxyPassword;
        cli->SetRequestVer(ver);
        // As the program has it.
        cli->NTLMVersion = httpNTLMv2WithTargetInfo;
        EXPECT_EQ(Fetch(url), std::string("200 ") + kHello);
        ASSERT_EQ(ntlmConnections.size(), 2u);
        EXPECT_EQ(ntlmConnections[0], ntlmConnections[1]);
        // Connection-bound: the next request on it needs no handshake.
        EXPECT_EQ(Fetch(url), std::string("200 ") + kHello);
        EXPECT_TRUE(ntlmConnections.empty());
    }
}
