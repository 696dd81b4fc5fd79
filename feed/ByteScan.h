#pragma once
// Looks at sixteen bytes at a time for a few marker bytes. Tags, names and the runs between
// them are short: too short for a library call to pay off, too long for a byte loop to be
// cheap. Written with the compiler's generic vectors, so it builds for any target; where
// the target has no vector unit the compiler spells it out in plain instructions.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bytescan {

typedef unsigned char V16 __attribute__((vector_size(16)));
typedef signed char M16 __attribute__((vector_size(16)));

inline V16 Load(const char* p) {
    V16 v;
    std::memcpy(&v, p, 16);
    return v;
}

inline V16 Splat(unsigned char c) { return V16{} + c; }

// Bytes equal to C are all ones, others zero.
inline M16 Equal(V16 v, unsigned char c) { return v == Splat(c); }

// Index (0..15) of the first all-ones byte of Mask, or 16.
inline size_t FirstSet(M16 Mask) {
    uint64_t lo, hi;
    std::memcpy(&lo, &Mask, 8);
    std::memcpy(&hi, reinterpret_cast<const char*>(&Mask) + 8, 8);
    // The byte at the lowest address sits in the lowest bits on every machine we build for.
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "byte scanning assumes little-endian");
    if (lo) return static_cast<size_t>(__builtin_ctzll(lo)) / 8;
    if (hi) return 8 + static_cast<size_t>(__builtin_ctzll(hi)) / 8;
    return 16;
}

// Index of the first byte in [From, Size) that is one of Markers, or Size.
template <unsigned char... Markers>
size_t FindFirstOf(const char* S, size_t From, size_t Size) {
    size_t i = From;
    for (; i + 16 <= Size; i += 16) {
        V16 v = Load(S + i);
        size_t k = FirstSet((Equal(v, Markers) | ...));
        if (k < 16) return i + k;
    }
    for (; i < Size; ++i) {
        unsigned char c = static_cast<unsigned char>(S[i]);
        if (((c == Markers) || ...)) return i;
    }
    return Size;
}

}  // namespace bytescan
