#include "http/WSocket_win.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "base/StrUtils.h"

// Option numbers as wsock32.dll (Winsock 1.1) defines them; winsock2.h numbers differ.
namespace {
const int kIpMulticastIf = 2;
const int kIpMulticastTtl = 3;
const int kIpAddMembership = 5;
const DWORD kSioRcvAll = 0x98000001;
const int kMaxGetHostStruct = 1024;
const unsigned kSocketMagic = 0x4B434F53;
const char kWindowClass[] = "XSocketWindowClass";

// ---- Winsock, loaded on first use and shared by every socket of the process ----

#define WSOCK32_FUNCS(X)                                                                                   \
    X(WSAStartup)                                                                                          \
    X(WSACleanup) X(WSASetLastError) X(WSAGetLastError) X(WSACancelAsyncRequest) X(WSAAsyncGetHostByName)  \
        X(WSAAsyncGetHostByAddr) X(WSAAsyncSelect) X(getservbyname) X(getprotobyname) X(gethostbyname)     \
            X(gethostname) X(socket) X(shutdown) X(setsockopt) X(sendto) X(send) X(ntohs) X(listen)        \
                X(ioctlsocket) X(inet_ntoa) X(inet_addr) X(htons) X(getsockname) X(getpeername) X(connect) \
                    X(closesocket) X(bind) X(accept) X(recv) X(recvfrom)

enum WsFn {
#define X(n) fn_##n,
    WSOCK32_FUNCS(X)
#undef X
        fnCount
};
const char* const kFnNames[] = {
#define X(n) #n,
    WSOCK32_FUNCS(X)
#undef X
};

struct LibState {
    CRITICAL_SECTION cs;     // loading, lookups, live count
    CRITICAL_SECTION wndCs;  // window class registration
    HMODULE lib = nullptr;
    HMODULE ws2 = nullptr;
    FARPROC procs[fnCount] = {};
    FARPROC ioctlProc = nullptr;
    int count = 0;
    bool classRegistered = false;
    BYTE verLow = 1, verHigh = 1;
    // Lookup buffers of destroyed sockets whose lookups never reported back; 1 KB each,
    // kept for the life of the process because Winsock may still write into them.
    std::vector<std::unique_ptr<char[]>> orphans;
    LibState() {
        InitializeCriticalSection(&cs);
        InitializeCriticalSection(&wndCs);
    }
};
LibState& Lib() {
    static LibState state;
    return state;
}

struct Lock {
    explicit Lock(CRITICAL_SECTION& c) : cs(&c) { EnterCriticalSection(cs); }
    ~Lock() { LeaveCriticalSection(cs); }
    CRITICAL_SECTION* cs;
};

template <typename T>
T ProcCast(FARPROC p) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(p));
}

FARPROC LoadProc(int idx) {
    LibState& s = Lib();
    Lock lock(s.cs);
    if (!s.lib) {
        HMODULE h = LoadLibraryA("wsock32.dll");
        if (!h) throw ESocketException("Unable to load wsock32.dll Error #" + IntToStr(GetLastError()));
        FARPROC p = GetProcAddress(h, "WSAStartup");
        if (!p) {
            DWORD e = GetLastError();
            FreeLibrary(h);
            throw ESocketException("Procedure WSAStartup not found in wsock32.dll Error #" + IntToStr(e));
        }
        WSADATA data;
        int err = ProcCast<decltype(&::WSAStartup)>(p)(MAKEWORD(s.verLow, s.verHigh), &data);
        if (err != 0) {
            FreeLibrary(h);
            throw ESocketException(Format("%s: WSAStartup error #%d", "wsock32.dll", err));
        }
        s.lib = h;
        s.procs[fn_WSAStartup] = p;
    }
    if (!s.procs[idx]) {
        FARPROC p = GetProcAddress(s.lib, kFnNames[idx]);
        if (!p)
            throw ESocketException("Procedure " + std::string(kFnNames[idx]) +
                                   " not found in wsock32.dll Error #" + IntToStr(GetLastError()));
        s.procs[idx] = p;
    }
    return s.procs[idx];
}

#define WS(n) (ProcCast<decltype(&::n)>(LoadProc(fn_##n)))

using PWSAIoctl = int(WSAAPI*)(SOCKET, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPWSAOVERLAPPED,
                               LPWSAOVERLAPPED_COMPLETION_ROUTINE);
PWSAIoctl LoadWSAIoctl() {
    LoadProc(fn_WSAStartup);  // the main library first, so unloading frees both together
    LibState& s = Lib();
    Lock lock(s.cs);
    if (!s.ws2) {
        s.ws2 = LoadLibraryA("ws2_32.dll");
        if (!s.ws2) throw ESocketException("Unable to load ws2_32.dll Error #" + IntToStr(GetLastError()));
    }
    if (!s.ioctlProc) {
        s.ioctlProc = GetProcAddress(s.ws2, "WSAIoctl");
        if (!s.ioctlProc)
            throw ESocketException("Procedure WSAIoctl not found in ws2_32.dll Error #" +
                                   IntToStr(GetLastError()));
    }
    return ProcCast<PWSAIoctl>(s.ioctlProc);
}

void AddCount() {
    LibState& s = Lib();
    Lock lock(s.cs);
    ++s.count;
}

void ReleaseCount() {
    LibState& s = Lib();
    Lock lock(s.cs);
    if (--s.count >= 1) return;
    s.count = 0;
    if (s.lib) {
        FARPROC p = s.procs[fn_WSACleanup] ? s.procs[fn_WSACleanup] : GetProcAddress(s.lib, "WSACleanup");
        if (p) ProcCast<decltype(&::WSACleanup)>(p)();
        FreeLibrary(s.lib);
        s.lib = nullptr;
    }
    if (s.ws2) {
        FreeLibrary(s.ws2);
        s.ws2 = nullptr;
    }
    std::fill(std::begin(s.procs), std::end(s.procs), nullptr);
    s.ioctlProc = nullptr;
    // s.orphans stays: a cancelled lookup may still be writing into its buffer, and
    // nothing tells us when it is done once the window that would hear it is gone.
    Lock wlock(s.wndCs);
    if (s.classRegistered) {
        UnregisterClassA(kWindowClass, GetModuleHandleA(nullptr));
        s.classRegistered = false;
    }
}

// Holds the library for the length of a call made outside any socket.
struct WinsockHold {
    WinsockHold() { AddCount(); }
    ~WinsockHold() { ReleaseCount(); }
    WinsockHold(const WinsockHold&) = delete;
    WinsockHold& operator=(const WinsockHold&) = delete;
};

u_short Swap16(u_short v) { return static_cast<u_short>((v >> 8) | (v << 8)); }

int SocketTypeOf(int Proto) {
    return Proto == IPPROTO_UDP ? SOCK_DGRAM : Proto == IPPROTO_TCP ? SOCK_STREAM : SOCK_RAW;
}

std::string NtoA(in_addr a) {
    const char* p = WS(inet_ntoa)(a);
    return p ? p : "";
}

bool RegisterSocketClass() {
    LibState& s = Lib();
    Lock lock(s.wndCs);
    if (s.classRegistered) return true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = XSocketWindowProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    s.classRegistered = true;
    return true;
}

// ---- the message pump used by waits ----
TWSocketProcessMessagesProc& PumpProc() {
    static TWSocketProcessMessagesProc proc;
    return proc;
}
volatile LONG GAppTerminated = 0;

