#include "feed/jsXMLUtil.h"

#include <algorithm>

namespace {
// Paths are kept in a 255-character buffer by older readers of our feeds; keep the same
// limit so every reader agrees on what a deep path looks like.
constexpr size_t MaxParentPart = 255;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

size_t FindNoCase(std::string_view s, std::string_view sub) {
    if (sub.empty()) return 0;
    if (s.size() < sub.size()) return std::string_view::npos;
    const char first = Upper(sub[0]);
    for (size_t i = 0; i + sub.size() <= s.size(); ++i) {
        if (Upper(s[i]) != first) continue;
        size_t k = 1;
        while (k < sub.size() && Upper(s[i + k]) == Upper(sub[k]))
            ++k;
        if (k == sub.size()) return i;
    }
    return std::string_view::npos;
}
}  // namespace

std::string_view TagNameView(std::string_view T) {
    size_t b = 0;
    while (b < T.size() && (T[b] == ' ' || T[b] == '\t' || T[b] == '<'))
        ++b;
    size_t e = TagNameEnd(T.data(), b, T.size());
    return T.substr(b, e - b);
}

std::string GetTagName(std::string_view CompleteTag) { return std::string(TagNameView(CompleteTag)); }

void CutToParentPath(std::string& Path) {
    if (Path.size() <= 2) {
        Path.clear();
        return;
    }
    size_t i = Path.size() - 2;
    while (i > 0 && Path[i] != '/')
        --i;
    Path.resize(std::min(i, MaxParentPart));
    Path += '/';
}

std::string ParentPath(std::string_view Path) {
    std::string r(Path);
    CutToParentPath(r);
    return r;
}

std::string GetAttribute(std::string_view Tag, std::string_view Name) {
    size_t start = FindNoCase(Tag, Name);
    if (start == std::string_view::npos) return std::string();
    size_t i = start;
    while (i < Tag.size() && Tag[i] != '\0' && Tag[i] != ' ' && Tag[i] != '=' && Tag[i] != '>')
        ++i;
    if (i < Tag.size() && Tag[i] == '=') ++i;
    if (i < Tag.size()) {
        char c = Tag[i];
        if (c == '"' || c == '\'') {
            size_t close = Tag.find(c, i + 1);
            i = close == std::string_view::npos ? Tag.size() : close + 1;
        } else if (c != '\0' && c != ' ' && c != '>') {
            size_t space = Tag.find(' ', i);
            i = space == std::string_view::npos ? Tag.size() : space;
        }
    }
    return std::string(Tag.substr(start, i - start));
}

std::string GetAttributeValue(std::string_view A) {
    size_t eq = A.find('=');
    if (eq == std::string_view::npos) return std::string();
    size_t b = eq + 1;
    if (b < A.size() && (A[b] == '"' || A[b] == '\'')) {
        size_t close = A.find(A[b], b + 1);
        if (close == std::string_view::npos) close = A.size();
        return std::string(A.substr(b + 1, close - b - 1));
    }
    size_t space = A.find(' ', b);
    if (space == std::string_view::npos) space = A.size();
    return std::string(A.substr(b, space - b));
}

std::string_view TrimView(std::string_view S) {
    size_t b = 0, e = S.size();
    while (b < e && static_cast<unsigned char>(S[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(S[e - 1]) <= 32)
        --e;
    return S.substr(b, e - b);
}
