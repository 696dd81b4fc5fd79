#pragma once
// The HTTP client: fetches one document at a time over HTTP/1.0 or 1.1, directly or through
// an HTTP proxy, over one connection socket. Every step runs in a socket event or in a step
// posted through the dispatcher, and the component keeps its state between the steps;
// RequestSync starts the same machinery and waits for it. It talks to its socket only
// through TWSocketBase, so natively it runs over the scripted double.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Exception.h"
#include "base/Streams.h"
#include "base/Strings.h"
#include "http/NtlmMsgs.h"
#include "http/WSocket.h"

class EHttpException : public Exception {
public:
    EHttpException(const std::string& Msg, int Code) : Exception(Msg), ErrorCode(Code) {}
    int ErrorCode;
};

enum THttpRequest { httpABORT, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };
enum THttpCliOption : unsigned { httpoNoBasicAuth = 1u << 0, httpoNoNTLMAuth = 1u << 1 };
using THttpCliOptions = unsigned;
enum THttpCliState {
    hsReady,
    hsNotConnected,
    hsConnected,
    hsDnsLookup,
    hsDnsLookupDone,
    hsWaitingHeader,
    hsWaitingBody,
    hsBodyReceived,
    hsWaitingProxyConnect,
    hsClosing,
    hsAborting
};

// The responses of the NTLM authenticate message: version 1, version 2, or version 2 when
// the challenge carries target information and version 1 otherwise.
enum THttpNTLMVersion { httpNTLMv1, httpNTLMv2, httpNTLMv2WithTargetInfo };

using TDocDataEvent = std::function<void(TObject* Sender, const char* Buffer, int Len)>;
using THttpCommandEvent = std::function<void(TObject* Sender, std::string& S)>;
using TCookieRcvdEvent = std::function<void(TObject* Sender, const std::string& Data, bool& Accept)>;
using THttpRequestDone = std::function<void(TObject* Sender, THttpRequest RqType, uint16_t ErrCode)>;
using TBeforeHeaderSendEvent =
    std::function<void(TObject* Sender, const std::string& Method, TStringList& Headers)>;
using THttpDataPushEvent = std::function<void(TObject* Sender, uint16_t ErrCode)>;

// What RequestSync waits with: lets the GUI thread's messages run until Done() holds or
// about a second passed; false once the program is ending. The platform installs it (on
// Windows, the one message pump, asleep between messages); natively the tests install one
// that plays the network.
using THttpWaitStep = std::function<bool(const std::function<bool()>& Done)>;
void SetHttpWaitStep(THttpWaitStep Step);

class THttpCli : public TComponent {
public:
    // Socket: the connection socket, owned from now on; never in line mode.
    THttpCli(TComponent* AOwner, std::unique_ptr<TWSocketBase> Socket);
    ~THttpCli() override;