void WaitForInput(DWORD Ms) { MsgWaitForMultipleObjects(0, nullptr, FALSE, Ms, QS_ALLINPUT); }
}  // namespace

BYTE WSocketReqVerLow() { return Lib().verLow; }
BYTE WSocketReqVerHigh() { return Lib().verHigh; }

void WSocketSetReqVerLow(BYTE Value) {
    Lock lock(Lib().cs);
    if (Lib().verLow == Value) return;
    if (Lib().lib) throw ESocketException("SetReqVerLow: WinSock version can't be changed now");
    Lib().verLow = Value;
}

void WSocketSetReqVerHigh(BYTE Value) {
    Lock lock(Lib().cs);
    if (Lib().verHigh == Value) return;
    if (Lib().lib) throw ESocketException("SetReqVerHigh: WinSock version can't be changed now");
    Lib().verHigh = Value;
}

bool WSocketLibraryLoaded() {
    Lock lock(Lib().cs);
    return Lib().lib != nullptr;
}

int WSocketLiveCount() {
    Lock lock(Lib().cs);
    return Lib().count;
}

int WSocketAbandonedLookupBuffers() {
    Lock lock(Lib().cs);
    return static_cast<int>(Lib().orphans.size());
}

u_long WSocketResolveHost(const std::string& InAddr) {
    if (InAddr.empty() || InAddr.size() > 256)
        throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid Hostname.");
    WinsockHold hold;
    if (WSocketIsDottedIP(InAddr)) {
        std::string a = Trim(InAddr);
        u_long addr = WS(inet_addr)(a.c_str());
        if (addr == INADDR_NONE && a != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid IP address.");
        return addr;
    }
    hostent* he = WS(gethostbyname)(InAddr.c_str());
    if (!he || he->h_length != 4 || !he->h_addr_list || !he->h_addr_list[0])
        throw ESocketException(Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d",
                                      InAddr.c_str(), he ? WSocket_EINVAL : WS(WSAGetLastError)()));
    u_long addr;
    std::memcpy(&addr, he->h_addr_list[0], 4);
    return addr;
}

u_short WSocketResolvePort(const std::string& Port, const std::string& Proto) {
    if (Port.empty() || Port.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Port.");
    if (Proto.empty() || Proto.size() >= 32) throw ESocketException("WSocketResolvePort: Invalid Proto.");
    std::string lead = TrimLeft(Port);
    if (!lead.empty() && lead[0] >= '0' && lead[0] <= '9') {
        int n;
        if (!WSocketParseLeadingNumber(Port, n)) throw ESocketException("WSocketResolvePort: Invalid Port.");
        return Swap16(static_cast<u_short>(n));
    }
    WinsockHold hold;
    servent* se = WS(getservbyname)(Port.c_str(), Proto.c_str());
    if (!se)
        throw ESocketException(Format("WSocketResolvePort: Cannot convert port '%s', Error #%d", Port.c_str(),
                                      WS(WSAGetLastError)()));
    return se->s_port;
}

int WSocketResolveProto(const std::string& Proto) {
    if (Proto.empty() || Proto.size() >= 32) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    std::string lead = TrimLeft(Proto);
    if (!lead.empty() && lead[0] >= '0' && lead[0] <= '9') {
        int n;
        if (!WSocketParseLeadingNumber(Proto, n))
            throw ESocketException("WSocketResolveProto: Invalid Protocol.");
        return n;
    }
    std::string p = LowerCase(Trim(Proto));
    if (p == "tcp") return IPPROTO_TCP;
    if (p == "udp") return IPPROTO_UDP;
    if (p == "raw") return IPPROTO_RAW;
    WinsockHold hold;
    protoent* pe = WS(getprotobyname)(p.c_str());
    if (!pe)
        throw ESocketException(Format("WSocketResolveProto: Cannot convert protocol '%s', Error #%d",
                                      Proto.c_str(), WS(WSAGetLastError)()));
    return pe->p_proto;
}

std::string LocalHostName() {
    WinsockHold hold;
    char buf[64] = {};
    if (WS(gethostname)(buf, sizeof buf) != 0) throw ESocketException("Winsock.GetHostName failed");
    buf[sizeof buf - 1] = 0;
    return buf;
}

void SetWSocketProcessMessagesProc(TWSocketProcessMessagesProc Proc) { PumpProc() = std::move(Proc); }

void WSocketProcessMessages() {
    if (PumpProc()) {
        PumpProc()();
        return;
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the main loop, which must still end.
            InterlockedExchange(&GAppTerminated, 1);
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool WSocketApplicationTerminated() { return GAppTerminated != 0; }
void WSocketSetApplicationTerminated(bool Value) { InterlockedExchange(&GAppTerminated, Value ? 1 : 0); }

// ---- the hidden window ----

LRESULT CALLBACK XSocketWindowProc(HWND hWnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    auto* obj = reinterpret_cast<TCustomWSocket*>(GetWindowLongPtrA(hWnd, 0));
    if (!obj || obj->FMagic != kSocketMagic || Msg < WM_USER)
        return DefWindowProcA(hWnd, Msg, WParam, LParam);
    auto life = obj->LifeToken();
    try {
        if (obj->WndProc(Msg, WParam, LParam)) return 0;
    } catch (const std::exception& e) {
        if (*life)
            obj->HandleBackGroundException(e);
        else
            WSocketReportBgException(nullptr, e);
        return 0;
    } catch (...) {
        Exception e("Unknown exception in a socket event");
        if (*life)
            obj->HandleBackGroundException(e);
        else
            WSocketReportBgException(nullptr, e);
        return 0;
    }
    return DefWindowProcA(hWnd, Msg, WParam, LParam);
}

TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TWSocketBase(AOwner), FMagic(kSocketMagic) {
    TCustomWSocket::AssignDefaultValue();
    FThreadId = GetCurrentThreadId();
    AddCount();
    FCountHeld = true;
    if (RegisterSocketClass())
        FWindowHandle = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!FWindowHandle) {
        ReleaseCount();
        FCountHeld = false;
        throw ESocketException("Cannot create a hidden window for TWSocket");
    }
    SetWindowLongPtrA(FWindowHandle, 0, reinterpret_cast<LONG_PTR>(this));
}

TCustomWSocket::~TCustomWSocket() {
    BeginDestroy();
    // Messages that arrive while we go down must not reach a half-destroyed object.
    if (FWindowHandle) SetWindowLongPtrA(FWindowHandle, 0, 0);
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    try {
        if (FState != wsClosed) Close();
    } catch (...) {
    }
    if (FHSocket != INVALID_SOCKET) {
        try {
            WS(closesocket)(FHSocket);
        } catch (...) {
        }
        FHSocket = INVALID_SOCKET;
    }
    DeleteBufferedData();
    OrphanLookupBuffer();
    if (!FOrphanBuffers.empty()) {
        Lock lock(Lib().cs);
        for (auto& o : FOrphanBuffers)
            Lib().orphans.push_back(std::move(o.second));
        FOrphanBuffers.clear();
    }
    if (FWindowHandle) DestroyWindow(FWindowHandle);
    FWindowHandle = nullptr;
    if (FCountHeld) ReleaseCount();
    FMagic = 0;
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
    FAllSent = true;
    FPaused = false;
    FlushTimeout = 60;
}

void TCustomWSocket::RaiseExceptionFmt(const char* Fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, Fmt);
    vsnprintf(buf, sizeof buf, Fmt, ap);
    va_end(ap);
    RaiseException(buf);
}

void TCustomWSocket::SocketError(const std::string& Func) {
    int err = WS(WSAGetLastError)();
    std::string line = WSocketErrorMessage(err, Func);
    if (err == WSAECONNRESET || err == WSAENOTCONN) {
        auto life = LifeToken();
        if (FHSocket != INVALID_SOCKET) {
            WS(closesocket)(FHSocket);
            FHSocket = INVALID_SOCKET;
            PurgeSelectMessages();
        }
        const unsigned gen = FHandleGen;
        if (FState != wsClosed && !FCloseInvoked) {
            FCloseInvoked = true;
            TriggerSessionClosed(static_cast<uint16_t>(err));
            if (!*life) return;
        }
        // A connection the handler started meanwhile keeps its state.
        if (FHandleGen == gen) {
            ChangeState(wsClosed);
            if (!*life) return;
        }
    }
    FLastError = err;
    RaiseException(line);
}

int TCustomWSocket::BufferedByteCount() const { return FSendQueue.Size(); }

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
    case WM_SOCKET_SELECT: {
        SOCKET s = static_cast<SOCKET>(WParam);
        if (s != FHSocket || FPaused) return true;
        auto life = LifeToken();
        WORD ev = WSAGETSELECTEVENT(LParam);
        uint16_t err = WSAGETSELECTERROR(LParam);
        // Fixed order; a handler may have closed or freed us between two bits.
        if (ev & FD_CONNECT) {
            Do_FD_CONNECT(err);
            if (!*life) return true;
        }
        // Winsock hands a closed handle's value to the next socket at once, so a handler
        // that reconnected is told apart by the handle's generation, not its value.
        const unsigned gen = FHandleGen;
        auto same = [&] { return s == FHSocket && gen == FHandleGen; };
        if ((ev & FD_READ) && same()) {
            Do_FD_READ(err);
            if (!*life) return true;
        }
        if ((ev & FD_WRITE) && same()) {
            Do_FD_WRITE(err);
            if (!*life) return true;
        }
        if ((ev & FD_ACCEPT) && same()) {
            Do_FD_ACCEPT(err);
            if (!*life) return true;
        }
        if ((ev & FD_CLOSE) && same()) Do_FD_CLOSE(err);
        return true;
    }
    case WM_SOCKET_HOSTBYNAME:
    case WM_SOCKET_HOSTBYADDR:
        HandleHostMessage(Msg, WParam, LParam);
        return true;
    case WM_SOCKET_CLOSE_DELAYED:
        Close();
        return true;
    case WM_SOCKET_RELEASE:
        delete this;
        return true;
    case WM_SOCKET_TEST:
        throw ESocketException("Test exception in WSocket");
    default:
        return false;
    }
}

