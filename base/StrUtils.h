#pragma once
// The few string helpers the program needs; ANSI text, bytes above 127 left alone.
#include <cstdint>
#include <string>

std::string UpperCase(const std::string& S);
std::string LowerCase(const std::string& S);
bool SameText(const std::string& A, const std::string& B);
// Whether S ends with Suffix, ignoring ASCII case.
bool EndsWithText(const std::string& S, const std::string& Suffix);
// Case-insensitive ordering: <0, 0 or >0.
int CompareText(const std::string& A, const std::string& B);

// Remove leading and/or trailing characters whose code is 32 or less.
std::string Trim(const std::string& S);
std::string TrimLeft(const std::string& S);
std::string TrimRight(const std::string& S);

// Integers: optional sign, decimal or hexadecimal with "0x"/"0X" or "$". False on anything
// else or on overflow of 32 bits.
bool TryStrToInt(const std::string& S, int& Value);
int StrToIntDef(const std::string& S, int Default);
// Throws EConvertError with "'S' is not a valid integer value".
int StrToInt(const std::string& S);
std::string IntToStr(long long Value);
// Upper-case hexadecimal, at least Digits digits.
std::string IntToHex(uint32_t Value, int Digits);

// printf-style formatting into a std::string.
std::string Format(const char* Fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Position of Sub in S, case-sensitive, from 0; npos when absent.
size_t FindText(const std::string& S, const std::string& Sub, size_t From = 0);
// Same, case-insensitive.
size_t FindTextNoCase(const std::string& S, const std::string& Sub, size_t From = 0);
std::string StringReplaceAll(const std::string& S, const std::string& From, const std::string& To);
