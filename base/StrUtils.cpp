#include "base/StrUtils.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "base/Exception.h"

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
bool Blank(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string UpperCase(const std::string& S) {
    std::string r(S);
    for (char& c : r)
        c = Upper(c);
    return r;
}

std::string LowerCase(const std::string& S) {
    std::string r(S);
    for (char& c : r)
        c = Lower(c);
    return r;
}

int CompareText(const std::string& A, const std::string& B) {
    size_t n = A.size() < B.size() ? A.size() : B.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char a = static_cast<unsigned char>(Upper(A[i]));
        unsigned char b = static_cast<unsigned char>(Upper(B[i]));
        if (a != b) return a < b ? -1 : 1;
    }
    if (A.size() == B.size()) return 0;
    return A.size() < B.size() ? -1 : 1;
}

bool SameText(const std::string& A, const std::string& B) {
    return A.size() == B.size() && CompareText(A, B) == 0;
}

bool EndsWithText(const std::string& S, const std::string& Suffix) {
    return S.size() >= Suffix.size() && SameText(S.substr(S.size() - Suffix.size()), Suffix);
}

std::string TrimLeft(const std::string& S) {
    size_t i = 0;
    while (i < S.size() && Blank(S[i]))
        ++i;
    return S.substr(i);
}

std::string TrimRight(const std::string& S) {
    size_t n = S.size();
    while (n > 0 && Blank(S[n - 1]))
        --n;
    return S.substr(0, n);
}

std::string Trim(const std::string& S) {
    size_t b = 0, e = S.size();
    while (b < e && Blank(S[b]))
        ++b;
    while (e > b && Blank(S[e - 1]))
        --e;
    return S.substr(b, e - b);
}

bool TryStrToInt(const std::string& S, int& Value) {
    std::string t = Trim(S);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    unsigned base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size()) return false;
    unsigned long long v = 0;
    for (; i < t.size(); ++i) {
        char c = Upper(t[i]);
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFull) return false;
    }
    if (base == 16) {
        // Hexadecimal spells the bit pattern, so 0xFFFFFFFF is -1.
        uint32_t bits = static_cast<uint32_t>(v);
        if (negative) bits = 0u - bits;
        Value = static_cast<int>(bits);
        return true;
    }
    if (negative ? v > 0x80000000ull : v > 0x7FFFFFFFull) return false;
    Value = negative ? static_cast<int>(-static_cast<long long>(v)) : static_cast<int>(v);
    return true;
}

int StrToIntDef(const std::string& S, int Default) {
    int v;
    return TryStrToInt(S, v) ? v : Default;
}

int StrToInt(const std::string& S) {
    int v;
    if (!TryStrToInt(S, v)) throw Exception("'" + S + "' is not a valid integer value");
    return v;
}

std::string IntToStr(long long Value) { return std::to_string(Value); }

std::string IntToHex(uint32_t Value, int Digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", Digits, Value);
    return buf;
}

std::string Format(const char* Fmt, ...) {
    va_list args;
    va_start(args, Fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, Fmt, copy);
    va_end(copy);
    std::string r;
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), Fmt, args);
        r.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(args);
    return r;
}

size_t FindText(const std::string& S, const std::string& Sub, size_t From) { return S.find(Sub, From); }

size_t FindTextNoCase(const std::string& S, const std::string& Sub, size_t From) {
    if (Sub.empty()) return From <= S.size() ? From : std::string::npos;
    if (S.size() < Sub.size()) return std::string::npos;
    for (size_t i = From; i + Sub.size() <= S.size(); ++i) {
        size_t k = 0;
        while (k < Sub.size() && Upper(S[i + k]) == Upper(Sub[k]))
            ++k;
        if (k == Sub.size()) return i;
    }
    return std::string::npos;
}

std::string StringReplaceAll(const std::string& S, const std::string& From, const std::string& To) {
    if (From.empty()) return S;
    std::string r;
    size_t pos = 0;
    for (;;) {
        size_t hit = S.find(From, pos);
        if (hit == std::string::npos) break;
        r.append(S, pos, hit - pos).append(To);
        pos = hit + From.size();
    }
    return r.append(S, pos, std::string::npos);
}
