#include "upgrade/UpgradeFiles.h"

#include <cmath>

#include "base/StrUtils.h"

bool UpdateFileName(const std::string& URL, std::string& Name) {
    std::string name;
    if (!FileNameOf(URL.substr(0, URL.find_first_of("?#")), name)) return false;
    for (unsigned char c : name)
        if (c < 32 || std::string("<>:\"|?*").find(static_cast<char>(c)) != std::string::npos) return false;
    Name = name;
    return true;
}

std::string UpdateTargetPath(const std::string& Folder, const std::string& Name) {
    const bool slashed = !Folder.empty() && (Folder.back() == '\\' || Folder.back() == '/');
    return Folder + (slashed || Folder.empty() ? "" : "\\") + Name + UpdateFileSuffix;
}

uint8_t TotalPercentsDone(int Index, int Count, int PercentsDone) {
    if (Count <= 0) return 0;
    const double total = std::nearbyint(Index * 100.0 / Count) + PercentsDone / Count;
    return static_cast<uint8_t>(total < 0 ? 0 : total > 100 ? 100 : total);
}

bool SizeTestDownloads(int FileCount, int64_t ContentLength, const std::string& TargetName,
                       const std::string& ProgramName, int64_t ExistingSize) {
    if (FileCount <= 1 || ContentLength == 0 || SameText(TargetName, ProgramName) || ExistingSize < 0)
        return true;
    return ContentLength != ExistingSize;
}
