#pragma once
// MD5 (RFC 1321) and HMAC-MD5 (RFC 2104): the keyed hash of the NTLM version-2 responses.
#include <string>

#include "http/MDBlocks.h"

// Ready on construction; Final gives the digest and starts over.
class TMD5 {
public:
    TMD5() { Init(); }
    void Init();
    void Update(const void* Data, size_t Len);
    TDigest16 Final();

private:
    void Compress(const uint8_t* Block);
    TMDBlocks Blocks;
    uint32_t State[4];
};

TDigest16 MD5Digest(const std::string& Bytes);
TDigest16 HmacMD5(const std::string& Key, const std::string& Data);
