// The platform's check of an information file's signature, against files signed by openssl
// (scripts/make-upgrade-info.sh with the test key).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/TestFiles.h"
#include "upgrade/ReleaseKey.h"
#include "upgrade/Signature_win.h"

namespace {
struct SignatureTest : ::testing::Test {
    void SetUp() override {
        ASSERT_FALSE(key.empty());
        ASSERT_TRUE(SplitSignature(sample, signedPart, signature));
    }
    const std::string key = ReadWholeFile(EnvPath("PELORIN_UPGRADE_KEYS", "test-public.der"));
    const std::string sample = ReadWholeFile(EnvPath("PELORIN_UPGRADE_KEYS", "signed-sample.inf"));
    std::string signedPart, signature;
};
}  // namespace

TEST_F(SignatureTest, OpensslSignatureVerifies) {
    EXPECT_EQ(ReleasePublicKey(), key);  // the build's key resource
    EXPECT_TRUE(VerifySignature(key, signedPart, signature));
    TUpgradeInfo info;
    ASSERT_TRUE(ReadTrustedUpgradeInfo(sample, SignatureCheckFor(key), info));
    EXPECT_EQ(info.Version, "1.2.0.0");
    EXPECT_EQ(info.Files.size(), 1u);
}

TEST_F(SignatureTest, AnyChangeIsRefused) {
    std::string flipped = signature;
    flipped[flipped.size() / 2] ^= 1;
    std::string reordered = signedPart;
    const size_t cut = reordered.find('\n') + 1;
    reordered = reordered.substr(cut) + reordered.substr(0, cut);
    std::string edited = signedPart;
    edited[edited.find("1.2.0.0")] = '9';
    const struct {
        const char* what;
        std::string key, text, signature;
    } cases[] = {
        {"a changed byte", key, edited, signature},
        {"re-ordered lines", key, reordered, signature},
        {"text cut short", key, signedPart.substr(0, signedPart.size() - 1), signature},
        {"a text appended", key, signedPart + "#url2=http://elsewhere/x.exe\r\n", signature},
        {"a flipped signature bit", key, signedPart, flipped},
        {"a signature cut short", key, signedPart, signature.substr(1)},
        {"no signature", key, signedPart, ""},
        {"another key",
         ReadWholeFile(EnvPath("PELORIN_UPGRADE_KEYS", "../../../upgrade/keys/release-public.der")),
         signedPart, signature},
        {"no key", "", signedPart, signature},
        {"a key that is no key", std::string(300, '\x30'), signedPart, signature},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(VerifySignature(c.key, c.text, c.signature)) << c.what;
}
