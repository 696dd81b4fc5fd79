#pragma once
// Byte strings written as lower-case hexadecimal, the form the published vectors use.
#include <array>
#include <cstdint>
#include <string>

inline std::string Hex(const std::string& Bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string h;
    for (unsigned char c : Bytes) {
        h += kDigits[c >> 4];
        h += kDigits[c & 15];
    }
    return h;
}
template <size_t N>
std::string Hex(const std::array<uint8_t, N>& Bytes) {
    return Hex(std::string(Bytes.begin(), Bytes.end()));
}

// Spaces are allowed for readability.
inline std::string Unhex(const std::string& Text) {
    std::string bytes, digits;
    for (char c : Text)
        if (c != ' ') digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return bytes;
}
