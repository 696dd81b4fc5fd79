#include "http/WSocket.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/Dispatcher.h"
#include "base/StrUtils.h"

std::string SocketErrorText(int ErrCode) {
    switch (ErrCode) {
    case 0:
        return "No Error";
    case 10004:
        return "Interrupted system call";
    case 10009:
        return "Bad file number";
    case 10013:
        return "Permission denied";
    case 10014:
        return "Bad address";
    case 10022:
        return "Invalid argument";
    case 10024:
        return "Too many open files";
    case 10035:
        return "Operation would block";
    case 10036:
        return "Operation now in progress";
    case 10037:
        return "Operation already in progress";
    case 10038:
        return "Socket operation on non-socket";
    case 10039:
        return "Destination address required";
    case 10040:
        return "Message too long";
    case 10041:
        return "Protocol wrong type for socket";
    case 10042:
        return "Protocol not available";
    case 10043:
        return "Protocol not supported";
    case 10044:
        return "Socket type not supported";
    case 10045:
        return "Operation not supported on socket";
    case 10046:
        return "Protocol family not supported";
    case 10047:
        return "Address family not supported by protocol family";
    case 10048:
        return "Address already in use";
    case 10049:
        return "Address not available";
    case 10050:
        return "Network is down";
    case 10051:
        return "Network is unreachable";
    case 10052:
        return "Network dropped connection on reset";
    case 10053:
        return "Connection aborted";
    case 10054:
        return "Connection reset by peer";
    case 10055:
        return "No buffer space available";
    case 10056:
        return "Socket is already connected";
    case 10057:
        return "Socket is not connected";
    case 10058:
        return "Can't send after socket shutdown";
    case 10059:
        return "Too many references: can't splice";
    case 10060:
        return "Connection timed out";
    case 10061:
        return "Connection refused";
    case 10062:
        return "Too many levels of symbolic links";
    case 10063:
        return "File name too long";
    case 10064:
        return "Host is down";
    case 10065:
        return "No route to host";
    case 10066:
        return "Directory not empty";
    case 10067:
        return "Too many processes";
    case 10068:
        return "Too many users";
    case 10069:
        return "Disc quota exceeded";
    case 10070:
        return "Stale NFS file handle";
    case 10071:
        return "Too many levels of remote in path";
    case 10091:
        return "Network sub-system is unusable";
    case 10092:
        return "WinSock DLL cannot support this application";
    case 10093:
        return "WinSock not initialized";
    case 11001:
        return "Host not found";
    case 11002:
        return "Non-authoritative host not found";
    case 11003:
        return "Non-recoverable error";
    case 11004:
        return "No Data";
    default:
        return "Not a WinSock error";
    }
}

std::string WSocketErrorMessage(int ErrCode, const std::string& Func) {
    return "Error " + IntToStr(ErrCode) + " in function " + Func + "\r\n" + SocketErrorText(ErrCode);
}

bool WSocketIsDottedIP(const std::string& S) {
    size_t i = 0, n = S.size();
    while (i < n && S[i] == ' ')
        ++i;
    size_t end = n;
    while (end > i && S[end - 1] == ' ')
        --end;
    int parts = 0;
    while (i < end) {
        // Each part: 1 to 3 digits worth at most 255, parts separated by single dots.
        int value = 0, digits = 0;
        while (i < end && S[i] >= '0' && S[i] <= '9') {
            value = value * 10 + (S[i] - '0');
            if (++digits > 3 || value > 255) return false;
            ++i;
        }
        if (digits == 0) return false;
        ++parts;
        if (i == end) break;
        if (S[i] != '.' || parts == 4) return false;
        ++i;
        if (i == end) return false;  // a trailing dot
    }
    return parts == 4;
}

bool WSocketParseLeadingNumber(const std::string& S, int& Value) {
    size_t i = 0;
    while (i < S.size() && S[i] == ' ')
        ++i;
    if (i >= S.size() || S[i] < '0' || S[i] > '9') return false;
    long v = 0;
    for (; i < S.size() && S[i] >= '0' && S[i] <= '9'; ++i) {
        v = v * 10 + (S[i] - '0');
        if (v > 65535) return false;
    }
    Value = static_cast<int>(v);
    return true;
}

