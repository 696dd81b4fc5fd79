#include "http/MD4.h"

namespace {
void RequireInit(bool Initialized) {
    if (!Initialized) throw MD4Exception("MD4 not initialized");
}
}  // namespace

void TMD4::Init() {
    static const uint32_t kStart[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::memcpy(State, kStart, sizeof State);
    Blocks = TMDBlocks();
    Initialized = true;
}

void TMD4::Update(const void* Data, size_t Len) {
    RequireInit(Initialized);
    Blocks.Add(static_cast<const uint8_t*>(Data), Len, [this](const uint8_t* b) { Compress(b); });
}

TDigest16 TMD4::Final() {
    RequireInit(Initialized);
    Blocks.Finish([this](const uint8_t* b) { Compress(b); });
    TDigest16 d;
    for (int i = 0; i < 4; ++i)
        StoreLE32(&d[4 * i], State[i]);
    Initialized = false;
    return d;
}

// RFC 1320 section 3.4: three rounds of sixteen steps.
void TMD4::Compress(const uint8_t* Block) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = LoadLE32(Block + 4 * i);
    uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
    auto step = [](uint32_t& w, uint32_t f, uint32_t k, int s) { w = RotL32(w + f + k, s); };

    static const int kS1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; ++i) {
        const uint32_t f = (b & c) | (~b & d);
        step(a, f, x[i], kS1[i % 4]);
        const uint32_t t = d;
        d = c, c = b, b = a, a = t;
    }
    static const int kS2[4] = {3, 5, 9, 13};
    for (int i = 0; i < 16; ++i) {
        const uint32_t g = (b & c) | (b & d) | (c & d);
        step(a, g, x[(i % 4) * 4 + i / 4] + 0x5a827999, kS2[i % 4]);
        const uint32_t t = d;
        d = c, c = b, b = a, a = t;
    }
    static const int kS3[4] = {3, 9, 11, 15};
    static const int kX3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    for (int i = 0; i < 16; ++i) {
        const uint32_t h = b ^ c ^ d;
        step(a, h, x[kX3[i]] + 0x6ed9eba1, kS3[i % 4]);
        const uint32_t t = d;
        d = c, c = b, b = a, a = t;
    }
    State[0] += a, State[1] += b, State[2] += c, State[3] += d;
}

TDigest16 MD4Digest(const std::string& Bytes) {
    TMD4 md;
    md.Init();
    md.Update(Bytes.data(), Bytes.size());
    return md.Final();
}
