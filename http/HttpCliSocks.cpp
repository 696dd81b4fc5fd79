// The client's SOCKS settings. The socket forgets its SOCKS server at every close, so the
// client keeps them and writes them again before each connection: a later request must not
// leave through another road than the first.
#include "base/StrUtils.h"
#include "http/HttpCli.h"

void THttpCli::WireSocks() {
    FSocket->OnSocksConnected = [this](TObject*, uint16_t e) { Raise(OnSocksConnected, this, e); };
    FSocket->OnSocksError = [this](TObject*, int e, const std::string& m) {
        Raise(OnSocksError, this, e, m);
    };
    FSocket->OnSocksAuthState = [this](TObject*, TSocksAuthState s) { Raise(OnSocksAuthState, this, s); };
}

void THttpCli::WriteSocks() {
    FSocket->SetSocksServer(FSocks.Server);
    FSocket->SetSocksPort(FSocks.Port);
    FSocket->SetSocksLevel(FSocks.Level);
    FSocket->SocksUsercode = FSocks.Usercode;
    FSocket->SocksPassword = FSocks.Password;
    FSocket->SocksAuthentication = FSocks.Authentication;
}

// A change while a connection is open takes effect with the next connection.
void THttpCli::SetSocksServer(const std::string& Value) {
    FSocks.Server = Trim(Value);
    if (FSocket->State() == wsClosed) FSocket->SetSocksServer(FSocks.Server);
}

void THttpCli::SetSocksPort(const std::string& Value) {
    FSocks.Port = Trim(Value);
    if (FSocket->State() == wsClosed) FSocket->SetSocksPort(FSocks.Port);
}

void THttpCli::SetSocksLevel(const std::string& Value) {
    const std::string level = SocksNormalLevel(Value);
    // The socket's own check reports a bad level, through its error path.
    if (level.empty() || FSocket->State() == wsClosed) FSocket->SetSocksLevel(Value);
    if (!level.empty()) FSocks.Level = level;
}

void THttpCli::SetSocksUsercode(const std::string& Value) {
    FSocket->SocksUsercode = FSocks.Usercode = Value;
}

void THttpCli::SetSocksPassword(const std::string& Value) {
    FSocket->SocksPassword = FSocks.Password = Value;
}

void THttpCli::SetSocksAuthentication(TSocksAuthentication Value) {
    FSocket->SocksAuthentication = FSocks.Authentication = Value;
}
