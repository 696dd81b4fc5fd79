// The socket's other roles, beside the TCP client the HTTP client uses: listening and
// accepting, datagrams (with multicast) and raw sockets.
#include "http/WSocket_win.h"

#include "base/StrUtils.h"

namespace {
// Option numbers as wsock32.dll (Winsock 1.1) defines them; winsock2.h numbers differ.
const int kIpMulticastIf = 2;
const int kIpMulticastTtl = 3;
const int kIpAddMembership = 5;
const DWORD kSioRcvAll = 0x98000001;
}  // namespace

void TCustomWSocket::Listen() {
    // A second Listen on an open socket would lose the handle it already holds.
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        RaiseException("listen: Socket already in use");
        return;
    }
    const char* missing = !FPortAssigned    ? "listen: port not assigned"
                          : !FProtoAssigned ? "listen: protocol not assigned"
                          : !FAddrAssigned  ? "listen: address not assigned"
                                            : nullptr;
    if (missing) {
        RaiseSocketError(WSAEINVAL, missing);
        return;
    }
    try {
        if (FProtoStr.size() > 4 && LowerCase(FProtoStr.substr(0, 4)) == "raw_") {
            FType = SOCK_RAW;
            FProto = WSocketResolveProto(FProtoStr.substr(4));
        } else {
            FProto = WSocketResolveProto(FProtoStr);
            FType = WinsockSocketType(FProto);
        }
        FProtoResolved = true;
        FSin.sin_port = WSocketResolvePort(FPortStr, FType == SOCK_DGRAM ? "udp" : "tcp");
        FPortResolved = true;
        FSin.sin_addr.s_addr = WSocketResolveHost(FAddrStr);
        FAddrResolved = true;
    } catch (const ESocketException& E) {
        FLastError = E.ErrorCode;
        RaiseException("listen: " + E.Message());
        return;
    }
    auto life = LifeToken();
    std::string msg;
    if (const int err = OpenHandle(msg, "socket")) {
        RaiseSocketError(err, "socket");
        return;
    }
    BOOL on = TRUE;
    if (FType == SOCK_DGRAM && ReuseAddr &&
        WS(setsockopt)(FHSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) !=
            0) {
        const int err = WS(WSAGetLastError)();
        DropHandle();
        RaiseSocketError(err, "setsockopt(SO_REUSEADDR)");
        return;
    }
    if (WS(bind)(FHSocket, reinterpret_cast<sockaddr*>(&FSin), sizeof FSin) != 0) {
        // Nothing was reported open yet, so the handle goes without events.
        const int err = WS(WSAGetLastError)();
        DropHandle();
        RaiseSocketError(err, "Bind");
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
            if (WinsockIoctl()(FHSocket, kSioRcvAll, &in, sizeof in, nullptr, 0, &out, nullptr, nullptr) !=
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
    if (WS(WSAAsyncSelect)(FHSocket, Handle(), WM_SOCKET_SELECT, FSelectEvent) != 0)
        SocketError("WSAASyncSelect");
}

SOCKET TCustomWSocket::Accept() {
    if (FState != wsListening) {
        RaiseSocketError(WSAEINVAL, "not a listening socket");
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
        RaiseSocketError(WSAEINVAL, "Dup");
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
    BeginConnection();
    SetLingerOption();
    FSelectEvent = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
    if (WS(WSAAsyncSelect)(FHSocket, Handle(), WM_SOCKET_SELECT, FSelectEvent) != 0) {
        SocketError("WSAAsyncSelect");
        return;
    }
    ChangeState(wsConnected);
}

int TCustomWSocket::SetupDatagram(std::string& Msg) {
    if (const int err = BindSocket(Msg)) return err;
    if (MultiCast) {
        if (MultiCastIpTTL != 1) {
            int ttl = MultiCastIpTTL;
            if (WS(setsockopt)(FHSocket, IPPROTO_IP, kIpMulticastTtl, reinterpret_cast<const char*>(&ttl),
                               sizeof ttl) != 0)
                return LastCallError(Msg, "setsockopt(IP_MULTICAST_TTL)");
        }
        if (FLocalAddr != "0.0.0.0") {
            // The address the bind resolved: resolving again could fail, or differ.
            in_addr ia;
            ia.s_addr = FLocalSinAddr;
            if (WS(setsockopt)(FHSocket, IPPROTO_IP, kIpMulticastIf, reinterpret_cast<const char*>(&ia),
                               sizeof ia) != 0)
                return LastCallError(Msg, "setsockopt(IP_MULTICAST_IF)");
        }
    }
    BOOL on = TRUE;
    if (FSin.sin_addr.s_addr == INADDR_NONE &&
        WS(setsockopt)(FHSocket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) !=
            0)
        return LastCallError(Msg, "setsockopt(SO_BROADCAST)");
    return 0;
}

int TCustomWSocket::SendTo(const sockaddr_in& Dest, const void* Data, int Len) {
    if (!Data || Len <= 0) return 0;
    int n = WS(sendto)(FHSocket, static_cast<const char*>(Data), Len, FSendFlags,
                       reinterpret_cast<const sockaddr*>(&Dest), sizeof Dest);
    if (n < 0) FLastError = WS(WSAGetLastError)();
    return n;
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int Len, sockaddr_in& From) {
    if (!Buffer || Len < 0) return -1;
    int fromLen = sizeof From;
    int n = WS(recvfrom)(FHSocket, static_cast<char*>(Buffer), Len, 0, reinterpret_cast<sockaddr*>(&From),
                         &fromLen);
    if (n < 0)
        FLastError = WS(WSAGetLastError)();
    else
        CountReceived(n);
    return n;
}
