#include "http/WSocket_win.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "base/StrUtils.h"
#include "ui/MessagePump_win.h"

namespace {
u_short Swap16(u_short v) { return static_cast<u_short>((v >> 8) | (v << 8)); }

}  // namespace

TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TWSocketBase(AOwner) {
    TCustomWSocket::AssignDefaultValue();
    FThreadId = GetCurrentThreadId();
    WinsockAddRef();
    FCountHeld = true;
    try {
        FWindow = std::make_unique<TSocketWindow>(this);
    } catch (const std::exception&) {
        WinsockRelease();
        FCountHeld = false;
        throw ESocketException("Cannot create a hidden window for TWSocket");
    }
}

TCustomWSocket::~TCustomWSocket() {
    BeginDestroy();
    // Messages that arrive while we go down must not reach a half-destroyed object.
    FWindow->Detach();
    CloseForDestroy();
    if (FHSocket != INVALID_SOCKET) {
        try {
            WS(closesocket)(FHSocket);
        } catch (...) {
        }
        FHSocket = INVALID_SOCKET;
    }
    FSendQueue.Clear();
    // A lookup that could not be cancelled may still write its answer.
    ReturnLookupBuffer(FDnsLookupBuffer, true);
    FWindow.reset();
    if (FCountHeld) WinsockRelease();
}

void TCustomWSocket::AssignDefaultValue() {
    TWSocketBase::AssignDefaultValue();
    FAddrFormat = AF_INET;
    FProto = IPPROTO_TCP;
    FType = SOCK_STREAM;
    FProtoResolved = true;
    LingerOnOff = wsLingerOn;
    LingerTimeout = 0;
    FHSocket = INVALID_SOCKET;
    FSelectEvent = 0;
    FlushTimeout = 60;
}

// ---- errors ----

void TCustomWSocket::RaiseExceptionFmt(const char* Fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, Fmt);
    vsnprintf(buf, sizeof buf, Fmt, ap);
    va_end(ap);
    RaiseException(buf);
}

void TCustomWSocket::SocketError(const std::string& Func) { RaiseSocketError(WS(WSAGetLastError)(), Func); }

int TCustomWSocket::LastCallError(std::string& Msg, const char* Func) {
    const int err = WS(WSAGetLastError)();
    Msg = WSocketErrorMessage(err, Func);
    return err;
}

// ---- properties ----

TSocketSendFlags TCustomWSocket::SendFlags() const {
    if (FSendFlags == 0) return wsSendNormal;
    if (FSendFlags == MSG_OOB) return wsSendUrgent;
    const_cast<TCustomWSocket*>(this)->RaiseException("Invalid internal SendFlags");
    return wsSendNormal;
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags Value) {
    switch (Value) {
    case wsSendNormal:
        FSendFlags = 0;
        break;
    case wsSendUrgent:
        FSendFlags = MSG_OOB;
        break;
    default:
        RaiseException("Invalid SendFlags");
    }
}

void TCustomWSocket::SetReqVerLow(BYTE Value) {
    try {
        WSocketSetReqVerLow(Value);
    } catch (const ESocketException& E) {
        RaiseException(E.Message());
    }
}

void TCustomWSocket::SetReqVerHigh(BYTE Value) {
    try {
        WSocketSetReqVerHigh(Value);
    } catch (const ESocketException& E) {
        RaiseException(E.Message());
    }
}

// ---- messages ----

bool TCustomWSocket::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_SOCKET_SELECT:
        // News of a closed handle is dropped: Winsock hands its value to the next one.
        if (static_cast<SOCKET>(WParam) == FHSocket)
            HandleSelect(WSAGETSELECTEVENT(LParam), WSAGETSELECTERROR(LParam));
        return true;
    case WM_SOCKET_HOSTBYNAME:
    case WM_SOCKET_HOSTBYADDR:
        HandleHostMessage(Msg, WParam, LParam);
        return true;
    case WM_SOCKET_POSTED:
        RunPosted();
        return true;
    case WM_SOCKET_TEST:
        throw ESocketException("Test exception in WSocket");
    default:
        return false;
    }
}