TWSocketBase::TWSocketBase(TComponent* AOwner) : TComponent(AOwner), FAlive(std::make_shared<bool>(true)) {
    TWSocketBase::AssignDefaultValue();
}

TWSocketBase::~TWSocketBase() { *FAlive = false; }

void TWSocketBase::CloseForDestroy() {
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    try {
        if (FState != wsClosed) Close();
    } catch (...) {
    }
}

void TWSocketBase::AssignDefaultValue() {
    FProtoStr = "tcp";
    FProtoAssigned = true;
    FProtoResolved = false;
    FLocalPortStr = "0";
    FLocalPortResolved = false;
    FLocalAddr = "0.0.0.0";
    FAddrAssigned = FAddrResolved = false;
    FPortAssigned = FPortResolved = false;
    FState = wsClosed;
    FReadCount = 0;
    FCloseInvoked = false;
    FAllSent = true;
    FPaused = false;
    FSocksServer.clear();
    FSocksPort.clear();
    FSocksLevel = "5";
    SocksReset();
}

// ---- properties ----

bool TWSocketBase::CheckClosed(const std::string& Current, const std::string& Value, const char* Name) {
    if (FState == wsClosed) return true;
    if (Value != Current) RaiseException(Format("Cannot change %s if not closed", Name));
    return false;
}

void TWSocketBase::SetAddr(const std::string& Value) {
    std::string v = Trim(Value);
    if (!CheckClosed(FAddrStr, v, "Addr")) return;
    FAddrStr = v;
    FAddrAssigned = true;
    FAddrResolved = false;
}

void TWSocketBase::SetPort(const std::string& Value) {
    std::string v = Trim(Value);
    if (!CheckClosed(FPortStr, v, "Port")) return;
    FPortStr = v;
    FPortAssigned = true;
    FPortResolved = false;
}

void TWSocketBase::SetProto(const std::string& Value) {
    std::string v = Trim(Value);
    if (!CheckClosed(FProtoStr, v, "Proto")) return;
    FProtoStr = v;
    FProtoAssigned = !v.empty();
    FProtoResolved = false;
}

void TWSocketBase::SetLocalAddr(const std::string& Value) {
    std::string v = Trim(Value);
    if (v.empty()) v = "0.0.0.0";
    if (!CheckClosed(FLocalAddr, v, "LocalAddr")) return;
    FLocalAddr = v;
}

void TWSocketBase::SetLocalPort(const std::string& Value) {
    std::string v = Trim(Value);
    if (!CheckClosed(FLocalPortStr, v, "LocalPort")) return;
    FLocalPortStr = v;
    FLocalPortResolved = false;
}

void TWSocketBase::ChangeState(TSocketState NewState) {
    TSocketState old = FState;
    FState = NewState;
    if (old != NewState && OnChangeState) OnChangeState(this, old, NewState);
}

// ---- errors ----

void TWSocketBase::RaiseException(const std::string& Msg) {
    if (OnError)
        OnError(this);
    else
        throw ESocketException(Msg);
}

void TWSocketBase::RaiseSocketError(int Err, const std::string& Func) {
    if (Err == WSocket_ECONNRESET || Err == WSocket_ENOTCONN) {
        // The connection is gone: it is closed and reported before the error is raised.
        auto life = LifeToken();
        InternalClose(false, static_cast<uint16_t>(Err));
        if (!*life) return;
    }
    FLastError = Err;
    RaiseException(WSocketErrorMessage(Err, Func));
}

void TWSocketBase::HandleBackGroundException(const std::exception& E) {
    auto life = LifeToken();
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, canClose);
        } catch (...) {
        }
    } else {
        ReportException(E);
    }
    if (!*life || !canClose) return;
    try {
        Abort();
    } catch (...) {
    }
}

