#include "http/NtlmMsgs.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "base/StrUtils.h"
#include "http/DES.h"
#include "http/MD4.h"
#include "http/MD5.h"
#include "http/MimeUtil.h"

namespace {
const char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
const uint32_t kNegotiateFlags = 0x8207, kAuthenticateFlags = 0x8205;
const uint32_t kFlagWorkstation = 0x2000, kFlagDomain = 0x1000;
const uint32_t kFlagUnicode = 0x0001;  // the challenge's texts are 16-bit
const size_t kMaxBuffer = 0xFFFF;      // a security buffer's length is 16 bits

std::string Bytes(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }
template <size_t N>
std::string Bytes(const std::array<uint8_t, N>& a) {
    return Bytes(a.data(), N);
}

void PutLE(std::string& m, size_t at, uint64_t v, int size) {
    for (int i = 0; i < size; ++i)
        m[at + i] = static_cast<char>(v >> (8 * i));
}
uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// A new message: signature, type, and room for the header.
std::string Header(uint32_t Type, size_t Size) {
    std::string m(Size, '\0');
    m.replace(0, 8, kSignature, 8);
    PutLE(m, 8, Type, 4);
    return m;
}

// Writes the security buffer at Field for Data placed at Offset, and moves Offset past it.
void PutBuffer(std::string& m, size_t Field, const std::string& Data, size_t& Offset) {
    PutLE(m, Field, Data.size(), 2);
    PutLE(m, Field + 2, Data.size(), 2);
    PutLE(m, Field + 4, Offset, 4);
    Offset += Data.size();
}

std::string Wide(const std::string& S) {
    std::string w(S.size() * 2, '\0');
    for (size_t i = 0; i < S.size(); ++i)
        w[2 * i] = S[i];
    return w;
}

// Characters beyond the single-byte range become "?".
std::string Narrow(const std::string& W) {
    std::string s(W.size() / 2, '\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = W[2 * i + 1] == 0 ? W[2 * i] : '?';
    return s;
}

// The bytes a security buffer at Field points to; false when they lie outside the message.
// An empty buffer's offset is not looked at: some servers leave it at anything.
bool ReadBuffer(const uint8_t* Msg, size_t Size, size_t Field, std::string& Out) {
    const uint64_t len = LoadLE16(Msg + Field), offset = LoadLE32(Msg + Field + 4);
    Out.clear();
    if (len == 0) return true;
    if (offset > Size || len > Size - offset) return false;
    Out = Bytes(Msg + offset, len);
    return true;
}

// Entries of type, length and value; the list ends at type 0 or at the end of the bytes. An
// entry that runs past the end makes the whole list untrustworthy.
bool ReadTargetInfo(const std::string& Info, std::string& Server, std::string& Domain) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(Info.data());
    for (size_t at = 0; Info.size() - at >= 4;) {
        const uint16_t type = LoadLE16(p + at), len = LoadLE16(p + at + 2);
        at += 4;
        if (type == 0) break;
        if (len > Info.size() - at) return false;
        if (type == 1) Server = Narrow(Info.substr(at, len));
        if (type == 2) Domain = Narrow(Info.substr(at, len));
        at += len;
    }
    return true;
}
}  // namespace

std::string NtlmNegotiateMessage(const std::string& Workstation, const std::string& Domain) {
    const std::string ws = UpperCase(Workstation), dom = UpperCase(Domain);
    if (ws.size() > kMaxBuffer || dom.size() > kMaxBuffer) return "";
    std::string m = Header(1, 32);
    uint32_t flags = kNegotiateFlags;
    size_t offset = 32;
    if (!ws.empty()) {
        flags |= kFlagWorkstation;
        PutBuffer(m, 24, ws, offset);
    }
    if (!dom.empty()) {
        flags |= kFlagDomain;
        PutBuffer(m, 16, dom, offset);
    }
    PutLE(m, 12, flags, 4);
    return Base64Encode(m + ws + dom);
}

TNTLM_Msg2_Info NtlmParseChallenge(const uint8_t* Msg, size_t Size) {
    TNTLM_Msg2_Info info;
    // Signature, type, target name buffer, flags and challenge; the context and the target
    // information buffer that follow are missing from the oldest servers' messages.
    if (Size < 32 || std::memcmp(Msg, kSignature, 8) != 0 || LoadLE32(Msg + 8) != 2) return info;
    std::string name;
    if (!ReadBuffer(Msg, Size, 12, name)) return info;
    info.TargetName = (LoadLE32(Msg + 20) & kFlagUnicode) ? Narrow(name) : name;
    std::copy(Msg + 24, Msg + 32, info.Challenge.begin());
    if (Size >= 48 && (!ReadBuffer(Msg, Size, 40, info.TargetInfo) ||
                       !ReadTargetInfo(info.TargetInfo, info.Server, info.Domain)))
        return TNTLM_Msg2_Info();
    info.Valid = true;
    return info;
}

