// The receiving side of the HTTP client: splitting header lines in the receive buffer,
// reading the status and fields, bodies by length, by close and chunked, following Location
// headers, and ending a request when the document is complete or the connection closes.
#include <algorithm>
#include <cstring>

#include "base/StrUtils.h"
#include "http/HttpCli.h"
#include "http/Url.h"

namespace {

// A decimal number of digits only; -1 for anything else or when it overflows.
int64_t ParseLength(const std::string& S) {
    if (S.empty() || S.size() > 18) return -1;
    int64_t v = 0;
    for (char c : S) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void THttpCli::DropReceived(int Count) {
    FRcvdCnt -= Count;
    if (FRcvdCnt > 0) std::memmove(FRcvdBuf, FRcvdBuf + Count, FRcvdCnt);
    FRcvdBuf[FRcvdCnt] = 0;
}

void THttpCli::DataAvailable(uint16_t Error) {
    if (FState == hsWaitingBody && FLineHandler == lhBody && FRcvdCnt == 0 && RequestType != httpHEAD) {
        // Body bytes need no line splitting: they are read in large pieces straight into
        // the body, which keeps the reads per megabyte few.
        if (FBodyBuf.empty()) FBodyBuf.resize(BodyReadSize);
        const int n = FSocket->Receive(FBodyBuf.data(), BodyReadSize);
        if (n <= 0) return;
        Touch();
        FeedBody(FBodyBuf.data(), n);
        return;
    }
    if (FRcvdCnt >= RcvBufUsable) {
        // A line longer than the buffer: it is dropped up to its line feed, so that the
        // buffer never overflows and the socket is always read.
        FRcvdCnt = 0;
        FSkipLine = true;
    }
    const int n = FSocket->Receive(FRcvdBuf + FRcvdCnt, RcvBufUsable - FRcvdCnt);
    if (RequestType == httpABORT || n <= 0) return;
    FRcvdCnt += n;
    FRcvdBuf[FRcvdCnt] = 0;
    Touch();
    ProcessReceived(Error);
}

void THttpCli::ProcessReceived(uint16_t Error) {
    if (FState == hsWaitingBody) {
        if (RequestType == httpHEAD) {
            FRcvdCnt = 0;
            FSocket->Abort();
            return;
        }
        FeedBody();
        return;
    }
    auto alive = FAlive;
    const unsigned run = FRun;
    while (FRcvdCnt > 0 && *alive && FRun == run && FState != hsWaitingBody) {
        const char* lf = static_cast<const char*>(std::memchr(FRcvdBuf, '\n', FRcvdCnt));
        if (lf == nullptr) break;
        const int len = static_cast<int>(lf - FRcvdBuf);
        std::string line(FRcvdBuf, len > 0 && FRcvdBuf[len - 1] == '\r' ? len - 1 : len);
        DropReceived(len + 1);
        if (FSkipLine) {
            FSkipLine = false;
            continue;
        }
        if (FState == hsWaitingHeader) {
            if (FLineHandler == lhHeader)
                HeaderLine(line);
            else
                PostReady();
        } else {
            Raise(OnDataPush, this, Error);
        }
    }
}

void THttpCli::FeedBody() { FeedBody(FRcvdBuf, FRcvdCnt); }

void THttpCli::FeedBody(const char* Data, int Len) {
    auto alive = FAlive;
    const unsigned run = FRun;
    const bool inBody = FLineHandler == lhBody;
    const bool fromBuffer = Data == FRcvdBuf;
    int at = 0;
    while (at < Len && FLineHandler == lhBody && *alive && FRun == run) {
        int n = Len - at;
        if (ContentLength >= 0) n = static_cast<int>(std::min<int64_t>(n, ContentLength - RcvdCount));
        const int used = BodyData(Data + at, n);
        if (!*alive || FRun != run) return;
        at += used;
        if (used == 0) break;
    }
    if (fromBuffer) {
        DropReceived(at);
    } else if (at < Len) {
        // What the body did not take waits in the receive buffer like any other bytes.
        const int keep = std::min(Len - at, RcvBufUsable);
        std::memcpy(FRcvdBuf, Data + at, keep);
        FRcvdCnt = keep;
        FRcvdBuf[FRcvdCnt] = 0;
    }
    if (!*alive || FRun != run || !inBody || FLineHandler != lhNone) return;
    if (FRcvdCnt > 0) {
        // More than the response announced: the connection is out of step, so it is not
        // used for another request.
        FRcvdCnt = 0;
        FCloseFlag = true;
        FSocket->CloseLater();
    }
    FinishDocument();
}

void THttpCli::FinishDocument() {
    if (FLocationChangePending)
        StartRelocation();
    else
        PostReady();
}

void THttpCli::HeaderLine(const std::string& Line) {
    if (FHeaderLineCount == 0) {
        FInHeader = true;
        Raise(OnHeaderBegin, this);
    } else if (FHeaderLineCount == -1) {
        FHeaderLineCount = 0;
    }
    ++FHeaderLineCount;

    if (FHeaderLineCount == 1 && UpperCase(Line.substr(0, 6)) == "<HTML>") {
        // No header at all: the document starts right away.
        if (ContentType.empty()) ContentType = "text/html";
        FHeaderDone = true;
        SetState(hsWaitingBody);
        FLineHandler = lhBody;
        FInHeader = false;
        Raise(OnHeaderEnd, this);
        auto alive = FAlive;
        const unsigned run = FRun;
        int used = 0;
        while (*alive && FRun == run && FLineHandler == lhBody && used < static_cast<int>(Line.size()))
            used += BodyData(Line.data() + used, static_cast<int>(Line.size()) - used);
        if (*alive && FRun == run) FeedBody();
        return;
    }
    if (Line.empty()) {
        EndOfHeader();
        return;
    }
    RcvdHeader.Add(Line);
    if (FHeaderLineCount == 1) {
        if (Line.compare(0, 8, "HTTP/1.0") == 0 || Line.compare(0, 8, "HTTP/1.1") == 0) {
            FResponseVer = Line.substr(5, 3);
            const std::string code = Line.size() > 9 ? Line.substr(9, 3) : std::string();
            // A code that is not three digits counts as 0.
            const int64_t v = code.size() == 3 ? ParseLength(code) : -1;
            StatusCode = v < 0 ? 0 : static_cast<int>(v);
            ReasonPhrase = Line.size() > 13 ? Line.substr(13) : std::string();
        } else {
            Raise(OnDataPush2, this);
        }
    } else {
        const size_t colon = Line.find(':');
        if (colon != std::string::npos) {
            size_t v = colon + 1;
            while (v < Line.size() && Line[v] == ' ')
                ++v;
            HeaderField(LowerCase(Line.substr(0, colon)), Line.substr(v));
        }
    }
    Raise(OnHeaderData, this);
}

void THttpCli::HeaderField(const std::string& Name, const std::string& Value) {
    if (Name == "location") {
        LocationHeader(Value);
    } else if (Name == "content-length") {
        ContentLength = ParseLength(Trim(Value));
    } else if (Name == "transfer-encoding") {
        TransferEncoding = Value;
    } else if (Name == "content-range") {
        const size_t dash = Value.find('-'), slash = Value.find('/');
        ContentRangeBegin =
            Value.size() > 6 && dash != std::string::npos && dash >= 6 ? Value.substr(6, dash - 6) : "";
        ContentRangeEnd = dash != std::string::npos && slash != std::string::npos && slash > dash
                              ? Value.substr(dash + 1, slash - dash - 1)
                              : "";
    } else if (Name == "accept-ranges") {
        FAcceptRanges = Value;
    } else if (Name == "content-type") {
        ContentType = LowerCase(Value);
    } else if (Name == "www-authenticate" || Name == "proxy-authenticate") {
        FAuthChallenges.Add(Value);
    } else if (Name == "set-cookie") {
        bool accept = true;
        Raise(OnCookie, this, Value, accept);
    } else if (Name == "connection" || Name == "proxy-connection") {
        const std::string v = LowerCase(Trim(Value));
        if (v == "close")
            FCloseFlag = true;
        else if (v == "keep-alive")
            FCloseFlag = false;
    }
}

void THttpCli::EndOfHeader() {
    // Interim answers (100 Continue and the like) are followed by the real one; 101 would
    // switch protocols, which is never asked for.
    if (StatusCode >= 100 && StatusCode < 200 && StatusCode != 101) {
        RcvdHeader.Clear();
        FHeaderLineCount = -1;
        return;
    }
    FHeaderDone = true;
    FInHeader = false;
    Raise(OnHeaderEnd, this);

    // A redirect without a length has no body, unless it is sent in chunks: those must be
    // read, or they would be taken for the next response on the same connection.
    const bool chunked = TransferEncoding == "chunked";
    const bool noBody = (ContentLength == -1 && (StatusCode < 200 || StatusCode == 204 || StatusCode == 304 ||
                                                 ((StatusCode == 301 || StatusCode == 302) && !chunked))) ||
                        ContentLength == 0 || RequestType == httpHEAD;
    if (noBody) {
        if (FLocationChangePending) {
            StartRelocation();
        } else if (FCloseFlag) {
            if (RequestType == httpHEAD) {
                FRcvdCnt = 0;
                SetState(hsWaitingBody);
                FLineHandler = lhNone;
            }
            FSocket->CloseLater();
        } else {
            PostReady();
        }
        return;
    }
    const size_t dot = DocName.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : LowerCase(DocName.substr(dot));
    if ((ext == ".exe" || ext.empty()) && ContentType == "text/html")
        DocName = dot == std::string::npos ? DocName + ".htm" : DocName.substr(0, dot + 1) + "htm";
    SetState(hsWaitingBody);
    FLineHandler = lhBody;
    FeedBody();
}

int THttpCli::BodyData(const char* Data, int Len) {
    if (FBodyCallCount == 0) {
        FChunkSize = FChunkRcvd = 0;
        FChunkPhase = cpSize;
        Raise(OnDocBegin, this);
    }
    ++FBodyCallCount;
    const unsigned run = FRun;
    if (TransferEncoding != "chunked") {
        if (!WriteBody(Data, Len)) return Len;
        if (ContentLength >= 0 && RcvdCount >= ContentLength) DocComplete();
        return Len;
    }
    int at = 0;
    while (at < Len && FChunkPhase != cpDone && FRun == run) {
        const char c = Data[at];
        switch (FChunkPhase) {
        case cpSize: {
            const int d = HexDigit(c);
            if (d < 0) {
                FChunkPhase = cpSizeLine;
                break;
            }
            if (FChunkSize > (INT64_MAX >> 8)) {
                Fail("Bad chunk size in the response");
                return Len;
            }
            FChunkSize = FChunkSize * 16 + d;
            ++at;
            break;
        }
        case cpSizeLine:
            ++at;
            if (c == '\n') FChunkPhase = cpData;
            break;
        case cpData: {
            const int n = static_cast<int>(std::min<int64_t>(Len - at, FChunkSize - FChunkRcvd));
            if (!WriteBody(Data + at, n)) return Len;
            FChunkRcvd += n;
            at += n;
            if (FChunkRcvd == FChunkSize) FChunkPhase = cpDataEnd;
            break;
        }
        case cpDataEnd:
            ++at;
            if (c == '\n' && FChunkSize == 0) {
                FChunkPhase = cpDone;
            } else if (c == '\n') {
                FChunkPhase = cpSize;
                FChunkSize = FChunkRcvd = 0;
            }
            break;
        case cpDone:
            break;
        }
    }
    if (FChunkPhase == cpDone && FRun == run) DocComplete();
    return at;
}

bool THttpCli::WriteBody(const char* Data, int Len) {
    const unsigned run = FRun;
    bool tooBig = false;
    if (MaxBodySize > 0 && RcvdCount + Len > MaxBodySize) {
        Len = static_cast<int>(MaxBodySize - RcvdCount);
        tooBig = true;
    }
    if (Len > 0) {
        RcvdCount += Len;
        if (RcvdStream) RcvdStream->WriteBuffer(Data, Len);
        Raise(OnDocData, this, Data, Len);
    }
    if (tooBig && FRun == run) Fail("Document larger than " + IntToStr(MaxBodySize) + " bytes");
    return FRun == run;
}

void THttpCli::DocComplete() {
    FBodyCallCount = 0;
    FLineHandler = lhNone;
    SetState(hsBodyReceived);
    Raise(OnDocEnd, this);
    if (FCloseFlag) FSocket->CloseLater();
}

void THttpCli::LocationHeader(const std::string& Value) {
    if (RequestType == httpPUT) {
        Location = Value;
        return;
    }
    if (!FollowRelocation) return;
    FLocationChangePending = true;
    const bool absolute = Value.size() >= 7 && SameText(Value.substr(0, 7), "http://");
    if (!Proxy.empty()) {
        // The proxy needs the port of the document in the request URI.
        if (!Value.empty() && Value[0] == '/') {
            const TUrlParts cur = ParseURL(FRequestUri);
            Location = (cur.Proto.empty() ? std::string("http") : cur.Proto) + "://" + cur.Host +
                       (cur.Port.empty() ? std::string() : ":" + cur.Port) + Value;
            FRequestUri = Location;
            if (!cur.User.empty() && !cur.Pass.empty()) {
                Username = cur.User;
                Password = cur.Pass;
            }
        } else if (!absolute) {
            FRequestUri = UrlBase(FRequestUri) + Value;
            Location = FRequestUri;
        } else {
            const TUrlParts to = ParseURL(Value);
            FTargetPort = to.Port.empty() ? "80" : to.Port;
            if (!to.User.empty() && !to.Pass.empty()) {
                Username = to.User;
                Password = to.Pass;
            }
            if (!to.Host.empty()) {
                FTargetHost = to.Host;
                Location =
                    to.Proto + "://" + to.Host + (to.Port.empty() ? std::string() : ":" + to.Port) + to.Path;
                FRequestUri = Location;
            }
        }
        return;
    }
    if (!Value.empty() && Value[0] == '/') {
        FRequestUri = Value;
        Location = "http://" + FConnectHost + Value;
    } else if (!absolute) {
        FRequestUri = UrlBase(FRequestUri) + Value;
        Location = "http://" + FConnectHost + FRequestUri;
    } else {
        const TUrlParts to = ParseURL(Value);
        FScheme = to.Proto;
        if (!to.User.empty() && !to.Pass.empty()) {
            Username = to.User;
            Password = to.Pass;
        }
        if (!to.Host.empty()) {
            FConnectHost = FTargetHost = to.Host;
            FConnectPort = to.Port.empty() ? "80" : to.Port;
            FRequestUri = to.Path.empty() ? "/" : to.Path;
            Location = to.Proto + "://" + to.Host + FRequestUri;
        }
    }
}

void THttpCli::StartRelocation() {
    if (FRelocations >= MaxRelocations) {
        Fail("More than " + IntToStr(MaxRelocations) + " relocations");
        return;
    }
    ++FRelocations;
    // The new place may ask for credentials of its own.
    FAuthRetries = 0;
    CutBack(RcvdStream, RcvdCount);
    RcvdCount = 0;
    FRcvdCnt = 0;
    FSkipLine = false;
    FHeaderLineCount = 0;
    FBodyCallCount = 0;
    if (FConnectHost != FConnHost || FConnectPort != FConnPort || FScheme != FConnScheme || FCloseFlag) {
        if (FSocket->State() == wsClosed) {
            RelocationClosed();
            return;
        }
        FSocket->OnSessionClosed = [this](TObject*, uint16_t e) {
            if (e != 0) RequestError = e;
            RelocationClosed();
        };
        FSocket->CloseLater();
        return;
    }
    Raise(OnLocationChange, this);
    const std::string location = Location;
    ResetResponse();
    Location = location;
    DocName = DocNameOf(FRequestUri);
    if (RequestType == httpPOST) RequestType = httpGET;
    Post([this] { ConnectStep(); });
}

void THttpCli::RelocationClosed() {
    Location = Location.substr(0, Location.find('#'));
    DocName = DocNameOf(ParseURL(Location).Path);
    FConnected = false;
    FTunnelEstablished = false;
    FLocationChangePending = false;
    if (RequestType == httpPOST) RequestType = httpGET;
    FSocket->OnSessionClosed = [this](TObject*, uint16_t e) { SessionClosed(e); };
    Raise(OnLocationChange, this);
    RcvdHeader.Clear();
    FHeaderLineCount = 0;
    FBodyCallCount = 0;
    ContentLength = -1;
    ContentType.clear();
    StatusCode = 0;
    TransferEncoding.clear();
    FCloseFlag = FRequestVer == "1.0";
    FInHeader = false;
    FHeaderDone = false;
    FRcvdCnt = 0;
    FSkipLine = false;
    if (!Proxy.empty()) FConnectPort = FProxyConnectPort;
    CutBack(RcvdStream, RcvdCount);
    RcvdCount = 0;
    if (SendStream && SentCount > 0) SendStream->Seek(-SentCount, soCurrent);
    SentCount = 0;
    Post([this] { ConnectStep(); });
}

void THttpCli::SessionClosed(uint16_t Error) {
    if (Error != 0) RequestError = Error;
    FConnected = false;
    FTunnelEstablished = false;
    const bool busy = FState != hsReady && FState != hsAborting && FState != hsClosing;
    std::string broken;
    if (FInHeader) {
        FInHeader = false;
        Raise(OnHeaderEnd, this);
        if (FLocationChangePending) {
            RelocationClosed();
            return;
        }
        broken = "Connection closed inside the response header";
    } else {
        if (FBodyCallCount > 0) Raise(OnDocEnd, this);
        if (FLocationChangePending) {
            RelocationClosed();
            return;
        }
        if (FState == hsWaitingHeader && !FHeaderDone)
            broken = "Connection closed before the response header";
        else if (FState == hsWaitingBody && RequestType != httpHEAD && TransferEncoding == "chunked")
            broken = "Connection closed inside a chunked body";
        else if (FState == hsWaitingBody && RequestType != httpHEAD && ContentLength >= 0 &&
                 RcvdCount < ContentLength)
            broken = "Connection closed before the end of the body";
    }
    // A response cut short is a failure, never a document.
    if (busy && !broken.empty() && StatusCode != 404) {
        StatusCode = 404;
        ReasonPhrase = broken;
    }
    FLineHandler = lhNone;
    Raise(OnSessionClosed, this);
    if (FState != hsReady) PostReady();
}
