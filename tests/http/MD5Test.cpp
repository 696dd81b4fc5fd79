// MD5 against RFC 1321 appendix A.5 and HMAC-MD5 against RFC 2202.
#include <gtest/gtest.h>

#include "http/MD5.h"
#include "tests/http/Hex.h"

TEST(MD5Test, PublishedVectors) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    };
    TMD5 reused;  // Final starts over, so one context serves every case
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(MD5Digest(c.first)), c.second) << c.first.size();
        reused.Update(c.first.data(), c.first.size());
        EXPECT_EQ(Hex(reused.Final()), c.second) << c.first.size();
    }
}

TEST(MD5Test, HmacPublishedVectors) {
    const struct {
        std::string key, data;
        const char* mac;
    } cases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        // A key longer than a block is hashed first.
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(HmacMD5(c.key, c.data)), c.mac) << c.data;
}
