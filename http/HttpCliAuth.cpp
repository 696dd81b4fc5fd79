// The client's answers to 401 and 407: after a response, a challenge it has credentials for
// repeats the request with Basic credentials or runs the three NTLM messages, on the same
// connection where it stays open. Retries start from the state setter when the engine
// becomes ready, NTLM before Basic.
#include "base/StrUtils.h"
#include "http/HttpCli.h"
#include "http/MimeUtil.h"

namespace {

// The challenge text after "NTLM ": more than this is never a real one.
const size_t kMaxChallengeText = 1000;

// The challenge message, read without its target name and information when those cannot be
// trusted: the server challenge stands at a fixed place, and some peers (squid's own NTLM
// helper, for one) send a target name whose offset points nowhere. Version 2 then has no
// target information to sign, so the version chosen by the challenge is 1.
TNTLM_Msg2_Info DecodeChallenge(const std::string& Base64) {
    TNTLM_Msg2_Info info = NtlmDecodeChallenge(Base64);
    if (info.Valid) return info;
    std::string msg = Base64Decode(Base64);
    const size_t nameLength = 12, targetInfoLength = 40;
    if (msg.size() >= nameLength + 2) msg.replace(nameLength, 2, 2, '\0');
    if (msg.size() >= targetInfoLength + 2) msg.replace(targetInfoLength, 2, 2, '\0');
    return NtlmParseChallenge(reinterpret_cast<const uint8_t*>(msg.data()), msg.size());
}

}  // namespace

bool THttpCli::AuthRetry() {
    if ((StatusCode == 401 || StatusCode == 407) && FAuthRetries >= MaxAuthRetries) {
        // Handshakes that never settle (a proxy and a server each asking in turn, say) end
        // with the status rather than going round forever.
        FAuthNTLMState = FProxyAuthNTLMState = ntlmNone;
        FAuthBasicState = FProxyAuthBasicState = basicNone;
        FAuthChallenges.Clear();
        return false;
    }
    return NTLMCheck() || BasicCheck();
}

int THttpCli::FindChallenge(const std::string& Scheme) const {
    const std::vector<std::string>& list = FAuthChallenges.Lines();
    for (int i = static_cast<int>(list.size()) - 1; i >= 0; --i)
        if (list[i].compare(0, Scheme.size(), Scheme) == 0) return i;
    return -1;
}

bool THttpCli::NTLMCheck() {
    if (Options & httpoNoNTLMAuth) return false;
    if (FAuthNTLMState == ntlmAuthenticateSent && StatusCode != 401)
        FAuthNTLMState = ntlmDone;
    else if (FAuthNTLMState == ntlmDone && StatusCode == 401)
        FAuthNTLMState = ntlmNone;
    if (FProxyAuthNTLMState == ntlmAuthenticateSent && StatusCode != 407)
        FProxyAuthNTLMState = ntlmDone;
    else if (FProxyAuthNTLMState == ntlmDone && StatusCode == 407)
        FAuthNTLMState = FProxyAuthNTLMState = ntlmNone;
    if (FAuthChallenges.Count() == 0 || FindChallenge("NTLM") < 0) return false;
    if (StatusCode == 401 && !Username.empty() && !Password.empty()) return NTLMStep(false);
    if (StatusCode == 407 && !ProxyUsername.empty() && !ProxyPassword.empty()) return NTLMStep(true);
    return false;
}

bool THttpCli::BasicCheck() {
    if (Options & httpoNoBasicAuth) return false;
    if (FAuthBasicState == basicCredentialsSent && StatusCode != 401)
        FAuthBasicState = basicDone;
    else if (FAuthBasicState == basicDone && StatusCode == 401)
        FAuthBasicState = basicNone;
    if (FProxyAuthBasicState == basicCredentialsSent && StatusCode != 407)
        FProxyAuthBasicState = basicDone;
    else if (FProxyAuthBasicState == basicDone && StatusCode == 407)
        FAuthBasicState = FProxyAuthBasicState = basicNone;
    if (FAuthChallenges.Count() == 0 || FindChallenge("Basic") < 0) return false;
    if (StatusCode == 401 && !Username.empty() && !Password.empty()) return BasicStep(false);
    if (StatusCode == 407 && !ProxyUsername.empty() && !ProxyPassword.empty()) return BasicStep(true);
    return false;
}

