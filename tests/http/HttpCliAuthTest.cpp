// The client's answers to 401 and 407 over the scripted socket: Basic and the NTLM handshake
// for servers and proxies, refusals and broken challenges that end with their status, and
// peers that ask for ever.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "http/MimeUtil.h"
#include "tests/http/Hex.h"
#include "tests/http/HttpCliTestUtil.h"

namespace {

// Both sides of one scheme: whom the client asks and which header lines they use.
struct TSide {
    const char* name;
    bool proxy;
    int status;
    const char* challenge;      // the header the peer asks with
    const char* authorization;  // the header the client answers with
};
const TSide kSides[] = {
    {"server", false, 401, "WWW-Authenticate", "Authorization"},
    {"proxy", true, 407, "Proxy-Authenticate", "Proxy-Authorization"},
};

// RFC 7617's example.
const char kUser[] = "Aladdin", kPassword[] = "open sesame";
const char kBasic[] = "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==";
// The published NTLM example: server challenge and target information (domain "Domain",
// server "Server").
const char kServerChallenge[] = "0123456789abcdef";
const char kTargetInfo[] = "02000c0044006f006d00610069006e00 01000c00530065007200760065007200 00000000";

std::string Response(int Status, const std::string& Headers, const std::string& Body = "denied") {
    return "HTTP/1.1 " + std::to_string(Status) + " Status\r\n" + Headers +
           "Content-Length: " + std::to_string(Body.size()) + "\r\n\r\n" + Body;
}

// A challenge message, Base64: no target name, the example's server challenge, and the
// target information when given.
std::string Type2(const std::string& TargetInfo) {
    const std::string ti = Unhex(TargetInfo);
    const std::string len = {static_cast<char>(ti.size()), '\0'};
    return Base64Encode(Unhex("4e544c4d53535000 02000000 0000000030000000 05820000") +
                        Unhex(kServerChallenge) + std::string(8, '\0') + len + len + Unhex("30000000") + ti);
}

// The value of the first header line Name in a request, empty when absent.
std::string HeaderValue(const std::string& Request, const std::string& Name) {
    const size_t at = Request.find("\r\n" + Name + ": ");
    if (at == std::string::npos) return "";
    const size_t from = at + Name.size() + 4;
    return Request.substr(from, Request.find("\r\n", from) - from);
}

// A security buffer of an authenticate message: the bytes it points to.
std::string Buffer(const std::string& Msg, size_t Field) {
    auto le = [&Msg](size_t At, int Size) {
        size_t v = 0;
        for (int i = Size - 1; i >= 0; --i)
            v = v << 8 | static_cast<uint8_t>(Msg.at(At + i));
        return v;
    };
    return Msg.substr(le(Field + 4, 4), le(Field, 2));
}

// The authenticate message of an "NTLM ..." header value, decoded.
std::string Type3(const std::string& Value) { return Value.size() > 5 ? Base64Decode(Value.substr(5)) : ""; }

std::string Utf16(const std::string& S) {
    std::string w;
    for (char c : S)
        w += std::string(1, c) + '\0';
    return w;
}

void SetCredentials(THttpCli& Cli, const TSide& Side, const std::string& User, const std::string& Password) {
    if (Side.proxy) {
        Cli.Proxy = "px:3128";
        Cli.ProxyUsername = User;
        Cli.ProxyPassword = Password;
    } else {
        Cli.Username = User;
        Cli.Password = Password;
    }
}

int Count(const std::string& Text, const std::string& Word) {
    int n = 0;
    for (size_t at = Text.find(Word); at != std::string::npos; at = Text.find(Word, at + 1))
        ++n;
    return n;
}

// Plays an NTLM handshake on one connection up to the authenticate message, offering Basic
// too; gives that request, and the negotiation's in Negotiate.
std::string NtlmUpToAuthenticate(THttpBench& b, const TSide& Side, const std::string& TargetInfo,
                                 std::string* Negotiate = nullptr) {
    const std::string ask = std::string(Side.challenge) + ": ";
    b.Start("http://h/doc");
    b.Serve(
        Response(Side.status, ask + "NTLM\r\n" + ask + "Basic realm=\"r\"\r\nConnection: keep-alive\r\n"));
    const std::string negotiate = b.TakeSent();
    if (Negotiate) *Negotiate = negotiate;
    b.Serve(Response(Side.status, ask + "NTLM " + Type2(TargetInfo) + "\r\nConnection: keep-alive\r\n"));
    return b.TakeSent();
}

}  // namespace

