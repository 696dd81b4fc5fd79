#include "upgrade/UpgradeFiles.h"

#include <cmath>

#include "base/StrUtils.h"

const char* const UpdateFileSuffix = ".uTMP";

bool UpdateFileName(const std::string& URL, std::string& Name) {
    std::string path = URL.substr(0, URL.find_first_of("?#"));
    for (char& c : path)
        if (c == '/') c = '\\';
    const size_t slash = path.rfind('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return false;
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

std::string RestartParameter(const std::string& RestartParams, int MethodDigit) {
    return RestartParams + static_cast<char>('0' + MethodDigit);
}

// The rules the C runtime splits a command line by: backslashes are literal unless they
// come before a quote, where they are doubled.
std::string QuoteArgument(const std::string& Arg) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : Arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string AgentCommandLine(const std::string& AgentPath, const std::string& ProgramPath,
                             const std::string& RestartParameter) {
    return QuoteArgument(AgentPath) + " " + QuoteArgument(ProgramPath) + " +" + RestartParameter;
}
