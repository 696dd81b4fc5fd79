// The SOCKS layer of the socket rules: Connect goes to the SOCKS server, and the negotiation
// runs between the connection to the server and OnSessionConnected, while the socket is
// already connected. What the server says is read into a reply buffer and decoded there
// (SocksLayer.cpp); bytes that came behind its last reply are the application's.
#include <cstdio>

#include "base/StrUtils.h"
#include "http/WSocket.h"

// ---- properties ----

namespace {
// The SOCKS settings may change only while closed; their own value is always accepted.
bool SettableWhen(TSocketState State, const std::string& Current, const std::string& Value) {
    return State == wsClosed || Current == Value;
}
}  // namespace

void TWSocketBase::SetSocksLevel(const std::string& Value) {
    const std::string level = SocksNormalLevel(Value);
    if (level.empty())
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    else if (!SettableWhen(FState, FSocksLevel, level))
        RaiseException("Can't change socks level if not closed");
    else
        FSocksLevel = level;
}

void TWSocketBase::SetSocksServer(const std::string& Value) {
    const std::string v = Trim(Value);
    if (!SettableWhen(FState, FSocksServer, v))
        RaiseException("Can't change socks server if not closed");
    else
        FSocksServer = v;
}

void TWSocketBase::SetSocksPort(const std::string& Value) {
    const std::string v = Trim(Value);
    if (!SettableWhen(FState, FSocksPort, v))
        RaiseException("Can't change socks port if not closed");
    else
        FSocksPort = v;
}

// ---- resolvers without a name service ----

uint16_t TWSocketBase::ResolvePortNumber(const std::string& Port) {
    int n = 0;
    if (Port.empty() || Port.size() >= 32 || !WSocketParseLeadingNumber(Port, n))
        throw ESocketException("WSocketResolvePort: Invalid Port.", WSocket_EINVAL);
    return static_cast<uint16_t>(n);
}

uint32_t TWSocketBase::ResolveHostAddress(const std::string& Host) {
    unsigned a[4];
    if (!WSocketIsDottedIP(Host) ||
        std::sscanf(Host.c_str(), " %u.%u.%u.%u", &a[0], &a[1], &a[2], &a[3]) != 4)
        throw ESocketException(
            Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d", Host.c_str(), 11001),
            11001);
    return a[0] << 24 | a[1] << 16 | a[2] << 8 | a[3];
}

// ---- the negotiation ----

void TWSocketBase::SocksReset() {
    FSocksPhase = spData;
    FSocksReplyCount = 0;
    FSocksHeld.clear();
}

bool TWSocketBase::SocksPrepare() {
    int number = 0;
    const std::string proto = LowerCase(Trim(FProtoStr));
    if (proto != "tcp" && !(WSocketParseLeadingNumber(proto, number) && number == 6)) {
        FailConnect(WSocket_EINVAL, "tcp is the only protocol supported thru socks server");
        return false;
    }
    try {
        FSocksDestPort = ResolvePortNumber(FPortStr);
    } catch (const ESocketException& E) {
        FailConnect(E.ErrorCode ? E.ErrorCode : WSocket_EINVAL, "connect: " + E.Message());
        return false;
    }
    // The transport resolves where it connects: the server, not Addr.
    FAddrResolved = FPortResolved = false;
    SocksReset();
    FSocksBoundAddr.clear();
    FSocksBoundPort.clear();
    FSocksPhase = spConnecting;
    return true;
}

void TWSocketBase::SocksConnected(uint16_t Error) {
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    if (Error != 0) FSocksPhase = spData;
    Raise(OnSocksConnected, this, Error);
    if (!*life || gen != FConnGen || !HasHandle()) return;
    if (Error != 0) {
        // A failed connect like any other: the caller hears it, and the socket closes.
        TriggerSessionConnected(Error);
        return;
    }
    if (FSocksLevel[0] == '4') {
        SocksSendRequest();
        return;
    }
    FSocksPhase = spMethod;
    FSocksMethod = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
    SocksSend(SocksMethodRequest(FSocksMethod));
}

void TWSocketBase::SocksSend(const std::string& Data) {
    FSocksReplyCount = 0;
    Send(Data.data(), static_cast<int>(Data.size()));
}