// The handlers below remember the connection they were called for: an event handler may
// close the socket and start the next connection, which must then be left alone.

void TCustomWSocket::Do_FD_CONNECT(uint16_t Error) {
    if (FState == wsConnected) return;
    auto life = LifeToken();
    const unsigned gen = FHandleGen;
    ChangeState(wsConnected);
    if (!*life) return;
    TriggerSessionConnectedSpecial(Error);
    if (!*life) return;
    if (Error != 0 && FState != wsClosed && FHandleGen == gen) Close();
}

void TCustomWSocket::Do_FD_READ(uint16_t Error) {
    auto life = LifeToken();
    const unsigned gen = FHandleGen;
    if (FState != wsConnected) {
        ChangeState(wsConnected);
        if (!*life) return;
        TriggerSessionConnectedSpecial(Error);
        if (!*life || FHandleGen != gen) return;
    }
    ASyncReceive(Error, ComponentOptions);
}

void TCustomWSocket::Do_FD_WRITE(uint16_t Error) {
    auto life = LifeToken();
    const unsigned gen = FHandleGen;
    TryToSend();
    // A connection lost while sending was reported closed: nothing was sent to report.
    if (!*life || FHandleGen != gen || FHSocket == INVALID_SOCKET) return;
    if (FAllSent) TriggerDataSent(Error);
}

void TCustomWSocket::Do_FD_ACCEPT(uint16_t Error) { TriggerSessionAvailable(Error); }

void TCustomWSocket::Do_FD_CLOSE(uint16_t Error) {
    if (FState == wsConnecting) return;
    auto life = LifeToken();
    const unsigned gen = FHandleGen;
    // Everything the peer sent before closing is delivered first.
    ASyncReceive(0, ComponentOptions & ~wsoNoReceiveLoop);
    if (!*life || FHandleGen != gen) return;
    if (!FCloseInvoked) {
        FCloseInvoked = true;
        TriggerSessionClosed(Error);
        if (!*life || FHandleGen != gen) return;
    }
    if (FState != wsClosed) Close();
}

void TCustomWSocket::ASyncReceive(uint16_t Error, TWSocketOptions Options) {
    auto life = LifeToken();
    for (;;) {
        unsigned before = FRecvProgress;
        try {
            FLastError = 0;
            if (!TriggerDataAvailable(Error)) {
                if (!*life) return;
                if (FHSocket == INVALID_SOCKET) break;
                char junk[1024];
                int n = DoRecv(junk, sizeof junk, 0);
                if (n < 0) {
                    int e = WS(WSAGetLastError)();
                    if (e == WSAEWOULDBLOCK) break;
                    FLastError = e;
                }
            }
            if (!*life) return;
            if (Options & wsoNoReceiveLoop) break;
            if (FLastError != 0 || FHSocket == INVALID_SOCKET) break;
            // A handler that leaves the data in Winsock would otherwise make this spin.
            if (FRecvProgress == before) break;
            u_long waiting = 0;
            if (WS(ioctlsocket)(FHSocket, FIONREAD, &waiting) == SOCKET_ERROR) {
                FLastError = WS(WSAGetLastError)();
                break;
            }
            if (waiting == 0) break;
        } catch (...) {
            return;
        }
    }
}

// ---- triggers ----

bool TCustomWSocket::TriggerDataAvailable(uint16_t Error) {
    if (!OnDataAvailable) return false;
    OnDataAvailable(this, Error);
    return true;
}
void TCustomWSocket::TriggerSessionAvailable(uint16_t Error) { Raise(OnSessionAvailable, this, Error); }
void TCustomWSocket::TriggerSessionConnectedSpecial(uint16_t Error) { TriggerSessionConnected(Error); }
void TCustomWSocket::TriggerSessionConnected(uint16_t Error) { Raise(OnSessionConnected, this, Error); }
void TCustomWSocket::TriggerSessionClosed(uint16_t Error) { Raise(OnSessionClosed, this, Error); }
void TCustomWSocket::TriggerDataSent(uint16_t Error) { Raise(OnDataSent, this, Error); }
void TCustomWSocket::TriggerDnsLookupDone(uint16_t Error) { Raise(OnDnsLookupDone, this, Error); }
void TCustomWSocket::TriggerSendData(int BytesSent) { Raise(OnSendData, this, BytesSent); }

// ---- name lookup ----

