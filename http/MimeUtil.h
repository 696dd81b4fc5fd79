#pragma once
// Base64 (standard alphabet, "=" padding, no line breaks) for the authorization lines.
#include <cstddef>
#include <string>

std::string Base64Encode(const std::string& Bytes);

// Decodes up to the first character outside the alphabet ("=" included): a final group of
// two or three characters still gives its one or two whole bytes, a lone character none.
// Whatever follows the padding is ignored.
std::string Base64Decode(const char* Text, size_t Len);
std::string Base64Decode(const std::string& Text);
