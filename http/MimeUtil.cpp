#include "http/MimeUtil.h"

#include <cstdint>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

std::string Base64Encode(const std::string& Bytes) {
    std::string out;
    out.reserve((Bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < Bytes.size(); i += 3) {
        const size_t n = Bytes.size() - i < 3 ? Bytes.size() - i : 3;
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<uint8_t>(Bytes[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string Base64Decode(const char* Text, size_t Len) {
    std::string out;
    out.reserve(Len / 4 * 3 + 2);
    uint32_t bits = 0;
    int held = 0;  // bits waiting in `bits`, always below 8 between characters
    for (size_t i = 0; i < Len; ++i) {
        const int v = SextetOf(Text[i]);
        if (v < 0) break;
        bits = (bits << 6 | static_cast<uint32_t>(v)) & 0xFFF;
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>(bits >> held);
        }
    }
    return out;
}

std::string Base64Decode(const std::string& Text) { return Base64Decode(Text.data(), Text.size()); }