void TCustomWSocket::DnsLookup(const std::string& HostName) {
    if (HostName.empty()) {
        auto life = LifeToken();
        RaiseException("DNS lookup: invalid host name.");
        if (*life) TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    auto life = LifeToken();
    CancelDnsLookup();
    if (!*life) return;
    FDnsResult.clear();
    FDnsResultList.Clear();
    if (WSocketIsDottedIP(HostName)) {
        u_long addr = WS(inet_addr)(Trim(HostName).c_str());
        if (addr != INADDR_NONE) {
            in_addr ia;
            ia.s_addr = addr;
            FDnsResult = NtoA(ia);
            FDnsResultList.Add(FDnsResult);
            TriggerDnsLookupDone(0);
            return;
        }
    }
    if (!FWindowHandle) {
        RaiseException("DnsLookup: Window not assigned");
        return;
    }
    StartAsyncLookup(false, HostName, 0);
}

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) {
    // Only a dotted address is taken: turning a name into one first would block the thread.
    if (HostAddr.empty() || HostAddr.size() > 256 || !WSocketIsDottedIP(HostAddr)) {
        auto life = LifeToken();
        RaiseException("ReverseDnsLookup: Invalid host name.");
        if (*life) TriggerDnsLookupDone(WSAEINVAL);
        return;
    }
    auto life = LifeToken();
    CancelDnsLookup();
    if (!*life) return;
    FDnsResult.clear();
    FDnsResultList.Clear();
    if (!FWindowHandle) {
        RaiseException("ReverseDnsLookup: Window not assigned");
        return;
    }
    u_long addr;
    try {
        addr = WSocketResolveHost(HostAddr);
    } catch (const ESocketException& E) {
        RaiseException(E.Message());
        return;
    }
    StartAsyncLookup(true, HostAddr, addr);
}

void TCustomWSocket::OrphanLookupBuffer() {
    // Winsock may still write into the buffer of a lookup we stop waiting for; the buffer
    // of a finished lookup is simply freed.
    if (FDnsLookupBuffer && FDnsLookupHandle)
        FOrphanBuffers.emplace_back(FDnsLookupHandle, std::move(FDnsLookupBuffer));
    FDnsLookupBuffer.reset();
}

void TCustomWSocket::StartAsyncLookup(bool Reverse, const std::string& Name, u_long Addr) {
    OrphanLookupBuffer();
    FDnsLookupBuffer.reset(new char[kMaxGetHostStruct]());
    FDnsLookupStarting = true;
    FDnsLookupCheckMsg = false;
    HANDLE h;
    try {
        if (Reverse)
            h = WS(WSAAsyncGetHostByAddr)(FWindowHandle, WM_SOCKET_HOSTBYADDR,
                                          reinterpret_cast<const char*>(&Addr), 4, AF_INET,
                                          FDnsLookupBuffer.get(), kMaxGetHostStruct);
        else
            h = WS(WSAAsyncGetHostByName)(FWindowHandle, WM_SOCKET_HOSTBYNAME, Name.c_str(),
                                          FDnsLookupBuffer.get(), kMaxGetHostStruct);
    } catch (...) {
        FDnsLookupStarting = false;
        throw;
    }
    FDnsLookupStarting = false;
    if (!h) {
        FDnsLookupBuffer.reset();
        RaiseExceptionFmt("%s: can't start DNS lookup, error #%d", Name.c_str(), WS(WSAGetLastError)());
        return;
    }
    FDnsLookupHandle = h;
    if (FDnsLookupCheckMsg) {
        FDnsLookupCheckMsg = false;
        HandleHostMessage(FDnsSavedMsg, FDnsSavedWParam, FDnsSavedLParam);
    }
}

void TCustomWSocket::HandleHostMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
    HANDLE h = reinterpret_cast<HANDLE>(WParam);
    if (!FDnsLookupHandle && FDnsLookupStarting) {
        // The answer came before Winsock told us the handle: keep it for later.
        FDnsLookupCheckMsg = true;
        FDnsSavedMsg = Msg;
        FDnsSavedWParam = WParam;
        FDnsSavedLParam = LParam;
        return;
    }
    if (!FDnsLookupHandle || h != FDnsLookupHandle) {
        for (auto it = FOrphanBuffers.begin(); it != FOrphanBuffers.end(); ++it)
            if (it->first == h) {
                FOrphanBuffers.erase(it);
                break;
            }
        return;
    }
    FDnsLookupHandle = nullptr;
    uint16_t err = WSAGETASYNCERROR(LParam);
    if (err == 0 && FDnsLookupBuffer) {
        const hostent* he = reinterpret_cast<const hostent*>(FDnsLookupBuffer.get());
        if (Msg == WM_SOCKET_HOSTBYNAME) {
            for (char** p = he->h_addr_list; p && *p; ++p) {
                in_addr ia;
                std::memcpy(&ia, *p, 4);
                FDnsResultList.Add(NtoA(ia));
            }
            if (FDnsResultList.Count() > 0) FDnsResult = FDnsResultList[0];
        } else {
            FDnsResult = he->h_name ? he->h_name : "";
            FDnsResultList.Clear();
            FDnsResultList.Add(FDnsResult);
        }
    }
    TriggerDnsLookupDone(err);
}

void TCustomWSocket::CancelDnsLookup() {
    if (!FDnsLookupHandle) return;
    HANDLE h = FDnsLookupHandle;
    int r = WS(WSACancelAsyncRequest)(h);
    OrphanLookupBuffer();
    FDnsLookupHandle = nullptr;
    if (r != 0) {
        SocketError("WSACancelAsyncRequest");
        return;
    }
    if (!Destroying()) TriggerDnsLookupDone(WSAEINTR);
}

// ---- connecting ----

void TCustomWSocket::SetLingerOption() {
    if (LingerOnOff == wsLingerNoSet) return;
    if (FHSocket == INVALID_SOCKET) {
        RaiseException("Cannot set linger option at this time");
        return;
    }
    linger l;
    l.l_onoff = LingerOnOff == wsLingerOn ? 1 : 0;
    l.l_linger = static_cast<u_short>(LingerTimeout);
    if (WS(setsockopt)(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l) != 0)
        SocketError("setsockopt(SO_LINGER)");
}

