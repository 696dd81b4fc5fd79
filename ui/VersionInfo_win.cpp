#include "ui/VersionInfo_win.h"

#include <cstring>

#include "base/StrUtils.h"

TFileVersionInfo::TFileVersionInfo(const std::string& FileName) {
    DWORD dummy = 0;
    DWORD size = GetFileVersionInfoSizeA(FileName.c_str(), &dummy);
    FPresent = size != 0;
    if (!FPresent) return;
    FData.resize(size);
    if (!GetFileVersionInfoA(FileName.c_str(), 0, size, FData.data())) FData.clear();
}

bool TFileVersionInfo::Query(const std::string& Path, void*& Value, UINT& Length) const {
    Value = nullptr;
    Length = 0;
    if (FData.empty()) return false;
    return VerQueryValueA(FData.data(), Path.c_str(), &Value, &Length) && Value;
}

const VS_FIXEDFILEINFO* TFileVersionInfo::Fixed() const {
    void* value = nullptr;
    UINT length = 0;
    if (!Query("\\", value, length) || length < sizeof(VS_FIXEDFILEINFO)) return nullptr;
    return static_cast<const VS_FIXEDFILEINFO*>(value);
}

bool TFileVersionInfo::FirstTranslation(WORD& Language, WORD& CodePage) const {
    void* value = nullptr;
    UINT length = 0;
    if (!Query("\\VarFileInfo\\Translation", value, length) || length < 4) return false;
    const WORD* words = static_cast<const WORD*>(value);
    Language = words[0];
    CodePage = words[1];
    return true;
}

bool TFileVersionInfo::StringValue(const std::string& LangCharset, const std::string& Key,
                                   std::string& Value) const {
    void* value = nullptr;
    UINT length = 0;
    if (!Query("\\StringFileInfo\\" + LangCharset + "\\" + Key, value, length)) return false;
    // The length counts the terminating zero, when there is one; never read past it.
    const char* text = static_cast<const char*>(value);
    Value.assign(text, strnlen(text, length));
    return true;
}

std::string FileVersionString(const std::string& FileName) {
    TFileVersionInfo version(FileName);
    const VS_FIXEDFILEINFO* info = version.Fixed();
    if (!info) return std::string();
    return Format("%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}
