// The HTTP client over the scripted socket: what it sends, how it reads responses cut at
// every byte boundary, relocation, keep-alive, failures, aborts and limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/Dispatcher.h"
#include "http/HttpCli.h"
#include "tests/http/HttpCliTestUtil.h"

namespace {

const char kDefaultAccept[] = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";

std::string AgentLine(const THttpCli& c) { return "User-Agent: " + c.Agent + "\r\n"; }

}  // namespace

TEST(HttpCliRequestTest, ComposesHeaderInOrder) {
    struct Case {
        const char* name;
        std::function<void(THttpCli&, TMemoryStream&)> setup;
        THttpRequest rq;
        std::string connect;                               // the place the socket connects to
        std::function<std::string(const THttpCli&)> sent;  // the request header expected
    };
    const Case cases[] = {
        {"defaults", [](THttpCli&, TMemoryStream&) {}, httpGET, "DnsLookup h",
         [](const THttpCli& c) {
             return "GET / HTTP/1.0\r\n" + std::string(kDefaultAccept) + AgentLine(c) + "Host: h\r\n\r\n";
         }},
        {"url parts", [](THttpCli&, TMemoryStream&) {}, httpHEAD, "DnsLookup h2",
         [](const THttpCli& c) {
             return "HEAD /a/b.txt?x=1 HTTP/1.0\r\n" + std::string(kDefaultAccept) + AgentLine(c) +
                    "Host: h2\r\n\r\n";
         }},
        {"proxy",
         [](THttpCli& c, TMemoryStream&) {
             c.Proxy = "px";
             c.ProxyPort = "3128";
         },
         httpGET, "DnsLookup px",
         [](const THttpCli& c) {
             return "GET http://h2:8080/a/b.txt?x=1 HTTP/1.0\r\n" + std::string(kDefaultAccept) +
                    AgentLine(c) + "Host: h2\r\n\r\n";
         }},
        {"every option",
         [](THttpCli& c, TMemoryStream& body) {
             c.SetRequestVer("1.1");
             c.Sender = "me@h";
             c.Accept = "*/*";
             c.Reference = "http://r/";
             c.Connection = "Keep-Alive";
             c.ProxyConnection = "Keep-Alive";
             c.AcceptLanguage = "en";
             c.Agent = "A";
             c.NoCache = true;
             c.ModifiedSince = 36526.5;
             c.Cookie = "k=v";
             c.ContentRangeBegin = "100";
             body.WriteString("xyzbody");
             body.SetPosition(3);
             c.SendStream = &body;
         },
         httpPOST, "DnsLookup h",
         [](const THttpCli&) {
             return std::string(
                 "POST / HTTP/1.1\r\nFrom: me@h\r\nAccept: */*\r\nReferer: http://r/\r\n"
                 "Connection: Keep-Alive\r\nProxy-Connection: Keep-Alive\r\nAccept-Language: en\r\n"
                 "Content-Type: application/x-www-form-urlencoded\r\nUser-Agent: A\r\nHost: h\r\n"
                 "Pragma: no-cache\r\nContent-Length: 4\r\n"
                 "If-Modified-Since: Sat, 01 Jan 2000 12:00:00 GMT\r\nCookie: k=v\r\n"
                 "Range: bytes=100-\r\n\r\nbody");
         }},
    };
    const char* urls[] = {"http://h", "http://u:p@h2:8080/a/b.txt?x=1", "http://u:p@h2:8080/a/b.txt?x=1",
                          "h"};
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        THttpBench b;
        TMemoryStream post;
        c.setup(*b.Cli, post);
        b.Start(urls[i++], c.rq);
        EXPECT_EQ(b.Sock->Calls.at(0), c.connect);
        EXPECT_EQ(b.TakeSent(), c.sent(*b.Cli));
        EXPECT_TRUE(b.Cli->ContentRangeBegin.empty());
    }
}

