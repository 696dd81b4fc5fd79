// The request side of the HTTP client: starting a request, connecting, composing and
// sending the request header and body, waiting and aborting.
#include "http/HttpCli.h"

#include <chrono>
#include <thread>

#include "base/Dispatcher.h"
#include "base/StrUtils.h"
#include "http/Url.h"

namespace {

THttpWaitStep& WaitStep() {
    static THttpWaitStep step;
    return step;
}

const char* MethodWord(THttpRequest Rq) {
    switch (Rq) {
    case httpPOST:
        return "POST";
    case httpPUT:
        return "PUT";
    case httpHEAD:
        return "HEAD";
    default:
        return "GET";
    }
}

std::string ErrorWithNumber(int Err) { return SocketErrorText(Err) + " (Error #" + IntToStr(Err) + ")"; }

}  // namespace

void SetHttpWaitStep(THttpWaitStep Step) { WaitStep() = std::move(Step); }

THttpCli::THttpCli(TComponent* AOwner, std::unique_ptr<TWSocketBase> Socket)
    : TComponent(AOwner), FSocket(std::move(Socket)), FAlive(std::make_shared<bool>(true)) {
    Clock = [] {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    };
    FRcvdBuf[0] = 0;
    FSocket->OnSessionClosed = [this](TObject*, uint16_t e) { SessionClosed(e); };
    FSocket->OnDataAvailable = [this](TObject*, uint16_t e) { DataAvailable(e); };
    FSocket->OnSessionConnected = [this](TObject*, uint16_t e) { SocketConnected(e); };
    FSocket->OnDataSent = [this](TObject*, uint16_t e) { DataSent(e); };
    FSocket->OnDnsLookupDone = [this](TObject*, uint16_t e) { LookupDone(e); };
    FSocket->OnError = [this](TObject*) { Raise(OnSocketError, this); };
    WireSocks();
}

THttpCli::~THttpCli() {
    *FAlive = false;
    BeginDestroy();
    FSocket.reset();
}

void THttpCli::SetRequestVer(const std::string& Value) {
    if (Value == FRequestVer) return;
    if (Value != "1.0" && Value != "1.1") throw EHttpException("Insupported HTTP version", 5);
    FRequestVer = Value;
}

void THttpCli::SetMultiThreaded(bool Value) {
    FMultiThreaded = Value;
    FSocket->SetMultiThreaded(Value);
}

void THttpCli::SetState(THttpCliState NewState) {
    if (NewState == FState) return;
    FState = NewState;
    Raise(OnStateChange, this);
    if (FState == hsReady && !AuthRetry())
        Post([this] { Raise(OnRequestDone, this, RequestType, static_cast<uint16_t>(RequestError)); });
}

void THttpCli::Post(std::function<void()> Step) {
    std::weak_ptr<bool> alive = FAlive;
    Dispatcher().Post([alive, Step] {
        auto token = alive.lock();
        if (token && *token) Step();
    });
}

void THttpCli::PostReady() {
    Post([this] { SetState(hsReady); });
}

void THttpCli::Touch() { FLastActivity = Clock(); }

void THttpCli::ResetResponse() {
    RcvdHeader.Clear();
    RequestError = 0;
    DocName.clear();
    StatusCode = 0;
    RcvdCount = 0;
    SentCount = 0;
    FHeaderLineCount = 0;
    FBodyCallCount = 0;
    ContentLength = -1;
    ContentType.clear();
    TransferEncoding.clear();
    FSendingBody = false;
    FAuthChallenges.Clear();
    FCloseFlag = FRequestVer == "1.0";
    FInHeader = false;
    FHeaderDone = false;
    FRcvdCnt = 0;
    FSkipLine = false;
    FResponseVer.clear();
}

void THttpCli::RequestAsync(THttpRequest RqType) {
    if (RqType != httpCLOSE && Busy()) throw EHttpException("HTTP component is busy", 1);
    if ((RqType == httpPOST || RqType == httpPUT) &&
        (SendStream == nullptr || SendStream->Position() == SendStream->Size()))
        throw EHttpException("HTTP component has nothing to post or put", 2);
    if (RqType == httpCLOSE) {
        StatusCode = 200;
        ReasonPhrase = "OK";
        SetState(hsClosing);
        if (FSocket->State() == wsClosed)
            PostReady();
        else
            FSocket->CloseLater();
        return;
    }

    ++FRun;
    RequestType = RqType;
    ResetResponse();
    Location = URL;
    FRelocations = 0;
    AuthNewRequest();
    FStartedAt = FLastActivity = Clock();

    const TUrlParts url = ParseURL(URL);
    if (!url.User.empty()) Username = url.User;
    if (!url.Pass.empty()) Password = url.Pass;
    FTargetHost = url.Host;
    FScheme = url.Proto;
    DocName = url.Path;
    if (!Proxy.empty()) {
        FTargetPort = !url.Port.empty() ? url.Port : url.Proto == "https" ? "443" : "80";
        FRequestUri = (url.Proto.empty() ? std::string("http") : url.Proto) + "://" + url.Host +
                      (url.Port.empty() ? std::string() : ":" + url.Port) + url.Path;
        const TUrlParts proxy = ParseURL(Proxy);
        FConnectHost = proxy.Host;
        FConnectPort = proxy.Port.empty() ? ProxyPort : proxy.Port;
        FProxyConnectPort = FConnectPort;
    } else {
        FTargetPort = url.Port.empty() ? "80" : url.Port;
        FRequestUri = url.Path;
        FConnectHost = url.Host;
        FConnectPort = FTargetPort;
    }
    if (FRequestUri.empty()) FRequestUri = "/";
    DocName = DocNameOf(DocName);

    if (FSocket->State() == wsConnected) {
        if (FConnectHost == FConnHost && FConnectPort == FConnPort && FScheme == FConnScheme) {
            SocketConnected(0);
            return;
        }
        FSocket->Abort();
    }
    FTunnelEstablished = false;
    SetState(hsNotConnected);
    ConnectStep();
}

