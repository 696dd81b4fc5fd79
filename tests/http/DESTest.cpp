// Single DES against the FIPS example, with the 8-byte key and with its 7-byte NTLM form.
#include <gtest/gtest.h>

#include "http/DES.h"
#include "tests/http/Hex.h"

namespace {
const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
}  // namespace

TEST(DESTest, EncryptsTheFipsExample) {
    const std::string key = Unhex("0123456789abcdef"), plain = "Now is t";
    // The same key without its parity bits.
    const std::string key7 = Unhex("00451338957377");
    std::string out(8, '\0');
    DesEncryptBlock(U(key), U(plain), reinterpret_cast<uint8_t*>(&out[0]));
    EXPECT_EQ(Hex(out), "3fa40e8a984d4815");
    DesEncrypt7(U(key7), U(plain), reinterpret_cast<uint8_t*>(&out[0]));
    EXPECT_EQ(Hex(out), "3fa40e8a984d4815");
}

TEST(DESTest, SevenByteKeysGetOddParity) {
    const std::pair<const char*, const char*> cases[] = {
        {"00451338957377", "0123456789abcdef"},
        {"00000000000000", "0101010101010101"},
        {"ffffffffffffff", "fefefefefefefefe"},
    };
    for (const auto& c : cases) {
        std::string key(8, '\0');
        DesKeyFrom7(U(Unhex(c.first)), reinterpret_cast<uint8_t*>(&key[0]));
        EXPECT_EQ(Hex(key), c.second);
    }
}