bool THttpCli::NTLMStep(bool ForProxy) {
    TNTLMAuthState& state = ForProxy ? FProxyAuthNTLMState : FAuthNTLMState;
    switch (state) {
    case ntlmNone:
        FNTLMForProxy = ForProxy;
        state = ntlmNegotiateSent;
        // The handshake belongs to one connection: an HTTP/1.0 peer must keep it open.
        if (FRequestVer == "1.0") (ForProxy ? ProxyConnection : Connection) = "Keep-alive";
        StartAuthRetry();
        return true;
    case ntlmNegotiateSent: {
        const std::string& entry = FAuthChallenges[FindChallenge("NTLM")];
        TNTLM_Msg2_Info& challenge = ForProxy ? FProxyNTLMChallenge : FNTLMChallenge;
        challenge = DecodeChallenge(entry.size() > 5 ? Trim(entry.substr(5, kMaxChallengeText)) : "");
        if (!challenge.Valid) {
            // Nothing to answer: the request ends with this response.
            FAuthChallenges.Clear();
            state = ntlmNone;
            return false;
        }
        state = ntlmAuthenticateSent;
        StartAuthRetry();
        return true;
    }
    case ntlmAuthenticateSent:
        // Refused: the request ends with this response.
        FAuthChallenges.Clear();
        state = ntlmNone;
        return false;
    default:
        throw EHttpException(ForProxy ? "Unexpected ProxyAuthNTLMState" : "Unexpected AuthNTLMState", 6);
    }
}

bool THttpCli::BasicStep(bool ForProxy) {
    TBasicAuthState& state = ForProxy ? FProxyAuthBasicState : FAuthBasicState;
    switch (state) {
    case basicNone:
        FBasicForProxy = ForProxy;
        state = basicCredentialsSent;
        StartAuthRetry();
        return true;
    case basicCredentialsSent:
        FAuthChallenges.Clear();
        state = basicNone;
        return false;
    default:
        throw EHttpException(ForProxy ? "Unexpected ProxyAuthBasicState" : "Unexpected AuthBasicState", 6);
    }
}

void THttpCli::StartAuthRetry() {
    ++FAuthRetries;
    // The refused response's body goes, and what was posted goes again.
    CutBack(RcvdStream, RcvdCount);
    if (SendStream && SentCount > 0) SendStream->Seek(-SentCount, soCurrent);
    const std::string docName = DocName;
    ResetResponse();
    DocName = docName;
    FAuthRetryPending = true;
    Post([this] {
        if (!FAuthRetryPending) return;
        FAuthRetryPending = false;
        ConnectStep();
    });
}

bool THttpCli::SendingNTLMNegotiate() const {
    return (FNTLMForProxy ? FProxyAuthNTLMState : FAuthNTLMState) == ntlmNegotiateSent;
}

std::string THttpCli::AuthorizationLine() {
    const TNTLMAuthState ntlm = FNTLMForProxy ? FProxyAuthNTLMState : FAuthNTLMState;
    const std::string header = FNTLMForProxy ? "Proxy-Authorization: " : "Authorization: ";
    if (ntlm == ntlmNegotiateSent) return header + "NTLM " + NtlmNegotiateMessage("", "");
    if (ntlm == ntlmAuthenticateSent) {
        std::string workstation;
        try {
            if (WorkstationName) workstation = WorkstationName();
        } catch (const std::exception&) {
        }
        const TNTLM_Msg2_Info& challenge = FNTLMForProxy ? FProxyNTLMChallenge : FNTLMChallenge;
        const TNTLMVersion version = NTLMVersion == httpNTLMv2 ? ntlmV2
                                     : NTLMVersion == httpNTLMv2WithTargetInfo
                                         ? NtlmPreferredVersion(challenge)
                                         : ntlmV1;
        const std::string msg =
            FNTLMForProxy
                ? NtlmAuthenticateMessage("", workstation, ProxyUsername, challenge, ProxyPassword, version)
                : NtlmAuthenticateMessage("", workstation, Username, challenge, Password, version);
        // Empty when a text is too long for the message: then the peer's refusal ends it.
        return msg.empty() ? std::string() : header + "NTLM " + msg;
    }
    if (!FBasicForProxy && FAuthBasicState == basicCredentialsSent)
        return "Authorization: Basic " + Base64Encode(Username + ":" + Password);
    if (FBasicForProxy && FProxyAuthBasicState == basicCredentialsSent)
        return "Proxy-Authorization: Basic " + Base64Encode(ProxyUsername + ":" + ProxyPassword);
    return "";
}

void THttpCli::AuthNewConnection() {
    if (FProxyAuthNTLMState == ntlmDone) FAuthNTLMState = FProxyAuthNTLMState = ntlmNone;
    if (FAuthNTLMState == ntlmDone) FAuthNTLMState = ntlmNone;
    if (FProxyAuthBasicState == basicDone) FAuthBasicState = FProxyAuthBasicState = basicNone;
    if (FAuthBasicState == basicDone) FAuthBasicState = basicNone;
}

void THttpCli::AuthNewRequest() {
    FAuthRetries = 0;
    // Only a request that failed or was aborted half-way through a handshake leaves one
    // unfinished; the next request must not carry its messages.
    if (FAuthNTLMState != ntlmDone) FAuthNTLMState = ntlmNone;
    if (FProxyAuthNTLMState != ntlmDone) FProxyAuthNTLMState = ntlmNone;
    if (FAuthBasicState != basicDone) FAuthBasicState = basicNone;
    if (FProxyAuthBasicState != basicDone) FProxyAuthBasicState = basicNone;
}