// Posted work goes through the socket's own window, so that it keeps its place among the
// notifications Winsock posts there.
void TCustomWSocket::Post(std::function<void()> Work) {
    FPosted.push_back(std::move(Work));
    if (!Handle() || !PostMessageA(Handle(), WM_SOCKET_POSTED, 0, 0)) FPosted.pop_back();
}

void TCustomWSocket::RunPosted() {
    if (FPosted.empty()) return;
    // Taken off the queue first: the work may free the socket.
    std::function<void()> work = std::move(FPosted.front());
    FPosted.pop_front();
    work();
}

void TCustomWSocket::ReleaseLater() {
    Post([this] { delete this; });
}

// ---- name lookup ----

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) { StartLookup(HostAddr, true); }

bool TCustomWSocket::RawDottedAddress(const std::string& Name, std::string& Address) {
    in_addr ia;
    ia.s_addr = WS(inet_addr)(Trim(Name).c_str());
    if (ia.s_addr == INADDR_NONE) return false;
    Address = WinsockNtoA(ia);
    return true;
}

int TCustomWSocket::RawStartLookup(const std::string& Name, bool Reverse) {
    u_long addr = 0;
    if (Reverse) {
        try {
            addr = WSocketResolveHost(Name);
        } catch (const ESocketException& E) {
            return E.ErrorCode ? E.ErrorCode : WSAEINVAL;
        }
    }
    char* buffer = LendLookupBuffer();
    FDnsLookupStarting = true;
    FDnsLookupCheckMsg = false;
    HANDLE h;
    try {
        if (Reverse)
            h = WS(WSAAsyncGetHostByAddr)(Handle(), WM_SOCKET_HOSTBYADDR,
                                          reinterpret_cast<const char*>(&addr), 4, AF_INET, buffer,
                                          kLookupBufferSize);
        else
            h = WS(WSAAsyncGetHostByName)(Handle(), WM_SOCKET_HOSTBYNAME, Name.c_str(), buffer,
                                          kLookupBufferSize);
    } catch (...) {
        FDnsLookupStarting = false;
        ReturnLookupBuffer(buffer, false);
        throw;
    }
    FDnsLookupStarting = false;
    if (!h) {
        const int err = WS(WSAGetLastError)();
        ReturnLookupBuffer(buffer, false);
        return err ? err : WSAEINVAL;
    }
    FDnsLookupHandle = h;
    FDnsLookupBuffer = buffer;
    if (FDnsLookupCheckMsg) {
        FDnsLookupCheckMsg = false;
        HandleHostMessage(FDnsSavedMsg, FDnsSavedWParam, FDnsSavedLParam);
    }
    return 0;
}

void TCustomWSocket::HandleHostMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (!FDnsLookupHandle && FDnsLookupStarting) {
        // The answer came before Winsock told us the handle: keep it for later.
        FDnsLookupCheckMsg = true;
        FDnsSavedMsg = Msg;
        FDnsSavedWParam = WParam;
        FDnsSavedLParam = LParam;
        return;
    }
    // An answer to a lookup that was cancelled or replaced is ignored.
    if (!FDnsLookupHandle || reinterpret_cast<HANDLE>(WParam) != FDnsLookupHandle) return;
    FDnsLookupHandle = nullptr;
    char* buffer = FDnsLookupBuffer;
    FDnsLookupBuffer = nullptr;
    const uint16_t err = WSAGETASYNCERROR(LParam);
    std::vector<std::string> results;
    if (err == 0) {
        const hostent* he = reinterpret_cast<const hostent*>(buffer);
        if (Msg == WM_SOCKET_HOSTBYNAME) {
            for (char** p = he->h_addr_list; p && *p; ++p) {
                in_addr ia;
                std::memcpy(&ia, *p, 4);
                results.push_back(WinsockNtoA(ia));
            }
        } else {
            results.push_back(he->h_name ? he->h_name : "");
        }
    }
    ReturnLookupBuffer(buffer, false);
    LookupDone(err, results);
}