    // ---- properties ----
    std::string URL;
    std::string LocalAddr = "0.0.0.0";
    std::string Proxy;
    std::string ProxyPort = "80";
    std::string Sender;
    std::string Agent = "Mozilla/4.0 (compatible; Pelorin HTTP client)";
    std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    std::string AcceptLanguage;
    std::string Reference;
    std::string Connection;
    std::string ProxyConnection;
    std::string Username, Password;
    std::string ProxyUsername, ProxyPassword;
    bool NoCache = false;
    // Days since 30 December 1899, the fraction being the time of day; 0 = not sent.
    double ModifiedSince = 0;
    std::string Cookie;
    std::string ContentTypePost = "application/x-www-form-urlencoded";
    std::string ContentRangeBegin, ContentRangeEnd;
    bool FollowRelocation = true;
    THttpCliOptions Options = 0;
    THttpNTLMVersion NTLMVersion = httpNTLMv1;
    // The local host name that the NTLM authenticate message gives as workstation; the
    // platform installs it. Unset, or when it throws, the name is empty.
    std::function<std::string()> WorkstationName;
    const std::string& AcceptRanges() const { return FAcceptRanges; }
    const std::string& RequestVer() const { return FRequestVer; }
    void SetRequestVer(const std::string& Value);
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value);
    // SOCKS (HttpCliSocks.cpp): the socket's settings, which it forgets at every close; the
    // client writes them again before each connection.
    const std::string& SocksServer() const { return FSocks.Server; }
    void SetSocksServer(const std::string& Value);
    const std::string& SocksPort() const { return FSocks.Port; }
    void SetSocksPort(const std::string& Value);
    const std::string& SocksLevel() const { return FSocks.Level; }
    void SetSocksLevel(const std::string& Value);
    const std::string& SocksUsercode() const { return FSocks.Usercode; }
    void SetSocksUsercode(const std::string& Value);
    const std::string& SocksPassword() const { return FSocks.Password; }
    void SetSocksPassword(const std::string& Value);
    TSocksAuthentication SocksAuthentication() const { return FSocks.Authentication; }
    void SetSocksAuthentication(TSocksAuthentication Value);
    TSocketErrorEvent OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

    // Limits that keep a request from running forever; 0 switches each off.
    // Milliseconds without a byte received or sent before the request is given up.
    int IdleTimeout = 0;
    // Milliseconds a whole request (its relocations included) may take.
    int RequestTimeout = 0;
    // Body bytes a response may bring; the rest is cut off and the request fails.
    int64_t MaxBodySize = 0;
    // Relocations followed in one request before it fails.
    static constexpr int MaxRelocations = 10;
    // Authentication retries one response chain may take (a Basic attempt is one, an NTLM
    // handshake two): a peer that keeps asking ends the request with its 401 or 407.
    static constexpr int MaxAuthRetries = 6;
    // Milliseconds of a monotonic clock; replaceable so that tests can move time.
    std::function<int64_t()> Clock;

    // ---- run-time state ----
    TStream* RcvdStream = nullptr;
    TStream* SendStream = nullptr;
    int StatusCode = 0;
    std::string ReasonPhrase;
    int64_t ContentLength = -1;
    std::string ContentType;
    std::string TransferEncoding;
    std::string Location;
    TStringList RcvdHeader;
    int64_t RcvdCount = 0;
    int64_t SentCount = 0;
    std::string DocName;
    THttpRequest RequestType = httpABORT;
    int RequestError = 0;
    THttpCliState State() const { return FState; }
    // True from the start of a request until it has ended: between the attempts of an
    // authentication retry too, while State is hsReady.
    bool Busy() const { return FState != hsReady || FAuthRetryPending; }
    TWSocketBase& Socket() { return *FSocket; }

    // ---- operations ----
    void Get() { RequestSync(httpGET); }
    virtual void RequestAsync(THttpRequest RqType);
    // Raises EHttpException(ReasonPhrase, StatusCode) for a final status of 400 or more
    // other than 401 and 407.
    virtual void RequestSync(THttpRequest RqType);
    void Abort();
    // Ends a request that broke a time limit; RequestSync's wait calls it, and a caller of
    // RequestAsync that wants the limits calls it from a timer.
    void CheckLimits();

    // ---- events ----
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnSessionClosed;
    TNotifyEvent OnHeaderData;
    THttpCommandEvent OnCommand;
    TNotifyEvent OnHeaderBegin;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnRequestHeaderBegin;
    TNotifyEvent OnRequestHeaderEnd;
    TNotifyEvent OnDocBegin;
    TDocDataEvent OnDocData;
    TNotifyEvent OnDocEnd;
    TNotifyEvent OnSendBegin;
    TDocDataEvent OnSendData;
    TNotifyEvent OnSendEnd;
    TNotifyEvent OnStateChange;
    THttpRequestDone OnRequestDone;
    TNotifyEvent OnLocationChange;
    TCookieRcvdEvent OnCookie;
    THttpDataPushEvent OnDataPush;
    TNotifyEvent OnDataPush2;
    TNotifyEvent OnSocketError;
    TBeforeHeaderSendEvent OnBeforeHeaderSend;

    // Usable bytes of the receive buffer: a longer header line is skipped.
    static constexpr int RcvBufUsable = 8190;
    // Bytes read at once while a body streams in.
    static constexpr int BodyReadSize = 262144;