bool TCustomWSocket::BindSocket() {
    sockaddr_in local{};
    local.sin_family = static_cast<short>(FAddrFormat);
    local.sin_port = Swap16(FLocalPortNum);
    try {
        local.sin_addr.s_addr = WSocketResolveHost(FLocalAddr);
    } catch (const ESocketException& E) {
        RaiseException(E.Message());
        return false;
    }
    if (WS(bind)(FHSocket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        RaiseExceptionFmt("winsock.bind failed, error #%d", WS(WSAGetLastError)());
        return false;
    }
    int len = sizeof local;
    if (WS(getsockname)(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0) {
        RaiseExceptionFmt("winsock.getsockname failed, error #%d", WS(WSAGetLastError)());
        return false;
    }
    FLocalPortNum = Swap16(local.sin_port);
    FLocalPortStr = IntToStr(FLocalPortNum);
    return true;
}

bool TCustomWSocket::OpenHandle(const char* ErrorContext) {
    FSin.sin_family = static_cast<short>(FAddrFormat);
    DeleteBufferedData();
    FHSocket = WS(socket)(FAddrFormat, FType, FProto);
    // Winsock reuses handle values at once: the generation tells connections apart.
    ++FHandleGen;
    if (FHSocket == INVALID_SOCKET) {
        SocketError(ErrorContext);
        return false;
    }
    // A connection lost through a failed call was not followed by the defaults.
    FCloseInvoked = false;
    FPaused = false;
    return true;
}

void TCustomWSocket::Connect() {
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (!HasConnectTarget()) return;
    try {
        if (!FProtoResolved) {
            FProto = WSocketResolveProto(FProtoStr);
            FType = SocketTypeOf(FProto);
            FProtoResolved = true;
        }
        const char* protoName = FType == SOCK_DGRAM ? "udp" : "tcp";
        if (!FPortResolved) {
            FSin.sin_port = WSocketResolvePort(FPortStr, protoName);
            FPortResolved = true;
        }
        if (!FLocalPortResolved) {
            FLocalPortNum = Swap16(WSocketResolvePort(FLocalPortStr, protoName));
            FLocalPortResolved = true;
        }
        if (!FAddrResolved) {
            FSin.sin_addr.s_addr = WSocketResolveHost(FAddrStr);
            FAddrResolved = true;
        }
    } catch (const ESocketException& E) {
        RaiseException("connect: " + E.Message());
        return;
    }
    auto life = LifeToken();
    if (!OpenHandle("Connect (socket)")) return;
    FAllSent = true;
    ChangeState(wsOpened);
    if (!*life) return;
    if (FState != wsOpened) {
        WS(WSASetLastError)(WSAEINVAL);
        SocketError("Connect (Invalid operation in OnChangeState)");
        return;
    }
    BOOL on = TRUE;
    const char* pOn = reinterpret_cast<const char*>(&on);
    // With OnError assigned a failed bind must still stop here: connecting from another
    // address than the one asked for would go unnoticed.
    if (FType == SOCK_DGRAM) {
        if (!BindSocket() || !*life) return;
        if (MultiCast) {
            if (MultiCastIpTTL != 1) {
                int ttl = MultiCastIpTTL;
                if (WS(setsockopt)(FHSocket, IPPROTO_IP, kIpMulticastTtl, reinterpret_cast<const char*>(&ttl),
                                   sizeof ttl) != 0) {
                    SocketError("setsockopt(IP_MULTICAST_TTL)");
                    return;
                }
            }
            if (FLocalAddr != "0.0.0.0") {
                in_addr ia;
                ia.s_addr = WSocketResolveHost(FLocalAddr);
                if (WS(setsockopt)(FHSocket, IPPROTO_IP, kIpMulticastIf, reinterpret_cast<const char*>(&ia),
                                   sizeof ia) != 0) {
                    SocketError("setsockopt(IP_MULTICAST_IF)");
                    return;
                }
            }
        }
        if (FSin.sin_addr.s_addr == INADDR_NONE &&
            WS(setsockopt)(FHSocket, SOL_SOCKET, SO_BROADCAST, pOn, sizeof on) != 0) {
            SocketError("setsockopt(SO_BROADCAST)");
            return;
        }
    } else {
        if (WS(setsockopt)(FHSocket, SOL_SOCKET, SO_REUSEADDR, pOn, sizeof on) != 0) {
            SocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
        if ((ComponentOptions & wsoTcpNoDelay) &&
            WS(setsockopt)(FHSocket, IPPROTO_TCP, TCP_NODELAY, pOn, sizeof on) != 0) {
            SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
            return;
        }
        SetLingerOption();
        if (WS(setsockopt)(FHSocket, SOL_SOCKET, SO_KEEPALIVE, pOn, sizeof on) != 0) {
            SocketError("setsockopt(SO_KEEPALIVE)");
            return;
        }
        if ((FLocalPortNum != 0 || FLocalAddr != "0.0.0.0") && (!BindSocket() || !*life)) return;
    }
    FSelectEvent = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    if (WS(WSAAsyncSelect)(FHSocket, FWindowHandle, WM_SOCKET_SELECT, FSelectEvent) != 0) {
        SocketError("WSAAsyncSelect");
        return;
    }
    if (FType == SOCK_DGRAM) {
        ChangeState(wsConnected);
        if (!*life) return;
        TriggerSessionConnectedSpecial(0);
        return;
    }
    if (WS(connect)(FHSocket, reinterpret_cast<sockaddr*>(&FSin), sizeof FSin) == 0) {
        ChangeState(wsConnecting);
        return;
    }
    int err = WS(WSAGetLastError)();
    if (err == WSAEWOULDBLOCK) {
        ChangeState(wsConnecting);
        return;
    }
    FLastError = err;
    WS(WSASetLastError)(err);
    SocketError("Connect");
}

// ---- sending ----

void TCustomWSocket::DeleteBufferedData() { FSendQueue.Clear(); }

void TCustomWSocket::PutDataInSendBuffer(const void* Data, int Len) {
    if (!Data || Len <= 0) return;
    FAllSent = false;
    FSendQueue.Put(Data, Len);
}

int TCustomWSocket::Send(const void* Data, int Len) {
    if (FState != wsConnected && FState != wsSocksConnected) {
        WS(WSASetLastError)(WSAENOTCONN);
        SocketError("Send");
        return -1;
    }
    // Nothing to copy is nothing queued, whatever length came with it.
    if (Len < 0 || !Data) Len = 0;
    FAllSent = false;
    if (Len > 0) PutDataInSendBuffer(Data, Len);
    auto life = LifeToken();
    TryToSend();
    if (!*life) return Len;
    // Report OnDataSent from the message loop, never from inside the caller's Send.
    if (FAllSent && FHSocket != INVALID_SOCKET)
        PostMessageA(FWindowHandle, WM_SOCKET_SELECT, static_cast<WPARAM>(FHSocket),
                     WSAMAKESELECTREPLY(FD_WRITE, 0));
    return Len;
}

int TCustomWSocket::SendTo(const sockaddr_in& Dest, const void* Data, int Len) {
    if (!Data || Len <= 0) return 0;
    int n = WS(sendto)(FHSocket, static_cast<const char*>(Data), Len, FSendFlags,
                       reinterpret_cast<const sockaddr*>(&Dest), sizeof Dest);
    if (n < 0) FLastError = WS(WSAGetLastError)();
    return n;
}

int TCustomWSocket::RealSend(const char* Data, int Len) {
    if (FType == SOCK_DGRAM)
        return WS(sendto)(FHSocket, Data, Len, FSendFlags, reinterpret_cast<const sockaddr*>(&FSin),
                          sizeof FSin);
    return WS(send)(FHSocket, Data, Len, FSendFlags);
}

void TCustomWSocket::TryToSend() {
    if (FSendQueue.Empty()) {
        FAllSent = true;
        return;
    }
    if (FHSocket == INVALID_SOCKET) return;
    auto life = LifeToken();
    for (;;) {
        int len;
        const char* p = FSendQueue.Front(len);
        if (!p) {
            FAllSent = true;
            break;
        }
        int n = RealSend(p, len);
        if (n > 0) {
            // Taken off the queue before the handler runs: it may send or abort.
            FSendQueue.Remove(n);
            TriggerSendData(n);
            if (!*life) return;
            if (n < len) break;
            continue;
        }
        if (n == 0) break;
        int err = WS(WSAGetLastError)();
        if (err == WSAEINVAL || err == WSAENOTSOCK || err == WSAECONNABORTED || err == WSAECONNRESET ||
            err == WSAENOTCONN) {
            // A send from inside OnSessionClosed must not report the loss a second time.
            bool report = !FCloseInvoked;
            FCloseInvoked = true;
            Close();
            if (!*life) return;
            if (report) TriggerSessionClosed(static_cast<uint16_t>(err));
            return;
        }
        if (err == WSAEWOULDBLOCK) break;
        WS(WSASetLastError)(err);
        SocketError("TryToSend failed");
        return;
    }
}

// ---- receiving ----

int TCustomWSocket::DoRecv(void* Buffer, int Len, int Flags) {
    int n = WS(recv)(FHSocket, static_cast<char*>(Buffer), Len, Flags);
    if (n > 0) {
        FReadCount += n;
        ++FRecvProgress;
    }
    FReadMore = n == Len;
    return n;
}

int TCustomWSocket::DoRecvFrom(void* Buffer, int Len, int Flags, sockaddr_in& From) {
    int fromLen = sizeof From;
    int n = WS(recvfrom)(FHSocket, static_cast<char*>(Buffer), Len, Flags, reinterpret_cast<sockaddr*>(&From),
                         &fromLen);
    if (n > 0) {
        FReadCount += n;
        ++FRecvProgress;
    }
    FReadMore = n == Len;
    return n;
}

int TCustomWSocket::Receive(void* Buffer, int Len) {
    if (!Buffer || Len < 0) return -1;
    int n = DoRecv(Buffer, Len, 0);
    if (n < 0) FLastError = WS(WSAGetLastError)();
    return n;
}

std::string TCustomWSocket::ReceiveStr() {
    int n = RcvdCount();
    if (n <= 0) n = 255;
    std::string s(static_cast<size_t>(n), '\0');
    int got = Receive(&s[0], n);
    if (got <= 0) return std::string();
    s.resize(static_cast<size_t>(got));
    return s;
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int Len, sockaddr_in& From) {
    if (!Buffer || Len < 0) return -1;
    int n = DoRecvFrom(Buffer, Len, 0, From);
    if (n < 0) FLastError = WS(WSAGetLastError)();
    return n;
}

int TCustomWSocket::RcvdCount() {
    u_long n = 0;
    if (WS(ioctlsocket)(FHSocket, FIONREAD, &n) == SOCKET_ERROR) {
        SocketError("ioctlSocket");
        return -1;
    }
    return static_cast<int>(n);
}

// ---- closing ----

void TCustomWSocket::Close() { InternalClose(true, 0); }

void TCustomWSocket::CloseLater() { PostMessageA(FWindowHandle, WM_SOCKET_CLOSE_DELAYED, 0, 0); }

void TCustomWSocket::ReleaseLater() { PostMessageA(FWindowHandle, WM_SOCKET_RELEASE, 0, 0); }

void TCustomWSocket::Abort() { InternalAbort(0); }

void TCustomWSocket::InternalAbort(uint16_t ErrCode) {
    auto life = LifeToken();
    try {
        CancelDnsLookup();
    } catch (...) {
    }
    if (!*life) return;
    DeleteBufferedData();
    if (FState == wsConnected && FProto == IPPROTO_TCP) {
        LingerOnOff = wsLingerOff;
        try {
            SetLingerOption();
        } catch (...) {
        }
    }
    InternalClose(false, ErrCode);
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
    if (!FWindowHandle) return;
    MSG msg;
    for (int i = 0; i < 100000; ++i)
        if (!PeekMessageA(&msg, FWindowHandle, WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_REMOVE | PM_NOYIELD))
            break;
}

void TCustomWSocket::InternalClose(bool bShut, uint16_t Error) {
    auto life = LifeToken();
    if (FHSocket == INVALID_SOCKET) {
        if (FState != wsClosed) {
            ChangeState(wsClosed);
            if (!*life) return;
            try {
                AssignDefaultValue();
            } catch (...) {
            }
        }
        return;
    }
    if (FState == wsClosed) return;
    if (bShut) {
        ShutDown(1);
        // Linger on with zero seconds makes closesocket a reset that throws away what
        // Winsock still holds of our data; a graceful close lets it go out instead.
        if (FType == SOCK_STREAM && LingerOnOff == wsLingerOn && LingerTimeout == 0) {
            linger l{0, 0};
            WS(setsockopt)(FHSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
        }
    }
    // A lingering close of a non-blocking socket answers "would block" until the linger
    // time ran out; past that (and a margin) the close is made abortive.
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(LingerTimeout, 0)) * 1000 + 5000;
    const unsigned gen = FHandleGen;
    for (;;) {
        SOCKET h = FHSocket;
        if (WS(closesocket)(h) == 0) break;
        int err = WS(WSAGetLastError)();
        if (err == WSANOTINITIALISED) break;
        if (err != WSAEWOULDBLOCK) {
            // The handle is unusable either way; forgetting it keeps later closes quiet.
            FHSocket = INVALID_SOCKET;
            PurgeSelectMessages();
            ChangeState(wsClosed);
            if (!*life) return;
            WS(WSASetLastError)(err);
            SocketError("Disconnect (closesocket)");
            return;
        }
        if (GetTickCount() - start > limit) {
            linger l{1, 0};
            WS(setsockopt)(h, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
            continue;
        }
        MessagePump();
        if (!*life || FHSocket != h || FHandleGen != gen) return;
        WaitForInput(20);
    }
    FHSocket = INVALID_SOCKET;
    PurgeSelectMessages();
    ChangeState(wsClosed);
    if (!*life) return;
    if (!Destroying() && !FCloseInvoked) {
        FCloseInvoked = true;
        TriggerSessionClosed(Error);
        if (!*life) return;
    }
    // A handler may already have started the next connection; its settings stay.
    if (FHSocket != INVALID_SOCKET || FState != wsClosed) return;
    try {
        AssignDefaultValue();
    } catch (...) {
    }
}

void TCustomWSocket::Flush() {
    // Bounded by FlushTimeout so that a peer that stops reading cannot hang the caller.
    auto life = LifeToken();
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(FlushTimeout, 0)) * 1000;
    while (FHSocket != INVALID_SOCKET && !FAllSent) {
        TryToSend();
        if (!*life) return;
        if (FAllSent || FHSocket == INVALID_SOCKET) break;
        MessagePump();
        if (!*life) return;
        if (GetTickCount() - start >= limit) break;
        WaitForInput(20);
    }
}

void TCustomWSocket::WaitForClose() {
    auto life = LifeToken();
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(FlushTimeout, 0)) * 1000;
    while (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        MessagePump();
        if (!*life) return;
        if (FHSocket == INVALID_SOCKET || FState == wsClosed) break;
        u_long waiting = 0;
        if (WS(ioctlsocket)(FHSocket, FIONREAD, &waiting) == SOCKET_ERROR) break;
        if (waiting > 0) {
            TriggerDataAvailable(0);
            if (!*life) return;
            if (FHSocket == INVALID_SOCKET) break;
        }
        char probe;
        if (WS(recv)(FHSocket, &probe, 0, 0) < 0 && WS(WSAGetLastError)() != WSAEWOULDBLOCK) break;
        if (GetTickCount() - start >= limit) break;
        WaitForInput(20);
    }
}

// ---- server side ----

void TCustomWSocket::Listen() {
    // A second Listen on an open socket would lose the handle it already holds.
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        RaiseException("listen: Socket already in use");
        return;
    }
    if (!FPortAssigned) {
        WS(WSASetLastError)(WSAEINVAL);
        SocketError("listen: port not assigned");
        return;
    }
    if (!FProtoAssigned) {
        WS(WSASetLastError)(WSAEINVAL);
        SocketError("listen: protocol not assigned");
        return;
    }
    if (!FAddrAssigned) {
        WS(WSASetLastError)(WSAEINVAL);
        SocketError("listen: address not assigned");
        return;
    }
    try {
        if (FProtoStr.size() > 4 && LowerCase(FProtoStr.substr(0, 4)) == "raw_") {
            FType = SOCK_RAW;
            FProto = WSocketResolveProto(FProtoStr.substr(4));
        } else {
            FProto = WSocketResolveProto(FProtoStr);
            FType = SocketTypeOf(FProto);
        }
        FProtoResolved = true;
        FSin.sin_port = WSocketResolvePort(FPortStr, FType == SOCK_DGRAM ? "udp" : "tcp");
        FPortResolved = true;
        FSin.sin_addr.s_addr = WSocketResolveHost(FAddrStr);
        FAddrResolved = true;
    } catch (const ESocketException& E) {
        RaiseException("listen: " + E.Message());
        return;
    }
    auto life = LifeToken();
    if (!OpenHandle("socket")) return;
    BOOL on = TRUE;
    if (FType == SOCK_DGRAM && ReuseAddr &&
        WS(setsockopt)(FHSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) !=
            0) {
        int err = WS(WSAGetLastError)();
        DropHandle();
        WS(WSASetLastError)(err);
        SocketError("setsockopt(SO_REUSEADDR)");
        return;
    }
    if (WS(bind)(FHSocket, reinterpret_cast<sockaddr*>(&FSin), sizeof FSin) != 0) {
        // Nothing was reported open yet, so the handle goes without events.
        int err = WS(WSAGetLastError)();
        DropHandle();
        WS(WSASetLastError)(err);
        SocketError("Bind");
        return;
    }
    ChangeState(wsBound);
    if (!*life) return;
    switch (FType) {
    case SOCK_STREAM:
        if (WS(listen)(FHSocket, ListenBacklog) != 0) {
            SocketError("Listen");
            return;
        }
        ChangeState(wsListening);
        if (!*life) return;
        break;
    case SOCK_DGRAM:
        if (MultiCast) {
            struct {
                in_addr imr_multiaddr, imr_interface;
            } mreq;
            mreq.imr_multiaddr.s_addr = WS(inet_addr)(MultiCastAddrStr.c_str());
            mreq.imr_interface.s_addr = FSin.sin_addr.s_addr;
            if (WS(setsockopt)(FHSocket, IPPROTO_IP, kIpAddMembership, reinterpret_cast<const char*>(&mreq),
                               sizeof mreq) != 0) {
                SocketError("setsockopt(IP_ADD_MEMBERSHIP)");
                return;
            }
        }
        break;
    case SOCK_RAW:
        if (ComponentOptions & wsoSIO_RCVALL) {
            DWORD in = 1, out = 0;
            if (LoadWSAIoctl()(FHSocket, kSioRcvAll, &in, sizeof in, nullptr, 0, &out, nullptr, nullptr) !=
                0) {
                SocketError("WSAIoctl(SIO_RCVALL)");
                return;
            }
        }
        break;
    default:
        RaiseException("Listen: unexpected protocol.");
        return;
    }
    FSelectEvent = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
    if (WS(WSAAsyncSelect)(FHSocket, FWindowHandle, WM_SOCKET_SELECT, FSelectEvent) != 0)
        SocketError("WSAASyncSelect");
}

SOCKET TCustomWSocket::Accept() {
    if (FState != wsListening) {
        WS(WSASetLastError)(WSAEINVAL);
        SocketError("not a listening socket");
        return INVALID_SOCKET;
    }
    sockaddr_in sa{};
    int len = sizeof sa;
    SOCKET s = WS(accept)(FHSocket, reinterpret_cast<sockaddr*>(&sa), &len);
    if (s == INVALID_SOCKET) SocketError("Accept");
    return s;
}

void TCustomWSocket::Dup(SOCKET NewHSocket) {
    if (NewHSocket == 0 || NewHSocket == INVALID_SOCKET) {
        WS(WSASetLastError)(WSAEINVAL);
        SocketError("Dup");
        return;
    }
    if (FHSocket != INVALID_SOCKET) {
        if (WS(closesocket)(FHSocket) != 0) {
            SocketError("Dup (closesocket)");
            return;
        }
        FHSocket = INVALID_SOCKET;
        PurgeSelectMessages();
    }
    FHSocket = NewHSocket;
    ++FHandleGen;
    FCloseInvoked = false;
    SetLingerOption();
    FSelectEvent = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
    if (WS(WSAAsyncSelect)(FHSocket, FWindowHandle, WM_SOCKET_SELECT, FSelectEvent) != 0) {
        SocketError("WSAAsyncSelect");
        return;
    }
    ChangeState(wsConnected);
}

void TCustomWSocket::Pause() {
    FPaused = true;
    if (FHSocket != INVALID_SOCKET) WS(WSAAsyncSelect)(FHSocket, FWindowHandle, 0, 0);
}

void TCustomWSocket::Resume() {
    FPaused = false;
    if (FHSocket != INVALID_SOCKET)
        WS(WSAAsyncSelect)(FHSocket, FWindowHandle, WM_SOCKET_SELECT, FSelectEvent);
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
    return NtoA(sa.sin_addr);
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
    return NtoA(sa.sin_addr);
}

void TCustomWSocket::MessagePump() {
    if (!FMultiThreaded) {
        WSocketProcessMessages();
        return;
    }
    auto life = LifeToken();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FTerminated = true;
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (!*life) return;
    }
}

