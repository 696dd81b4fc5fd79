#pragma once
// SHA-256 (FIPS 180-4): the digest each update file carries in the information file, and the
// hash the information file's signature is made over.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/MDBlocks.h"

using TDigest32 = std::array<uint8_t, 32>;

// Ready on construction; Final gives the digest and starts over.
class TSHA256 {
public:
    TSHA256() { Init(); }
    void Init();
    void Update(const void* Data, size_t Len);
    TDigest32 Final();

private:
    void Compress(const uint8_t* Block);
    TMDBlocks Blocks;
    uint32_t State[8];
};

TDigest32 SHA256Digest(const std::string& Bytes);
