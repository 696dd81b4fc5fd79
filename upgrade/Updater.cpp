#include "upgrade/Updater.h"

#include "base/StrUtils.h"
#include "base/Streams.h"

namespace {
const char kSignatureKey[] = "#signature=";
const char kDigestSuffix[] = "-sha256";

bool ParseDigest(const std::string& Hex, TDigest32& Digest) {
    std::string bytes;
    if (!HexToBytes(Trim(Hex), bytes) || bytes.size() != Digest.size()) return false;
    std::copy(bytes.begin(), bytes.end(), Digest.begin());
    return true;
}
}  // namespace

std::vector<std::string> TUpgradeInfo::URLs() const {
    std::vector<std::string> urls;
    for (const TUpdateFile& f : Files)
        urls.push_back(f.URL);
    return urls;
}

TUpgradeInfo ReadUpgradeInfo(const std::string& Text) {
    const TInfoText keys(Text);
    TUpgradeInfo info;
    info.Version = keys.Value("version");
    info.Date = keys.Value("date");
    info.Message = keys.Message();
    const std::string method = keys.Value("method");
    info.Method = method.compare(0, 1, "1") == 0   ? umUseExternalSetup
                  : method.compare(0, 1, "2") == 0 ? umRedirectToURL
                                                   : umSelfUpgrade;
    auto add = [&](const std::string& Key) {
        TUpdateFile f;
        f.URL = keys.Value(Key);
        if (f.URL.empty()) return false;
        f.HasSha256 = ParseDigest(keys.Value(Key + kDigestSuffix), f.Sha256);
        info.Files.push_back(f);
        return true;
    };
    add("url");
    add("url0");
    for (size_t n = info.Files.size() + 1; add("url" + IntToStr(static_cast<long long>(n))); ++n) {
    }
    return info;
}

bool SplitSignature(const std::string& Text, std::string& Signed, std::string& Signature) {
    const size_t at = LowerCase(Text).rfind(kSignatureKey);
    if (at == std::string::npos) return false;
    const size_t start = at + sizeof kSignatureKey - 1;
    size_t end = start;
    while (end < Text.size() && static_cast<unsigned char>(Text[end]) >= 32)
        ++end;
    for (size_t i = end; i < Text.size(); ++i)
        if (static_cast<unsigned char>(Text[i]) > 32) return false;
    std::string bytes;
    if (!HexToBytes(Trim(Text.substr(start, end - start)), bytes) || bytes.empty()) return false;
    Signed = Text.substr(0, at);
    Signature = bytes;
    return true;
}

bool ReadTrustedUpgradeInfo(const std::string& Body, const TSignatureCheck& Verify, TUpgradeInfo& Info) {
    std::string signedPart, signature;
    if (Body.size() > static_cast<size_t>(kInfoFileCap) || !SplitSignature(Body, signedPart, signature) ||
        !Verify(signedPart, signature))
        return false;
    TUpgradeInfo info = ReadUpgradeInfo(signedPart);
    if (info.Method != umRedirectToURL)
        for (const TUpdateFile& f : info.Files)
            if (!f.HasSha256) return false;
    Info = info;
    return true;
}

bool OffersUpdate(const TUpgradeInfo& Info, TVersionControl Control, const std::string& VersionNumber,
                  const std::string& VersionDate, const TVersionDate& Today) {
    const bool newer = Control == byNumber ? IsNewerNumber(Info.Version, VersionNumber)
                                           : IsNewerDate(Info.Date, VersionDate, Today);
    return newer && !Info.Files.empty();
}

bool FileMatchesDigest(const std::string& FileName, const TDigest32& Expected) {
    try {
        TFileStream file(FileName, fmOpenRead);
        TSHA256 hash;
        char buffer[16 * 1024];
        for (int n; (n = file.Read(buffer, sizeof buffer)) > 0;)
            hash.Update(buffer, static_cast<size_t>(n));
        return hash.Final() == Expected;
    } catch (const EStreamError&) {
        return false;
    }
}