// ---- line mode ----

TCustomLineWSocket::TCustomLineWSocket(TComponent* AOwner) : TCustomSocksWSocket(AOwner) {}

void TCustomLineWSocket::AssignDefaultValue() {
    TCustomSocksWSocket::AssignDefaultValue();
    FRcvdBuf.clear();
    FLineLength = 0;
}

void TCustomLineWSocket::SetLineMode(bool Value) {
    if (FLineMode == Value) return;
    FLineMode = Value;
    FLineLength = 0;
    FRescan = true;
    if (!FRcvdBuf.empty() && FWindowHandle) PostMessageA(FWindowHandle, WM_SOCKET_LINE_TRIGGER, 0, 0);
}

void TCustomLineWSocket::SetLineEnd(const std::string& Value) {
    FLineEnd = Value;
    FRescan = true;
}

int TCustomLineWSocket::SendLine(const std::string& Str) { return SendStr(Str + FLineEnd); }

int TCustomLineWSocket::Receive(void* Buffer, int Len) {
    if (!Buffer || Len < 0) return -1;
    if (LineActive()) {
        int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(Len), FLineLength));
        if (n <= 0) return 0;
        std::memcpy(Buffer, FRcvdBuf.data(), n);
        FRcvdBuf.erase(0, n);
        FLineLength -= n;
        return n;
    }
    if (!FRcvdBuf.empty()) {
        int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(Len), FRcvdBuf.size()));
        std::memcpy(Buffer, FRcvdBuf.data(), n);
        FRcvdBuf.erase(0, n);
        return n;
    }
    return TCustomSocksWSocket::Receive(Buffer, Len);
}