private:
    enum TLineHandler { lhNone, lhHeader, lhBody };
    enum TChunkPhase { cpSize, cpSizeLine, cpData, cpDataEnd, cpDone };

    // ---- request side (HttpCli.cpp) ----
    void SetState(THttpCliState NewState);
    void Post(std::function<void()> Step);
    void PostReady();
    void ResetResponse();
    void ConnectStep();
    void LookupDone(uint16_t Error);
    void SocketConnected(uint16_t Error);
    void SendRequest(const std::string& Method);
    void SendCommand(const std::string& Line);
    void FlushHeader();
    void SendBodyPiece();
    void DataSent(uint16_t Error);
    // Ends the busy request at once like an abort, with Phrase saying why.
    void Fail(const std::string& Phrase);
    void CutBack(TStream* Stream, int64_t Bytes);
    void Touch();

    // ---- authentication (HttpCliAuth.cpp) ----
    enum TNTLMAuthState { ntlmNone, ntlmNegotiateSent, ntlmAuthenticateSent, ntlmDone };
    enum TBasicAuthState { basicNone, basicCredentialsSent, basicDone };
    // The two checks, NTLM first; true when one started a retry.
    bool AuthRetry();
    bool NTLMCheck();
    bool BasicCheck();
    bool NTLMStep(bool ForProxy);
    bool BasicStep(bool ForProxy);
    void StartAuthRetry();
    // Index of the last challenge whose scheme word is exactly Scheme; -1 when none.
    int FindChallenge(const std::string& Scheme) const;
    // The one authorization line the next request carries; empty when none applies.
    std::string AuthorizationLine();
    bool SendingNTLMNegotiate() const;
    // A new connection starts finished handshakes afresh; a new request, unfinished ones.
    void AuthNewConnection();
    void AuthNewRequest();

    // ---- response side (HttpCliResponse.cpp) ----
    void DataAvailable(uint16_t Error);
    void ProcessReceived(uint16_t Error);
    void FeedBody();
    // Hands body bytes to the body handler; what it leaves stays in the receive buffer.
    void FeedBody(const char* Data, int Len);
    void HeaderLine(const std::string& Line);
    void HeaderField(const std::string& Name, const std::string& Value);
    void EndOfHeader();
    int BodyData(const char* Data, int Len);
    bool WriteBody(const char* Data, int Len);
    void DocComplete();
    void FinishDocument();
    void LocationHeader(const std::string& Value);
    void StartRelocation();
    void RelocationClosed();
    void SessionClosed(uint16_t Error);
    void DropReceived(int Count);

    std::unique_ptr<TWSocketBase> FSocket;
    struct {
        std::string Server, Port, Level = "5", Usercode, Password;
        TSocksAuthentication Authentication = socksNoAuthentication;
    } FSocks;
    void WireSocks();
    void WriteSocks();
    std::shared_ptr<bool> FAlive;
    THttpCliState FState = hsReady;
    std::string FRequestVer = "1.0";
    bool FMultiThreaded = false;
    std::string FAcceptRanges;

    std::string FTargetHost, FTargetPort;
    std::string FConnectHost, FConnectPort, FProxyConnectPort;
    std::string FScheme;
    std::string FRequestUri;
    std::string FConnHost, FConnPort, FConnScheme;  // of the open connection
    std::string FDnsResult;
    bool FConnected = false;
    bool FCloseFlag = false;
    bool FLocationChangePending = false;
    bool FInHeader = false;
    bool FHeaderDone = false;
    bool FTunnelEstablished = false;
    bool FSendingBody = false;
    int FRelocations = 0;
    // Bumped whenever a request starts or ends abruptly: a loop over received bytes stops
    // when it changes under it.
    unsigned FRun = 0;
    int64_t FStartedAt = 0, FLastActivity = 0;
    TStringList FAuthChallenges;
    TNTLMAuthState FAuthNTLMState = ntlmNone, FProxyAuthNTLMState = ntlmNone;
    TBasicAuthState FAuthBasicState = basicNone, FProxyAuthBasicState = basicNone;
    // Whom the handshake in progress is for, per scheme.
    bool FNTLMForProxy = true, FBasicForProxy = true;
    TNTLM_Msg2_Info FNTLMChallenge, FProxyNTLMChallenge;
    bool FAuthRetryPending = false;
    int FAuthRetries = 0;
    std::string FHeaderBuf;

    char FRcvdBuf[RcvBufUsable + 4];
    std::vector<char> FBodyBuf;
    int FRcvdCnt = 0;
    bool FSkipLine = false;
    TLineHandler FLineHandler = lhNone;
    std::string FResponseVer;
    int FHeaderLineCount = 0;
    int FBodyCallCount = 0;
    int64_t FChunkSize = 0, FChunkRcvd = 0;
    TChunkPhase FChunkPhase = cpSize;
};
