#pragma once
// The socket's portable face: states, options, error texts and the base class that both the
// Winsock socket (WSocket_win.h) and a scripted test double derive from. The HTTP client
// talks to a socket only through TWSocketBase, so it runs natively over the double.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "base/Component.h"
#include "base/Exception.h"
#include "base/Strings.h"

class ESocketException : public Exception {
public:
    using Exception::Exception;
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

// Where a background exception goes when the socket has no OnBgException: the program
// installs its own (a message box); until then the message goes to the debugger output.
using TWSocketBgExceptionHandler = std::function<void(TObject* Sender, const std::exception& E)>;
void SetWSocketBgExceptionHandler(TWSocketBgExceptionHandler Handler);
void WSocketReportBgException(TObject* Sender, const std::exception& E);

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
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }

    virtual void DnsLookup(const std::string& HostName) = 0;
    virtual void CancelDnsLookup() = 0;
    virtual void Connect() = 0;
    // Queues Len bytes and starts sending; -1 when not connected. Len 0 only kicks the queue.
    virtual int Send(const void* Data, int Len) = 0;
    int SendStr(const std::string& Str);
    // Queues bytes without starting to send (the next Send kicks them out).
    virtual void PutDataInSendBuffer(const void* Data, int Len) = 0;
    // Up to Len bytes; 0, or -1 with LastError set.
    virtual int Receive(void* Buffer, int Len) = 0;
    // Bytes waiting to be read.
    virtual int RcvdCount() = 0;
    virtual void Close() = 0;
    // Closes from the message loop, after the current handler has returned.
    virtual void CloseLater() = 0;
    virtual void Abort() = 0;
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

protected:
    // Misuse: OnError when assigned (and carry on), else ESocketException.
    virtual void RaiseException(const std::string& Msg);
    // Connect needs a port, an address and a protocol, in that order: raises for the first
    // one missing and answers false.
    bool HasConnectTarget();
    void ChangeState(TSocketState NewState);
    // A copy taken before firing an event tells afterwards whether a handler freed us.
    std::shared_ptr<bool> LifeToken() const { return FAlive; }
    // Background exception: OnBgException decides whether to abort; without one the
    // process-wide handler hears about it and the socket is aborted.
    virtual void HandleBackGroundException(const std::exception& E);
    // Values every closed socket starts from.
    virtual void AssignDefaultValue();

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
    std::string FDnsResult;
    TStringList FDnsResultList;
    bool FMultiThreaded = false;

private:
    bool CheckClosed(const std::string& Current, const std::string& Value, const char* Name);
    std::shared_ptr<bool> FAlive;
};
