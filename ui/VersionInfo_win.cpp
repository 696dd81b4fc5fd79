#include "ui/VersionInfo_win.h"

#include <windows.h>

#include <vector>

#include "base/StrUtils.h"

std::string FileVersionString(const std::string& FileName) {
    DWORD dummy = 0;
    DWORD size = GetFileVersionInfoSizeA(FileName.c_str(), &dummy);
    if (size == 0) return std::string();
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(FileName.c_str(), 0, size, data.data())) return std::string();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info ||
        len < sizeof(VS_FIXEDFILEINFO))
        return std::string();
    return Format("%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}