int TCustomLineWSocket::RcvdCount() {
    if (LineActive()) return static_cast<int>(FLineLength);
    if (!FRcvdBuf.empty()) return static_cast<int>(FRcvdBuf.size());
    return TCustomSocksWSocket::RcvdCount();
}

void TCustomLineWSocket::TriggerLineLimitExceeded(int Cnt, bool& ClearData) {
    Raise(OnLineLimitExceeded, this, Cnt, ClearData);
}

void TCustomLineWSocket::EditLine(size_t From) {
    if (!LineEdit) {
        if (LineEcho && From < FRcvdBuf.size()) SendStr(FRcvdBuf.substr(From));
        return;
    }
    std::string result = FRcvdBuf.substr(0, From);
    std::string echo;
    // Editing stays within the current line: a backspace never takes back an earlier
    // line's end, and tab stops count from the line's first character.
    size_t lineStart = 0;
    size_t lastEnd = FLineEnd.empty() ? std::string::npos : result.rfind(FLineEnd);
    if (lastEnd != std::string::npos) lineStart = lastEnd + FLineEnd.size();
    for (size_t i = From; i < FRcvdBuf.size(); ++i) {
        char c = FRcvdBuf[i];
        if (c == '\b') {
            if (result.size() > lineStart) {
                result.pop_back();
                if (LineEcho) echo += "\b \b";
            }
        } else if (c == '\t') {
            size_t spaces = 8 - (result.size() - lineStart) % 8;
            result.append(spaces, ' ');
            if (LineEcho) echo.append(spaces, ' ');
        } else {
            result += c;
            if (LineEcho) echo += c;
            if (!FLineEnd.empty() && result.size() - lineStart >= FLineEnd.size() &&
                result.compare(result.size() - FLineEnd.size(), FLineEnd.size(), FLineEnd) == 0)
                lineStart = result.size();
        }
    }
    FRcvdBuf.swap(result);
    if (!echo.empty()) SendStr(echo);
}