void THttpCli::ConnectStep() {
    FSocket->OnSessionClosed = [this](TObject*, uint16_t e) { SessionClosed(e); };
    if (FSocket->State() == wsConnected) {
        SocketConnected(0);
        return;
    }
    FDnsResult.clear();
    SetState(hsDnsLookup);
    try {
        FSocket->SetLocalAddr(LocalAddr);
        FSocket->DnsLookup(FConnectHost);
    } catch (const std::exception& e) {
        StatusCode = 404;
        ReasonPhrase = e.what();
        FConnected = false;
        SetState(hsReady);
    }
}

void THttpCli::LookupDone(uint16_t Error) {
    Touch();
    if (Error != 0) {
        if (FState != hsAborting) {
            RequestError = Error;
            StatusCode = 404;
            ReasonPhrase = "can't resolve hostname to IP address";
            SessionClosed(Error);
        }
        return;
    }
    FDnsResult = FSocket->DnsResult();
    SetState(hsDnsLookupDone);
    AuthNewConnection();
    FConnHost = FConnectHost;
    FConnPort = FConnectPort;
    FConnScheme = FScheme;
    try {
        FSocket->SetAddr(FDnsResult);
        FSocket->SetLocalAddr(LocalAddr);
        FSocket->SetPort(FConnectPort);
        FSocket->SetProto("tcp");
        WriteSocks();
        FSocket->Connect();
    } catch (const std::exception&) {
        const int err = FSocket->LastError();
        RequestError = err;
        StatusCode = 404;
        ReasonPhrase = "can't connect: " + ErrorWithNumber(err);
        FSocket->Close();
        SessionClosed(static_cast<uint16_t>(err));
    }
}

void THttpCli::SocketConnected(uint16_t Error) {
    Touch();
    if (Error != 0) {
        RequestError = Error;
        StatusCode = 404;
        ReasonPhrase = ErrorWithNumber(Error);
        auto alive = FAlive;
        Raise(OnSessionConnected, this);
        // A connect that failed before it opened anything brings no close event to end the
        // request.
        if (*alive && FSocket->State() == wsClosed) SessionClosed(Error);
        return;
    }
    try {
        FLocationChangePending = false;
        FConnected = true;
        SetState(hsConnected);
        Raise(OnSessionConnected, this);
        FLineHandler = lhHeader;
        if (!Proxy.empty() && FScheme == "https" && !FTunnelEstablished) {
            // No secure transport here: the proxy's answer only reaches OnDataPush.
            SetState(hsWaitingProxyConnect);
            SendCommand("CONNECT " + FTargetHost + ":" + FTargetPort + " HTTP/" + FRequestVer);
            SendCommand("");
            FlushHeader();
            return;
        }
        SetState(hsWaitingHeader);
        SendRequest(MethodWord(RequestType));
        // An NTLM negotiation announces no body and sends none: the body goes with the
        // authenticate message.
        if ((RequestType == httpPOST || RequestType == httpPUT) && !SendingNTLMNegotiate()) {
            Raise(OnSendBegin, this);
            FSendingBody = true;
            SendBodyPiece();
        }
    } catch (const std::exception& e) {
        StatusCode = 404;
        ReasonPhrase = e.what();
        FConnected = false;
        FSocket->Close();
    }
}

void THttpCli::SendCommand(const std::string& Line) {
    std::string s = Line;
    Raise(OnCommand, this, s);
    FHeaderBuf += s;
    FHeaderBuf += "\r\n";
}

void THttpCli::FlushHeader() {
    FSocket->PutDataInSendBuffer(FHeaderBuf.data(), static_cast<int>(FHeaderBuf.size()));
    FHeaderBuf.clear();
    FSocket->Send(nullptr, 0);
}

