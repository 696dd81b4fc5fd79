#include "feed/jsXMLParser.h"

#include <climits>
#include <cstring>

namespace {
int ClampInt(size_t v) { return v > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(v); }

bool Contains(std::string_view s, const char* what) { return s.find(what) != std::string_view::npos; }
}  // namespace

namespace {
// True when every line break is already CR LF and the text ends with one.
bool AlreadyJoined(std::string_view t) {
    if (t.empty()) return true;
    if (t.back() != '\n') return false;
    const char* s = t.data();
    const size_t n = t.size();
    for (const char* p = s; (p = static_cast<const char*>(std::memchr(p, '\n', n - (p - s)))); ++p)
        if (p == s || p[-1] != '\r') return false;
    for (const char* p = s; (p = static_cast<const char*>(std::memchr(p, '\r', n - (p - s)))); ++p)
        if (p + 1 == s + n || p[1] != '\n') return false;
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

void TjsXMLParser::Scan(std::string_view Text) {
    FPath.clear();
    const char* s = Text.data();
    const size_t total = Text.size();
    if (total == 0) return;
    const int totalInt = ClampInt(total);
    size_t i = 0;
    for (;;) {
        if (OnParsing) OnParsing(this, ClampInt(i), totalInt);

        // Character data up to the next "<"; a run at the very end is never reported.
        const void* lt = std::memchr(s + i, '<', total - i);
        if (!lt) return;
        size_t tagStart = static_cast<size_t>(static_cast<const char*>(lt) - s);
        if (tagStart > i) HandleText(Text.substr(i, tagStart - i));

        // The tag up to ">" or a zero byte; quoted stretches may hold ">".
        i = tagStart;
        for (;;) {
            if (++i >= total) return;
            char c = s[i];
            if (c == '>' || c == '\0') break;
            if (c == '"' || c == '\'') {
                const void* close = std::memchr(s + i + 1, c, total - i - 1);
                if (!close) return;
                i = static_cast<size_t>(static_cast<const char*>(close) - s);
            }
        }
        HandleTag(Text.substr(tagStart, i - tagStart + 1));
        if (++i >= total) return;
    }
}

void TjsXMLParser::HandleText(std::string_view Run) {
    if (!OnFoundText) return;
    std::string_view t = TrimView(Run);
    if (t.empty()) return;
    FText.assign(t.data(), t.size());
    OnFoundText(this, FPath, FText);
}

void TjsXMLParser::HandleTag(std::string_view T) {
    std::string_view name = TagNameView(T);
    if (name == "?xml") return;
    if (name == "!--") {
        if (OnFoundComment) {
            FText.assign(T.size() >= 7 ? T.substr(4, T.size() - 7) : std::string_view());
            OnFoundComment(this, FText);
        }
        return;
    }
    if (Contains(name, "![CDATA[")) {
        if (OnFoundCDATA) {
            std::string_view body = T.size() >= 12 ? T.substr(9, T.size() - 12) : std::string_view();
            body = TrimView(body);
            FText.assign(body.data(), body.size());
            OnFoundCDATA(this, FText);
        }
        return;
    }
    // Copy the name out before the path changes: it points into the input, which is fine,
    // but handlers get stable std::string references.
    FName.assign(name.data(), name.size());
    if (OnFoundTag) {
        FTag.assign(T.data(), T.size());
        OnFoundTag(this, FPath, FName, FTag);
    }
    bool closes = Contains(T, "/>");
    if (!closes && !Contains(T, "</")) {
        FPath.append(FName).append(1, '/');
    } else if (!closes) {
        CutToParentPath(FPath);
    }
}
