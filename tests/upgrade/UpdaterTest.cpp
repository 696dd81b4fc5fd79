// What a check reads from the information file: the file list, the method, the signature
// and digests, and whether an update is offered; and the digest check of a downloaded file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "base/StrUtils.h"
#include "tests/http/Hex.h"
#include "upgrade/Updater.h"

namespace {
// Stands in for the platform's public-key check: the "signature" is the digest of exactly
// the signed bytes, so any change to them, or to where they end, is caught.
bool DigestVerify(const std::string& Signed, const std::string& Signature) {
    const TDigest32 d = SHA256Digest(Signed);
    return Signature == std::string(d.begin(), d.end());
}
std::string Sign(const std::string& Body) { return Body + "#signature=" + Hex(SHA256Digest(Body)) + "\r\n"; }

const std::string kDigestA = Hex(SHA256Digest("file a"));
const std::string kDigestB = Hex(SHA256Digest("file b"));
const std::string kInfo = "#version=1.3.0.0\r\n#url1=http://dl.example/a.exe\r\n#url1-sha256=" + kDigestA +
                          "\r\n#url2=http://dl.example/b.dll\r\n#url2-sha256=" + kDigestB +
                          "\r\n#message={Fixes}\r\n#method=0\r\n";
}  // namespace

TEST(UpgradeInfoTest, FileListNumbering) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"#url1=a\n#url2=b\n#url3=c", {"a", "b", "c"}},
        {"#url=a\n#url2=b\n#url3=c", {"a", "b", "c"}},
        {"#url=a\n#url0=b\n#url3=c\n#url2=x", {"a", "b", "c"}},  // url and url0: on at url3
        {"#url0=a\n#url1=x\n#url2=b", {"a", "b"}},
        {"#url1=a\n#url3=c", {"a"}},  // up to the first gap
        {"#url=\n#url1=a", {"a"}},
        {"#URL1=A\n#Url2=b", {"A", "b"}},
        {"#url2=a", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadUpgradeInfo(c.first).URLs(), c.second) << c.first;
}

TEST(UpgradeInfoTest, Method) {
    const std::pair<const char*, TUpgradeMethod> cases[] = {
        {"#method=0", umSelfUpgrade},  {"#method=1x", umUseExternalSetup}, {"#method=2", umRedirectToURL},
        {"#method=3", umSelfUpgrade},  {"#method=", umSelfUpgrade},        {"", umSelfUpgrade},
        {"#method= 1", umSelfUpgrade},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadUpgradeInfo(c.first).Method, c.second) << c.first;
}

TEST(UpgradeInfoTest, DigestsPairWithTheirURLs) {
    const TUpgradeInfo info =
        ReadUpgradeInfo("#url=a\n#url-sha256=" + kDigestA + "\n#URL2-SHA256= " + kDigestB +
                        " \n#url2=b\n#url3=c\n#url3-sha256=" + kDigestA.substr(2) + "\n");
    ASSERT_EQ(info.Files.size(), 3u);
    EXPECT_EQ(Hex(info.Files[0].Sha256), kDigestA);
    EXPECT_EQ(Hex(info.Files[1].Sha256), kDigestB);
    EXPECT_TRUE(info.Files[0].HasSha256 && info.Files[1].HasSha256);
    EXPECT_FALSE(info.Files[2].HasSha256);  // too short
}

