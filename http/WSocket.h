#pragma once
// The socket's portable face and its event rules: states, options, error texts and the base
// class that the Winsock socket (WSocket_win.h) and the scripted double of the native tests
// derive from. The rules (the receive loop, close once, data sent, deferred close, a handler's
// exception) are written here once; a transport supplies only raw operations and reports
// what the network did through HandleSelect and LookupDone. The HTTP client talks to a
// socket only through TWSocketBase, so it runs natively over the double.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Exception.h"
#include "base/Strings.h"
#include "http/SocksLayer.h"
#include "http/WSockBuf.h"

class ESocketException : public Exception {
public:
    explicit ESocketException(const std::string& Msg, int ErrCode = 0) : Exception(Msg), ErrorCode(ErrCode) {}
    // The Winsock error behind the failure; 0 when it is misuse.
    int ErrorCode;
};

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsSocksConnected,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

// ComponentOptions is a set of these bits.
enum TWSocketOption : unsigned {
    wsoNoReceiveLoop = 1u << 0,
    wsoTcpNoDelay = 1u << 1,
    wsoSIO_RCVALL = 1u << 2,
};
using TWSocketOptions = unsigned;

// The network's notifications, numbered as Winsock numbers its FD_ events.
enum : unsigned { wsfRead = 1, wsfWrite = 2, wsfAccept = 8, wsfConnect = 16, wsfClose = 32 };

// Winsock error numbers the callers test for; the same on every Winsock.
enum : int {
    WSocket_EINTR = 10004,
    WSocket_EINVAL = 10022,
    WSocket_EWOULDBLOCK = 10035,
    WSocket_ENOTSOCK = 10038,
    WSocket_ECONNABORTED = 10053,
    WSocket_ECONNRESET = 10054,
    WSocket_ENOTCONN = 10057,
    WSocket_ECONNREFUSED = 10061,
    WSocket_NOTINITIALISED = 10093,
    // What a synchronous wait gives when it runs out of time or the program ends.
    WSocket_ETIMEOUT = 12001,
};

// Text of a Winsock error number; "Not a WinSock error" for anything unknown.
std::string SocketErrorText(int ErrCode);
// "Error <n> in function <func>" CR LF <text>: what a failed call raises.
std::string WSocketErrorMessage(int ErrCode, const std::string& Func);
// Exactly four decimal parts of at most 255, blanks allowed around the whole.
bool WSocketIsDottedIP(const std::string& S);
// Decimal number at the start of S after leading blanks, reading up to the first
// non-digit; false when S does not start (after blanks) with a digit or overflows 16 bits.
bool WSocketParseLeadingNumber(const std::string& S, int& Value);

