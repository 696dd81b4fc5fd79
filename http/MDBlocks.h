#pragma once
// The framing MD4, MD5 and SHA-256 share (RFC 1320 and RFC 1321, sections 3.1 and 3.2; FIPS
// 180-4 section 5.1.1): the message goes in 64-byte blocks, then a 0x80 byte, zeros up to 56
// mod 64 and the length in bits as 64 bits, little-endian for MD4 and MD5, big-endian for SHA.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

using TDigest16 = std::array<uint8_t, 16>;

struct TMDBlocks {
    uint8_t Buffer[64];
    size_t Used = 0;
    uint64_t Length = 0;  // bytes

    template <class Compress>
    void Add(const uint8_t* Data, size_t Len, Compress&& Block) {
        Length += Len;
        while (Len > 0) {
            const size_t n = Len < 64 - Used ? Len : 64 - Used;
            std::memcpy(Buffer + Used, Data, n);
            Used += n;
            Data += n;
            Len -= n;
            if (Used == 64) {
                Block(Buffer);
                Used = 0;
            }
        }
    }

    template <class Compress>
    void Finish(Compress&& Block, bool BigEndianLength = false) {
        const uint64_t bits = Length * 8;
        uint8_t pad[72] = {0x80};
        const size_t padLen = (Used < 56 ? 56 : 120) - Used;
        for (int i = 0; i < 8; ++i)
            pad[padLen + i] = static_cast<uint8_t>(bits >> (BigEndianLength ? 56 - 8 * i : 8 * i));
        Add(pad, padLen + 8, Block);
        Used = 0;
        Length = 0;
    }
};

// Little-endian words in and out, as both algorithms read and write them.
inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t RotL32(uint32_t x, int n) { return x << n | x >> (32 - n); }
