#include "http/SocksLayer.h"

#include "base/StrUtils.h"

namespace {
std::string Port16(uint16_t Port) {
    return std::string{static_cast<char>(Port >> 8), static_cast<char>(Port & 0xFF)};
}

// A length byte and the bytes it counts.
std::string Counted(const std::string& S) {
    const std::string cut = S.substr(0, 255);
    return static_cast<char>(cut.size()) + cut;
}

TSocksReply Failure(int Error, const std::string& Msg) {
    TSocksReply r;
    r.Status = TSocksReply::Failed;
    r.Error = Error;
    r.Msg = Msg;
    return r;
}

TSocksReply Complete(size_t Length) {
    TSocksReply r;
    r.Status = TSocksReply::Done;
    r.Length = Length;
    return r;
}

TSocksReply Unassigned(int Code) {
    return Failure(socksErrUnassigned, "unassigned error #" + IntToStr(Code));
}

TSocksReply VersionError() { return Failure(socksErrVersion, "socks version error"); }

TSocksReply TooMuch() { return Failure(socksErrLogic, "too much data availaible"); }

// SOCKS 5 reply codes 1 to 8, in order.
const char* const kSocks5Texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                                    "network unreachable",          "host unreachable",
                                    "connection refused",           "time to live expired",
                                    "command not supported",        "address type not supported"};

TSocksReply Socks4Reply(const uint8_t* Data, size_t Len) {
    if (Len < 8) return TSocksReply();
    if (Data[0] != 0) return VersionError();
    switch (Data[1]) {
    case 90:
        return Complete(8);
    case 91:
        return Failure(socksErrRejected, "request rejected or failed");
    case 92:
        return Failure(socksErrGeneralFailure + 4, "connection refused");
    case 93:
        return Failure(socksErrAuthFailed, "authentification failed");
    default:
        return Unassigned(Data[1]);
    }
}

TSocksReply Socks5Reply(const uint8_t* Data, size_t Len) {
    if (Len < 1) return TSocksReply();
    if (Data[0] != 5) return VersionError();
    if (Len < 2) return TSocksReply();
    const int code = Data[1];
    if (code >= 1 && code <= 8) return Failure(socksErrGeneralFailure + code - 1, kSocks5Texts[code - 1]);
    if (code != 0) return Unassigned(code);
    if (Len < 5) return TSocksReply();
    size_t need;
    if (Data[3] == 1)
        need = 10;
    else if (Data[3] == 3)
        need = 7 + static_cast<size_t>(Data[4]);
    else
        return Failure(socksErrAddressType, kSocks5Texts[7]);
    if (Len < need) return TSocksReply();
    TSocksReply r = Complete(need);
    if (Data[3] == 1)
        r.BoundAddr = Format("%u.%u.%u.%u", Data[4], Data[5], Data[6], Data[7]);
    else
        r.BoundAddr.assign(reinterpret_cast<const char*>(Data + 5), Data[4]);
    r.BoundPort = IntToStr(Data[need - 2] << 8 | Data[need - 1]);
    return r;
}
}  // namespace

std::string SocksNormalLevel(const std::string& Level) {
    const std::string l = UpperCase(Level);
    return l == "4" || l == "4A" || l == "5" ? l : std::string();
}

std::string SocksMethodRequest(int Method) { return std::string{5, 1, static_cast<char>(Method)}; }

std::string SocksAuthRequest(const std::string& User, const std::string& Password) {
    return '\x01' + Counted(User) + Counted(Password);
}

std::string Socks4ConnectRequest(uint16_t Port, uint32_t Address, const std::string& UserId) {
    std::string r{4, 1};
    r += Port16(Port);
    for (int shift = 24; shift >= 0; shift -= 8)
        r += static_cast<char>((Address >> shift) & 0xFF);
    return r + UserId + '\0';
}

std::string Socks4AConnectRequest(uint16_t Port, const std::string& Host, const std::string& UserId) {
    // The address 0.0.0.1 tells the server that the host name follows the user id.
    return Socks4ConnectRequest(Port, 1, UserId) + Host + '\0';
}

std::string Socks5ConnectRequest(uint16_t Port, const std::string& Host) {
    if (Host.size() > 255) return std::string();
    return std::string{5, 1, 0, 3} + Counted(Host) + Port16(Port);
}

TSocksReply SocksDecodeMethodReply(const uint8_t* Data, size_t Len, int Offered) {
    if (Len < 2) return TSocksReply();
    if (Data[0] != 5) return VersionError();
    // Nothing may follow before our next request.
    if (Len > 2) return TooMuch();
    // A method that was not offered is as unacceptable as the refusal (255).
    if (Data[1] != 0 && Data[1] != Offered)
        return Failure(socksErrMethod, "authentification method not acceptable");
    TSocksReply r = Complete(2);
    r.Method = Data[1];
    return r;
}

TSocksReply SocksDecodeAuthReply(const uint8_t* Data, size_t Len) {
    if (Len < 2) return TSocksReply();
    if (Data[0] != 1) return VersionError();
    if (Data[1] != 0) return Failure(socksErrAuthFailed, "socks authentication failed");
    if (Len > 2) return TooMuch();
    return Complete(2);
}

TSocksReply SocksDecodeConnectReply(bool Socks5, const uint8_t* Data, size_t Len) {
    return Socks5 ? Socks5Reply(Data, Len) : Socks4Reply(Data, Len);
}
