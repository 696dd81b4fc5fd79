#pragma once
// The portable half of the update component: what a check reads from the information file,
// whether that file may be trusted, and whether it offers an update.
//
// A trusted information file ends with a signature line, "#signature=" and the signature in
// hexadecimal, most significant byte first (as openssl writes it); only the bytes before
// that line are signed, and only they are read. Each file of the update carries its SHA-256
// in hexadecimal under its url key's name followed by "-sha256" ("#url1=..." and
// "#url1-sha256=..."). The names are new keys only, so older readers still find theirs.
#include <functional>
#include <string>
#include <vector>

#include "upgrade/SHA256.h"
#include "upgrade/UpgradeUtils.h"

enum TUpgradeMethod { umSelfUpgrade, umUseExternalSetup, umRedirectToURL };
enum TVersionControl { byDate, byNumber };

// The most of an information file a check reads into memory.
constexpr int kInfoFileCap = 64 * 1024;

struct TUpdateFile {
    std::string URL;
    TDigest32 Sha256{};
    bool HasSha256 = false;
};

struct TUpgradeInfo {
    std::string Version;  // "version"
    std::string Date;     // "date"
    std::string Message;  // "message", without its braces
    TUpgradeMethod Method = umSelfUpgrade;
    // "url", then "url0", then "url" numbered on from the count so far, up to the first gap.
    std::vector<TUpdateFile> Files;
    std::vector<std::string> URLs() const;
};

// Reads the keys of Text as they are, trusted or not.
TUpgradeInfo ReadUpgradeInfo(const std::string& Text);

// Splits a file at its signature line: false when there is none, its value is no
// hexadecimal, or anything but blanks and line breaks follows it.
bool SplitSignature(const std::string& Text, std::string& Signed, std::string& Signature);

// Checks Signature over the signed bytes: the platform's public-key check.
using TSignatureCheck = std::function<bool(const std::string& Signed, const std::string& Signature)>;

// The information file as a check takes it: no bigger than the cap, signed as a whole, and
// with a digest for every file that will be downloaded (a redirect's page is only opened).
// False means the file counts as not found.
bool ReadTrustedUpgradeInfo(const std::string& Body, const TSignatureCheck& Verify, TUpgradeInfo& Info);

// Newer by the chosen rule, with at least one file to fetch.
bool OffersUpdate(const TUpgradeInfo& Info, TVersionControl Control, const std::string& VersionNumber,
                  const std::string& VersionDate, const TVersionDate& Today);

// Whether the file's bytes have the digest; false too when it cannot be read.
bool FileMatchesDigest(const std::string& FileName, const TDigest32& Expected);