void TWSocketBase::CallGuarded(const std::function<void()>& Fn) {
    auto life = LifeToken();
    try {
        Fn();
    } catch (const std::exception& e) {
        if (*life)
            HandleBackGroundException(e);
        else
            ReportException(e);
    } catch (...) {
        Exception e("Unknown exception in a socket event");
        if (*life)
            HandleBackGroundException(e);
        else
            ReportException(e);
    }
}

// ---- posted work ----

void TWSocketBase::PostStep(std::function<void()> Work) {
    auto life = LifeToken();
    Post([this, life, Work = std::move(Work)] {
        if (*life) CallGuarded(Work);
    });
}

void TWSocketBase::PostSelect(unsigned Events, uint16_t Error) {
    const unsigned gen = FConnGen;
    PostStep([this, gen, Events, Error] {
        if (gen == FConnGen && HasHandle()) HandleSelect(Events, Error);
    });
}

void TWSocketBase::BeginConnection() {
    ++FConnGen;
    FCloseInvoked = false;
    FPaused = false;
}

// ---- notifications ----
// The handlers remember the connection they were called for: an event handler may close the
// socket and start the next connection, which must then be left alone.

void TWSocketBase::HandleSelect(unsigned Events, uint16_t Error) {
    if (FPaused) return;
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    auto same = [&] { return *life && gen == FConnGen && HasHandle(); };
    if (Events & wsfConnect) Do_FD_CONNECT(Error);
    if ((Events & wsfRead) && same()) Do_FD_READ(Error);
    if ((Events & wsfWrite) && same()) Do_FD_WRITE(Error);
    if ((Events & wsfAccept) && same()) TriggerSessionAvailable(Error);
    if ((Events & wsfClose) && same()) Do_FD_CLOSE(Error);
}

void TWSocketBase::Do_FD_CONNECT(uint16_t Error) {
    if (FState == wsConnected) return;
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    ChangeState(wsConnected);
    if (!*life) return;
    TriggerSessionConnectedSpecial(Error);
    if (!*life) return;
    if (Error != 0 && FState != wsClosed && FConnGen == gen) Close();
}

void TWSocketBase::Do_FD_READ(uint16_t Error) {
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    if (FState != wsConnected) {
        ChangeState(wsConnected);
        if (!*life) return;
        TriggerSessionConnectedSpecial(Error);
        if (!*life || FConnGen != gen) return;
    }
    ASyncReceive(Error, ComponentOptions);
}

void TWSocketBase::Do_FD_WRITE(uint16_t Error) {
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    TryToSend();
    // A connection lost while sending was reported closed: nothing was sent to report.
    if (!*life || FConnGen != gen || !HasHandle()) return;
    if (FAllSent) TriggerDataSent(Error);
}

void TWSocketBase::Do_FD_CLOSE(uint16_t Error) {
    if (FState == wsConnecting) return;
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    // Everything the peer sent before closing is delivered first.
    ASyncReceive(0, ComponentOptions & ~wsoNoReceiveLoop);
    // A handler that closed meanwhile has reported the close (and the defaults forgot it).
    if (!*life || FConnGen != gen || !HasHandle()) return;
    ReportClosed(Error);
    if (!*life || FConnGen != gen) return;
    if (FState != wsClosed) Close();
}

// Winsock sends a new read notification only after a read, so the loop reads while bytes
// wait and a handler takes them; a handler that leaves them hears nothing more until it reads.
void TWSocketBase::ASyncReceive(uint16_t Error, TWSocketOptions Options) {
    auto life = LifeToken();
    for (;;) {
        const unsigned before = FRecvProgress;
        try {
            FLastError = 0;
            if (!TriggerDataAvailable(Error)) {
                if (!*life) return;
                if (!HasHandle()) break;
                char junk[1024];
                int err = 0;
                if (ReadRaw(junk, sizeof junk, err) < 0) {
                    if (err == WSocket_EWOULDBLOCK) break;
                    FLastError = err;
                }
            }
            if (!*life) return;
            if (Options & wsoNoReceiveLoop) break;
            if (FLastError != 0 || !HasHandle()) break;
            if (FRecvProgress == before) break;
            int err = 0;
            const int waiting = Pending(err);
            if (waiting < 0) {
                FLastError = err;
                break;
            }
            if (waiting == 0) break;
        } catch (...) {
            // What a data handler throws ends the loop and goes no further.
            return;
        }
    }
}

