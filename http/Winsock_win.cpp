#include "http/Winsock_win.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "base/StrUtils.h"
#include "http/WSocket.h"

namespace {
const char* const kFnNames[] = {
#define X(n) #n,
    WSOCK32_FUNCS(X)
#undef X
};
// Released lookup buffers that Winsock may still write into; one is lent again only once
// this many were released after it.
const size_t kLookupQuarantine = 16;

struct LibState {
    CRITICAL_SECTION cs;  // loading, lookups, live count, lookup buffers
    HMODULE lib = nullptr;
    HMODULE ws2 = nullptr;
    FARPROC procs[fnCount] = {};
    FARPROC ioctlProc = nullptr;
    int count = 0;
    BYTE verLow = 1, verHigh = 1;
    std::vector<std::unique_ptr<char[]>> lookupBuffers;
    std::vector<char*> idleBuffers;    // nothing writes into them
    std::deque<char*> restingBuffers;  // oldest first
    LibState() { InitializeCriticalSection(&cs); }
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

// Holds the library for the length of a call made outside any socket.
struct WinsockHold {
    WinsockHold() { WinsockAddRef(); }
    ~WinsockHold() { WinsockRelease(); }
    WinsockHold(const WinsockHold&) = delete;
    WinsockHold& operator=(const WinsockHold&) = delete;
};

u_short Swap16(u_short v) { return static_cast<u_short>((v >> 8) | (v << 8)); }
}  // namespace

FARPROC WinsockProc(WsFn Fn) {
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
        int err = WinsockCast<decltype(&::WSAStartup)>(p)(MAKEWORD(s.verLow, s.verHigh), &data);
        if (err != 0) {
            FreeLibrary(h);
            throw ESocketException(Format("%s: WSAStartup error #%d", "wsock32.dll", err), err);
        }
        s.lib = h;
        s.procs[fn_WSAStartup] = p;
    }
    if (!s.procs[Fn]) {
        FARPROC p = GetProcAddress(s.lib, kFnNames[Fn]);
        if (!p)
            throw ESocketException("Procedure " + std::string(kFnNames[Fn]) +
                                   " not found in wsock32.dll Error #" + IntToStr(GetLastError()));
        s.procs[Fn] = p;
    }
    return s.procs[Fn];
}

PWSAIoctl WinsockIoctl() {
    WinsockProc(fn_WSAStartup);  // the main library first, so unloading frees both together
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
    return WinsockCast<PWSAIoctl>(s.ioctlProc);
}

void WinsockAddRef() {
    Lock lock(Lib().cs);
    ++Lib().count;
}

bool WinsockRelease() {
    LibState& s = Lib();
    Lock lock(s.cs);
    if (--s.count >= 1) return false;
    s.count = 0;
    if (s.lib) {
        FARPROC p = s.procs[fn_WSACleanup] ? s.procs[fn_WSACleanup] : GetProcAddress(s.lib, "WSACleanup");
        if (p) WinsockCast<decltype(&::WSACleanup)>(p)();
        FreeLibrary(s.lib);
        s.lib = nullptr;
    }
    if (s.ws2) {
        FreeLibrary(s.ws2);
        s.ws2 = nullptr;
    }
    std::fill(std::begin(s.procs), std::end(s.procs), nullptr);
    s.ioctlProc = nullptr;
    return true;
}

std::string WinsockNtoA(in_addr A) {
    const char* p = WS(inet_ntoa)(A);
    return p ? p : "";
}

// ---- lookup buffers ----

char* LendLookupBuffer() {
    LibState& s = Lib();
    Lock lock(s.cs);
    char* p;
    if (!s.idleBuffers.empty()) {
        p = s.idleBuffers.back();
        s.idleBuffers.pop_back();
    } else if (s.restingBuffers.size() > kLookupQuarantine) {
        p = s.restingBuffers.front();
        s.restingBuffers.pop_front();
    } else {
        s.lookupBuffers.emplace_back(new char[kLookupBufferSize]);
        p = s.lookupBuffers.back().get();
    }
    std::memset(p, 0, kLookupBufferSize);
    return p;
}

