// SHA-256 against the FIPS 180-2 appendix B examples, and at the padding's boundaries.
#include <gtest/gtest.h>

#include "tests/http/Hex.h"
#include "upgrade/SHA256.h"

TEST(SHA256Test, PublishedVectors) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pqrs"
         "tnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // The length field fits in the last block, just does not, and a block exactly full.
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    };
    TSHA256 pieces;  // Final starts over, so one context serves every case
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(SHA256Digest(c.first)), c.second) << c.first.size();
        // Uneven pieces straddle the block boundaries.
        for (size_t at = 0, step = 1; at < c.first.size(); at += step, step = step % 97 + 13)
            pieces.Update(c.first.data() + at, std::min(step, c.first.size() - at));
        EXPECT_EQ(Hex(pieces.Final()), c.second) << c.first.size();
    }
}