TEST(UpgradeInfoTest, OnlyASignedFileIsTrusted) {
    const std::string good = Sign(kInfo);
    std::string swapped = kInfo;  // the two files' lines change places
    std::swap_ranges(swapped.begin() + swapped.find("#url1="), swapped.begin() + swapped.find("#url2="),
                     swapped.begin() + swapped.find("#url2="));
    const struct {
        const char* what;
        std::string body;
        bool trusted;
    } cases[] = {
        {"as signed", good, true},
        {"without the last line break", good.substr(0, good.size() - 2), true},
        {"key and value in upper case", kInfo + UpperCase("#signature=" + Hex(SHA256Digest(kInfo))), true},
        {"a byte changed", "#version=1.4" + good.substr(12), false},
        {"lines re-ordered", Sign(kInfo).replace(0, kInfo.size(), swapped), false},
        {"a key after the signature", good + "#url3=http://evil.example/x.exe\r\n", false},
        {"no signature", kInfo, false},
        {"signature no hexadecimal", kInfo + "#signature=xyz\r\n", false},
        {"signature empty", kInfo + "#signature=\r\n", false},
        {"a file without digest", Sign(kInfo + "#url3=http://dl.example/c.exe\r\n"), false},
        {"a page to open needs no digest", Sign("#version=2\r\n#url=http://www.example/\r\n#method=2\r\n"),
         true},
    };
    for (const auto& c : cases) {
        TUpgradeInfo info;
        EXPECT_EQ(ReadTrustedUpgradeInfo(c.body, DigestVerify, info), c.trusted) << c.what;
    }
    // Whatever the cut, a truncated file is refused.
    const size_t end = good.size() - 2;
    for (size_t n = 0; n < end; ++n) {
        TUpgradeInfo info;
        ASSERT_FALSE(ReadTrustedUpgradeInfo(good.substr(0, n), DigestVerify, info)) << n;
    }
    TUpgradeInfo info;
    ASSERT_TRUE(ReadTrustedUpgradeInfo(good, DigestVerify, info));
    EXPECT_EQ(info.Version, "1.3.0.0");
    EXPECT_EQ(info.Message, "Fixes");
    EXPECT_EQ(info.URLs(), (std::vector<std::string>{"http://dl.example/a.exe", "http://dl.example/b.dll"}));
}

TEST(UpgradeInfoTest, SizeCap) {
    const std::string signature = "#signature=" + std::string(64, '0') + "\r\n";
    for (size_t size : {size_t(kInfoFileCap), size_t(kInfoFileCap) + 1}) {
        std::string body = kInfo;
        body.resize(size - signature.size(), ' ');
        body = Sign(body);
        ASSERT_EQ(body.size(), size);
        TUpgradeInfo info;
        EXPECT_EQ(ReadTrustedUpgradeInfo(body, DigestVerify, info), size <= size_t(kInfoFileCap)) << size;
    }
}

TEST(UpgradeInfoTest, OffersUpdate) {
    const TVersionDate today{2026, 12, 8};
    const struct {
        std::string text;
        TVersionControl control;
        bool offered;
    } cases[] = {
        {"#version=1.3\n#url=a", byNumber, true},
        {"#version=1.3\n", byNumber, false},  // newer, but nothing to fetch
        {"#version=1.2.0.0\n#url=a", byNumber, false},
        {"#date=08/03/2005\n#url=a", byDate, true},
        {"#version=9\n#date=08/01/2005\n#url=a", byDate, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OffersUpdate(ReadUpgradeInfo(c.text), c.control, "1.2.0.0", "08/02/2005", today), c.offered)
            << c.text;
}

TEST(FileDigestTest, DownloadedFiles) {
    // Longer than the read buffer, so the digest runs over several pieces.
    std::string a(40000, '\0');
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<char>(i * 7 + i / 251);
    const TDigest32 expected = SHA256Digest(a);
    std::string tampered = a;
    tampered[30000] ^= 1;
    const struct {
        const char* what;
        std::string content;
        bool matches;
    } cases[] = {
        {"as published", a, true},
        {"tampered", tampered, false},
        {"truncated", a.substr(0, a.size() - 1), false},
        {"another file of the update in its place", "file b", false},
        {"empty", "", false},
    };
    const std::string path = testing::TempDir() + "upgrade_digest_test.uTMP";
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.content;
        EXPECT_EQ(FileMatchesDigest(path, expected), c.matches) << c.what;
    }
    std::remove(path.c_str());
    EXPECT_FALSE(FileMatchesDigest(path, expected));  // gone
}
