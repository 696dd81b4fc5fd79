#pragma once
// The SOCKS 4, 4A and 5 wire format: the requests the socket sends to a SOCKS server and the
// decoders of its replies. The replies come from the network, so every decoder reads only
// the bytes it is given, however short or odd they are.
#include <cstddef>
#include <cstdint>
#include <string>

enum TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState { socksAuthStart, socksAuthSuccess, socksAuthFailure, socksAuthNotRequired };

// Negotiation failures as OnSocksError reports them.
enum : int {
    socksErrLogic = 20001,
    socksErrVersion = 20002,
    socksErrMethod = 20003,
    socksErrGeneralFailure = 20004,  // to 20011: SOCKS 5 reply codes 1 to 8
    socksErrAddressType = 20011,
    socksErrUnassigned = 20012,
    socksErrInternal = 20013,
    socksErrAuthFailed = 20015,
    socksErrRejected = 20016,
    socksErrResolve = 20017,
};

// The longest reply: SOCKS 5 with a bound domain name of 255 bytes.
const int kSocksReplyMax = 4 + 1 + 255 + 2;

// "4", "4A" or "5" for any case of them; empty for anything else.
std::string SocksNormalLevel(const std::string& Level);

// ---- requests ----
// The method offer of SOCKS 5: no authentication (0) or user name and password (2).
std::string SocksMethodRequest(int Method);
// User name and password, each cut to the 255 bytes its length byte can say.
std::string SocksAuthRequest(const std::string& User, const std::string& Password);
// SOCKS 4: Port and Address in host order.
std::string Socks4ConnectRequest(uint16_t Port, uint32_t Address, const std::string& UserId);
// SOCKS 4A: the host name goes to the server, which resolves it.
std::string Socks4AConnectRequest(uint16_t Port, const std::string& Host, const std::string& UserId);
// SOCKS 5: the host as a domain name (a dotted address too); empty when the name is
// longer than 255 bytes.
std::string Socks5ConnectRequest(uint16_t Port, const std::string& Host);

// ---- replies ----
struct TSocksReply {
    enum TStatus { More, Done, Failed } Status = More;
    // Done: bytes the reply took (what follows belongs to the application).
    size_t Length = 0;
    // Failed: the code and text OnSocksError reports.
    int Error = 0;
    std::string Msg;
    // Done: the method the server chose (method reply); the bound address and port it
    // reported (SOCKS 5 connect reply).
    int Method = 0;
    std::string BoundAddr, BoundPort;
};

// The server's choice of method; Offered is the one method the socket offered.
TSocksReply SocksDecodeMethodReply(const uint8_t* Data, size_t Len, int Offered);
// The answer to the user name and password.
TSocksReply SocksDecodeAuthReply(const uint8_t* Data, size_t Len);
// The answer to the connect request of SOCKS 4 or 4A (Socks5 false) or of SOCKS 5.
TSocksReply SocksDecodeConnectReply(bool Socks5, const uint8_t* Data, size_t Len);