TEST(HttpCliAuthTest, BasicIsTriedOnceAndRefusalEndsWithTheStatus) {
    for (const TSide& side : kSides) {
        for (bool accepted : {true, false}) {
            SCOPED_TRACE(std::string(side.name) + (accepted ? " accepted" : " refused"));
            THttpBench b;
            SetCredentials(*b.Cli, side, kUser, kPassword);
            b.Start("http://h/doc");
            b.Serve(Response(side.status, std::string(side.challenge) + ": Basic realm=\"r\"\r\n"), {}, true);
            EXPECT_EQ(HeaderValue(b.TakeSent(), side.authorization), "");
            b.Accept();
            EXPECT_EQ(HeaderValue(b.TakeSent(), side.authorization), kBasic);
            if (accepted) {
                b.Serve(Response(200, "", "doc"), {}, true);
                EXPECT_EQ(b.Outcome(), "200|Status|doc|3|ready|HB HE DB DE HB HE DB DE Done0 ");
            } else {
                b.Serve(Response(side.status, std::string(side.challenge) + ": Basic realm=\"r\"\r\n"), {},
                        true);
                b.Accept();
                EXPECT_EQ(b.Outcome(), std::to_string(side.status) +
                                           "|Status|denied|6|ready|HB HE DB DE HB HE DB DE Done0 ");
                EXPECT_EQ(b.TakeSent(), "");
            }
        }
    }
}