void THttpCli::SendRequest(const std::string& Method) {
    FHeaderBuf.clear();
    Raise(OnRequestHeaderBegin, this);
    const bool withBody = RequestType == httpPOST || RequestType == httpPUT;
    TStringList lines;
    auto add = [&lines](const char* Name, const std::string& Value) {
        if (!Value.empty()) lines.Add(Name + Value);
    };
    lines.Add(Method + " " + FRequestUri + " HTTP/" + FRequestVer);
    add("From: ", Sender);
    add("Accept: ", Accept);
    add("Referer: ", Reference);
    add("Connection: ", Connection);
    add("Proxy-Connection: ", ProxyConnection);
    add("Accept-Language: ", AcceptLanguage);
    if (withBody) add("Content-Type: ", ContentTypePost);
    add("User-Agent: ", Agent);
    lines.Add("Host: " + FTargetHost);
    if (NoCache) lines.Add("Pragma: no-cache");
    if (withBody)
        lines.Add("Content-Length: " + (SendingNTLMNegotiate()
                                            ? std::string("0")
                                            : IntToStr(SendStream->Size() - SendStream->Position())));
    if (ModifiedSince != 0) lines.Add("If-Modified-Since: " + RFC1123Date(ModifiedSince) + " GMT");
    add("", AuthorizationLine());
    add("Cookie: ", Cookie);
    if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
        lines.Add("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    FAcceptRanges.clear();
    Raise(OnBeforeHeaderSend, this, Method, lines);
    for (const std::string& line : lines.Lines())
        SendCommand(line);
    Raise(OnRequestHeaderEnd, this);
    SendCommand("");
    FlushHeader();
}

void THttpCli::SendBodyPiece() {
    // One byte more than 8 KB, as the send buffer has always held.
    char buf[8193];
    const int n = SendStream ? SendStream->Read(buf, sizeof buf) : 0;
    if (n > 0) {
        SentCount += n;
        Raise(OnSendData, this, static_cast<const char*>(buf), n);
        FSocket->Send(buf, n);
    } else {
        FSendingBody = false;
        Raise(OnSendEnd, this);
    }
}

void THttpCli::DataSent(uint16_t) {
    Touch();
    if (FSendingBody) SendBodyPiece();
}

void THttpCli::CutBack(TStream* Stream, int64_t Bytes) {
    if (Stream == nullptr || Bytes == 0) return;
    const int64_t size = Stream->Size();
    const int64_t keep = Bytes < size ? size - Bytes : 0;
    Stream->SetSize(keep);
    Stream->Seek(keep, soBeginning);
}

void THttpCli::RequestSync(THttpRequest RqType) {
    RequestAsync(RqType);
    auto alive = FAlive;
    while (*alive && Busy()) {
        if (FMultiThreaded) {
            FSocket->MessagePump();
            std::this_thread::yield();
        } else {
            if (!WaitStep())
                throw EHttpException("No message wait is installed for a synchronous request", 0);
            if (!WaitStep()([this] { return !Busy(); })) {
                Abort();
                break;
            }
        }
        if (*alive) CheckLimits();
    }
    if (*alive && StatusCode >= 400 && StatusCode != 401 && StatusCode != 407)
        throw EHttpException(ReasonPhrase, StatusCode);
}

void THttpCli::Abort() {
    if (FState == hsReady) {
        // A retry about to start is called off with the request.
        FAuthRetryPending = false;
        FState = hsAborting;
        if (FSocket->State() != wsClosed) FSocket->Abort();
        StatusCode = 200;
        ReasonPhrase = "OK";
        RequestError = 0;
        FState = hsReady;
        Raise(OnStateChange, this);
        Raise(OnRequestDone, this, RequestType, static_cast<uint16_t>(RequestError));
        return;
    }
    Fail("Connection aborted on request");
}

void THttpCli::Fail(const std::string& Phrase) {
    ++FRun;
    const bool lookup = FSocket->DnsLookupRunning();
    SetState(hsAborting);
    if (lookup) {
        try {
            FSocket->CancelDnsLookup();
        } catch (const std::exception&) {
        }
    }
    StatusCode = 404;
    ReasonPhrase = Phrase;
    RequestError = 3;
    FRcvdCnt = 0;
    FLineHandler = lhNone;
    FSendingBody = false;
    FLocationChangePending = false;
    FSocket->OnSessionClosed = [this](TObject*, uint16_t e) { SessionClosed(e); };
    if (lookup)
        SessionClosed(0);
    else
        FSocket->Close();
    SetState(hsReady);
}

void THttpCli::CheckLimits() {
    if (FState == hsReady || FState == hsAborting) return;
    const int64_t now = Clock();
    if (RequestTimeout > 0 && now - FStartedAt >= RequestTimeout)
        Fail("Request not done within " + IntToStr(RequestTimeout) + " ms");
    else if (IdleTimeout > 0 && now - FLastActivity >= IdleTimeout)
        Fail("No data for " + IntToStr(IdleTimeout) + " ms");
}
