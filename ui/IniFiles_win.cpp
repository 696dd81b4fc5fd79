#include "ui/IniFiles_win.h"

#include <windows.h>

#include <vector>

namespace {
// Calls Fetch with a growing buffer until the result fits; Fetch returns the count copied.
// Lists end in two zero bytes, so they are full when the count is the size minus two.
template <typename F>
std::string FetchGrowing(F Fetch, bool IsList) {
    std::vector<char> buf(2048);
    for (;;) {
        DWORD n = Fetch(buf.data(), static_cast<DWORD>(buf.size()));
        DWORD full = static_cast<DWORD>(buf.size()) - (IsList ? 2 : 1);
        if (n < full || buf.size() >= (1u << 20)) return std::string(buf.data(), n);
        buf.resize(buf.size() * 4);
    }
}

void SplitList(const std::string& List, std::vector<std::string>& Out) {
    Out.clear();
    size_t start = 0;
    while (start < List.size()) {
        size_t end = List.find('\0', start);
        if (end == std::string::npos) end = List.size();
        if (end > start) Out.push_back(List.substr(start, end - start));
        start = end + 1;
    }
}
}  // namespace

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) {
    return FetchGrowing(
        [&](char* Buf, DWORD Size) {
            return GetPrivateProfileStringA(Section.c_str(), Ident.c_str(), Default.c_str(), Buf, Size,
                                            FileName().c_str());
        },
        false);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
    // The profile functions would cut such a value or store a line of its own.
    if (!IniCanHold(Value) || !IniCanHold(Ident) || Ident.find('=') != std::string::npos) WriteError();
    if (!WritePrivateProfileStringA(Section.c_str(), Ident.c_str(), Value.c_str(), FileName().c_str()))
        WriteError();
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
    std::vector<std::string> idents;
    ReadSection(Section, idents);
    for (const std::string& s : idents)
        if (lstrcmpiA(s.c_str(), Ident.c_str()) == 0) return true;
    return false;
}

void TIniFile::ReadSection(const std::string& Section, std::vector<std::string>& Idents) {
    std::string list = FetchGrowing(
        [&](char* Buf, DWORD Size) {
            return GetPrivateProfileStringA(Section.c_str(), nullptr, "", Buf, Size, FileName().c_str());
        },
        true);
    SplitList(list, Idents);
}

void TIniFile::ReadSections(std::vector<std::string>& Sections) {
    std::string list = FetchGrowing(
        [&](char* Buf, DWORD Size) { return GetPrivateProfileSectionNamesA(Buf, Size, FileName().c_str()); },
        true);
    SplitList(list, Sections);
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
    WritePrivateProfileStringA(Section.c_str(), Ident.c_str(), nullptr, FileName().c_str());
}