bool TCustomLineWSocket::DeliverRawBuffer() {
    auto life = LifeToken();
    if (!OnDataAvailable) {
        FRcvdBuf.clear();
        return true;
    }
    while (!FRcvdBuf.empty() && !LineActive()) {
        size_t before = FRcvdBuf.size();
        OnDataAvailable(this, 0);
        if (!*life) return false;
        if (FRcvdBuf.size() == before) break;
    }
    return true;
}

bool TCustomLineWSocket::OfferLine(uint16_t Error) {
    auto life = LifeToken();
    while (LineActive() && FLineLength > 0) {
        size_t before = FLineLength;
        Raise(OnDataAvailable, this, Error);
        if (!*life) return false;
        if (FLineLength == before) break;
    }
    return true;
}

bool TCustomLineWSocket::TriggerDataAvailable(uint16_t Error) {
    if (!LineActive()) {
        if (!FRcvdBuf.empty()) {
            // Left over from line mode: handed out before anything newer.
            if (!OnDataAvailable) {
                FRcvdBuf.clear();
                return false;
            }
            OnDataAvailable(this, Error);
            return true;
        }
        return TCustomSocksWSocket::TriggerDataAvailable(Error);
    }
    auto life = LifeToken();
    size_t old = FRcvdBuf.size();
    if (FHSocket != INVALID_SOCKET) {
        u_long waiting = 0;
        if (WS(ioctlsocket)(FHSocket, FIONREAD, &waiting) == SOCKET_ERROR) waiting = 0;
        if (waiting == 0) waiting = 255;
        waiting = std::min<u_long>(waiting, 65536);
        FRcvdBuf.resize(old + waiting);
        int n = DoRecv(&FRcvdBuf[old], static_cast<int>(waiting), 0);
        if (n < 0) {
            int e = WS(WSAGetLastError)();
            if (e != WSAEWOULDBLOCK) FLastError = e;
            n = 0;
        }
        FRcvdBuf.resize(old + n);
        if (n > 0) {
            EditLine(old);
            if (!*life) return true;
        }
    }
    size_t from = FRescan ? 0 : (old >= FLineEnd.size() ? old - FLineEnd.size() : 0);
    FRescan = false;
    FLineFound = false;
    while (LineActive()) {
        size_t pos = FRcvdBuf.find(FLineEnd, std::min(from, FRcvdBuf.size()));
        if (pos == std::string::npos) break;
        FLineFound = true;
        FLineLength = pos + FLineEnd.size();
        if (!OfferLine(Error)) return true;
        // What the handler left of the line is dropped (it stays when line mode ended).
        if (FLineLength > 0) {
            FRcvdBuf.erase(0, std::min(FLineLength, FRcvdBuf.size()));
            FLineLength = 0;
        }
        from = 0;
    }
    if (!FLineMode) {
        if (!DeliverRawBuffer()) return true;
    } else if (LineActive() && LineLimit > 0 && FRcvdBuf.size() > static_cast<size_t>(LineLimit)) {
        bool clearData = true;
        TriggerLineLimitExceeded(static_cast<int>(FRcvdBuf.size()), clearData);
        if (!*life) return true;
        if (clearData) FRcvdBuf.clear();
    }
    return true;
}

void TCustomLineWSocket::TriggerSessionClosed(uint16_t Error) {
    if (LineActive() && !FRcvdBuf.empty()) {
        // An unterminated tail is still a line.
        FLineLength = FRcvdBuf.size();
        if (!OfferLine(Error)) return;
        FRcvdBuf.clear();
        FLineLength = 0;
    }
    TCustomSocksWSocket::TriggerSessionClosed(Error);
}

bool TCustomLineWSocket::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg != WM_SOCKET_LINE_TRIGGER) return TCustomSocksWSocket::WndProc(Msg, WParam, LParam);
    auto life = LifeToken();
    int idlePasses = 0;
    while (!FRcvdBuf.empty()) {
        size_t before = FRcvdBuf.size();
        TriggerDataAvailable(0);
        if (!*life) return true;
        if (LineActive()) {
            if (!FLineFound && ++idlePasses > 3) break;
        } else if (FRcvdBuf.size() == before) {
            break;
        }
    }
    return true;
}

// ---- waiting ----

int TCustomSyncWSocket::WaitUntilReady(const int& DoneFlag) {
    auto life = LifeToken();
    DWORD start = GetTickCount();
    for (;;) {
        if (DoneFlag) return 0;
        DWORD elapsed = GetTickCount() - start;
        if (Timeout && elapsed >= Timeout) return WSocket_ETIMEOUT;
        if (WSocketApplicationTerminated() || FTerminated) return WSocket_ETIMEOUT;
        MessagePump();
        if (!*life) return WSocket_ETIMEOUT;
        if (DoneFlag) return 0;
        // Sleep until a message arrives instead of spinning; the cap re-checks the clock.
        DWORD wait = 50;
        if (Timeout) wait = std::min<DWORD>(wait, Timeout - std::min(Timeout, GetTickCount() - start));
        WaitForInput(wait);
    }
}

int TCustomSyncWSocket::Synchronize(const std::function<void()>& Proc, int& DoneFlag) {
    DoneFlag = 0;
    if (Proc) Proc();
    return WaitUntilReady(DoneFlag);
}
