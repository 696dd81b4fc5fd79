#include "ui/IniFiles.h"

#include "base/StrUtils.h"

bool IniCannotHold(char C) { return C == '\0' || C == '\r' || C == '\n'; }

bool IniCanHold(const std::string& Value) {
    for (char c : Value)
        if (IniCannotHold(c)) return false;
    return true;
}

int TCustomIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int Default) {
    int value = 0;
    if (TryStrToInt(Trim(ReadString(Section, Ident, std::string())), value)) return value;
    return Default;
}

void TCustomIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int Value) {
    WriteString(Section, Ident, IntToStr(Value));
}

bool TCustomIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) {
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
    WriteString(Section, Ident, Value ? "1" : "0");
}

void TCustomIniFile::WriteError() const {
    throw EIniFileException(Format("Unable to write to %s", FFileName.c_str()));
}

TMemIniFile::TSection* TMemIniFile::Find(const std::string& Section) {
    for (TSection& s : FSections)
        if (SameText(s.Name, Section)) return &s;
    return nullptr;
}

std::string TMemIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) {
    if (TSection* s = Find(Section))
        for (auto& kv : s->Values)
            if (SameText(kv.first, Ident)) return kv.second;
    return Default;
}

void TMemIniFile::WriteString(const std::string& Section, const std::string& Ident,
                              const std::string& Value) {
    if (ReadOnly || !IniCanHold(Value)) WriteError();
    TSection* s = Find(Section);
    if (!s) {
        FSections.push_back(TSection{Section, {}});
        s = &FSections.back();
    }
    WriteLog.push_back(Section + "/" + Ident);
    for (auto& kv : s->Values)
        if (SameText(kv.first, Ident)) {
            kv.second = Value;
            return;
        }
    s->Values.emplace_back(Ident, Value);
}

bool TMemIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
    if (TSection* s = Find(Section))
        for (auto& kv : s->Values)
            if (SameText(kv.first, Ident)) return true;
    return false;
}

void TMemIniFile::ReadSection(const std::string& Section, std::vector<std::string>& Idents) {
    Idents.clear();
    if (TSection* s = Find(Section))
        for (auto& kv : s->Values)
            Idents.push_back(kv.first);
}

void TMemIniFile::ReadSections(std::vector<std::string>& Sections) {
    Sections.clear();
    for (TSection& s : FSections)
        Sections.push_back(s.Name);
}