TEST(HttpCliAuthTest, NoRetryWithoutAnExactSchemeAndCredentials) {
    struct Case {
        const char* name;
        std::string challenge;
        std::function<void(THttpCli&)> set;
    };
    const Case cases[] = {
        {"lower-case scheme", "WWW-Authenticate: basic realm=\"r\"\r\n", [](THttpCli&) {}},
        {"no password", "WWW-Authenticate: Basic realm=\"r\"\r\n", [](THttpCli& c) { c.Password.clear(); }},
        {"no challenge", "", [](THttpCli&) {}},
        {"Basic switched off", "WWW-Authenticate: Basic realm=\"r\"\r\n",
         [](THttpCli& c) { c.Options = httpoNoBasicAuth; }},
        {"NTLM switched off", "WWW-Authenticate: NTLM\r\n", [](THttpCli& c) { c.Options = httpoNoNTLMAuth; }},
        // The server's credentials are no answer to a proxy.
        {"407 with server credentials", "Proxy-Authenticate: Basic realm=\"r\"\r\n", [](THttpCli&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        THttpBench b;
        SetCredentials(*b.Cli, kSides[0], kUser, kPassword);
        c.set(*b.Cli);
        const int status = c.challenge.rfind("Proxy", 0) == 0 ? 407 : 401;
        b.Start("http://h/doc");
        b.Serve(Response(status, c.challenge), {}, true);
        b.Accept();
        EXPECT_EQ(b.Outcome(), std::to_string(status) + "|Status|denied|6|ready|HB HE DB DE Done0 ");
        EXPECT_EQ(Count(b.TakeSent(), "GET "), 1);
    }
}

TEST(HttpCliAuthTest, NtlmHandshakeOnOneKeptAliveConnection) {
    for (const TSide& side : kSides) {
        SCOPED_TRACE(side.name);
        THttpBench b;
        SetCredentials(*b.Cli, side, "User", "Password");
        b.Cli->WorkstationName = [] { return std::string("COMPUTER"); };
        std::string negotiate;
        const std::string authenticate = NtlmUpToAuthenticate(b, side, "", &negotiate);
        // NTLM goes before Basic, and an HTTP/1.0 connection is asked to stay open.
        EXPECT_EQ(HeaderValue(negotiate, side.authorization),
                  "NTLM TlRMTVNTUAABAAAAB4IAAAAAAAAAAAAAAAAAAAAAAAA=");
        EXPECT_EQ(HeaderValue(negotiate, side.proxy ? "Proxy-Connection" : "Connection"), "Keep-alive");
        const std::string msg = Type3(HeaderValue(authenticate, side.authorization));
        ASSERT_GE(msg.size(), 64u);
        EXPECT_EQ(Hex(Buffer(msg, 20)), "67c43011f30298a2ad35ece64f16331c44bdbed927841f94");
        EXPECT_EQ(Hex(Buffer(msg, 12)), "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13");
        EXPECT_EQ(Buffer(msg, 36), Utf16("User"));
        EXPECT_EQ(Buffer(msg, 44), Utf16("COMPUTER"));
        b.Serve(Response(200, "", "doc"), {}, true);
        EXPECT_EQ(b.Outcome(), "200|Status|doc|3|ready|HB HE DB DE HB HE DB DE HB HE DB DE Done0 ");
        EXPECT_EQ(std::count_if(b.Sock->Calls.begin(), b.Sock->Calls.end(),
                                [](const std::string& c) { return c.rfind("Connect ", 0) == 0; }),
                  1);
    }
}

TEST(HttpCliAuthTest, RefusedOrBrokenNtlmEndsWithTheStatus) {
    const std::string valid = Type2("");
    const struct {
        const char* name;
        std::string challenge;  // the answer to the negotiate message
        int requests;           // requests sent in all
    } cases[] = {
        {"refused", "NTLM " + valid, 3},
        {"no data", "NTLM", 2},
        {"not Base64", "NTLM !!!!", 2},
        {"cut short", "NTLM " + valid.substr(0, 24), 2},
        {"wrong message type", "NTLM " + Base64Encode(Base64Decode(valid).replace(8, 1, "\3")), 2},
        // Answered without the names, and refused: squid's fake helper, whose target name
        // points nowhere, or target information that runs past the end.
        {"names pointing nowhere",
         "NTLM TlRMTVNTUAACAAAACQAJAK6qqqoGgggAJdm1uqlF/68AAAAAAAA6AFdPUktHUk9VUA==", 3},
        {"target information past the end", "NTLM " + Type2("0200ff00"), 3},
        {"only Basic offered now", "Basic realm=\"r\"", 3},
    };
    for (const TSide& side : kSides) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(side.name) + " " + c.name);
            THttpBench b;
            SetCredentials(*b.Cli, side, "User", "Password");
            const std::string ask = std::string(side.challenge) + ": ";
            b.Start("http://h/doc");
            b.Serve(Response(side.status, ask + "NTLM\r\nConnection: keep-alive\r\n"));
            for (int i = 0; i < 3 && b.Cli->Busy(); ++i)
                b.Serve(Response(side.status, ask + c.challenge + "\r\nConnection: keep-alive\r\n"));
            EXPECT_EQ(b.Cli->StatusCode, side.status);
            EXPECT_FALSE(b.Cli->Busy());
            EXPECT_EQ(Count(b.Log, "Done"), 1);
            EXPECT_EQ(Count(b.TakeSent(), "GET "), c.requests);
        }
    }
}

TEST(HttpCliAuthTest, NtlmVersionFollowsTheOption) {
    const struct {
        THttpNTLMVersion option;
        const char* targetInfo;
        bool v2;
    } cases[] = {
        {httpNTLMv1, kTargetInfo, false},
        {httpNTLMv2, "", true},
        {httpNTLMv2WithTargetInfo, kTargetInfo, true},
        {httpNTLMv2WithTargetInfo, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.option) + (*c.targetInfo ? " with target information" : ""));
        THttpBench b;
        SetCredentials(*b.Cli, kSides[0], "User", "Password");
        b.Cli->NTLMVersion = c.option;
        const std::string msg =
            Type3(HeaderValue(NtlmUpToAuthenticate(b, kSides[0], c.targetInfo), "Authorization"));
        ASSERT_GE(msg.size(), 64u);
        const std::string nt = Buffer(msg, 20);
        // Version 2's response is its proof, then the blob that signs the target information.
        EXPECT_EQ(nt.size() > 24, c.v2);
        if (c.v2) {
            EXPECT_EQ(nt.substr(44), Unhex(c.targetInfo) + std::string(4, '\0'));
        }
    }
}