TEST(HttpCliRequestTest, UrlGivesPortCredentialsAndDocName) {
    THttpBench b;
    b.Start("http://u:p@h2:8080/a/b.txt?x=1");
    EXPECT_EQ(b.Sock->Calls.at(1), "Connect 127.0.0.1:8080");
    EXPECT_EQ(b.Cli->Username, "u");
    EXPECT_EQ(b.Cli->Password, "p");
    EXPECT_EQ(b.Cli->DocName, "b.txt");
    b.Cli->Abort();
    b.Cli->Proxy = "http://px:9000";
    b.Run();
    b.Start("http://h/dir/");
    EXPECT_EQ(b.Sock->Calls.back(), "Connect 127.0.0.1:9000");
    EXPECT_EQ(b.Cli->DocName, "document.htm");
}

TEST(HttpCliRequestTest, MisuseRaisesWithItsCode) {
    THttpBench b;
    auto codeOf = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const EHttpException& e) {
            return e.ErrorCode;
        }
        return -1;
    };
    TMemoryStream empty;
    EXPECT_EQ(codeOf([&] { b.Cli->RequestAsync(httpPOST); }), 2);
    b.Cli->SendStream = &empty;
    EXPECT_EQ(codeOf([&] { b.Cli->RequestAsync(httpPUT); }), 2);
    EXPECT_EQ(codeOf([&] { b.Cli->SetRequestVer("1.0"); }), -1);
    EXPECT_EQ(codeOf([&] { b.Cli->SetRequestVer("2.0"); }), 5);
    b.Start("http://h/");
    EXPECT_EQ(codeOf([&] { b.Cli->RequestAsync(httpGET); }), 1);
    EXPECT_TRUE(b.Sock->Sent.find("POST") == std::string::npos);
}

// Each response gives the same outcome however the bytes are cut.
TEST(HttpCliResponseTest, SameOutcomeAtEveryByteBoundary) {
    struct Case {
        const char* name;
        std::string response;
        bool close;
        std::string outcome;
    };
    const std::string longLine = "X-Long: " + std::string(9000, 'a') + "\r\n";
    const Case cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789abcde", true,
         "200|OK|0123456789|10|ready|HB HE DB DE Done0 "},
        {"no reason", "HTTP/1.0 200\r\nContent-Length: 1\r\n\r\nx", true,
         "200||x|1|ready|HB HE DB DE Done0 "},
        {"204", "HTTP/1.0 204 No Content\r\n\r\n", false, "204|No Content||0|ready|HB HE Done0 "},
        {"interim", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true,
         "200|OK|ok|2|ready|HB HE DB DE Done0 "},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext\r\nhello\r\n0\r\n\r\n", true,
         "200|OK|hello|5|ready|HB HE DB DE Done0 "},
        {"two chunks",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n2\r\nab\r\n0\r\n\r\n", true,
         "200|OK|0123456789ab|12|ready|HB HE DB DE Done0 "},
        {"Chunked is not decoded", "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n1\r\nx\r\n0\r\n\r\n",
         true, "200|OK|1\r\nx\r\n0\r\n\r\n|11|ready|HB HE DB DE Done0 "},
        {"html first line", "<hTmL><body>hi\r\n</html>", true,
         "0||<hTmL><body>hi</html>|21|ready|HB HE DB DE Done0 "},
        {"body by close", "HTTP/1.0 200 OK\r\n\r\nall of it", true,
         "200|OK|all of it|9|ready|HB HE DB DE Done0 "},
        {"odd status", "HTTP/1.1 2x0 Odd\r\nContent-Length: 0\r\n\r\n", false, "0|Odd||0|ready|HB HE Done0 "},
        {"no status line", "ICY 200 OK\r\nContent-Length: 0\r\n\r\n", false, "0|||0|ready|HB HE Done0 "},
        {"long header line", "HTTP/1.1 200 OK\r\n" + longLine + "Content-Length: 2\r\n\r\nok", true,
         "200|OK|ok|2|ready|HB HE DB DE Done0 "},
        {"closed in header", "HTTP/1.1 200 OK\r\nContent-Le", true,
         "404|Connection closed inside the response header||0|ready|HB HE Done0 "},
        {"closed before header", "", true,
         "404|Connection closed before the response header||0|ready|Done0 "},
        {"closed in chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", true,
         "404|Connection closed inside a chunked body|hel|3|ready|HB HE DB DE Done0 "},
        {"short body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", true,
         "404|Connection closed before the end of the body|abc|3|ready|HB HE DB DE Done0 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<size_t>> splits = {{}};
        std::vector<size_t> every;
        for (size_t k = 1; k < c.response.size(); ++k) {
            splits.push_back({k});
            every.push_back(k);
        }
        splits.push_back(every);
        for (const auto& cuts : splits) {
            THttpBench b;
            b.Start("http://h/");
            b.Serve(c.response, cuts, c.close);
            ASSERT_EQ(b.Outcome(), c.outcome)
                << "cut at " << (cuts.empty() ? 0 : cuts[0]) << " of " << cuts.size();
        }
    }
}