TNTLM_Msg2_Info NtlmDecodeChallenge(const std::string& Base64) {
    const std::string msg = Base64Decode(Base64);
    return NtlmParseChallenge(reinterpret_cast<const uint8_t*>(msg.data()), msg.size());
}

TNTLMVersion NtlmPreferredVersion(const TNTLM_Msg2_Info& Challenge) {
    return Challenge.Valid && !Challenge.TargetInfo.empty() ? ntlmV2 : ntlmV1;
}

TNTLMv2Nonce NtlmNewNonce() {
    TNTLMv2Nonce n;
    std::random_device random;
    for (uint8_t& b : n.ClientChallenge)
        b = static_cast<uint8_t>(random());
    // From the Unix epoch to 1601: 11644473600 seconds.
    const auto sinceUnix = std::chrono::system_clock::now().time_since_epoch();
    n.Time =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(sinceUnix).count()) * 10 +
        11644473600ull * 10000000ull;
    return n;
}

TDigest16 NtlmLMHash(const std::string& Password) {
    static const uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
    std::string key = UpperCase(Password.substr(0, 14));
    key.resize(14, '\0');
    const uint8_t* k = reinterpret_cast<const uint8_t*>(key.data());
    TDigest16 hash;
    DesEncrypt7(k, kMagic, &hash[0]);
    DesEncrypt7(k + 7, kMagic, &hash[8]);
    return hash;
}

TDigest16 NtlmNTHash(const std::string& Password) { return MD4Digest(Wide(Password)); }

std::string NtlmV1Response(const TDigest16& Hash, const TNtlmChallenge& Challenge) {
    uint8_t key[21] = {};
    std::copy(Hash.begin(), Hash.end(), key);
    uint8_t out[24];
    for (int i = 0; i < 3; ++i)
        DesEncrypt7(key + 7 * i, Challenge.data(), out + 8 * i);
    return Bytes(out, sizeof out);
}

TDigest16 NtlmV2Hash(const TDigest16& NTHash, const std::string& User, const std::string& Domain) {
    return HmacMD5(Bytes(NTHash), Wide(UpperCase(User) + Domain));
}

std::string NtlmLMv2Response(const TDigest16& V2Hash, const TNtlmChallenge& Challenge,
                             const TNTLMv2Nonce& Nonce) {
    const std::string client = Bytes(Nonce.ClientChallenge);
    return Bytes(HmacMD5(Bytes(V2Hash), Bytes(Challenge) + client)) + client;
}

std::string NtlmNTv2Response(const TDigest16& V2Hash, const TNtlmChallenge& Challenge,
                             const TNTLMv2Nonce& Nonce, const std::string& TargetInfo) {
    // The blob: version 1.1, six reserved bytes, the time, the client's challenge, four
    // reserved bytes, the target information, four more.
    std::string blob(28, '\0');
    blob[0] = blob[1] = 1;
    PutLE(blob, 8, Nonce.Time, 8);
    blob.replace(16, 8, Bytes(Nonce.ClientChallenge));
    blob += TargetInfo + std::string(4, '\0');
    return Bytes(HmacMD5(Bytes(V2Hash), Bytes(Challenge) + blob)) + blob;
}

std::string NtlmAuthenticateMessage(const std::string& Domain, const std::string& Workstation,
                                    const std::string& User, const TNTLM_Msg2_Info& Challenge,
                                    const std::string& Password, TNTLMVersion Version) {
    return NtlmAuthenticateMessage(Domain, Workstation, User, Challenge, Password, Version,
                                   Version == ntlmV2 ? NtlmNewNonce() : TNTLMv2Nonce());
}

std::string NtlmAuthenticateMessage(const std::string& Domain, const std::string& Workstation,
                                    const std::string& User, const TNTLM_Msg2_Info& Challenge,
                                    const std::string& Password, TNTLMVersion Version,
                                    const TNTLMv2Nonce& Nonce) {
    const std::string dom = Wide(Domain), user = Wide(User), ws = Wide(Workstation);
    const TDigest16 ntHash = NtlmNTHash(Password);
    std::string lm, nt;
    if (Version == ntlmV2) {
        const TDigest16 v2Hash = NtlmV2Hash(ntHash, User, Domain);
        lm = NtlmLMv2Response(v2Hash, Challenge.Challenge, Nonce);
        nt = NtlmNTv2Response(v2Hash, Challenge.Challenge, Nonce, Challenge.TargetInfo);
    } else {
        lm = NtlmV1Response(NtlmLMHash(Password), Challenge.Challenge);
        nt = NtlmV1Response(ntHash, Challenge.Challenge);
    }
    if (std::max({dom.size(), user.size(), ws.size(), nt.size()}) > kMaxBuffer) return "";

    std::string m = Header(3, 64);
    size_t offset = 64;
    PutBuffer(m, 28, dom, offset);
    PutBuffer(m, 36, user, offset);
    PutBuffer(m, 44, ws, offset);
    PutBuffer(m, 12, lm, offset);
    PutBuffer(m, 20, nt, offset);
    PutLE(m, 60, kAuthenticateFlags, 4);
    return Base64Encode(m + dom + user + ws + lm + nt);
}