TEST(HttpCliAuthTest, PostBodyGoesWithTheAuthorizedRequest) {
    for (const char* scheme : {"Basic realm=\"r\"", "NTLM"}) {
        SCOPED_TRACE(scheme);
        THttpBench b;
        TMemoryStream post;
        post.WriteString("a=1");
        post.SetPosition(0);
        b.Cli->SendStream = &post;
        SetCredentials(*b.Cli, kSides[0], "User", "Password");
        b.Cli->SetRequestVer("1.1");
        b.Start("http://h/form", httpPOST);
        EXPECT_EQ(HeaderValue(b.TakeSent(), "Content-Length"), "3");
        b.Serve(Response(401, std::string("WWW-Authenticate: ") + scheme + "\r\n"));
        std::string sent = b.TakeSent();
        if (std::string(scheme) == "NTLM") {
            // The negotiation announces no body and sends none.
            EXPECT_EQ(HeaderValue(sent, "Content-Length"), "0");
            EXPECT_EQ(sent.substr(sent.size() - 4), "\r\n\r\n");
            b.Serve(Response(401, "WWW-Authenticate: NTLM " + Type2("") + "\r\n"));
            sent = b.TakeSent();
        }
        EXPECT_EQ(HeaderValue(sent, "Content-Length"), "3");
        EXPECT_EQ(sent.substr(sent.size() - 7), "\r\n\r\na=1");
    }
}

TEST(HttpCliAuthTest, FinishedHandshakeAnswersALaterChallengeAgain) {
    for (const TSide& side : kSides) {
        SCOPED_TRACE(side.name);
        THttpBench b;
        SetCredentials(*b.Cli, side, kUser, kPassword);
        b.Cli->SetRequestVer("1.1");
        const std::string ask = std::string(side.challenge) + ": Basic realm=\"r\"\r\n";
        for (const char* doc : {"one", "two"}) {
            b.Start(std::string("http://h/") + doc);
            b.Serve(Response(side.status, ask));
            EXPECT_EQ(HeaderValue(b.TakeSent(), side.authorization), kBasic);
            b.Serve(Response(200, "", doc));
            EXPECT_EQ(b.Rcvd.DataString(), doc);
            b.Rcvd.Clear();
        }
    }
}

// A proxy and a server that each want Basic get one authorization line per request: they
// would take turns refusing for ever.
TEST(HttpCliAuthTest, PeersThatAskForEverEndWithTheStatus) {
    THttpBench b;
    SetCredentials(*b.Cli, kSides[0], kUser, kPassword);
    SetCredentials(*b.Cli, kSides[1], kUser, kPassword);
    b.Start("http://h/doc");
    int rounds = 0;
    for (; rounds < 50 && b.Cli->Busy(); ++rounds) {
        const bool proxyOk = !HeaderValue(b.TakeSent(), "Proxy-Authorization").empty();
        b.Serve(proxyOk ? Response(401, "WWW-Authenticate: Basic realm=\"r\"\r\n")
                        : Response(407, "Proxy-Authenticate: Basic realm=\"r\"\r\n"),
                {}, true);
        b.Accept();
    }
    EXPECT_LE(rounds, THttpCli::MaxAuthRetries + 1);
    EXPECT_FALSE(b.Cli->Busy());
    EXPECT_EQ(Count(b.Log, "Done"), 1);
}

// Get returns only when the retried request has ended, with its document, though the
// engine is ready for a moment between the attempts.
TEST(HttpCliAuthTest, GetWaitsForTheRetry) {
    THttpBench b;
    SetCredentials(*b.Cli, kSides[0], kUser, kPassword);
    const std::string answers[] = {
        Response(401, "WWW-Authenticate: Basic realm=\"r\"\r\nConnection: keep-alive\r\n"),
        Response(200, "Connection: keep-alive\r\n", "doc")};
    int steps = 0;
    SetHttpWaitStep([&](const std::function<bool()>& Done) {
        // As the message pump does: one message at a time while Done does not hold.
        while (!Done() && b.Sock->RunPosted(1) > 0) {
        }
        if (Done()) return true;
        if (b.Sock->LookupRunning()) b.Sock->CompleteDnsLookup(0);
        if (b.Sock->State() == wsConnecting) b.Sock->CompleteConnect(0);
        if (steps < 2) b.Sock->Arrive(answers[steps]);
        return ++steps < 10;
    });
    b.Cli->URL = "http://h/doc";
    b.Cli->Get();
    SetHttpWaitStep(nullptr);
    EXPECT_EQ(b.Outcome(), "200|Status|doc|3|ready|HB HE DB DE HB HE DB DE ");
}
