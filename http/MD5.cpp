#include "http/MD5.h"

void TMD5::Init() {
    static const uint32_t kStart[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::memcpy(State, kStart, sizeof State);
    Blocks = TMDBlocks();
}

void TMD5::Update(const void* Data, size_t Len) {
    Blocks.Add(static_cast<const uint8_t*>(Data), Len, [this](const uint8_t* b) { Compress(b); });
}

TDigest16 TMD5::Final() {
    Blocks.Finish([this](const uint8_t* b) { Compress(b); });
    TDigest16 d;
    for (int i = 0; i < 4; ++i)
        StoreLE32(&d[4 * i], State[i]);
    Init();
    return d;
}

// RFC 1321 section 3.4: four rounds of sixteen steps; T[i] is floor(2^32 * abs(sin(i + 1))).
void TMD5::Compress(const uint8_t* Block) {
    static const uint32_t kT[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static const int kS[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = LoadLE32(Block + 4 * i);
    uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int k;
        if (round == 0) {
            f = (b & c) | (~b & d);
            k = i;
        } else if (round == 1) {
            f = (b & d) | (c & ~d);
            k = (1 + 5 * i) % 16;
        } else if (round == 2) {
            f = b ^ c ^ d;
            k = (5 + 3 * i) % 16;
        } else {
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
        }
        const uint32_t t = d;
        d = c;
        c = b;
        b = b + RotL32(a + f + kT[i] + x[k], kS[round][i % 4]);
        a = t;
    }
    State[0] += a, State[1] += b, State[2] += c, State[3] += d;
}

TDigest16 MD5Digest(const std::string& Bytes) {
    TMD5 md;
    md.Update(Bytes.data(), Bytes.size());
    return md.Final();
}

// RFC 2104: a key longer than the 64-byte block is hashed first; inner pad 0x36, outer 0x5c.
TDigest16 HmacMD5(const std::string& Key, const std::string& Data) {
    std::string key = Key;
    if (key.size() > 64) {
        const TDigest16 d = MD5Digest(key);
        key.assign(d.begin(), d.end());
    }
    key.resize(64, '\0');
    std::string inner(64, '\0'), outer(64, '\0');
    for (size_t i = 0; i < 64; ++i) {
        inner[i] = static_cast<char>(key[i] ^ 0x36);
        outer[i] = static_cast<char>(key[i] ^ 0x5c);
    }
    const TDigest16 in = MD5Digest(inner + Data);
    return MD5Digest(outer + std::string(in.begin(), in.end()));
}