// ---- triggers ----

bool TWSocketBase::TriggerDataAvailable(uint16_t Error) {
    if (SocksNegotiating()) {
        SocksDataAvailable(Error);
        return true;
    }
    if (!OnDataAvailable) return false;
    OnDataAvailable(this, Error);
    return true;
}
void TWSocketBase::TriggerSessionAvailable(uint16_t Error) { Raise(OnSessionAvailable, this, Error); }
void TWSocketBase::TriggerSessionConnectedSpecial(uint16_t Error) {
    if (FSocksPhase == spConnecting)
        SocksConnected(Error);
    else
        TriggerSessionConnected(Error);
}
void TWSocketBase::TriggerSessionConnected(uint16_t Error) { Raise(OnSessionConnected, this, Error); }
void TWSocketBase::TriggerSessionClosed(uint16_t Error) {
    auto life = LifeToken();
    if (SocksNegotiating()) SocksClosed(Error);
    if (*life) Raise(OnSessionClosed, this, Error);
}
// What the negotiation sent is none of the caller's business.
void TWSocketBase::TriggerDataSent(uint16_t Error) {
    if (!SocksNegotiating()) Raise(OnDataSent, this, Error);
}
void TWSocketBase::TriggerDnsLookupDone(uint16_t Error) { Raise(OnDnsLookupDone, this, Error); }
void TWSocketBase::TriggerSendData(int BytesSent) { Raise(OnSendData, this, BytesSent); }
void TWSocketBase::TriggerSocksAuthState(TSocksAuthState AuthState) {
    Raise(OnSocksAuthState, this, AuthState);
}

// ---- name lookup ----

void TWSocketBase::DnsLookup(const std::string& HostName) { StartLookup(HostName, false); }

void TWSocketBase::FailLookup(int Err, const std::string& Msg) {
    auto life = LifeToken();
    FLastError = Err;
    RaiseException(Msg);
    if (*life) TriggerDnsLookupDone(static_cast<uint16_t>(Err));
}

void TWSocketBase::StartLookup(const std::string& Name, bool Reverse) {
    // Only a dotted address is looked up in reverse: turning a name into one first would
    // block the thread.
    if (Name.empty() || (Reverse && (Name.size() > 256 || !WSocketIsDottedIP(Name)))) {
        FailLookup(WSocket_EINVAL,
                   Reverse ? "ReverseDnsLookup: Invalid host name." : "DNS lookup: invalid host name.");
        return;
    }
    auto life = LifeToken();
    CancelDnsLookup();
    if (!*life) return;
    FDnsResult.clear();
    FDnsResultList.Clear();
    std::string address;
    if (!Reverse && WSocketIsDottedIP(Name) && RawDottedAddress(Name, address)) {
        FDnsResult = address;
        FDnsResultList.Add(address);
        TriggerDnsLookupDone(0);
        return;
    }
    // Running before it starts: a transport may answer from inside RawStartLookup.
    FLookupRunning = true;
    const int err = RawStartLookup(Name, Reverse);
    if (err != 0) {
        FLookupRunning = false;
        FailLookup(err, Format("%s: can't start DNS lookup, error #%d", Name.c_str(), err));
    }
}

void TWSocketBase::LookupDone(uint16_t Error, const std::vector<std::string>& Results) {
    if (!FLookupRunning) return;
    FLookupRunning = false;
    if (Error == 0) {
        for (const auto& r : Results)
            FDnsResultList.Add(r);
        if (FDnsResultList.Count() > 0) FDnsResult = FDnsResultList[0];
    }
    TriggerDnsLookupDone(Error);
}