using TSocketErrorEvent = std::function<void(TObject* Sender, uint16_t ErrCode)>;
using TSendDataEvent = std::function<void(TObject* Sender, int BytesSent)>;
using TChangeStateEvent = std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, const std::exception& E, bool& CanClose)>;
using TLineLimitEvent = std::function<void(TObject* Sender, int RcvdLength, bool& ClearData)>;
using TSocksErrorEvent = std::function<void(TObject* Sender, int Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;

class TWSocketBase : public TComponent {
public:
    explicit TWSocketBase(TComponent* AOwner = nullptr);
    ~TWSocketBase() override;

    // Remote end and protocol. Changing them is refused unless the socket is closed;
    // setting the value it already has is always accepted.
    const std::string& Addr() const { return FAddrStr; }
    void SetAddr(const std::string& Value);
    const std::string& Port() const { return FPortStr; }
    virtual void SetPort(const std::string& Value);
    const std::string& Proto() const { return FProtoStr; }
    virtual void SetProto(const std::string& Value);
    const std::string& LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const std::string& Value);
    const std::string& LocalPort() const { return FLocalPortStr; }
    void SetLocalPort(const std::string& Value);

    TSocketState State() const { return FState; }
    int LastError() const { return FLastError; }
    int ReadCount() const { return FReadCount; }
    const std::string& DnsResult() const { return FDnsResult; }
    const TStringList& DnsResultList() const { return FDnsResultList; }
    bool DnsLookupRunning() const { return FLookupRunning; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
    bool AllSent() const { return FAllSent; }
    int BufferedByteCount() const { return FSendQueue.Size(); }
    TWSocketOptions ComponentOptions = 0;

    // Every lookup and every Connect that was started ends in exactly one completion event
    // (OnDnsLookupDone, OnSessionConnected), or in the exception it threw.
    virtual void DnsLookup(const std::string& HostName);
    virtual void CancelDnsLookup();
    virtual void Connect();
    // Queues Len bytes and starts sending; -1 when not connected. Len 0 only kicks the queue.
    // OnDataSent follows from the message loop once the queue is empty.
    virtual int Send(const void* Data, int Len);
    int SendStr(const std::string& Str);
    // Queues bytes without starting to send (the next Send kicks them out).
    void PutDataInSendBuffer(const void* Data, int Len);
    // Up to Len bytes; 0 once the peer closed, or -1 with LastError set.
    virtual int Receive(void* Buffer, int Len);
    // RcvdCount bytes (255 when that is 0), as text.
    std::string ReceiveStr();
    // Bytes waiting to be read.
    virtual int RcvdCount();
    virtual void Close();
    // Closes from the message loop, after the current handler has returned.
    virtual void CloseLater();
    virtual void Abort();
    // Lets queued notifications run (used by waits that must not block the thread).
    virtual void MessagePump() = 0;

    TSocketErrorEvent OnDataAvailable;
    TSocketErrorEvent OnDataSent;
    TSendDataEvent OnSendData;
    TSocketErrorEvent OnSessionClosed;
    TSocketErrorEvent OnSessionAvailable;
    TSocketErrorEvent OnSessionConnected;
    TChangeStateEvent OnChangeState;
    TSocketErrorEvent OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

    // ---- SOCKS (WSocketSocks.cpp) ----
    // With a SOCKS server set, Connect reaches Addr:Port through it and reports
    // OnSessionConnected once the server has made the connection. A close forgets the
    // server, its port and the level: they are set again before each connection.
    const std::string& SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const std::string& Value);
    const std::string& SocksServer() const { return FSocksServer; }
    void SetSocksServer(const std::string& Value);
    const std::string& SocksPort() const { return FSocksPort; }
    void SetSocksPort(const std::string& Value);
    std::string SocksUsercode;
    std::string SocksPassword;
    TSocksAuthentication SocksAuthentication = socksNoAuthentication;
    bool SocksNegotiating() const { return FSocksPhase != spData; }
    // What a SOCKS 5 server said it bound for the connection.
    const std::string& SocksBoundAddr() const { return FSocksBoundAddr; }
    const std::string& SocksBoundPort() const { return FSocksBoundPort; }
    // The connection to the SOCKS server is up (or failed).
    TSocketErrorEvent OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    // ---- raw operations of a transport ----
    virtual bool HasHandle() const = 0;
    // Resolves what Connect needs and opens a handle (calling BeginConnection): 0, or the
    // error with Msg set to the text to raise.
    virtual int RawOpen(std::string& Msg) = 0;
    // Sets the handle up and starts connecting: 0 when under way (the outcome comes as a
    // connect notification) or, with Datagram set, when connected at once; else the error.
    virtual int RawStartConnect(std::string& Msg, bool& Datagram) = 0;
    // Count of bytes taken (at most Len, possibly fewer), or -1 with Error set.
    virtual int RawSend(const char* Data, int Len, int& Error) = 0;
    // Count of bytes read, 0 once the peer closed, or -1 with Error set.
    virtual int RawReceive(char* Buffer, int Len, int& Error) = 0;
    // Bytes waiting, or -1 with Error set.
    virtual int RawPending(int& Error) = 0;
    // Releases the handle, which is forgotten whatever happens: 0, a Winsock error, or -1
    // when a handler run meanwhile already finished this close or started another connection.
    virtual int RawClose(bool Shut) = 0;
    // Runs Work from the message loop after the current handler, in order with the
    // network's notifications.
    virtual void Post(std::function<void()> Work) = 0;
    // Starts a name (or, with Reverse, an address) lookup answered through LookupDone: 0, or
    // the error that kept it from starting.
    virtual int RawStartLookup(const std::string& Name, bool Reverse) = 0;
    // Stops the running lookup: 0, or the error.
    virtual int RawCancelLookup() = 0;
    // A dotted address in the form the resolver writes it; false when it is not one.
    virtual bool RawDottedAddress(const std::string& Name, std::string& Address) = 0;

    // Where the transport connects: the SOCKS server while one is set, else Addr:Port.
    const std::string& TargetAddr() const { return FSocksServer.empty() ? FAddrStr : FSocksServer; }
    const std::string& TargetPort() const { return FSocksServer.empty() ? FPortStr : FSocksPort; }
    // What the SOCKS requests need resolved: a port number and an IPv4 address, in host
    // order; ESocketException with the resolver's text on failure. These read numbers and
    // dotted addresses only; a transport with a name service does more.
    virtual uint16_t ResolvePortNumber(const std::string& Port);
    virtual uint32_t ResolveHostAddress(const std::string& Host);

    // ---- what a transport reports ----
    // Network notifications (wsf bits) for the current connection, handled in Winsock's
    // fixed order: connect, read, write, accept, close.
    void HandleSelect(unsigned Events, uint16_t Error);
    // The answer of the running lookup.
    void LookupDone(uint16_t Error, const std::vector<std::string>& Results);
    // A new handle: its notifications are told apart from an earlier connection's.
    void BeginConnection();
    unsigned ConnectionId() const { return FConnGen; }

    // ---- shared steps ----
    // Posted Work, skipped once the socket is gone; what it throws is a background exception.
    void PostStep(std::function<void()> Work);
    // Posts notifications for the current connection (dropped if it ended meanwhile).
    void PostSelect(unsigned Events, uint16_t Error);
    // Runs Fn; an exception that escapes it goes to HandleBackGroundException.
    void CallGuarded(const std::function<void()>& Fn);
    void StartLookup(const std::string& Name, bool Reverse);
    // Misuse: OnError when assigned (and carry on), else ESocketException.
    virtual void RaiseException(const std::string& Msg);
    // "Error <n> in function <Func>"; a lost connection (10054, 10057) is closed and
    // reported first.
    void RaiseSocketError(int Err, const std::string& Func);
    // Connect gave up: nothing stays open, LastError holds Err, and the caller hears it once.
    void FailConnect(int Err, const std::string& Msg);
    void ChangeState(TSocketState NewState);
    // A copy taken before firing an event tells afterwards whether a handler freed us.
    std::shared_ptr<bool> LifeToken() const { return FAlive; }
    // Background exception: OnBgException decides whether to abort; without one the
    // application's reporter hears about it and the socket is aborted.
    virtual void HandleBackGroundException(const std::exception& E);
    // Values every closed socket starts from.
    virtual void AssignDefaultValue();
    // Graceful (Shut) or hard close, reporting OnSessionClosed(Error) once per connection
    // before the defaults are assigned again.
    void InternalClose(bool Shut, uint16_t Error);
    virtual void InternalAbort(uint16_t ErrCode);
    // What a subclass destructor runs first: the lookup cancelled, the connection closed.
    void CloseForDestroy();
    void TryToSend();
    void ASyncReceive(uint16_t Error, TWSocketOptions Options);
    // RawReceive that counts what it took; bytes that came behind the SOCKS server's last
    // reply come first.
    int ReadRaw(char* Buffer, int Len, int& Error);
    // RawPending with those bytes.
    int Pending(int& Error);
    void CountReceived(int Bytes);

    virtual bool TriggerDataAvailable(uint16_t Error);
    virtual void TriggerSessionAvailable(uint16_t Error);
    virtual void TriggerSessionConnectedSpecial(uint16_t Error);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerSessionClosed(uint16_t Error);
    virtual void TriggerDataSent(uint16_t Error);
    virtual void TriggerDnsLookupDone(uint16_t Error);
    void TriggerSendData(int BytesSent);
    virtual void TriggerSocksAuthState(TSocksAuthState AuthState);

    std::string FAddrStr;
    std::string FPortStr;
    std::string FProtoStr;
    std::string FLocalAddr;
    std::string FLocalPortStr;
    bool FAddrAssigned = false, FAddrResolved = false;
    bool FPortAssigned = false, FPortResolved = false;
    bool FProtoAssigned = false, FProtoResolved = false;
    bool FLocalPortResolved = false;
    TSocketState FState = wsClosed;
    int FLastError = 0;
    int FReadCount = 0;
    bool FCloseInvoked = false;
    bool FPaused = false;
    bool FAllSent = true;
    std::string FDnsResult;
    TStringList FDnsResultList;
    bool FMultiThreaded = false;
    TSendQueue FSendQueue{1460};

private:
    bool CheckClosed(const std::string& Current, const std::string& Value, const char* Name);
    void ResetAfterClose();
    void ReportClosed(uint16_t Error);
    void FailLookup(int Err, const std::string& Msg);
    void Do_FD_CONNECT(uint16_t Error);
    void Do_FD_READ(uint16_t Error);
    void Do_FD_WRITE(uint16_t Error);
    void Do_FD_CLOSE(uint16_t Error);
    // ---- the SOCKS negotiation (WSocketSocks.cpp) ----
    enum TSocksPhase { spData, spConnecting, spMethod, spAuth, spRequest };
    // Connect's part: checks and resolves; false when Connect has failed.
    bool SocksPrepare();
    void SocksConnected(uint16_t Error);
    void SocksDataAvailable(uint16_t Error);
    // The server closed before the negotiation ended.
    void SocksClosed(uint16_t Error);
    void SocksSend(const std::string& Data);
    void SocksSendRequest();
    void SocksFail(int Code, const std::string& Msg);
    void SocksDone(size_t ReplyLength);
    void SocksReset();
    std::string FSocksLevel = "5";
    std::string FSocksServer;
    std::string FSocksPort;
    TSocksPhase FSocksPhase = spData;
    uint16_t FSocksDestPort = 0;
    int FSocksMethod = 0;
    uint8_t FSocksReply[kSocksReplyMax];
    int FSocksReplyCount = 0;
    std::string FSocksBoundAddr, FSocksBoundPort;
    // Application bytes read with the last reply, not yet handed out.
    std::string FSocksHeld;
    std::shared_ptr<bool> FAlive;
    unsigned FConnGen = 0;       // bumped by every new handle
    unsigned FRecvProgress = 0;  // bumped by every read that took bytes
    bool FLookupRunning = false;
};
