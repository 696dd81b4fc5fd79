// Base64 both ways (RFC 4648 section 10, RFC 7617) and how decoding stops at bad text.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "http/MimeUtil.h"

TEST(Base64Test, EncodesAndDecodesPublishedVectors) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        {"\xfb\xff\xbf", "+/+/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Base64Encode(c.first), c.second);
        EXPECT_EQ(Base64Decode(c.second), c.first) << c.second;
    }
}

TEST(Base64Test, EveryByteValueRoundTrips) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    for (size_t cut = 0; cut < 3; ++cut)
        EXPECT_EQ(Base64Decode(Base64Encode(all.substr(cut))), all.substr(cut));
}

TEST(Base64Test, DecodingStopsAtTheFirstCharacterOutsideTheAlphabet) {
    const std::pair<const char*, const char*> cases[] = {
        {"Zg", "f"},          {"Zm8", "fo"},        {"Z", ""},     {"Zg==Zm9v", "f"},
        {"Zm9v!Zm9v", "foo"}, {"Zm9v Zm9v", "foo"}, {"=Zm9v", ""}, {"Zm9vY", "foo"},
    };
    for (const auto& c : cases) {
        // An exact-size copy, not NUL-terminated, so a read past the end is caught.
        const std::vector<char> text(c.first, c.first + std::strlen(c.first));
        EXPECT_EQ(Base64Decode(text.data(), text.size()), c.second) << c.first;
    }
}