TEST(HttpCliResponseTest, ReadsHeaderFields) {
    THttpBench b;
    std::string cookie;
    b.Cli->OnCookie = [&](TObject*, const std::string& v, bool& accept) {
        cookie = v;
        EXPECT_TRUE(accept);
    };
    b.Start("http://h/setup.exe");
    b.Serve(
        "HTTP/1.1 206 Partial\r\nContent-Type: Text/HTML\r\nContent-Range: bytes 10-19/100\r\n"
        "Accept-Ranges: bytes\r\nSet-Cookie: a=b\r\nContent-Length: 2\r\n\r\nok");
    EXPECT_EQ(b.Cli->ContentType, "text/html");
    EXPECT_EQ(b.Cli->ContentRangeBegin, "10");
    EXPECT_EQ(b.Cli->ContentRangeEnd, "19");
    EXPECT_EQ(b.Cli->AcceptRanges(), "bytes");
    EXPECT_EQ(cookie, "a=b");
    EXPECT_EQ(b.Cli->DocName, "setup.htm");
    EXPECT_EQ(b.Cli->RcvdHeader.Count(), 6);
}

TEST(HttpCliConnectionTest, KeepAliveReusesTheConnection) {
    THttpBench b;
    b.Cli->SetRequestVer("1.1");
    b.Start("http://h/a");
    b.Serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\na");
    ASSERT_EQ(b.Cli->State(), hsReady);
    b.TakeSent();
    b.Start("http://h/b");
    EXPECT_EQ(b.TakeSent().substr(0, 8), "GET /b H");
    b.Serve("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nb");
    b.Start("http://h/c");
    const std::vector<std::string> calls = {"DnsLookup h", "Connect 127.0.0.1:80", "CloseLater",
                                            "Close",       "DnsLookup h",          "Connect 127.0.0.1:80"};
    EXPECT_EQ(b.Sock->Calls, calls);
    // Another place closes the open connection first.
    b.Serve("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nc");
    b.Start("http://other/");
    EXPECT_EQ(b.Sock->Calls.at(6), "Abort");
}

