#pragma once
// The three NTLM handshake messages as Base64 text for the authorization lines: negotiate
// (type 1), the server's challenge (type 2, decoded) and authenticate (type 3) with the
// version-1 or version-2 responses. Texts are single-byte; the 16-bit form of a text gives
// each character a zero high byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/MDBlocks.h"

using TNtlmChallenge = std::array<uint8_t, 8>;

// What the authenticate message answers with: version 1 (LM and NT responses, the default)
// or version 2 (LMv2 and NTv2, which need the challenge's target information).
enum TNTLMVersion { ntlmV1, ntlmV2 };

struct TNTLM_Msg2_Info {
    // False when there was no data or the message cannot be trusted: shorter than its 32
    // bytes up to the challenge, not a challenge message, or a buffer or target-information
    // entry reaching past its end. The handshake should stop then.
    bool Valid = false;
    std::string TargetName;
    std::string Server;  // target information entry 1
    std::string Domain;  // target information entry 2
    TNtlmChallenge Challenge{};
    // The target information exactly as sent (empty when absent): version 2 signs it.
    std::string TargetInfo;
};

// Both texts are upper-cased and may be empty (then their buffers are all zero).
std::string NtlmNegotiateMessage(const std::string& Workstation, const std::string& Domain);

// Decodes the Base64 text that follows "NTLM " in the challenge header.
TNTLM_Msg2_Info NtlmDecodeChallenge(const std::string& Base64);
// The same from the decoded bytes; never reads outside Msg[0, Size).
TNTLM_Msg2_Info NtlmParseChallenge(const uint8_t* Msg, size_t Size);

// The program's choice: version 2 when the server sent target information, else version 1.
TNTLMVersion NtlmPreferredVersion(const TNTLM_Msg2_Info& Challenge);

// What the client contributes to a version-2 response; fresh for every message.
struct TNTLMv2Nonce {
    TNtlmChallenge ClientChallenge{};
    uint64_t Time = 0;  // 100-nanosecond ticks since 1 January 1601, UTC
};
TNTLMv2Nonce NtlmNewNonce();

// The Base64 text of the authenticate message; empty when a text or the target information
// is too long for a 16-bit buffer length. Version 2 draws a fresh nonce; the second form
// takes it from the caller.
std::string NtlmAuthenticateMessage(const std::string& Domain, const std::string& Workstation,
                                    const std::string& User, const TNTLM_Msg2_Info& Challenge,
                                    const std::string& Password, TNTLMVersion Version = ntlmV1);
std::string NtlmAuthenticateMessage(const std::string& Domain, const std::string& Workstation,
                                    const std::string& User, const TNTLM_Msg2_Info& Challenge,
                                    const std::string& Password, TNTLMVersion Version,
                                    const TNTLMv2Nonce& Nonce);

// The responses, byte strings, as the authenticate message computes them.
TDigest16 NtlmLMHash(const std::string& Password);
TDigest16 NtlmNTHash(const std::string& Password);
// 24 bytes: the challenge encrypted with each third of the hash padded to 21 bytes.
std::string NtlmV1Response(const TDigest16& Hash, const TNtlmChallenge& Challenge);
TDigest16 NtlmV2Hash(const TDigest16& NTHash, const std::string& User, const std::string& Domain);
std::string NtlmLMv2Response(const TDigest16& V2Hash, const TNtlmChallenge& Challenge,
                             const TNTLMv2Nonce& Nonce);
std::string NtlmNTv2Response(const TDigest16& V2Hash, const TNtlmChallenge& Challenge,
                             const TNTLMv2Nonce& Nonce, const std::string& TargetInfo);
