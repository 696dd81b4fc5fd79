#pragma once
// Winsock 1.1, loaded from wsock32.dll on first use and shared by every socket of the
// process (ws2_32.dll only for WSAIoctl), and the resolvers built on it.
#include <winsock2.h>
#include <windows.h>

#include <string>

// Requested Winsock version; may change only while the library is not loaded.
BYTE WSocketReqVerLow();
BYTE WSocketReqVerHigh();
void WSocketSetReqVerLow(BYTE Value);
void WSocketSetReqVerHigh(BYTE Value);
// True while wsock32.dll is loaded (some socket or call holds it).
bool WSocketLibraryLoaded();
// Live sockets (and calls) holding the library.
int WSocketLiveCount();
// Buffers kept for name lookups, running, finished or cancelled.
int WSocketLookupBuffers();

// Resolvers; they throw ESocketException (with the Winsock error, if any). Results in
// network byte order.
u_long WSocketResolveHost(const std::string& InAddr);
u_short WSocketResolvePort(const std::string& Port, const std::string& Proto);
int WSocketResolveProto(const std::string& Proto);
std::string LocalHostName();

// ---- for the socket's own files ----

// One function a line, which the formatter would pack together.
// clang-format off
#define WSOCK32_FUNCS(X) \
    X(WSAStartup) \
    X(WSACleanup) \
    X(WSASetLastError) \
    X(WSAGetLastError) \
    X(WSACancelAsyncRequest) \
    X(WSAAsyncGetHostByName) \
    X(WSAAsyncGetHostByAddr) \
    X(WSAAsyncSelect) \
    X(getservbyname) \
    X(getprotobyname) \
    X(gethostbyname) \
    X(gethostname) \
    X(socket) \
    X(shutdown) \
    X(setsockopt) \
    X(sendto) \
    X(send) \
    X(ntohs) \
    X(listen) \
    X(ioctlsocket) \
    X(inet_ntoa) \
    X(inet_addr) \
    X(htons) \
    X(getsockname) \
    X(getpeername) \
    X(connect) \
    X(closesocket) \
    X(bind) \
    X(accept) \
    X(recv) \
    X(recvfrom)

enum WsFn {
#define X(n) fn_##n,
    WSOCK32_FUNCS(X)
#undef X
    fnCount
};
// clang-format on

// The address of a wsock32.dll function, loading the library first; throws ESocketException.
FARPROC WinsockProc(WsFn Fn);
template <typename T>
T WinsockCast(FARPROC p) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(p));
}
#define WS(n) (WinsockCast<decltype(&::n)>(WinsockProc(fn_##n)))

using PWSAIoctl = int(WSAAPI*)(SOCKET, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPWSAOVERLAPPED,
                               LPWSAOVERLAPPED_COMPLETION_ROUTINE);
PWSAIoctl WinsockIoctl();

// A socket's share of the library; the last release unloads it and answers true.
void WinsockAddRef();
bool WinsockRelease();

std::string WinsockNtoA(in_addr A);
// SOCK_STREAM for tcp, SOCK_DGRAM for udp, SOCK_RAW for any other protocol.
inline int WinsockSocketType(int Proto) {
    return Proto == IPPROTO_UDP ? SOCK_DGRAM : Proto == IPPROTO_TCP ? SOCK_STREAM : SOCK_RAW;
}

// Result buffers of asynchronous lookups. A Winsock may still write an answer into the
// buffer of a lookup it said it cancelled, so such a buffer rests behind the next few
// released ones before it is lent again; none is ever freed, and their number stays bounded.
const int kLookupBufferSize = 1024;
char* LendLookupBuffer();
void ReturnLookupBuffer(char* Buffer, bool MayStillBeWritten);