void TWSocketBase::CancelDnsLookup() {
    if (!FLookupRunning) return;
    FLookupRunning = false;
    auto life = LifeToken();
    const int err = RawCancelLookup();
    if (err != 0) {
        // Its answer will be ignored, so this is the lookup's one completion.
        RaiseSocketError(err, "WSACancelAsyncRequest");
        if (*life && !Destroying()) TriggerDnsLookupDone(static_cast<uint16_t>(err));
        return;
    }
    if (!Destroying()) TriggerDnsLookupDone(WSocket_EINTR);
}

// ---- connecting ----

void TWSocketBase::FailConnect(int Err, const std::string& Msg) {
    auto life = LifeToken();
    if (HasHandle()) RawClose(false);
    if (FState != wsClosed) {
        ChangeState(wsClosed);
        if (!*life) return;
        ResetAfterClose();
    }
    FLastError = Err;
    RaiseException(Msg);
    if (*life) TriggerSessionConnectedSpecial(static_cast<uint16_t>(Err));
}

void TWSocketBase::Connect() {
    if (HasHandle() && FState != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    const char* missing = !FPortAssigned    ? "Connect: No Port Specified"
                          : !FAddrAssigned  ? "Connect: No IP Address Specified"
                          : !FProtoAssigned ? "Connect: No Protocol Specified"
                                            : nullptr;
    if (missing) {
        FailConnect(WSocket_EINVAL, missing);
        return;
    }
    if (!FSocksServer.empty() && !SocksPrepare()) return;
    auto life = LifeToken();
    std::string msg;
    FSendQueue.Clear();
    int err = RawOpen(msg);
    if (err != 0) {
        FailConnect(err, msg);
        return;
    }
    FAllSent = true;
    ChangeState(wsOpened);
    if (!*life) return;
    if (FState != wsOpened) {
        FailConnect(WSocket_EINVAL,
                    WSocketErrorMessage(WSocket_EINVAL, "Connect (Invalid operation in OnChangeState)"));
        return;
    }
    bool datagram = false;
    err = RawStartConnect(msg, datagram);
    if (err != 0) {
        FailConnect(err, msg);
        return;
    }
    if (datagram) {
        ChangeState(wsConnected);
        if (!*life) return;
        TriggerSessionConnectedSpecial(0);
        return;
    }
    ChangeState(wsConnecting);
}

// ---- sending ----

int TWSocketBase::SendStr(const std::string& Str) {
    if (Str.empty()) return 0;
    return Send(Str.data(), static_cast<int>(Str.size()));
}

void TWSocketBase::PutDataInSendBuffer(const void* Data, int Len) {
    if (!Data || Len <= 0) return;
    FAllSent = false;
    FSendQueue.Put(Data, Len);
}

int TWSocketBase::Send(const void* Data, int Len) {
    if (FState != wsConnected && FState != wsSocksConnected) {
        RaiseSocketError(WSocket_ENOTCONN, "Send");
        return -1;
    }
    // Nothing to copy is nothing queued, whatever length came with it.
    if (Len < 0 || !Data) Len = 0;
    FAllSent = false;
    PutDataInSendBuffer(Data, Len);
    auto life = LifeToken();
    TryToSend();
    if (!*life) return Len;
    // OnDataSent comes from the message loop, never from inside the caller's Send.
    if (FAllSent && HasHandle()) PostSelect(wsfWrite, 0);
    return Len;
}

void TWSocketBase::TryToSend() {
    if (FSendQueue.Empty()) {
        FAllSent = true;
        return;
    }
    if (!HasHandle()) return;
    auto life = LifeToken();
    for (;;) {
        int len = 0;
        const char* p = FSendQueue.Front(len);
        if (!p) {
            FAllSent = true;
            break;
        }
        int err = 0;
        const int n = RawSend(p, len, err);
        if (n > 0) {
            // Taken off the queue before the handler runs: it may send or abort. A short send
            // is tried again: only "would block" promises a write notification.
            FSendQueue.Remove(n);
            TriggerSendData(n);
            if (!*life) return;
            continue;
        }
        if (n == 0) break;
        if (err == WSocket_EINVAL || err == WSocket_ENOTSOCK || err == WSocket_ECONNABORTED ||
            err == WSocket_ECONNRESET || err == WSocket_ENOTCONN) {
            // The loss is reported once (not again from a send inside OnSessionClosed), and
            // before the defaults clear what the handler may still want to read.
            InternalClose(true, static_cast<uint16_t>(err));
            return;
        }
        if (err != WSocket_EWOULDBLOCK) RaiseSocketError(err, "TryToSend failed");
        return;
    }
}

// ---- receiving ----

void TWSocketBase::CountReceived(int Bytes) {
    if (Bytes <= 0) return;
    FReadCount += Bytes;
    ++FRecvProgress;
}

int TWSocketBase::ReadRaw(char* Buffer, int Len, int& Error) {
    if (!FSocksHeld.empty() && Len > 0) {
        // Counted when the negotiation read them.
        const size_t n = std::min(FSocksHeld.size(), static_cast<size_t>(Len));
        std::memcpy(Buffer, FSocksHeld.data(), n);
        FSocksHeld.erase(0, n);
        ++FRecvProgress;
        return static_cast<int>(n);
    }
    const int n = RawReceive(Buffer, Len, Error);
    CountReceived(n);
    return n;
}

int TWSocketBase::Receive(void* Buffer, int Len) {
    if (!Buffer || Len < 0) return -1;
    int err = 0;
    const int n = ReadRaw(static_cast<char*>(Buffer), Len, err);
    if (n < 0) FLastError = err;
    return n;
}

std::string TWSocketBase::ReceiveStr() {
    int n = RcvdCount();
    if (n <= 0) n = 255;
    std::string s(static_cast<size_t>(n), '\0');
    const int got = Receive(&s[0], n);
    if (got <= 0) return std::string();
    s.resize(static_cast<size_t>(got));
    return s;
}

int TWSocketBase::Pending(int& Error) {
    const int n = RawPending(Error);
    return n < 0 ? n : n + static_cast<int>(FSocksHeld.size());
}

int TWSocketBase::RcvdCount() {
    int err = 0;
    const int n = Pending(err);
    if (n < 0) RaiseSocketError(err, "ioctlSocket");
    return n < 0 ? -1 : n;
}

// ---- closing ----

void TWSocketBase::Close() { InternalClose(true, 0); }

void TWSocketBase::CloseLater() {
    PostStep([this] { Close(); });
}

void TWSocketBase::Abort() { InternalAbort(0); }

void TWSocketBase::InternalAbort(uint16_t ErrCode) {
    auto life = LifeToken();
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    if (!*life) return;
    FSendQueue.Clear();
    InternalClose(false, ErrCode);
}

void TWSocketBase::ReportClosed(uint16_t Error) {
    if (FCloseInvoked) return;
    FCloseInvoked = true;
    TriggerSessionClosed(Error);
}

void TWSocketBase::ResetAfterClose() {
    try {
        AssignDefaultValue();
    } catch (...) {
    }
}

void TWSocketBase::InternalClose(bool Shut, uint16_t Error) {
    auto life = LifeToken();
    if (!HasHandle()) {
        if (FState != wsClosed) {
            ChangeState(wsClosed);
            if (!*life) return;
            ResetAfterClose();
        }
        return;
    }
    if (FState == wsClosed) return;
    const unsigned gen = FConnGen;
    const int err = RawClose(Shut);
    if (!*life || err < 0 || FConnGen != gen) return;
    ChangeState(wsClosed);
    if (!*life) return;
    // A failed closesocket still ends the connection: whoever waits for the close hears it,
    // and the error follows.
    const bool failed = err != 0 && err != WSocket_NOTINITIALISED;
    if (!Destroying()) {
        ReportClosed(Error != 0 ? Error : failed ? static_cast<uint16_t>(err) : 0);
        if (!*life) return;
    }
    // A handler may already have started the next connection; its settings stay.
    if (!HasHandle() && FState == wsClosed) ResetAfterClose();
    if (failed) {
        FLastError = err;
        RaiseException(WSocketErrorMessage(err, "Disconnect (closesocket)"));
    }
}
