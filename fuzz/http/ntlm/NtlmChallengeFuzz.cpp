// Feeds arbitrary bytes to the NTLM challenge decoder, as the decoded message or as the
// Base64 text of the header, then answers every challenge it accepts with both versions and
// checks that the answer is a well-formed authenticate message carrying its target
// information.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/MimeUtil.h"
#include "http/NtlmMsgs.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

uint32_t Le(const std::string& m, size_t At, int Size) {
    uint32_t v = 0;
    for (int i = Size - 1; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(m[At + i]);
    return v;
}

// The authenticate message's five buffers follow each other from byte 64 to its end.
void CheckAuthenticate(const std::string& Base64, const TNTLM_Msg2_Info& Info, TNTLMVersion Version) {
    const std::string m = Base64Decode(Base64);
    Check(m.size() >= 64 && m.compare(0, 8, std::string("NTLMSSP\0", 8)) == 0);
    size_t offset = 64;
    for (size_t field : {28, 36, 44, 12, 20}) {
        Check(Le(m, field + 4, 4) == offset);
        offset += Le(m, field, 2);
        Check(offset <= m.size());
    }
    Check(offset == m.size());
    if (Version == ntlmV2) {
        const std::string tail = Info.TargetInfo + std::string(4, '\0');
        Check(m.compare(m.size() - tail.size(), tail.size(), tail) == 0);
    }
}
}  // namespace

// Input: a byte whose low bit says whether the rest is Base64 text, then the rest.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool text = data[0] & 1;
    ++data, --size;

    // Decoded into an exact-size buffer, so that ASan sees any read past its end.
    std::vector<uint8_t> msg(data, data + size);
    if (text) {
        const std::string decoded = Base64Decode(reinterpret_cast<const char*>(data), size);
        Check(decoded.size() <= size / 4 * 3 + 2);
        msg.assign(decoded.begin(), decoded.end());
        Check(Base64Decode(Base64Encode(decoded)) == decoded);
    }
    const TNTLM_Msg2_Info info = NtlmParseChallenge(msg.empty() ? nullptr : msg.data(), msg.size());
    if (!info.Valid) {
        Check(info.TargetName.empty() && info.TargetInfo.empty() && info.Server.empty() &&
              info.Domain.empty());
        return 0;
    }
    Check(msg.size() >= 32 && std::equal(info.Challenge.begin(), info.Challenge.end(), msg.begin() + 24));
    Check(info.TargetName.size() <= msg.size() && info.TargetInfo.size() <= msg.size());
    Check(info.Server.size() <= info.TargetInfo.size() / 2 &&
          info.Domain.size() <= info.TargetInfo.size() / 2);

    const TNTLMv2Nonce nonce = {{1, 2, 3, 4, 5, 6, 7, 8}, 0x01d0000000000000ull};
    for (TNTLMVersion v : {ntlmV1, ntlmV2})
        CheckAuthenticate(NtlmAuthenticateMessage("Domain", "WS", "User", info, "Password", v, nonce), info,
                          v);
    return 0;
}
