// The NTLM messages: hashes and responses against Microsoft's published worked examples,
// the byte layouts of the negotiate and authenticate messages, and the challenge decoder
// against well-formed, truncated and lying messages.
#include <gtest/gtest.h>

#include <vector>

#include "http/MimeUtil.h"
#include "http/NtlmMsgs.h"
#include "tests/http/Hex.h"

namespace {
const TNtlmChallenge kServerChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
const TNTLMv2Nonce kNonce = {{0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa, 0xaa}, 0};
const char kTargetInfo[] = "02000c0044006f006d00610069006e00 01000c00530065007200760065007200 00000000";

// A challenge as a server sends it: target name "Server" at 56, the target information above
// at 68.
std::string Challenge() {
    return Unhex(
               "4e544c4d53535000 02000000 0c000c0038000000 33828ae2 0123456789abcdef 0000000000000000"
               "2400240044000000 060070170000000f 530065007200760065007200") +
           Unhex(kTargetInfo);
}

std::string Patched(std::string m, size_t At, const std::string& HexBytes) {
    return m.replace(At, HexBytes.size() / 2, Unhex(HexBytes));
}

TNTLM_Msg2_Info Parse(const std::string& Msg) {
    // An exact-size copy, not NUL-terminated, so a read past the end is caught.
    const std::vector<uint8_t> bytes(Msg.begin(), Msg.end());
    return NtlmParseChallenge(bytes.data(), bytes.size());
}

uint32_t Le(const std::string& m, size_t At, int Size) {
    uint32_t v = 0;
    for (int i = Size - 1; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(m.at(At + i));
    return v;
}

std::string Utf16(const std::string& S) {
    std::string w;
    for (char c : S)
        w += std::string(1, c) + '\0';
    return w;
}
}  // namespace

TEST(NtlmResponseTest, PublishedWorkedExamples) {
    const TDigest16 lm = NtlmLMHash("Password"), nt = NtlmNTHash("Password");
    const TDigest16 v2 = NtlmV2Hash(nt, "User", "Domain");
    const std::pair<std::string, std::string> cases[] = {
        {Hex(lm), "e52cac67419a9a224a3b108f3fa6cb6d"},
        {Hex(nt), "a4f49c406510bdcab6824ee7c30fd852"},
        {Hex(NtlmV1Response(nt, kServerChallenge)), "67c43011f30298a2ad35ece64f16331c44bdbed927841f94"},
        {Hex(NtlmV1Response(lm, kServerChallenge)), "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13"},
        {Hex(v2), "0c868a403bfd7a93a3001ef22ef02e3f"},
        {Hex(NtlmLMv2Response(v2, kServerChallenge, kNonce)),
         "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa"},
        {Hex(NtlmNTv2Response(v2, kServerChallenge, kNonce, Unhex(kTargetInfo))).substr(0, 32),
         "68cd0ab851e51c96aabc927bebef6a1c"},
        // The user is upper-cased for version 2, the domain is not.
        {Hex(NtlmV2Hash(nt, "user", "Domain")), "0c868a403bfd7a93a3001ef22ef02e3f"},
        // The LM hash upper-cases the password and uses at most 14 characters of it.
        {Hex(NtlmLMHash("password")), "e52cac67419a9a224a3b108f3fa6cb6d"},
        {Hex(NtlmLMHash("Password123456789")), Hex(NtlmLMHash("Password123456"))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.first, c.second);
    // The NT hash uses all of a long password.
    EXPECT_NE(NtlmNTHash("Password123456789"), NtlmNTHash("Password123456"));
}

TEST(NtlmNegotiateTest, ByteLayout) {
    const struct {
        const char *workstation, *domain, *message;
    } cases[] = {
        {"", "", "4e544c4d53535000 01000000 07820000 0000000000000000 0000000000000000"},
        {"host", "dom",
         "4e544c4d53535000 01000000 07b20000 0300030024000000 0400040020000000 484f5354 444f4d"},
        {"ws", "", "4e544c4d53535000 01000000 07a20000 0000000000000000 0200020020000000 5753"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(Base64Decode(NtlmNegotiateMessage(c.workstation, c.domain))), Hex(Unhex(c.message)));
    EXPECT_EQ(NtlmNegotiateMessage("", ""), "TlRMTVNTUAABAAAAB4IAAAAAAAAAAAAAAAAAAAAAAAA=");
}

TEST(NtlmChallengeTest, DecodesAServersChallenge) {
    const TNTLM_Msg2_Info info = NtlmDecodeChallenge(Base64Encode(Challenge()));
    ASSERT_TRUE(info.Valid);
    EXPECT_EQ(info.TargetName, "Server");
    EXPECT_EQ(info.Server, "Server");
    EXPECT_EQ(info.Domain, "Domain");
    EXPECT_EQ(info.Challenge, kServerChallenge);
    EXPECT_EQ(Hex(info.TargetInfo), Hex(Unhex(kTargetInfo)));
    EXPECT_EQ(NtlmPreferredVersion(info), ntlmV2);
    for (const char* text : {"", "!!", "TlRMTVNTUAAC"})
        EXPECT_FALSE(NtlmDecodeChallenge(text).Valid) << text;
}

// Every way a message can be short or point outside itself, and what is still accepted.
TEST(NtlmChallengeTest, NeverReadsOutsideTheMessage) {
    using namespace std::string_literals;
    const std::string minimal = Unhex("4e544c4d53535000 02000000 0000000000000000 01820000 0123456789abcdef");
    // What the decoder made of a message: target name, server and domain, or "invalid".
    auto fields = [](const TNTLM_Msg2_Info& i) {
        return i.Valid ? i.TargetName + "|" + i.Server + "|" + i.Domain : "invalid";
    };
    const struct {
        const char* name;
        std::string msg, fields;
    } cases[] = {
        {"whole", Challenge(), "Server|Server|Domain"},
        {"empty", "", "invalid"},
        {"shorter than the challenge", minimal.substr(0, 31), "invalid"},
        {"cut in the target name", Challenge().substr(0, 60), "invalid"},
        {"cut in the target information", Challenge().substr(0, 100), "invalid"},
        {"target name offset past the end", Patched(Challenge(), 16, "ffffffff"), "invalid"},
        {"empty target name anywhere", Patched(Challenge(), 12, "00000000ffffffff"), "|Server|Domain"},
        {"target name length past the end", Patched(Challenge(), 12, "ffff"), "invalid"},
        {"target information one byte too long", Patched(Challenge(), 40, "2500"), "invalid"},
        {"target information offset past the end", Patched(Challenge(), 44, "ffffff7f"), "invalid"},
        {"entry running past the target information", Patched(Challenge(), 70, "4000"), "invalid"},
        {"not the signature", Patched(Challenge(), 0, "4e544c4d53535001"), "invalid"},
        {"not a challenge", Patched(Challenge(), 8, "03"), "invalid"},
        {"oldest form, 32 bytes", minimal, "||"},
        {"8-bit target name", Patched(Challenge(), 20, "32"), "S\0e\0r\0v\0e\0r\0|Server|Domain"s},
        {"no end entry", Patched(Challenge(), 40, "2000"), "Server|Server|Domain"},
        {"half an entry header at the end", Patched(Challenge(), 40, "2200"), "Server|Server|Domain"},
    };
    for (const auto& c : cases) {
        const TNTLM_Msg2_Info info = Parse(c.msg);
        EXPECT_EQ(fields(info), c.fields) << c.name;
        if (info.Valid) {
            EXPECT_EQ(info.Challenge, kServerChallenge) << c.name;
        }
    }
    EXPECT_EQ(NtlmPreferredVersion(Parse(minimal)), ntlmV1);
}

// The header's buffers point at domain, user, workstation, LM and NT response, in that order,
// one after the other from byte 64 to the end.
TEST(NtlmAuthenticateTest, ByteLayoutAndResponses) {
    const std::string blob =
        "0101000000000000 0000000000000000 aaaaaaaaaaaaaaaa 00000000" + std::string(kTargetInfo) + "00000000";
    const struct {
        const char *domain, *workstation, *user;
        TNTLMVersion version;
        std::string lm, nt;
    } cases[] = {
        {"Domain", "COMPUTER", "User", ntlmV1, "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13",
         "67c43011f30298a2ad35ece64f16331c44bdbed927841f94"},
        {"", "", "a somewhat longer user", ntlmV1, "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13",
         "67c43011f30298a2ad35ece64f16331c44bdbed927841f94"},
        {"Domain", "COMPUTER", "User", ntlmV2, "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa",
         "68cd0ab851e51c96aabc927bebef6a1c" + blob},
    };
    const TNTLM_Msg2_Info challenge = Parse(Challenge());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user + std::string(c.version == ntlmV2 ? " v2" : " v1"));
        const std::string m = Base64Decode(NtlmAuthenticateMessage(c.domain, c.workstation, c.user, challenge,
                                                                   "Password", c.version, kNonce));
        ASSERT_GE(m.size(), 64u);
        EXPECT_EQ(m.substr(0, 12), std::string("NTLMSSP\0\3\0\0\0", 12));
        EXPECT_EQ(Le(m, 60, 4), 0x8205u);
        EXPECT_EQ(Hex(m.substr(52, 8)), "0000000000000000");
        const std::pair<size_t, std::string> fields[] = {
            {28, Utf16(c.domain)}, {36, Utf16(c.user)}, {44, Utf16(c.workstation)},
            {12, Unhex(c.lm)},     {20, Unhex(c.nt)},
        };
        size_t offset = 64;
        for (const auto& f : fields) {
            EXPECT_EQ(Le(m, f.first, 2), f.second.size());
            EXPECT_EQ(Le(m, f.first + 2, 2), f.second.size());
            EXPECT_EQ(Le(m, f.first + 4, 4), offset);
            EXPECT_EQ(Hex(m.substr(offset, f.second.size())), Hex(f.second));
            offset += f.second.size();
        }
        EXPECT_EQ(m.size(), offset);
    }
}

TEST(NtlmAuthenticateTest, TextsTooLongForABufferGiveNoMessage) {
    TNTLM_Msg2_Info bigInfo = Parse(Challenge());
    bigInfo.TargetInfo.assign(0xFFFF - 40, '\0');
    EXPECT_EQ(NtlmAuthenticateMessage("", "", std::string(0x8000, 'u'), Parse(Challenge()), "p"), "");
    EXPECT_EQ(NtlmAuthenticateMessage("", "", "u", bigInfo, "p", ntlmV2), "");
    EXPECT_NE(NtlmAuthenticateMessage("", "", std::string(0x7FFF, 'u'), Parse(Challenge()), "p"), "");
    EXPECT_EQ(NtlmNegotiateMessage(std::string(0x10000, 'w'), ""), "");
}

TEST(NtlmAuthenticateTest, VersionTwoDrawsAFreshNonce) {
    const TNTLMv2Nonce a = NtlmNewNonce(), b = NtlmNewNonce();
    EXPECT_NE(a.ClientChallenge, b.ClientChallenge);
    EXPECT_GT(a.Time, 132223104000000000ull);  // after 1 January 2020
    const TNTLM_Msg2_Info challenge = Parse(Challenge());
    EXPECT_NE(NtlmAuthenticateMessage("", "", "u", challenge, "p", ntlmV2),
              NtlmAuthenticateMessage("", "", "u", challenge, "p", ntlmV2));
}
