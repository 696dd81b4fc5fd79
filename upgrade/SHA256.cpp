#include "upgrade/SHA256.h"

namespace {
uint32_t LoadBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint32_t RotR32(uint32_t x, int n) { return x >> n | x << (32 - n); }
}  // namespace

void TSHA256::Init() {
    // FIPS 180-4 section 5.3.3.
    static const uint32_t kStart[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(State, kStart, sizeof State);
    Blocks = TMDBlocks();
}

void TSHA256::Update(const void* Data, size_t Len) {
    Blocks.Add(static_cast<const uint8_t*>(Data), Len, [this](const uint8_t* b) { Compress(b); });
}

TDigest32 TSHA256::Final() {
    Blocks.Finish([this](const uint8_t* b) { Compress(b); }, /*BigEndianLength=*/true);
    TDigest32 d;
    for (int i = 0; i < 32; ++i)
        d[i] = static_cast<uint8_t>(State[i / 4] >> (24 - 8 * (i % 4)));
    Init();
    return d;
}

// FIPS 180-4 section 6.2.2: the message schedule and 64 rounds; K are the first 32 bits of
// the fractional parts of the cube roots of the first 64 primes.
void TSHA256::Compress(const uint8_t* Block) {
    static const uint32_t kK[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t w[64];
    for (int t = 0; t < 16; ++t)
        w[t] = LoadBE32(Block + 4 * t);
    for (int t = 16; t < 64; ++t) {
        const uint32_t s0 = RotR32(w[t - 15], 7) ^ RotR32(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const uint32_t s1 = RotR32(w[t - 2], 17) ^ RotR32(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t v[8];
    std::memcpy(v, State, sizeof v);
    for (int t = 0; t < 64; ++t) {
        const uint32_t e = v[4], a = v[0];
        const uint32_t t1 =
            v[7] + (RotR32(e, 6) ^ RotR32(e, 11) ^ RotR32(e, 25)) + ((e & v[5]) ^ (~e & v[6])) + kK[t] + w[t];
        const uint32_t t2 =
            (RotR32(a, 2) ^ RotR32(a, 13) ^ RotR32(a, 22)) + ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
        std::memmove(v + 1, v, 7 * sizeof v[0]);
        v[4] += t1;
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i)
        State[i] += v[i];
}

TDigest32 SHA256Digest(const std::string& Bytes) {
    TSHA256 h;
    h.Update(Bytes.data(), Bytes.size());
    return h.Final();
}
