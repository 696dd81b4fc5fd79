#include "base/Strings.h"

#include "base/Exception.h"
#include "base/StrUtils.h"

void TStringList::Changed() {
    if (FUpdateCount > 0) {
        FChangedDuringUpdate = true;
        return;
    }
    Raise(OnChange, this);
}

void TStringList::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0 && FChangedDuringUpdate) {
        FChangedDuringUpdate = false;
        Raise(OnChange, this);
    }
}

void TStringList::Put(int Index, const std::string& S) {
    FLines.at(Index) = S;
    Changed();
}

int TStringList::Add(const std::string& S) {
    FLines.push_back(S);
    Changed();
    return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S) {
    if (Index < 0 || Index > Count()) throw Exception(Format("List index out of bounds (%d)", Index));
    FLines.insert(FLines.begin() + Index, S);
    Changed();
}

void TStringList::Delete(int Index) {
    if (Index < 0 || Index >= Count()) throw Exception(Format("List index out of bounds (%d)", Index));
    FLines.erase(FLines.begin() + Index);
    Changed();
}

void TStringList::Clear() {
    if (FLines.empty()) return;
    FLines.clear();
    Changed();
}

void TStringList::Assign(const TStringList& Source) {
    if (&Source == this) return;
    FLines = Source.FLines;
    Changed();
}

void TStringList::Assign(const std::vector<std::string>& Lines) {
    FLines = Lines;
    Changed();
}

int TStringList::IndexOf(const std::string& S) const {
    for (int i = 0; i < Count(); ++i)
        if (SameText(FLines[i], S)) return i;
    return -1;
}

std::string TStringList::Text() const {
    size_t total = 0;
    for (const auto& l : FLines)
        total += l.size() + 2;
    std::string r;
    r.reserve(total);
    for (const auto& l : FLines)
        r.append(l).append("\r\n");
    return r;
}

void TStringList::SetText(const std::string& Text) {
    FLines.clear();
    size_t start = 0, i = 0, n = Text.size();
    while (i < n) {
        char c = Text[i];
        if (c == '\r' || c == '\n') {
            FLines.emplace_back(Text, start, i - start);
            i += (c == '\r' && i + 1 < n && Text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n) FLines.emplace_back(Text, start, n - start);
    Changed();
}

std::string TStringList::Names(int Index) const {
    const std::string& l = FLines.at(Index);
    size_t eq = l.find('=');
    return eq == std::string::npos ? std::string() : l.substr(0, eq);
}

int TStringList::IndexOfName(const std::string& Name) const {
    for (int i = 0; i < Count(); ++i) {
        size_t eq = FLines[i].find('=');
        if (eq != std::string::npos && SameText(FLines[i].substr(0, eq), Name)) return i;
    }
    return -1;
}

std::string TStringList::Values(const std::string& Name) const {
    int i = IndexOfName(Name);
    return i < 0 ? std::string() : FLines[i].substr(FLines[i].find('=') + 1);
}

void TStringList::SetValue(const std::string& Name, const std::string& Value) {
    int i = IndexOfName(Name);
    if (i < 0)
        Add(Name + "=" + Value);
    else
        Put(i, Name + "=" + Value);
}
