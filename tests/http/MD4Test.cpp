// MD4 against RFC 1320 appendix A.5, fed whole and in pieces, and its misuse.
#include <gtest/gtest.h>

#include "http/MD4.h"
#include "tests/http/Hex.h"

namespace {
const std::pair<std::string, const char*> kVectors[] = {
    {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {"message digest", "d9130a8164549fe818874806e1c7014b"},
    {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043f8582f241db351ce627e153e7f0e4"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "e33b4ddc9c38f2199c3e7b164fcc0536"},
    // Around the padding's edges: one block or two.
    {std::string(55, 'a'), "c889c81dd86c4d2e025778944ea02881"},
    {std::string(56, 'a'), "d5f9a9e9257077a5f08b0b92f348b0ad"},
    {std::string(64, 'a'), "52f5076fabd22680234a3fa9f9dc5732"},
};
}  // namespace

TEST(MD4Test, PublishedVectorsWholeAndInPieces) {
    for (const auto& v : kVectors) {
        SCOPED_TRACE(v.first.size());
        EXPECT_EQ(Hex(MD4Digest(v.first)), v.second);
        for (size_t piece = 1; piece <= 13; piece += 4) {
            TMD4 md;
            md.Init();
            for (size_t at = 0; at < v.first.size(); at += piece)
                md.Update(v.first.data() + at, std::min(piece, v.first.size() - at));
            EXPECT_EQ(Hex(md.Final()), v.second) << piece;
        }
    }
}

TEST(MD4Test, UseWithoutInitRaises) {
    TMD4 md;
    EXPECT_THROW(md.Update("a", 1), MD4Exception);
    md.Init();
    md.Update("abc", 3);
    EXPECT_EQ(Hex(md.Final()), "a448017aaf21d8525fc10ae87aa6729d");
    try {
        md.Final();
        FAIL() << "a finished context stays finished";
    } catch (const MD4Exception& e) {
        EXPECT_EQ(e.Message(), "MD4 not initialized");
    }
}