void TWSocketBase::SocksSendRequest() {
    FSocksPhase = spRequest;
    std::string request;
    if (FSocksLevel == "5") {
        request = Socks5ConnectRequest(FSocksDestPort, FAddrStr);
        // A name its length byte cannot count is no name a server could reach.
        if (request.empty()) return SocksFail(socksErrAddressType, "address type not supported");
    } else if (FSocksLevel == "4A") {
        request = Socks4AConnectRequest(FSocksDestPort, FAddrStr, SocksUsercode);
    } else {
        uint32_t address = 0;
        try {
            address = ResolveHostAddress(FAddrStr);
        } catch (const ESocketException& E) {
            return SocksFail(socksErrResolve, "ESocketException " + E.Message());
        }
        request = Socks4ConnectRequest(FSocksDestPort, address, SocksUsercode);
    }
    SocksSend(request);
}

void TWSocketBase::SocksDataAvailable(uint16_t Error) {
    if (Error != 0) return SocksFail(Error, "data receive error");
    if (FSocksPhase == spConnecting) return SocksFail(socksErrInternal, "internal error");
    // The buffer holds the longest reply, so a reply always completes or fails within it.
    const int room = kSocksReplyMax - FSocksReplyCount;
    if (room <= 0) return SocksFail(socksErrInternal, "internal error");
    int err = 0;
    const int n = RawReceive(reinterpret_cast<char*>(FSocksReply) + FSocksReplyCount, room, err);
    if (n < 0) {
        if (err != WSocket_EWOULDBLOCK) SocksFail(err, "data receive error");
        return;
    }
    if (n == 0) return;  // the server closed: its close is reported next
    CountReceived(n);
    FSocksReplyCount += n;
    const size_t len = static_cast<size_t>(FSocksReplyCount);
    const TSocksReply r = FSocksPhase == spMethod ? SocksDecodeMethodReply(FSocksReply, len, FSocksMethod)
                          : FSocksPhase == spAuth
                              ? SocksDecodeAuthReply(FSocksReply, len)
                              : SocksDecodeConnectReply(FSocksLevel == "5", FSocksReply, len);
    if (r.Status == TSocksReply::More) return;
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    auto same = [&] { return *life && gen == FConnGen && HasHandle(); };
    if (r.Status == TSocksReply::Failed) {
        if (FSocksPhase == spAuth) {
            TriggerSocksAuthState(socksAuthFailure);
            if (!same()) return;
        }
        return SocksFail(r.Error, r.Msg);
    }
    switch (FSocksPhase) {
    case spMethod:
        if (r.Method == 2) {
            FSocksPhase = spAuth;
            TriggerSocksAuthState(socksAuthStart);
            if (same()) SocksSend(SocksAuthRequest(SocksUsercode, SocksPassword));
            return;
        }
        if (FSocksMethod == 2) {
            TriggerSocksAuthState(socksAuthNotRequired);
            if (!same()) return;
        }
        return SocksSendRequest();
    case spAuth:
        TriggerSocksAuthState(socksAuthSuccess);
        if (same()) SocksSendRequest();
        return;
    default:
        FSocksBoundAddr = r.BoundAddr;
        FSocksBoundPort = r.BoundPort;
        SocksDone(r.Length);
    }
}

void TWSocketBase::SocksDone(size_t ReplyLength) {
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    FSocksHeld.assign(reinterpret_cast<const char*>(FSocksReply) + ReplyLength,
                      static_cast<size_t>(FSocksReplyCount) - ReplyLength);
    FSocksReplyCount = 0;
    FSocksPhase = spData;
    TriggerSessionConnected(0);
    if (!*life || gen != FConnGen || !HasHandle()) return;
    // What came with the reply is in no Winsock buffer, so no read notification tells of it.
    if (!FSocksHeld.empty()) TriggerDataAvailable(0);
}

void TWSocketBase::SocksFail(int Code, const std::string& Msg) {
    auto life = LifeToken();
    const unsigned gen = FConnGen;
    auto same = [&] { return *life && gen == FConnGen && HasHandle(); };
    FSocksPhase = spData;
    FLastError = Code;
    Raise(OnSocksError, this, Code, Msg);
    if (!same()) return;
    TriggerSessionConnected(static_cast<uint16_t>(Code));
    if (!same()) return;
    InternalClose(true, static_cast<uint16_t>(Code));
}

void TWSocketBase::SocksClosed(uint16_t Error) {
    auto life = LifeToken();
    const bool inAuth = FSocksPhase == spAuth;
    FSocksPhase = spData;
    if (inAuth) {
        TriggerSocksAuthState(socksAuthFailure);
        if (!*life) return;
    }
    // A server that hangs up before the connection was made fails the Connect, which must
    // still end in its one completion; a close of our own is no news to the caller.
    if (FState != wsClosed) TriggerSessionConnected(Error != 0 ? Error : uint16_t{WSocket_ECONNABORTED});
}
