#pragma once
// A client over the scripted socket, sharing one message queue with it, and the steps a test
// plays as the network. Shared by the client's native tests and its fuzz target.
#include <memory>
#include <string>
#include <vector>

#include "base/Dispatcher.h"
#include "base/Streams.h"
#include "http/HttpCli.h"
#include "tests/http/FakeWSocket.h"

class THttpBench {
public:
    THttpBench() {
        SetDispatcher(&Queue);
        auto s = std::make_unique<TFakeWSocket>(nullptr, &Queue);
        Sock = s.get();
        Cli = std::make_unique<THttpCli>(nullptr, std::move(s));
        Cli->RcvdStream = &Rcvd;
        Cli->Clock = [this] { return Now; };
        Cli->OnHeaderBegin = [this](TObject*) { Log += "HB "; };
        Cli->OnHeaderEnd = [this](TObject*) { Log += "HE "; };
        Cli->OnDocBegin = [this](TObject*) { Log += "DB "; };
        Cli->OnDocEnd = [this](TObject*) { Log += "DE "; };
        Cli->OnLocationChange = [this](TObject*) { Log += "LC "; };
        Cli->OnRequestDone = [this](TObject*, THttpRequest, uint16_t e) {
            Log += "Done" + std::to_string(e) + " ";
        };
    }
    ~THttpBench() {
        Cli.reset();
        Queue.Clear();
        SetDispatcher(nullptr);
    }

    // Starts a request and lets it connect.
    void Start(const std::string& Url, THttpRequest Rq = httpGET) {
        Cli->URL = Url;
        Cli->RequestAsync(Rq);
        Run();
        Accept();
    }
    // The network answers the lookup and accepts the connection, when one is asked for.
    void Accept() {
        if (Sock->LookupRunning()) Sock->CompleteDnsLookup(0);
        if (Sock->State() == wsConnecting) Sock->CompleteConnect(0);
        Run();
    }
    // Bytes arrive in pieces cut at Cuts (ascending offsets), then the peer closes if asked.
    void Serve(const std::string& Response, const std::vector<size_t>& Cuts = {}, bool Close = false) {
        size_t at = 0;
        for (size_t cut : Cuts) {
            if (cut <= at || cut >= Response.size()) continue;
            Sock->Deliver(Response.substr(at, cut - at));
            at = cut;
        }
        Sock->Deliver(Response.substr(at));
        if (Close && Sock->State() == wsConnected) Sock->PeerClose(0);
        Run();
    }
    void Run() { Sock->RunPosted(); }
    // What a request came to: status, reason, body, count and the events, in one line.
    std::string Outcome() const {
        return std::to_string(Cli->StatusCode) + "|" + Cli->ReasonPhrase + "|" + Rcvd.DataString() + "|" +
               std::to_string(Cli->RcvdCount) + "|" + (Cli->State() == hsReady ? "ready" : "busy") + "|" +
               Log;
    }
    // The request lines sent since the last call.
    std::string TakeSent() {
        std::string s = Sock->Sent;
        Sock->Sent.clear();
        return s;
    }

    TQueueDispatcher Queue;
    TFakeWSocket* Sock = nullptr;
    std::unique_ptr<THttpCli> Cli;
    TMemoryStream Rcvd;
    std::string Log;
    int64_t Now = 0;
};
