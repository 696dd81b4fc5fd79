#include "http/WSocket.h"

#include <cstdio>
#include <utility>

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

namespace {
TWSocketBgExceptionHandler& BgHandler() {
    static TWSocketBgExceptionHandler handler;
    return handler;
}
}  // namespace

void SetWSocketBgExceptionHandler(TWSocketBgExceptionHandler Handler) { BgHandler() = std::move(Handler); }

void WSocketReportBgException(TObject* Sender, const std::exception& E) {
    if (BgHandler()) {
        try {
            BgHandler()(Sender, E);
        } catch (...) {
            // The last resort must not throw into the message loop.
        }
        return;
    }
    std::fprintf(stderr, "Socket background exception: %s\n", E.what());
}

TWSocketBase::TWSocketBase(TComponent* AOwner) : TComponent(AOwner), FAlive(std::make_shared<bool>(true)) {
    TWSocketBase::AssignDefaultValue();
}

TWSocketBase::~TWSocketBase() { *FAlive = false; }

int TWSocketBase::SendStr(const std::string& Str) {
    if (Str.empty()) return 0;
    return Send(Str.data(), static_cast<int>(Str.size()));
}

void TWSocketBase::RaiseException(const std::string& Msg) {
    if (OnError)
        OnError(this);
    else
        throw ESocketException(Msg);
}

bool TWSocketBase::HasConnectTarget() {
    const char* missing = !FPortAssigned    ? "Connect: No Port Specified"
                          : !FAddrAssigned  ? "Connect: No IP Address Specified"
                          : !FProtoAssigned ? "Connect: No Protocol Specified"
                                            : nullptr;
    if (missing) RaiseException(missing);
    return !missing;
}

void TWSocketBase::ChangeState(TSocketState NewState) {
    TSocketState old = FState;
    FState = NewState;
    if (old != NewState && OnChangeState) OnChangeState(this, old, NewState);
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
        WSocketReportBgException(this, E);
    }
    if (!*life) return;
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
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
}

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
