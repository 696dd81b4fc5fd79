#include "feed/jsXMLParser.h"

#include "feed/ByteScan.h"

#include <climits>
#include <cstring>

namespace {
int ClampInt(size_t v) { return v > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(v); }

bool Contains(std::string_view s, const char* what) { return s.find(what) != std::string_view::npos; }
}  // namespace

namespace {
// True when every line break is already CR LF and the text ends with one: every LF
// preceded by a CR and every CR followed by an LF. This looks at the whole feed before the
// scan starts, so it goes sixteen bytes at a time.
bool AlreadyJoined(std::string_view t) {
    if (t.empty()) return true;
    if (t.back() != '\n') return false;
    const char* s = t.data();
    const size_t n = t.size();
    auto pairOk = [&](size_t k) {  // the byte at k and its neighbours
        if (s[k] == '\n' && (k == 0 || s[k - 1] != '\r')) return false;
        if (s[k] == '\r' && (k + 1 == n || s[k + 1] != '\n')) return false;
        return true;
    };
    size_t i = 0;
    if (!pairOk(0)) return false;
    for (i = 1; i + 17 <= n; i += 16) {
        bytescan::V16 prev = bytescan::Load(s + i - 1), cur = bytescan::Load(s + i),
                      next = bytescan::Load(s + i + 1);
        bytescan::M16 bad = (bytescan::Equal(cur, '\n') & ~bytescan::Equal(prev, '\r')) |
                            (bytescan::Equal(cur, '\r') & ~bytescan::Equal(next, '\n'));
        if (bytescan::Any(bad)) return false;
    }
    for (; i < n; ++i)
        if (!pairOk(i)) return false;
    return true;
}
}  // namespace

std::string_view JoinedLines(std::string_view Text, std::string& Storage) {
    if (AlreadyJoined(Text)) return Text;

    Storage.clear();
    Storage.reserve(Text.size() + Text.size() / 32 + 2);
    size_t start = 0, i = 0, n = Text.size();
    while (i < n) {
        char c = Text[i];
        if (c == '\r' || c == '\n') {
            Storage.append(Text.data() + start, i - start).append("\r\n");
            i += (c == '\r' && i + 1 < n && Text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n) Storage.append(Text.data() + start, n - start).append("\r\n");
    return Storage;
}

void TjsXMLParser::Parse() {
    std::string joined = FXML.Text();
    Scan(joined);
}

void TjsXMLParser::ParseText(std::string_view Text) {
    std::string storage;
    Scan(JoinedLines(Text, storage));
}

namespace {
// Most runs between tags are a line break and some indentation: one vector by hand first,
// a library call only for longer runs.
size_t FindLt(const char* s, size_t from, size_t total) {
    if (from + 16 <= total) {
        size_t k = bytescan::FirstSet(bytescan::Equal(bytescan::Load(s + from), '<'));
        if (k < 16) return from + k;
        from += 16;
    }
    const void* lt = std::memchr(s + from, '<', total - from);
    return lt ? static_cast<size_t>(static_cast<const char*>(lt) - s) : total;
}

// Notes "</" and "/>" around the slash at p; the whole tag counts, quoted values included.
inline void NoteSlash(const char* p, const char* tagStart, const char* end, bool& ltSlash, bool& slashGt) {
    if (p > tagStart && p[-1] == '<') ltSlash = true;
    if (p + 1 < end && p[1] == '>') slashGt = true;
}
}  // namespace

void TjsXMLParser::Scan(std::string_view Text) {
    FPath.clear();
    const char* s = Text.data();
    const size_t total = Text.size();
    if (total == 0) return;
    const char* end = s + total;
    const int totalInt = ClampInt(total);
    size_t i = 0;
    for (;;) {
        if (OnParsing) OnParsing(this, ClampInt(i), totalInt);

        // Character data up to the next "<"; a run at the very end is never reported.
        size_t tagStart = FindLt(s, i, total);
        if (tagStart >= total) return;
        if (tagStart > i) HandleText(Text.substr(i, tagStart - i));

        // The tag runs to ">" or a zero byte; quoted stretches may hold ">". One walk also
        // notes what decides the tag's effect on the path.
        bool ltSlash = false, slashGt = false;
        i = tagStart;
        for (;;) {
            i = bytescan::FindFirstOf<'>', '\0', '"', '\'', '/'>(s, i + 1, total);
            if (i >= total) return;
            char c = s[i];
            if (c == '>' || c == '\0') break;
            if (c == '/') {
                NoteSlash(s + i, s + tagStart, end, ltSlash, slashGt);
                continue;
            }
            const char* close = static_cast<const char*>(std::memchr(s + i + 1, c, total - i - 1));
            if (!close) return;
            for (const char* p = s + i + 1;
                 (p = static_cast<const char*>(std::memchr(p, '/', static_cast<size_t>(close - p)))); ++p)
                NoteSlash(p, s + tagStart, end, ltSlash, slashGt);
            i = static_cast<size_t>(close - s);
        }
        // The name ends at the latest at the tag's own ">" or zero byte, so it may be looked
        // for in the whole text, where the 16-byte steps need no care near the tag's end.
        size_t nameStart = tagStart + 1;
        while (s[nameStart] == ' ' || s[nameStart] == '\t' || s[nameStart] == '<')
            ++nameStart;
        size_t nameEnd = bytescan::FindFirstOf<'\0', '\n', '\r', ' ', '>'>(s, nameStart, total);
        HandleTag(Text.substr(tagStart, i - tagStart + 1), Text.substr(nameStart, nameEnd - nameStart),
                  slashGt   ? tkEmpty
                  : ltSlash ? tkEnd
                            : tkStart);
        if (++i >= total) return;
    }
}

void TjsXMLParser::HandleText(std::string_view Run) {
    if (!OnFoundText) return;
    std::string_view t = TrimView(Run);
    if (t.empty()) return;
    OnFoundText(this, FPath, t);
}

void TjsXMLParser::HandleTag(std::string_view T, std::string_view name, TTagKind Kind) {
    if (name == "?xml") return;
    // Comments and CDATA sections both have a "!" in their name; most tags have none.
    if (name.find('!') != std::string_view::npos) {
        if (name == "!--") {
            if (OnFoundComment)
                OnFoundComment(this, T.size() >= 7 ? T.substr(4, T.size() - 7) : std::string_view());
            return;
        }
        if (Contains(name, "![CDATA[")) {
            if (OnFoundCDATA) {
                std::string_view body = T.size() >= 12 ? T.substr(9, T.size() - 12) : std::string_view();
                OnFoundCDATA(this, TrimView(body));
            }
            return;
        }
    }
    if (OnFoundTag) OnFoundTag(this, FPath, name, T);
    switch (Kind) {
    case tkStart:
        FPath.append(name.data(), name.size()).append(1, '/');
        break;
    case tkEnd:
        CutToParentPath(FPath);
        break;
    case tkEmpty:
        break;
    }
}