int TCustomWSocket::RawCancelLookup() {
    if (!FDnsLookupHandle) return 0;
    const int r = WS(WSACancelAsyncRequest)(FDnsLookupHandle);
    FDnsLookupHandle = nullptr;
    ReturnLookupBuffer(FDnsLookupBuffer, true);
    FDnsLookupBuffer = nullptr;
    return r != 0 ? WS(WSAGetLastError)() : 0;
}

// ---- connecting ----

uint16_t TCustomWSocket::ResolvePortNumber(const std::string& Port) {
    return Swap16(WSocketResolvePort(Port, "tcp"));
}

uint32_t TCustomWSocket::ResolveHostAddress(const std::string& Host) {
    const u_long a = WSocketResolveHost(Host);
    const uint8_t* b = reinterpret_cast<const uint8_t*>(&a);
    return static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
}

void TCustomSocksWSocket::Listen() {
    if (!SocksServer().empty()) {
        RaiseException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

int TCustomWSocket::ApplyLinger(std::string& Msg) {
    if (LingerOnOff == wsLingerNoSet) return 0;
    if (FHSocket == INVALID_SOCKET) {
        Msg = "Cannot set linger option at this time";
        return WSAEINVAL;
    }
    linger l;
    l.l_onoff = LingerOnOff == wsLingerOn ? 1 : 0;
    l.l_linger = static_cast<u_short>(LingerTimeout);
    if (WS(setsockopt)(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l) != 0)
        return LastCallError(Msg, "setsockopt(SO_LINGER)");
    return 0;
}

void TCustomWSocket::SetLingerOption() {
    std::string msg;
    const int err = ApplyLinger(msg);
    if (err == 0) return;
    FLastError = err;
    RaiseException(msg);
}

int TCustomWSocket::BindSocket(std::string& Msg) {
    sockaddr_in local{};
    local.sin_family = static_cast<short>(FAddrFormat);
    local.sin_port = Swap16(FLocalPortNum);
    try {
        local.sin_addr.s_addr = WSocketResolveHost(FLocalAddr);
    } catch (const ESocketException& E) {
        Msg = E.Message();
        return E.ErrorCode ? E.ErrorCode : WSAEINVAL;
    }
    FLocalSinAddr = local.sin_addr.s_addr;
    if (WS(bind)(FHSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        const int err = WS(WSAGetLastError)();
        Msg = Format("winsock.bind failed, error #%d", err);
        return err;
    }
    int len = sizeof local;
    if (WS(getsockname)(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        const int err = WS(WSAGetLastError)();
        Msg = Format("winsock.getsockname failed, error #%d", err);
        return err;
    }
    FLocalPortNum = Swap16(local.sin_port);
    FLocalPortStr = IntToStr(FLocalPortNum);
    return 0;
}

int TCustomWSocket::OpenHandle(std::string& Msg, const char* Context) {
    FSin.sin_family = static_cast<short>(FAddrFormat);
    FHSocket = WS(socket)(FAddrFormat, FType, FProto);
    // Winsock reuses handle values at once: the connection count tells them apart.
    BeginConnection();
    if (FHSocket == INVALID_SOCKET) return LastCallError(Msg, Context);
    return 0;
}

int TCustomWSocket::RawOpen(std::string& Msg) {
    try {
        if (!FProtoResolved) {
            FProto = WSocketResolveProto(FProtoStr);
            FType = WinsockSocketType(FProto);
            FProtoResolved = true;
        }
        const char* protoName = FType == SOCK_DGRAM ? "udp" : "tcp";
        if (!FPortResolved) {
            FSin.sin_port = WSocketResolvePort(TargetPort(), protoName);
            FPortResolved = true;
        }
        if (!FLocalPortResolved) {
            FLocalPortNum = Swap16(WSocketResolvePort(FLocalPortStr, protoName));
            FLocalPortResolved = true;
        }
        if (!FAddrResolved) {
            FSin.sin_addr.s_addr = WSocketResolveHost(TargetAddr());
            FAddrResolved = true;
        }
    } catch (const ESocketException& E) {
        Msg = "connect: " + E.Message();
        return E.ErrorCode ? E.ErrorCode : WSAEINVAL;
    }
    return OpenHandle(Msg, "Connect (socket)");
}

int TCustomWSocket::RawStartConnect(std::string& Msg, bool& Datagram) {
    BOOL on = TRUE;
    const char* pOn = reinterpret_cast<const char*>(&on);
    int err;
    // A failed bind stops here: connecting from another address than the one asked for
    // would go unnoticed.
    if (FType == SOCK_DGRAM) {
        if ((err = SetupDatagram(Msg)) != 0) return err;
    } else {
        if (WS(setsockopt)(FHSocket, SOL_SOCKET, SO_REUSEADDR, pOn, sizeof on) != 0)
            return LastCallError(Msg, "setsockopt(SO_REUSEADDR)");
        if ((ComponentOptions & wsoTcpNoDelay) &&
            WS(setsockopt)(FHSocket, IPPROTO_TCP, TCP_NODELAY, pOn, sizeof on) != 0)
            return LastCallError(Msg, "setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        if ((err = ApplyLinger(Msg)) != 0) return err;
        if (WS(setsockopt)(FHSocket, SOL_SOCKET, SO_KEEPALIVE, pOn, sizeof on) != 0)
            return LastCallError(Msg, "setsockopt(SO_KEEPALIVE)");
        if ((FLocalPortNum != 0 || FLocalAddr != "0.0.0.0") && (err = BindSocket(Msg)) != 0) return err;
    }
    FSelectEvent = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    if (WS(WSAAsyncSelect)(FHSocket, Handle(), WM_SOCKET_SELECT, FSelectEvent) != 0)
        return LastCallError(Msg, "WSAAsyncSelect");
    if (FType == SOCK_DGRAM) {
        Datagram = true;
        return 0;
    }
    if (WS(connect)(FHSocket, reinterpret_cast<sockaddr*>(&FSin), sizeof FSin) == 0) return 0;
    err = LastCallError(Msg, "Connect");
    return err == WSAEWOULDBLOCK ? 0 : err;
}

// ---- sending and receiving ----

int TCustomWSocket::RawSend(const char* Data, int Len, int& Error) {
    const int n = FType == SOCK_DGRAM ? WS(sendto)(FHSocket, Data, Len, FSendFlags,
                                                   reinterpret_cast<const sockaddr*>(&FSin), sizeof FSin)
                                      : WS(send)(FHSocket, Data, Len, FSendFlags);
    if (n < 0) Error = WS(WSAGetLastError)();
    return n;
}

int TCustomWSocket::RawReceive(char* Buffer, int Len, int& Error) {
    const int n = WS(recv)(FHSocket, Buffer, Len, 0);
    if (n < 0) Error = WS(WSAGetLastError)();
    return n;
}

int TCustomWSocket::RawPending(int& Error) {
    u_long n = 0;
    if (WS(ioctlsocket)(FHSocket, FIONREAD, &n) == SOCKET_ERROR) {
        Error = WS(WSAGetLastError)();
        return -1;
    }
    return static_cast<int>(n);
}

// ---- closing ----

void TCustomWSocket::InternalAbort(uint16_t ErrCode) {
    if (FState == wsConnected && FProto == IPPROTO_TCP) {
        LingerOnOff = wsLingerOff;
        try {
            SetLingerOption();
        } catch (...) {
        }
    }
    TWSocketBase::InternalAbort(ErrCode);
}

int TCustomWSocket::RawClose(bool Shut) {
    if (FHSocket == INVALID_SOCKET) return 0;
    auto life = LifeToken();
    const SOCKET h = FHSocket;
    const unsigned gen = ConnectionId();
    if (Shut) {
        WS(shutdown)(h, 1);
        // Linger on with zero seconds makes closesocket a reset that throws away what
        // Winsock still holds of our data; a graceful close lets it go out instead.
        if (FType == SOCK_STREAM && LingerOnOff == wsLingerOn && LingerTimeout == 0) {
            linger l{0, 0};
            WS(setsockopt)(h, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
        }
    }
    // A lingering close of a non-blocking socket answers "would block" until the linger
    // time ran out; past that (and a margin), or when the program is ending, the close is
    // made abortive.
    const DWORD start = GetTickCount();
    const DWORD limit = static_cast<DWORD>(std::max(LingerTimeout, 0)) * 1000 + 5000;
    int result = 0;
    bool abortive = false;
    for (;;) {
        if (WS(closesocket)(h) == 0) break;
        const int err = WS(WSAGetLastError)();
        if (err != WSAEWOULDBLOCK) {
            // The handle is unusable either way; forgetting it keeps later closes quiet.
            result = err;
            break;
        }
        if (!abortive && (GetTickCount() - start > limit || QuitPending())) {
            linger l{1, 0};
            WS(setsockopt)(h, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
            abortive = true;
            continue;
        }
        Nap(life);
        if (!*life || FHSocket != h || ConnectionId() != gen) return -1;
    }
    FHSocket = INVALID_SOCKET;
    PurgeSelectMessages();
    return result;
}

void TCustomWSocket::ShutDown(int How) {
    if (FHSocket != INVALID_SOCKET) WS(shutdown)(FHSocket, How);
}

void TCustomWSocket::DropHandle() {
    if (FHSocket == INVALID_SOCKET) return;
    WS(closesocket)(FHSocket);
    FHSocket = INVALID_SOCKET;
    PurgeSelectMessages();
}

void TCustomWSocket::PurgeSelectMessages() {
    // Winsock reuses handle values at once: notifications still queued for the closed
    // handle would otherwise be taken for news of the next connection on this socket.
    if (!Handle()) return;
    MSG msg;
    for (int i = 0; i < 100000; ++i)
        if (!PeekMessageA(&msg, Handle(), WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_REMOVE | PM_NOYIELD)) break;
}

void TCustomWSocket::Pause() {
    FPaused = true;
    if (FHSocket != INVALID_SOCKET) WS(WSAAsyncSelect)(FHSocket, Handle(), 0, 0);
}

void TCustomWSocket::Resume() {
    FPaused = false;
    if (FHSocket != INVALID_SOCKET) WS(WSAAsyncSelect)(FHSocket, Handle(), WM_SOCKET_SELECT, FSelectEvent);
}

// ---- addresses ----

int TCustomWSocket::GetPeerName(sockaddr_in& Name) {
    int len = sizeof Name;
    if (FState != wsConnected || FHSocket == INVALID_SOCKET) return SOCKET_ERROR;
    return WS(getpeername)(FHSocket, reinterpret_cast<sockaddr*>(&Name), &len);
}

int TCustomWSocket::GetSockName(sockaddr_in& Name) {
    int len = sizeof Name;
    if (FHSocket == INVALID_SOCKET) return SOCKET_ERROR;
    return WS(getsockname)(FHSocket, reinterpret_cast<sockaddr*>(&Name), &len);
}

std::string TCustomWSocket::PeerAddr() {
    sockaddr_in sa{};
    if (GetPeerName(sa) != 0) return "error";
    return WinsockNtoA(sa.sin_addr);
}

std::string TCustomWSocket::PeerPort() {
    sockaddr_in sa{};
    if (GetPeerName(sa) != 0) return "error";
    return IntToStr(Swap16(sa.sin_port));
}

std::string TCustomWSocket::GetXPort() {
    sockaddr_in sa{};
    if (GetSockName(sa) != 0) return "error";
    return IntToStr(Swap16(sa.sin_port));
}

std::string TCustomWSocket::GetXAddr() {
    sockaddr_in sa{};
    if (GetSockName(sa) != 0) return "error";
    return WinsockNtoA(sa.sin_addr);
}