void ReturnLookupBuffer(char* Buffer, bool MayStillBeWritten) {
    if (!Buffer) return;
    LibState& s = Lib();
    Lock lock(s.cs);
    if (MayStillBeWritten)
        s.restingBuffers.push_back(Buffer);
    else
        s.idleBuffers.push_back(Buffer);
}

int WSocketLookupBuffers() {
    Lock lock(Lib().cs);
    return static_cast<int>(Lib().lookupBuffers.size());
}

// ---- library state ----

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

// ---- resolvers ----

u_long WSocketResolveHost(const std::string& InAddr) {
    if (InAddr.empty() || InAddr.size() > 256)
        throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid Hostname.", WSocket_EINVAL);
    WinsockHold hold;
    if (WSocketIsDottedIP(InAddr)) {
        std::string a = Trim(InAddr);
        u_long addr = WS(inet_addr)(a.c_str());
        if (addr == INADDR_NONE && a != "255.255.255.255")
            throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid IP address.",
                                   WSocket_EINVAL);
        return addr;
    }
    hostent* he = WS(gethostbyname)(InAddr.c_str());
    if (!he || he->h_length != 4 || !he->h_addr_list || !he->h_addr_list[0]) {
        const int err = he ? WSocket_EINVAL : WS(WSAGetLastError)();
        throw ESocketException(
            Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d", InAddr.c_str(), err),
            err);
    }
    u_long addr;
    std::memcpy(&addr, he->h_addr_list[0], 4);
    return addr;
}

u_short WSocketResolvePort(const std::string& Port, const std::string& Proto) {
    if (Port.empty() || Port.size() >= 32)
        throw ESocketException("WSocketResolvePort: Invalid Port.", WSocket_EINVAL);
    if (Proto.empty() || Proto.size() >= 32)
        throw ESocketException("WSocketResolvePort: Invalid Proto.", WSocket_EINVAL);
    std::string lead = TrimLeft(Port);
    if (!lead.empty() && lead[0] >= '0' && lead[0] <= '9') {
        int n;
        if (!WSocketParseLeadingNumber(Port, n))
            throw ESocketException("WSocketResolvePort: Invalid Port.", WSocket_EINVAL);
        return Swap16(static_cast<u_short>(n));
    }
    WinsockHold hold;
    servent* se = WS(getservbyname)(Port.c_str(), Proto.c_str());
    if (!se) {
        const int err = WS(WSAGetLastError)();
        throw ESocketException(
            Format("WSocketResolvePort: Cannot convert port '%s', Error #%d", Port.c_str(), err), err);
    }
    return se->s_port;
}

int WSocketResolveProto(const std::string& Proto) {
    if (Proto.empty() || Proto.size() >= 32)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.", WSocket_EINVAL);
    std::string lead = TrimLeft(Proto);
    if (!lead.empty() && lead[0] >= '0' && lead[0] <= '9') {
        int n;
        if (!WSocketParseLeadingNumber(Proto, n))
            throw ESocketException("WSocketResolveProto: Invalid Protocol.", WSocket_EINVAL);
        return n;
    }
    std::string p = LowerCase(Trim(Proto));
    if (p == "tcp") return IPPROTO_TCP;
    if (p == "udp") return IPPROTO_UDP;
    if (p == "raw") return IPPROTO_RAW;
    WinsockHold hold;
    protoent* pe = WS(getprotobyname)(p.c_str());
    if (!pe) {
        const int err = WS(WSAGetLastError)();
        throw ESocketException(
            Format("WSocketResolveProto: Cannot convert protocol '%s', Error #%d", Proto.c_str(), err), err);
    }
    return pe->p_proto;
}

std::string LocalHostName() {
    WinsockHold hold;
    char buf[64] = {};
    if (WS(gethostname)(buf, sizeof buf) != 0)
        throw ESocketException("Winsock.GetHostName failed", WS(WSAGetLastError)());
    buf[sizeof buf - 1] = 0;
    return buf;
}