TEST(HttpCliConnectionTest, NetworkFailuresEndWith404) {
    struct Case {
        const char* name;
        std::function<void(THttpBench&)> play;
        std::string reason;
        int error;
    };
    const Case cases[] = {
        {"lookup fails", [](THttpBench& b) { b.Sock->CompleteDnsLookup(11001); },
         "can't resolve hostname to IP address", 11001},
        {"lookup cannot start", [](THttpBench& b) { b.Sock->LookupError = 10093; },
         "can't resolve hostname to IP address", 10093},
        {"refused",
         [](THttpBench& b) {
             b.Sock->CompleteDnsLookup(0);
             b.Sock->CompleteConnect(10061);
         },
         "Connection refused (Error #10061)", 10061},
        {"connect fails at once",
         [](THttpBench& b) {
             b.Sock->ConnectError = 10055;
             b.Sock->CompleteDnsLookup(0);
         },
         "No buffer space available (Error #10055)", 10055},
        {"abort", [](THttpBench& b) { b.Cli->Abort(); }, "Connection aborted on request", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        THttpBench b;
        b.Cli->URL = "http://nowhere/";
        if (std::string(c.name) == "lookup cannot start") {
            c.play(b);
            b.Cli->RequestAsync(httpGET);
        } else {
            b.Cli->RequestAsync(httpGET);
            c.play(b);
        }
        b.Run();
        EXPECT_EQ(b.Cli->State(), hsReady);
        EXPECT_EQ(b.Cli->StatusCode, 404);
        EXPECT_EQ(b.Cli->ReasonPhrase, c.reason);
        EXPECT_EQ(b.Cli->RequestError, c.error);
        // One completion, carrying the error.
        EXPECT_EQ(b.Log.find("Done"), b.Log.rfind("Done"));
        EXPECT_NE(b.Log.find("Done" + std::to_string(c.error) + " "), std::string::npos);
    }
}

TEST(HttpCliRelocationTest, FollowsToTheNewPlaceAndKeepsOnlyTheLastDocument) {
    THttpBench b;
    b.Start("http://h/old");
    b.Serve("HTTP/1.0 302 Found\r\nLocation: /new#frag\r\nContent-Length: 5\r\n\r\nmoved");
    b.Accept();
    EXPECT_EQ(b.TakeSent().substr(0, 34),
              "GET /old HTTP/1.0\r\n" + std::string(kDefaultAccept).substr(0, 15));
    b.Serve("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nnew", {}, true);
    EXPECT_EQ(b.Outcome(), "200|OK|new|3|ready|HB HE DB DE LC HB HE DB DE Done0 ");
    EXPECT_EQ(b.Cli->Location, "http://h/new");
    EXPECT_EQ(b.Cli->DocName, "new");
    EXPECT_EQ(std::count(b.Sock->Calls.begin(), b.Sock->Calls.end(), "DnsLookup h"), 2);
}

TEST(HttpCliRelocationTest, SamePlaceKeepsTheConnectionAndPostBecomesGet) {
    THttpBench b;
    TMemoryStream post;
    post.WriteString("a=1");
    post.SetPosition(0);
    b.Cli->SendStream = &post;
    b.Cli->SetRequestVer("1.1");
    b.Start("http://h/form", httpPOST);
    b.TakeSent();
    b.Serve("HTTP/1.1 200 OK\r\nLocation: done.htm\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(b.TakeSent().substr(0, 24), "GET /done.htm HTTP/1.1\r\n");
    b.Serve("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    EXPECT_EQ(b.Outcome(), "200|OK|ok|2|ready|HB HE LC HB HE DB DE Done0 ");
    EXPECT_EQ(b.Sock->Calls.size(), 2u);
    EXPECT_EQ(b.Cli->RequestType, httpGET);
}

TEST(HttpCliRelocationTest, ChunkedRedirectBodyIsReadBeforeTheConnectionIsReused) {
    THttpBench b;
    b.Cli->SetRequestVer("1.1");
    b.Start("http://h/old");
    b.Serve("HTTP/1.1 302 Found\r\nLocation: /new\r\nTransfer-Encoding: chunked\r\n\r\n");
    b.Serve("3\r\nabc\r\n0\r\n\r\n");
    b.Serve("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nnew");
    EXPECT_EQ(b.Outcome(), "200|OK|new|3|ready|HB HE DB DE LC HB HE DB DE Done0 ");
}

TEST(HttpCliRelocationTest, LocationRules) {
    struct Case {
        const char *proxy, *url, *location;
        const char *lookup, *connect, *requestLine, *newLocation;
    };
    const Case cases[] = {
        {"", "http://h:81/a/b", "/c", "DnsLookup h", "Connect 127.0.0.1:81", "GET /c ", "http://h/c"},
        {"", "http://h/a/b?q=/z", "c?d", "DnsLookup h", "Connect 127.0.0.1:80", "GET /a/c?d ",
         "http://h/a/c?d"},
        {"", "http://h/a", "HTTP://u:p@k:90", "DnsLookup k", "Connect 127.0.0.1:90", "GET / ", "http://k/"},
        {"px:3128", "http://h:81/a/b", "/c", "DnsLookup px", "Connect 127.0.0.1:3128", "GET http://h:81/c ",
         "http://h:81/c"},
        {"px:3128", "http://h/a/b", "c", "DnsLookup px", "Connect 127.0.0.1:3128", "GET http://h/a/c ",
         "http://h/a/c"},
        {"px:3128", "http://h/a", "http://k:90/x", "DnsLookup px", "Connect 127.0.0.1:3128",
         "GET http://k:90/x ", "http://k:90/x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.proxy) + " " + c.url + " -> " + c.location);
        THttpBench b;
        b.Cli->Proxy = c.proxy;
        b.Start(c.url);
        b.TakeSent();
        b.Sock->Calls.clear();
        b.Serve("HTTP/1.0 301 Moved\r\nLocation: " + std::string(c.location) + "\r\n\r\n");
        b.Accept();
        ASSERT_GE(b.Sock->Calls.size(), 4u);
        EXPECT_EQ(b.Sock->Calls.at(2), c.lookup);
        EXPECT_EQ(b.Sock->Calls.at(3), c.connect);
        EXPECT_EQ(b.TakeSent().substr(0, std::string(c.requestLine).size()), c.requestLine);
        EXPECT_EQ(b.Cli->Location, c.newLocation);
    }
    THttpBench b;
    b.Cli->FollowRelocation = false;
    b.Start("http://h/a");
    b.Serve("HTTP/1.0 301 Moved\r\nLocation: /c\r\n\r\n", {}, true);
    EXPECT_EQ(b.Outcome(), "301|Moved||0|ready|HB HE Done0 ");
    EXPECT_EQ(b.Cli->Location, "http://h/a");
}

TEST(HttpCliRelocationTest, EndlessRedirectsFail) {
    THttpBench b;
    b.Start("http://h/0");
    for (int i = 0; i <= THttpCli::MaxRelocations && b.Cli->State() != hsReady; ++i) {
        b.Serve("HTTP/1.0 302 Found\r\nLocation: /" + std::to_string(i + 1) +
                "\r\nContent-Length: 1\r\n\r\nx");
        b.Accept();
    }
    EXPECT_EQ(b.Cli->State(), hsReady);
    EXPECT_EQ(b.Cli->StatusCode, 404);
    EXPECT_EQ(b.Cli->ReasonPhrase, "More than 10 relocations");
    EXPECT_EQ(b.Rcvd.DataString(), "x");
}

TEST(HttpCliControlTest, AbortWhenIdleCompletesAtOnce) {
    THttpBench b;
    b.Cli->Abort();
    EXPECT_EQ(b.Log, "Done0 ");
    EXPECT_EQ(b.Cli->StatusCode, 200);
}

TEST(HttpCliControlTest, HeadAndCloseRequests) {
    THttpBench b;
    b.Start("http://h/", httpHEAD);
    b.Serve("HTTP/1.0 200 OK\r\nContent-Length: 99\r\n\r\n", {}, true);
    EXPECT_EQ(b.Outcome(), "200|OK||0|ready|HB HE Done0 ");
    b.Log.clear();
    b.Cli->SetRequestVer("1.1");
    b.Start("http://h/");
    b.Serve("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    b.Cli->RequestAsync(httpCLOSE);
    EXPECT_EQ(b.Cli->State(), hsClosing);
    b.Run();
    EXPECT_EQ(b.Cli->State(), hsReady);
    EXPECT_EQ(b.Sock->State(), wsClosed);
}

TEST(HttpCliControlTest, PostSendsTheWholeStreamThroughShortSends) {
    THttpBench b;
    std::string payload(20000, 'p');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>('a' + i % 26);
    TMemoryStream post;
    post.WriteString(payload);
    post.SetPosition(0);
    b.Cli->SendStream = &post;
    b.Sock->LimitSends(1000, 3000);
    b.Cli->URL = "http://h/up";
    b.Cli->RequestAsync(httpPUT);
    b.Accept();
    for (int i = 0; i < 100 && b.Cli->SentCount < 20000; ++i) {
        b.Sock->PeerReads();
        b.Run();
    }
    b.Sock->PeerReads();
    b.Run();
    const std::string sent = b.TakeSent();
    EXPECT_EQ(sent.substr(sent.find("\r\n\r\n") + 4), payload);
    EXPECT_NE(sent.find("Content-Length: 20000\r\n"), std::string::npos);
}

TEST(HttpCliControlTest, LimitsEndARequest) {
    struct Case {
        const char* name;
        std::function<void(THttpCli&)> set;
        std::function<void(THttpBench&)> play;
        std::string outcome;
    };
    const Case cases[] = {
        {"stall", [](THttpCli& c) { c.IdleTimeout = 5000; },
         [](THttpBench& b) {
             b.Serve("HTTP/1.0 200 OK\r\n");
             b.Now += 4999;
             b.Cli->CheckLimits();
             EXPECT_NE(b.Cli->State(), hsReady);
             b.Now += 1;
             b.Cli->CheckLimits();
         },
         "404|No data for 5000 ms||0|ready|HB HE Done3 "},
        {"trickle",
         [](THttpCli& c) {
             c.IdleTimeout = 5000;
             c.RequestTimeout = 20000;
         },
         [](THttpBench& b) {
             const std::string r = "HTTP/1.0 200 OK\r\n\r\nabcdefghij";
             for (char ch : r) {
                 if (b.Cli->State() == hsReady) break;
                 b.Serve(std::string(1, ch));
                 b.Now += 1000;
                 b.Cli->CheckLimits();
             }
         },
         "404|Request not done within 20000 ms|a|1|ready|HB HE DB DE Done3 "},
        {"body cap", [](THttpCli& c) { c.MaxBodySize = 4; },
         [](THttpBench& b) { b.Serve("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\n123456"); },
         "404|Document larger than 4 bytes|1234|4|ready|HB HE DB DE Done3 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        THttpBench b;
        c.set(*b.Cli);
        b.Start("http://h/");
        c.play(b);
        b.Run();
        EXPECT_EQ(b.Outcome(), c.outcome);
    }
    // Off by default.
    THttpBench b;
    b.Start("http://h/");
    b.Now += 1000000000;
    b.Cli->CheckLimits();
    EXPECT_EQ(b.Cli->State(), hsWaitingHeader);
}

TEST(HttpCliControlTest, GetRaisesForFailedStatusOnly) {
    const std::pair<const char*, int> cases[] = {
        {"404 Not Found", 404}, {"401 Unauthorized", 0}, {"200 OK", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        THttpBench b;
        int steps = 0;
        SetHttpWaitStep([&](const std::function<bool()>&) {
            // The network answers as the wait runs the message loop.
            if (steps++ == 0) {
                b.Accept();
                b.Serve(std::string("HTTP/1.0 ") + c.first + "\r\nContent-Length: 0\r\n\r\n", {}, true);
            }
            return steps < 10;
        });
        b.Cli->URL = "http://h/";
        int code = 0;
        std::string msg;
        try {
            b.Cli->Get();
        } catch (const EHttpException& e) {
            code = e.ErrorCode;
            msg = e.what();
        }
        SetHttpWaitStep(nullptr);
        EXPECT_EQ(code, c.second);
        EXPECT_EQ(msg, code ? "Not Found" : "");
        EXPECT_EQ(b.Cli->State(), hsReady);
    }
}
