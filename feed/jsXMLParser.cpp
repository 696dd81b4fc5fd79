#include "feed/jsXMLParser.h"

#include "feed/ByteScan.h"
#include "feed/LineEnds.h"

#include <climits>
#include <cstring>

namespace {
int ClampInt(size_t v) { return v > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(v); }

bool Contains(std::string_view s, const char* what) { return s.find(what) != std::string_view::npos; }
}  // namespace

void TjsXMLParser::Parse() {
    // The lines are joined with CR LF already; a line that holds a break of its own keeps it.
    Scan(FXML.Text(), false);
}

void TjsXMLParser::ParseText(std::string_view Text) { Scan(Text, true); }

// Without CR LF to make, no line end is ever looked for: the next lies beyond the text.
TjsXMLParser::TScan::TScan(std::string_view AText, bool CrLf)
    : Text(AText), NextEnd(CrLf ? FindLineEnd(AText, 0) : AText.size()) {}

// Pieces come in document order and most hold no line end: knowing where the next one
// lies answers for them at the cost of one search per line.
std::string_view TjsXMLParser::TScan::Out(std::string_view Piece) {
    const size_t from = static_cast<size_t>(Piece.data() - Text.data());
    if (NextEnd < from) NextEnd = FindLineEnd(Text, from);
    return NextEnd >= from + Piece.size() ? Piece : WithCrLf(Piece, Storage);
}

namespace {
// Most runs between tags are a line end and some indentation: one vector by hand first
// spares a library call for each (a few per cent on item-dense feeds).
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

void TjsXMLParser::Scan(std::string_view Text, bool CrLf) {
    FPath.clear();
    const char* s = Text.data();
    const size_t total = Text.size();
    if (total == 0) return;
    TScan scan(Text, CrLf);
    const char* end = s + total;

    // Progress counts characters of the text as if its line ends were CR LF already. The
    // rewrite adds nothing that stops a scan, except that it ends the last line: after a
    // tag at the very end, one more (empty) step is reported.
    const bool lastLineOpen = CrLf && s[total - 1] != '\r' && s[total - 1] != '\n';
    int totalInt = -1;  // worked out when first needed: most scans report no progress
    size_t counted = 0, grown = 0;
    auto progress = [&](size_t at) {
        if (totalInt < 0) totalInt = ClampInt(CrLf ? CrLfSize(Text) : total);
        if (CrLf) {
            grown += CrLfGrowth(Text, counted, at);
            counted = at;
        }
        OnParsing(this, ClampInt(at + grown), totalInt);
    };

    size_t i = 0;
    for (;;) {
        if (OnParsing) progress(i);

        // Character data up to the next "<"; a run at the very end is never reported.
        size_t tagStart = FindLt(s, i, total);
        if (tagStart >= total) return;
        if (tagStart > i) HandleText(scan, Text.substr(i, tagStart - i));

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
        size_t nameEnd = TagNameEnd(s, nameStart, total);
        HandleTag(scan, Text.substr(tagStart, i - tagStart + 1), Text.substr(nameStart, nameEnd - nameStart),
                  slashGt   ? tkEmpty
                  : ltSlash ? tkEnd
                            : tkStart);
        if (++i >= total) {
            if (lastLineOpen && OnParsing) progress(i);
            return;
        }
    }
}

void TjsXMLParser::HandleText(TScan& S, std::string_view Run) {
    if (!OnFoundText) return;
    std::string_view t = TrimView(Run);
    if (t.empty()) return;
    OnFoundText(this, FPath, S.Out(t));
}

void TjsXMLParser::HandleTag(TScan& S, std::string_view Tag, std::string_view name, TTagKind Kind) {
    if (name == "?xml") return;
    // Comments and CDATA sections are cut from this by position too.
    const std::string_view T = S.Out(Tag);
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
    // A declaration ("<!DOCTYPE ...>") or processing instruction is no element: no end tag
    // ever closes it, so letting it open a level would hide every element after it.
    if (!name.empty() && (name[0] == '!' || name[0] == '?')) return;
    switch (Kind) {
    case tkStart:
        FPath.append(name.data(), name.size()).push_back('/');
        break;
    case tkEnd:
        CutToParentPath(FPath);
        break;
    case tkEmpty:
        break;
    }
}
