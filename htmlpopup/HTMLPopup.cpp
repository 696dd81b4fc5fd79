#include "htmlpopup/HTMLPopup.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/StrUtils.h"

namespace {

constexpr TColor kLinkColor = clBlue;
constexpr TColor kShadowColor = clGray;
constexpr TColor kErrorColor = clRed;
constexpr int kListIndent = 12;
constexpr int kGradientSteps = 64;
// Numbers read from the text are kept in this range, and positions saturate at kFar, so
// that absurd sizes in a text cannot overflow the arithmetic.
constexpr int kNumberLimit = 32767;
constexpr int kFar = 1 << 28;
constexpr int kMaxFontSize = 500;

int Sat(long long v) {
    if (v > kFar) return kFar;
    if (v < -kFar) return -kFar;
    return static_cast<int>(v);
}

char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Case-insensitive search of an upper-case pattern. Patterns that start with a non-letter
// (every entity starts with "&") jump from candidate to candidate with memchr.
size_t FindNoCase(const std::string& s, const char* pat, size_t from = 0) {
    const size_t n = std::strlen(pat);
    if (n == 0) return from <= s.size() ? from : std::string::npos;
    const char* base = s.data();
    const size_t size = s.size();
    const char first = pat[0];
    const bool letter = first >= 'A' && first <= 'Z';
    for (size_t i = from; i + n <= size; ++i) {
        if (!letter) {
            const void* hit = std::memchr(base + i, first, size - n + 1 - i);
            if (!hit) return std::string::npos;
            i = static_cast<size_t>(static_cast<const char*>(hit) - base);
        } else if (Up(base[i]) != first) {
            continue;
        }
        size_t k = 1;
        while (k < n && Up(base[i + k]) == pat[k])
            ++k;
        if (k == n) return i;
    }
    return std::string::npos;
}

// Leading decimal integer, blanks skipped; no digits reads 0.
int LeadingInt(const std::string& v) {
    size_t i = 0;
    while (i < v.size() && v[i] == ' ')
        ++i;
    bool neg = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) neg = v[i++] == '-';
    long long n = 0;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9') {
        n = n * 10 + (v[i++] - '0');
        if (n > kNumberLimit) n = kNumberLimit;
    }
    return static_cast<int>(neg ? -n : n);
}

// The text between the first pair of double quotes after Name. False when Name is absent.
bool Attr(const std::string& tag, const char* name, std::string& value, size_t from = 0) {
    size_t i = tag.find(name, from);
    if (i == std::string::npos) return false;
    value.clear();
    size_t q1 = tag.find('"', i + std::strlen(name));
    if (q1 == std::string::npos) return true;
    size_t q2 = tag.find('"', q1 + 1);
    if (q2 == std::string::npos) return true;
    value.assign(tag, q1 + 1, q2 - q1 - 1);
    return true;
}

struct TNamedColor {
    const char* Name;
    TColor Value;
};

const TNamedColor kColorNames[] = {
    {"CLRED", 0x0000FF},
    {"CLBLACK", 0x000000},
    {"CLBLUE", 0xFF0000},
    {"CLGREEN", 0x008000},
    {"CLAQUA", 0xFFFF00},
    {"CLYELLOW", 0x00FFFF},
    {"CLFUCHSIA", 0xFF00FF},
    {"CLWHITE", 0xFFFFFF},
    {"CLLIME", 0x00FF00},
    {"CLSILVER", 0xC0C0C0},
    {"CLGRAY", 0x808080},
    {"CLOLIVE", 0x008080},
    {"CLNAVY", 0x800000},
    {"CLPURPLE", 0x800080},
    {"CLTEAL", 0x808000},
    {"CLMAROON", 0x000080},
    {"CLBACKGROUND", clSystemColor + 1},
    {"CLACTIVECAPTION", clSystemColor + 2},
    {"CLINACTIVECAPTION", clSystemColor + 3},
    {"CLMENU", clSystemColor + 4},
    {"CLWINDOW", clSystemColor + 5},
    {"CLWINDOWFRAME", clSystemColor + 6},
    {"CLMENUTEXT", clSystemColor + 7},
    {"CLWINDOWTEXT", clSystemColor + 8},
    {"CLCAPTIONTEXT", clSystemColor + 9},
    {"CLACTIVEBORDER", clSystemColor + 10},
    {"CLINACTIVEBORDER", clSystemColor + 11},
    {"CLAPPWORKSPACE", clSystemColor + 12},
    {"CLHIGHLIGHT", clSystemColor + 13},
    {"CLHIGHLIGHTTEXT", clSystemColor + 14},
    {"CLBTNFACE", clSystemColor + 15},
    {"CLBTNSHADOW", clSystemColor + 16},
    {"CLGRAYTEXT", clSystemColor + 17},
    {"CLBTNTEXT", clSystemColor + 18},
    {"CLINACTIVECAPTIONTEXT", clSystemColor + 19},
    {"CLBTNHIGHLIGHT", clSystemColor + 20},
    {"CL3DDKSHADOW", clSystemColor + 21},
    {"CL3DLIGHT", clSystemColor + 22},
    {"CLINFOTEXT", clSystemColor + 23},
    {"CLINFOBK", clSystemColor + 24},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Up(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Rounds to the nearest integer, halves to even.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

int Channel(TColor c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

TColor Blend(TColor c1, TColor c2, int i, int steps) {
    TColor r = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = Channel(c1, shift), b = Channel(c2, shift);
        int v = a + RoundEven(static_cast<double>(i) * (b - a) / steps);
        r |= static_cast<TColor>(std::clamp(v, 0, 255)) << shift;
    }
    return r;
}

// The prepared text: entities, the "<#" escape and line ends (once per call). The entities
// of the text's pass, replaced in this order.
struct TEntity {
    const char* Name;  // upper case
    const char* By;
};
const TEntity kEntities[] = {
    {"&AMP;", "&&"},    {"&QUOT;", "\""},   {"&SECT;", "\xA7"},  {"&PERMIL;", "\x89"}, {"&REG;", "\xAE"},
    {"&COPY;", "\xA9"}, {"&PARA;", "\xB6"}, {"&TRADE;", "\x99"}, {"&EURO;", "\x80"},
};
constexpr int kEntityCount = sizeof(kEntities) / sizeof(kEntities[0]);

// Most texts hold none of the entities above (only "&nbsp;"): one scan over the "&"s
// settles that.
bool HasEntity(const std::string& s) {
    for (size_t at = s.find('&'); at != std::string::npos; at = s.find('&', at + 1)) {
        const char second = at + 1 < s.size() ? Up(s[at + 1]) : '\0';
        // The second letters of the names above; "&nbsp;" needs no look at the table.
        if (second == '\0' || !std::strchr("AQSPRCTE", second)) continue;
        for (int e = 0; e < kEntityCount; ++e) {
            const char* name = kEntities[e].Name;
            if (name[1] != second) continue;
            size_t k = 2;
            while (name[k] && at + k < s.size() && Up(s[at + k]) == name[k])
                ++k;
            if (name[k] == '\0') return true;
        }
    }
    return false;
}

void ReplaceEntities(std::string& s) {
    // Passes replace the first occurrence of each entity until one changes nothing. A
    // replacement can only create a new occurrence at or after its own position, so each
    // entity's search resumes from a cursor instead of the start; the result is the same.
    if (!HasEntity(s)) return;
    size_t cursor[kEntityCount] = {};
    bool changed = true;
    while (changed) {
        changed = false;
        for (int e = 0; e < kEntityCount; ++e) {
            size_t at = FindNoCase(s, kEntities[e].Name, cursor[e]);
            if (at == std::string::npos) {
                cursor[e] = s.size();
                continue;
            }
            s.replace(at, std::strlen(kEntities[e].Name), kEntities[e].By);
            changed = true;
            for (int f = 0; f < kEntityCount; ++f)
                cursor[f] = std::min(cursor[f], at);
        }
    }
}

// "&nbsp;", "&lt;" and "&gt;" in a text run, in any letter case, in one pass: no
// replacement can form or break another, so this equals replacing each name in turn.
bool ReplaceRunEntities(std::string& run) {
    static const struct {
        const char* Name;  // upper case, after the "&"
        size_t Length;
        char By;
    } kRunEntities[] = {{"NBSP;", 5, ' '}, {"LT;", 3, '<'}, {"GT;", 3, '>'}};
    size_t out = 0;
    bool changed = false;
    for (size_t in = 0; in < run.size();) {
        if (run[in] == '&') {
            bool hit = false;
            for (const auto& e : kRunEntities) {
                if (in + 1 + e.Length > run.size()) continue;
                size_t k = 0;
                while (k < e.Length && Up(run[in + 1 + k]) == e.Name[k])
                    ++k;
                if (k == e.Length) {
                    run[out++] = e.By;
                    in += 1 + e.Length;
                    hit = changed = true;
                    break;
                }
            }
            if (hit) continue;
        }
        run[out++] = run[in++];
    }
    run.resize(out);
    return changed;
}

// Addresses in tags (a link's, a picture's) are decoded once, as a browser reads them: the
// text's entity pass would turn "&amp;" into the drawing escape "&&" and repeat until
// nothing changes. An entity it does not know stays as written.
void DecodeAddress(std::string& s) {
    if (s.find('&') == std::string::npos) return;
    static const struct {
        const char* Name;  // upper case, after the "&"
        char By;
    } kNamed[] = {{"AMP;", '&'}, {"LT;", '<'}, {"GT;", '>'}, {"QUOT;", '"'}};
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (s[i] != '&') {
            out += s[i++];
            continue;
        }
        size_t used = 0;
        char by = 0;
        for (const auto& e : kNamed) {
            size_t k = 0;
            while (e.Name[k] && i + 1 + k < s.size() && Up(s[i + 1 + k]) == e.Name[k])
                ++k;
            if (!e.Name[k]) {
                used = 1 + k;
                by = e.By;
                break;
            }
        }
        if (!used && i + 2 < s.size() && s[i + 1] == '#') {
            // "&#65;" or "&#x41;": a code of a single-byte character, 1 to 255.
            const bool hex = Up(s[i + 2]) == 'X';
            size_t k = i + (hex ? 3 : 2);
            const size_t digits = k;
            int code = 0;
            while (k < s.size() && code <= 255) {
                const int d = hex ? HexDigit(s[k]) : (s[k] >= '0' && s[k] <= '9' ? s[k] - '0' : -1);
                if (d < 0) break;
                code = code * (hex ? 16 : 10) + d;
                ++k;
            }
            if (k > digits && k < s.size() && s[k] == ';' && code >= 1 && code <= 255) {
                used = k + 1 - i;
                by = static_cast<char>(code);
            }
        }
        if (used) {
            out += by;
            i += used;
        } else {
            out += s[i++];
        }
    }
    s.swap(out);
}

// The text's entity pass, on the text between tags only: inside a tag it would rewrite the
// attribute values (see DecodeAddress). No replacement makes or removes a "<" or ">", so
// the tags found here are the ones the layout finds.
void ReplaceTextEntities(std::string& s) {
    if (!HasEntity(s)) return;
    std::string out, part;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const size_t lt = s.find('<', i);
        part.assign(s, i, lt == std::string::npos ? std::string::npos : lt - i);
        ReplaceEntities(part);
        out += part;
        if (lt == std::string::npos) break;
        const size_t gt = s.find('>', lt);
        const size_t tagEnd = gt == std::string::npos ? s.size() : gt + 1;
        out.append(s, lt, tagEnd - lt);
        i = tagEnd;
    }
    s.swap(out);
}

std::string PrepareText(const std::string& text) {
    std::string s = text;
    size_t hash = s.find("<#");
    if (hash != std::string::npos) {
        s.erase(hash, 1);
        size_t gt = s.find('>', hash);
        if (gt != std::string::npos) s.erase(gt, 1);
    }
    if (s.find('\r') != std::string::npos || s.find('\n') != std::string::npos) {
        std::string out;
        out.reserve(s.size() + 16);
        for (char c : s) {
            if (c == '\n') continue;
            if (c == '\r')
                out += "<BR>";
            else
                out += c;
        }
        s.swap(out);
    }
    // Entities last, when the tags are the ones the layout will find (a carriage return
    // inside a tag has become a "<BR>" that ends it). The entity pass makes no "<", ">",
    // "#" or line end, so the order matters only to an entity cut by a line feed, which now
    // reads as the entity it is.
    if (s.find('&') != std::string::npos) ReplaceTextEntities(s);
    return s;
}

enum TAlign { alLeft, alRight, alCenter };

class TRenderer {
public:
    TRenderer(THTMLSurface& canvas, const TRect& layout, THTMLImageList* images,
              THTMLPictureSource* container, THTMLPictureSource* cache, bool hover, int hoverAnchor,
              bool hitTest, TPoint hitPoint)
        : C(canvas), LR(layout), Images(images), Container(container), Cache(cache), Hover(hover),
          HoverAnchor(hoverAnchor), HitTest(hitTest), HP(hitPoint) {}

    THTMLRenderResult Render(const std::string& text);

private:
    enum TPass { pMeasure, pPaint, pHit };

    void ApplyFont() { C.SetFont(Font); }
    int GhHeight() { return C.TextHeight("gh"); }
    // The next line starts in the font in effect now: stop when not even its first "gh"
    // fits. (The height the line just done started with could be larger and would drop a
    // last line that fits.)
    bool NextLineBelow() { return static_cast<long long>(LineTop) + GhHeight() > LR.Bottom; }
    void RunLine(TPass pass, size_t end);
    void TextRun(TPass pass, size_t n);
    // Returns false when the tag stays for the next line.
    bool Tag(TPass pass, const std::string& raw);
    void OpenTag(TPass pass, const std::string& raw, char c1, char c2, bool& stays);
    void CloseTag(TPass pass, char c1, char c2);
    // The value after the first Letter of the tag: between the next pair of double quotes,
    // else the rest of the tag.
    std::string LetterValue(char Letter) const;
    void Image(TPass pass, const std::string& raw, bool& stays);
    void PaintRun(const std::string& run, int width);
    // A name without ":" from the container, an address with "://" from the cache.
    TRenderPicture* PictureFor(const std::string& src) const {
        if (src.find(':') == std::string::npos) return Container ? Container->Picture(src) : nullptr;
        if (src.find("://") != std::string::npos) return Cache ? Cache->Picture(src) : nullptr;
        return nullptr;
    }
    void SetTextBg(TColor c) {
        TextBg = c;
        C.SetTextBackground(c);
    }
    bool Painting(TPass pass) const { return pass == pPaint; }
    bool UnderlineApplies() const { return !Hover || HoverAnchor == AnchorCounter; }
    int BoxWidth() const { return LR.Right - (LR.Left + 1); }

    THTMLSurface& C;
    TRect LR;
    THTMLImageList* Images;
    THTMLPictureSource* Container;
    THTMLPictureSource* Cache;
    bool Hover;
    int HoverAnchor;
    bool HitTest;
    TPoint HP;

    THTMLRenderResult R;
    std::string T;  // prepared text
    size_t Pos = 0;
    // Cached next "<" and blank, so long texts are not rescanned for every run.
    size_t NextLt = 0, NextSp = 0;
    bool LtValid = false, SpValid = false;

    // State of the call.
    THTMLFont Base, Font;
    TColor EntryBg = clNone, TextBg = clNone;
    TColor FontBgMemory = clNone, ParaBgMemory = clNone;
    TColor HiColorMemory = clNone, HiBgMemory = clNone;
    bool HiMet = false;
    bool InAnchor = false;
    std::string AnchorAddr, SavedAddr;
    int AnchorCounter = 0;
    int ListLevel = 0;
    TAlign Align = alLeft;
    int Indent = 0;
    bool Hidden = false, Shadow = false, ErrorMark = false, ParaBg = false;
    bool Sub = false, Sup = false;
    int TurnSaved = 0;

    // State of the line.
    int LineIndex = 0;
    int LineTop = 0, LineHeight = 0, SubExtra = 0, SupExtra = 0, ImgOffset = 0;
    int LineLeft = 0, LineBottom = 0, TextBottom = 0;
    // State of the run.
    int X = 0, DrawPos = 0, Trailing = 0;
    bool LineDone = false, Pushed = false, LiMet = false;
    // The text placed so far on the line: whether there is any, and whether it ends inside
    // a word (not with a blank).
    bool PlacedAny = false, PlacedInWord = false;
    // Hit test of the line.
    bool TextHit = false, ImageHit = false, AnchorHitOnLine = false;
    bool TextAnchorSet = false;
    std::string TextAnchor, ImageAnchor;
    int TextNumber = -1;
    TRect TextRect;
    int AnchorStartX = 0, AnchorStartLine = -1;

    std::string RawTag;  // the tag as written, reused
    std::string Up;      // upper-cased tag, reused
    std::string Run;     // text run after entity replacement, reused
    std::string Val;     // attribute value, reused
};

THTMLRenderResult TRenderer::Render(const std::string& text) {
    T = PrepareText(text);
    Base = C.Font();
    Font = Base;
    EntryBg = C.TextBackground();
    SetTextBg(clNone);

    LineTop = LR.Top;
    long long needed = 0;
    while (Pos < T.size()) {
        LineHeight = GhHeight();
        Sub = Sup = false;
        SubExtra = SupExtra = ImgOffset = 0;

        const THTMLFont savedFont = Font;
        const bool savedInAnchor = InAnchor;
        SavedAddr.assign(AnchorAddr);
        const int savedCounter = AnchorCounter, savedLevel = ListLevel;
        const bool savedHidden = Hidden, savedShadow = Shadow, savedError = ErrorMark;
        const size_t lineStart = Pos;

        RunLine(pMeasure, T.size());
        if (Pos == lineStart) ++Pos;  // cannot happen; guards the loop against a stall
        const int width = X;
        // A paragraph indent moves the line right without narrowing it; the width a window
        // needs to show the line includes it.
        R.NeededWidth = std::max(R.NeededWidth, Sat(static_cast<long long>(width) + std::max(0, Indent)));

        int left = LR.Left + 1;
        if (Align == alRight) {
            if (LR.Right - width > left) left = LR.Right - width;
        } else if (Align == alCenter) {
            if (LR.Right - left - width > 0) left += (LR.Right - left - width) / 2;
        }
        LineLeft = Sat(static_cast<long long>(left) + Indent);
        LineBottom = Sat(static_cast<long long>(LineTop) + LineHeight + SubExtra + SupExtra);
        TextBottom = LineBottom - SubExtra;

        // A hit needs line top < y < line bottom. Elsewhere the hit-test run would only
        // repeat the measuring run's state changes, so it is skipped: every mouse move lays
        // the whole text out, and this halves the cost without changing any result.
        const bool secondRun = !HitTest || (LineTop < HP.Y && HP.Y < LineBottom);
        if (!secondRun) {
            LineTop = LineBottom;
            needed = std::min<long long>(needed + LineHeight + SubExtra + SupExtra, kFar);
            ++LineIndex;
            if (NextLineBelow()) break;
            continue;
        }

        Font = savedFont;
        ApplyFont();
        InAnchor = savedInAnchor;
        AnchorAddr.assign(SavedAddr);
        AnchorCounter = savedCounter;
        ListLevel = savedLevel;
        Hidden = savedHidden;
        Shadow = savedShadow;
        ErrorMark = savedError;
        Sub = Sup = false;

        // The second run sees exactly the text the measuring run took for this line.
        const size_t lineEnd = Pos;
        Pos = lineStart;
        LtValid = SpValid = false;
        RunLine(HitTest ? pHit : pPaint, lineEnd);
        Pos = lineEnd;
        LtValid = SpValid = false;

        if (HitTest) {
            const int gh = GhHeight();
            const bool band = LineBottom - ImgOffset - gh < HP.Y && HP.Y < LineBottom - ImgOffset;
            if (ImageHit) {
                R.Hit = true;
                R.HitAnchor = ImageAnchor;
                R.HitAnchorNumber = -1;
            } else if (TextHit && TextAnchorSet && band) {
                R.Hit = true;
                R.HitAnchor = TextAnchor;
                R.HitAnchorNumber = TextNumber;
                R.HitAnchorRect = TextRect;
            }
        }

        LineTop = LineBottom;
        needed = std::min<long long>(needed + LineHeight + SubExtra + SupExtra, kFar);
        ++LineIndex;
        if (NextLineBelow()) break;
    }
    R.NeededHeight = static_cast<int>(needed);
    Font = Base;
    ApplyFont();
    if (R.NeededHeight == 0) R.NeededHeight = GhHeight();
    R.AnchorCount = AnchorCounter;
    C.SetTextBackground(EntryBg);
    return R;
}

void TRenderer::RunLine(TPass pass, size_t end) {
    X = 0;
    Trailing = 0;
    LineDone = Pushed = LiMet = false;
    PlacedAny = PlacedInWord = false;
    DrawPos = LineLeft;
    TextHit = ImageHit = AnchorHitOnLine = TextAnchorSet = false;
    TextNumber = -1;
    if (Painting(pass) && ParaBg) C.FillRect({LR.Left, LineTop, LR.Right, LineTop + LineHeight}, TextBg);

    while (Pos < end && !LineDone && !Pushed) {
        if (!LtValid || NextLt < Pos) {
            NextLt = T.find('<', Pos);
            LtValid = true;
        }
        if (!SpValid || NextSp < Pos) {
            NextSp = T.find(' ', Pos);
            SpValid = true;
        }
        const size_t p = NextLt < end ? NextLt : std::string::npos;
        const size_t q = NextSp < end ? NextSp : std::string::npos;
        size_t n;
        if (p != std::string::npos && (q == std::string::npos || q > p))
            n = p - Pos;
        else if (q != std::string::npos)
            n = q - Pos + 1;
        else
            n = end - Pos;

        if (n > 0) TextRun(pass, n);
        if (LineDone) break;

        if (Pos < end && T[Pos] == '<') {
            if (end - Pos <= 2) {
                Pos = end;
                break;
            }
            size_t gt = T.find('>', Pos);
            if (gt == std::string::npos || gt >= end) {
                Pos = end;  // a "<" without ">" drops the rest
                break;
            }
            RawTag.assign(T, Pos, gt - Pos + 1);
            // The tag acts even when it ends the line; only a pushed one stays.
            if (Tag(pass, RawTag))
                Pos = gt + 1;
            else
                Pushed = true;
        }
    }
    if (pass == pMeasure) X -= Trailing;
}

void TRenderer::TextRun(TPass pass, size_t n) {
    Run.assign(T, Pos, n);
    const bool changed = Run.find('&') != std::string::npos && ReplaceRunEntities(Run);

    const int h = C.TextHeight(Run);
    if (Sub) SubExtra = std::max(SubExtra, h / 4);
    if (Sup) SupExtra = std::max(SupExtra, h / 4);
    LineHeight = std::max(LineHeight, h);
    if (Hidden) {
        Pos += n;
        return;
    }

    int w = 0;
    if (pass == pPaint) {
        w = C.TextWidth(Run);
        PaintRun(Run, w);
        DrawPos = Sat(static_cast<long long>(DrawPos) + w);
        X = Sat(static_cast<long long>(X) + w);
    } else {
        w = C.TextWidth(Run);
        const int before = X;
        X = Sat(static_cast<long long>(X) + w);
        if (pass == pHit && InAnchor) {
            const int rel = HP.X - LineLeft;
            if (before <= rel && rel <= X) {
                TextHit = true;
                if (LineTop < HP.Y) {
                    TextAnchor = AnchorAddr;
                    TextAnchorSet = true;
                    AnchorHitOnLine = true;
                }
            }
        }
    }

    // A blank ending a word hangs past the line's end: it is not drawn visibly and is not
    // counted in the line's width, so it must not push the word to the next line either.
    // Otherwise a window sized to its widest line would wrap that line's last word.
    const int blank = (!changed && !Run.empty() && Run.back() == ' ') ? C.TextWidth(" ") : 0;
    bool fits = true;
    if (pass == pMeasure) {
        const int bw = BoxWidth();
        // A word wider than the line takes a line of its own; a word cut by tags is kept
        // whole even when it overflows.
        fits = X - blank < bw || (w >= bw && !PlacedAny) || PlacedInWord;
        PlacedAny = true;
        PlacedInWord = Run.back() != ' ';
    }
    if (fits) {
        Pos += n;
        Trailing = blank;
    } else {
        X -= w;
        LineDone = true;
    }
}

void TRenderer::PaintRun(const std::string& run, int width) {
    TRect box{DrawPos, LineTop, LR.Right, TextBottom};
    if (Sup) box.Bottom -= SupExtra;
    if (Sub) box.Bottom += SubExtra;
    box.Bottom -= ImgOffset;
    if (Shadow) {
        THTMLFont shadowFont = Font;
        shadowFont.Color = kShadowColor;
        C.SetFont(shadowFont);
        C.DrawTextBox({box.Left + 1, box.Top + 1, box.Right + 1, box.Bottom + 1}, run);
        ApplyFont();
    }
    C.DrawTextBox(box, run);
    if (ErrorMark) {
        // Past the layout's right edge the text is clipped, so is its mark.
        const int right = std::min(box.Left + width, LR.Right + 2);
        int x0 = box.Left - box.Left % 2;
        bool low = x0 % 4 == 0;
        C.SetPenColor(kErrorColor);
        C.MoveTo(x0, low ? box.Bottom + 1 : box.Bottom - 1);
        for (int x = x0 + 2; x < right; x += 2) {
            low = !low;
            C.LineTo(x, low ? box.Bottom + 1 : box.Bottom - 1);
        }
    }
}

bool TRenderer::Tag(TPass pass, const std::string& raw) {
    auto at = [&raw](size_t i) { return i < raw.size() ? ::Up(raw[i]) : '\0'; };
    if (raw.size() > 3 && raw[1] == '/') {
        CloseTag(pass, at(2), at(3));
        return true;
    }
    const char c1 = at(1);
    // Only tags with attributes need the upper-case copy; most tags (A, /A, BR) do not.
    if (std::strchr("BFIPRS", c1) && c1 != '\0') {
        Up = raw;
        for (char& c : Up)
            c = ::Up(c);
    }
    bool stays = false;
    OpenTag(pass, raw, c1, at(2), stays);
    return !stays;
}

std::string TRenderer::LetterValue(char Letter) const {
    const size_t at = Up.find(Letter, 1);
    if (at == std::string::npos) return std::string();
    const size_t q1 = Up.find('"', at);
    const size_t q2 = q1 == std::string::npos ? q1 : Up.find('"', q1 + 1);
    if (q2 != std::string::npos) return Up.substr(q1 + 1, q2 - q1 - 1);
    return Up.substr(at + 1, Up.size() - at - 2);
}

void TRenderer::OpenTag(TPass pass, const std::string& raw, char c1, char c2, bool& stays) {
    const bool paint = Painting(pass);
    switch (c1) {
    case 'A': {
        size_t q1 = raw.find('"');
        size_t q2 = q1 == std::string::npos ? q1 : raw.find('"', q1 + 1);
        if (q2 == std::string::npos)
            AnchorAddr.clear();
        else
            AnchorAddr.assign(raw, q1 + 1, q2 - q1 - 1);
        DecodeAddress(AnchorAddr);
        ++AnchorCounter;
        if (paint && UnderlineApplies()) Font.Style |= fsUnderline;
        Font.Color = kLinkColor;
        ApplyFont();
        InAnchor = true;
        AnchorStartX = LineLeft + X;
        AnchorStartLine = LineIndex;
        AnchorHitOnLine = false;
        break;
    }
    case 'B':
        if (c2 == '>') {
            Font.Style |= fsBold;
            ApplyFont();
        } else if (c2 == 'R') {
            LineDone = true;
        } else if (c2 == 'O' && paint) {
            if (Attr(Up, "BACKGROUND", Val)) {
                std::string src;
                Attr(raw, "", src, FindNoCase(raw, "BACKGROUND"));
                DecodeAddress(src);
                TRenderPicture* pic = PictureFor(src);
                if (pic && !pic->Empty() && pic->Width() > 0 && pic->Height() > 0) pic->Tile(C, LR);
            }
            std::string bg;
            if (Attr(Up, "BGCOLOR", bg)) {
                const TColor c = bg.empty() ? clNone : HTMLColor(bg);
                std::string to;
                if (Attr(Up, "BGCOLORTO", to)) {
                    std::string dir;
                    const bool horizontal = !Attr(Up, "DIR", dir) || dir == "H";
                    HTMLGradientFill(C, LR, c, to.empty() ? clNone : HTMLColor(to), horizontal);
                    SetTextBg(clNone);
                } else {
                    FontBgMemory = TextBg;
                    if (c != clNone) C.FillRect({LR.Left - 2, LR.Top, LR.Right, LR.Bottom}, c);
                    SetTextBg(c);
                }
            }
        }
        break;
    case 'E':
        if (paint) ErrorMark = true;
        break;
    case 'F': {
        if (Attr(Up, "FACE", Val) && !Val.empty()) Font.Name = Val;
        if (Attr(Up, " COLOR", Val) && !Val.empty()) Font.Color = HTMLColor(Val);
        if (paint && Attr(Up, "BGCOLOR", Val) && !Val.empty()) {
            FontBgMemory = TextBg;
            SetTextBg(HTMLColor(Val));
        }
        if (Attr(Up, "SIZE", Val) && !Val.empty()) {
            static const int kSizes[] = {8, 10, 12, 14, 16};
            int n = LeadingInt(Val);
            if (n >= 1 && n <= 5) n = kSizes[n - 1];
            // A size below one point would make text vanish yet still take lines.
            if (n >= 1) Font.Size = std::min(n, kMaxFontSize);
        }
        ApplyFont();
        break;
    }
    case 'H':
        if (c2 == 'I') {
            if (paint) {
                HiColorMemory = Font.Color;
                HiBgMemory = TextBg;
                HiMet = true;
                SetTextBg(clHighlight);
                Font.Color = clHighlightText;
                ApplyFont();
            }
        } else if (c2 == 'R') {
            LineDone = true;
            if (paint) {
                C.SetPenColor(clBlack);
                C.MoveTo(LineLeft, TextBottom + 1);
                C.LineTo(LR.Right, TextBottom + 1);
            }
        }
        break;
    case 'I':
        if (c2 == '>') {
            Font.Style |= fsItalic;
            ApplyFont();
        } else if (c2 == 'N') {
            int n = 0;
            if (TryStrToInt(Trim(LetterValue('X')), n) && n > X) {
                n = std::min(n, kFar);
                X = n;
                // Drawn where the hit test looks for it: n pixels into the line,
                // which alignment and paragraph indent may have moved.
                DrawPos = Sat(static_cast<long long>(LineLeft) + n);
            }
        } else if (c2 == 'M') {
            Image(pass, raw, stays);
        }
        break;
    case 'L': {
        if (LiMet) {
            LineDone = true;
            stays = true;
            break;
        }
        LiMet = true;
        const int before = DrawPos;
        X = Sat(static_cast<long long>(X) + static_cast<long long>(ListLevel) * kListIndent);
        if (paint && !Hidden) {
            THTMLFont sym = Font;
            sym.Name = "Symbol";
            C.SetFont(sym);
            C.DrawChar(Sat(before + static_cast<long long>(ListLevel - 1) * kListIndent), LineTop,
                       ListLevel % 2 == 1 ? '\xB7' : 'o');
            ApplyFont();
        }
        DrawPos = Sat(before + static_cast<long long>(ListLevel) * kListIndent);
        break;
    }
    case 'P': {
        if (Attr(Up, "ALIGN", Val)) {
            if (Val.find("RIGHT") != std::string::npos) Align = alRight;
            if (Val.find("LEFT") != std::string::npos) Align = alLeft;
            if (Val.find("CENTER") != std::string::npos) Align = alCenter;
        }
        if (Attr(Up, "INDENT", Val)) Indent = LeadingInt(Val);
        if (paint && Attr(Up, "BGCOLOR", Val)) {
            const TColor c = Val.empty() ? clNone : HTMLColor(Val);
            std::string to;
            if (Attr(Up, "BGCOLORTO", to)) {
                HTMLGradientFill(C, {LR.Left, LineTop, LR.Right, TextBottom + 2}, c,
                                 to.empty() ? clNone : HTMLColor(to), true);
                ParaBg = true;
                SetTextBg(clNone);
            } else {
                ParaBgMemory = TextBg;
                if (c != clNone) C.FillRect({LR.Left, LineTop, LR.Right, TextBottom}, c);
                SetTextBg(c);
                ParaBg = true;
            }
        }
        break;
    }
    case 'R': {
        const int angle = LeadingInt(LetterValue('A'));
        TurnSaved = Font.Orientation;
        Font.Orientation = (angle % 360) * 10;
        ApplyFont();
        break;
    }
    case 'S':
        if (c2 == '>') {
            Font.Style |= fsStrikeOut;
            ApplyFont();
        } else if (c2 == 'H') {
            Shadow = true;
        } else if (Up.compare(0, 5, "<SUB>") == 0) {
            Sub = true;
        } else if (Up.compare(0, 5, "<SUP>") == 0) {
            Sup = true;
        }
        break;
    case 'U':
        if (c2 == '>') {
            Font.Style |= fsUnderline;
            ApplyFont();
        } else {
            ListLevel = std::min(ListLevel + 1, kNumberLimit);
            LineDone = true;
        }
        break;
    case 'Z':
        Hidden = true;
        break;
    default:
        break;
    }
}

void TRenderer::CloseTag(TPass pass, char c1, char c2) {
    const bool paint = Painting(pass);
    switch (c1) {
    case 'A':
        if (paint && UnderlineApplies()) Font.Style &= ~fsUnderline;
        Font.Color = Base.Color;
        ApplyFont();
        InAnchor = false;
        if (pass == pHit && AnchorHitOnLine) {
            TextNumber = AnchorCounter;
            TextRect = {AnchorStartLine == LineIndex ? AnchorStartX : LineLeft, LineTop,
                        Sat(static_cast<long long>(LineLeft) + X), TextBottom};
            AnchorHitOnLine = false;
        }
        break;
    case 'B':
        if (c2 == '>')
            Font.Style &= ~fsBold;
        else
            Font.Color = Base.Color;
        ApplyFont();
        break;
    case 'E':
        if (paint) ErrorMark = false;
        break;
    case 'F':
        Font.Name = Base.Name;
        Font.Size = Base.Size;
        if (paint) {
            Font.Color = Base.Color;
            SetTextBg(FontBgMemory);
        }
        ApplyFont();
        break;
    case 'H':
        // A closing HI without an opening one leaves the colours as they are.
        if (paint && HiMet) {
            Font.Color = HiColorMemory;
            SetTextBg(HiBgMemory);
            ApplyFont();
        }
        break;
    case 'I':
        Font.Style &= ~fsItalic;
        ApplyFont();
        break;
    case 'L':
        LineDone = true;
        break;
    case 'P':
        LineDone = true;
        if (paint) {
            SetTextBg(ParaBgMemory);
            ParaBg = false;
        }
        break;
    case 'R':
        Font.Orientation = TurnSaved;
        ApplyFont();
        break;
    case 'S':
        if (c2 == 'U') {
            Sub = Sup = false;
        } else if (c2 == 'H') {
            Shadow = false;
        } else {
            Font.Style &= ~fsStrikeOut;
            ApplyFont();
        }
        break;
    case 'U':
        if (c2 == '>') {
            Font.Style &= ~fsUnderline;
            ApplyFont();
        } else if (ListLevel > 0) {
            --ListLevel;
        } else {
            Font.Style &= ~fsUnderline;
            ApplyFont();
        }
        break;
    case 'Z':
        Hidden = false;
        break;
    default:
        break;
    }
}

void TRenderer::Image(TPass pass, const std::string& raw, bool& stays) {
    std::string src;
    size_t srcAt = FindNoCase(raw, "SRC");
    if (srcAt != std::string::npos) Attr(raw, "", src, srcAt + 3);
    DecodeAddress(src);
    int wAttr = 0, hAttr = 0;
    if (Attr(Up, "WIDTH", Val)) wAttr = LeadingInt(Val);
    if (Attr(Up, "HEIGHT", Val)) hAttr = LeadingInt(Val);

    const int ppiX = C.PixelsPerInchX(), ppiY = C.PixelsPerInchY();
    auto scale = [](int v, int ppi) { return RoundEven(static_cast<double>(v) * ppi / 96.0); };
    int bw = 0, bh = 0;
    enum { none, listImage, shellIcon, picture } kind = none;
    int index = 0;
    bool large = false;

    if (FindNoCase(src, "IDX:") != std::string::npos) {
        src.erase(0, std::min<size_t>(4, src.size()));
        index = LeadingInt(src);
        if (Images && index >= 0 && index < Images->Count()) {
            kind = listImage;
            bw = scale(Images->Width(), ppiX);
            bh = scale(Images->Height(), ppiY);
        }
    }
    if (FindNoCase(src, "SSYS:") != std::string::npos || FindNoCase(src, "LSYS:") != std::string::npos) {
        large = FindNoCase(src, "SSYS:") == std::string::npos;
        src.erase(0, std::min<size_t>(5, src.size()));
        int n = 0;
        if (src.empty())
            index = 0;
        else if (TryStrToInt(src, n))
            index = n;
        else
            index = C.ShellIconIndex(large, src);
        int iw = 0, ih = 0;
        C.ShellIconSize(large, iw, ih);
        if (index >= 0 && iw > 0 && ih > 0) {
            kind = shellIcon;
            bw = scale(iw, ppiX);
            bh = scale(ih, ppiY);
        }
    }
    TRenderPicture* const pic = PictureFor(src);
    if (pic && !pic->Empty()) {
        kind = picture;
        if (wAttr >= 1 && hAttr >= 1) {
            bw = scale(wAttr, ppiX);
            bh = scale(hAttr, ppiY);
        } else {
            bw = scale(std::min(pic->Width(), kNumberLimit), ppiX);
            bh = scale(std::min(pic->Height(), kNumberLimit), ppiY);
        }
    }

    if (pass == pHit && InAnchor && LineLeft + X < HP.X && HP.X < LineLeft + X + bw && LineTop < HP.Y &&
        HP.Y < LineTop + bh) {
        ImageHit = true;
        ImageAnchor = AnchorAddr;
    }

    const int boxWidth = BoxWidth();
    if (pass == pMeasure && X + static_cast<long long>(bw) > boxWidth && bw < boxWidth) {
        LineDone = true;
        stays = true;
        return;
    }

    if (pass == pPaint) {
        if (kind == listImage)
            Images->Draw(C, index, DrawPos, LineTop);
        else if (kind == shellIcon)
            C.DrawShellIcon(large, index, DrawPos, LineTop);
        else if (kind == picture) {
            if (wAttr >= 1 && hAttr >= 1) {
                pic->StretchDraw(C, {DrawPos, LineTop, DrawPos + wAttr, LineTop + hAttr});
            } else {
                const TPoint off = pic->FrameOffset();
                pic->Draw(C, DrawPos + off.X, LineTop + off.Y);
            }
        }
    }
    X = Sat(static_cast<long long>(X) + bw);
    // A blank before an image is not trailing any more.
    if (bw > 0) Trailing = 0;
    DrawPos = Sat(static_cast<long long>(DrawPos) + bw);
    LineHeight = std::max(LineHeight, bh);

    // The offset lifts the text; a font taller than the line (set before the image, with no
    // text in it yet) would make it push the text down into the next line instead.
    if (Up.find("ALIGN") != std::string::npos) {
        if (Up.find("\"TOP") != std::string::npos)
            ImgOffset = std::max(0, LineHeight - GhHeight());
        else if (Up.find("\"MIDDLE") != std::string::npos)
            ImgOffset = std::max(0, LineHeight - GhHeight()) / 2;
    }
}

}  // namespace

TColor HTMLColor(const std::string& Value) {
    if (!Value.empty() && Value[0] == '#') {
        if (Value.size() < 7) return clBlack;
        int d[6];
        for (int i = 0; i < 6; ++i)
            if ((d[i] = HexDigit(Value[1 + i])) < 0) return clBlack;
        const TColor r = static_cast<TColor>(d[0] * 16 + d[1]);
        const TColor g = static_cast<TColor>(d[2] * 16 + d[3]);
        const TColor b = static_cast<TColor>(d[4] * 16 + d[5]);
        return r | (g << 8) | (b << 16);
    }
    for (const auto& n : kColorNames)
        if (SameText(Value, n.Name)) return n.Value;
    return clBlack;
}

void HTMLGradientFill(THTMLSurface& Canvas, const TRect& R, TColor C1, TColor C2, bool Horizontal) {
    if (C1 == clNone || C2 == clNone) return;
    C1 = Canvas.ResolveColor(C1);
    C2 = Canvas.ResolveColor(C2);
    const int extent = Horizontal ? R.Width() : R.Height();
    const int from = Horizontal ? R.Left : R.Top;
    const int to = Horizontal ? R.Right : R.Bottom;
    const double s = static_cast<double>(extent) / kGradientSteps;
    for (int i = 0; i < kGradientSteps; ++i) {
        const int a = from + RoundEven(i * s);
        const int b = std::min(to, a + static_cast<int>(s) + 1);
        const TColor c = Blend(C1, C2, i, kGradientSteps);
        if (Horizontal)
            Canvas.FillRect({a, R.Top, b, R.Bottom}, c);
        else
            Canvas.FillRect({R.Left, a, R.Right, b}, c);
    }
}

THTMLRenderResult RenderHTML(THTMLSurface& Canvas, const std::string& Text, const TRect& LayoutRect,
                             THTMLImageList* Images, THTMLPictureSource* PictureContainer,
                             THTMLPictureSource* PictureCache, bool Hover, int HoverAnchor, bool HitTest,
                             TPoint HitPoint) {
    TRenderer r(Canvas, LayoutRect, Images, PictureContainer, PictureCache, Hover, HoverAnchor, HitTest,
                HitPoint);
    return r.Render(Text);
}

// ---- Popup look ----

TRect PopupInnerRect(const THTMLPopupLook& Look, int ClientWidth, int ClientHeight) {
    const int b = std::max(0, Look.BorderSize);
    return {b, b, ClientWidth - b, ClientHeight - b};
}

TRect PopupLayoutRect(const THTMLPopupLook& Look, int ClientWidth, int ClientHeight) {
    const TRect inner = PopupInnerRect(Look, ClientWidth, ClientHeight);
    return {inner.Left + Look.MarginX, inner.Top + Look.MarginY, inner.Right - Look.MarginX,
            inner.Bottom - Look.MarginY};
}

namespace {

void PaintShade(THTMLSurface& Canvas, int W, int H, const THTMLPopupLook& Look) {
    const int steps = std::max(1, Look.ShadeSteps);
    const bool horizontal = Look.ShadeDirection == sdHorizontal;
    const double s = static_cast<double>(horizontal ? W : H) / steps;
    const TColor c1 = Canvas.ResolveColor(Look.ShadeStartColor);
    const TColor c2 = Canvas.ResolveColor(Look.ShadeEndColor);
    for (int i = 0; i < steps; ++i) {
        const int a = RoundEven(i * s);
        const int b = a + RoundEven(s) + 1;
        const TColor c = Blend(c1, c2, i, steps);
        if (horizontal)
            Canvas.FillRect({a, 0, b, H}, c);
        else
            Canvas.FillRect({0, a, W, b}, c);
    }
}

void PaintFrame(THTMLSurface& Canvas, int W, int H, int b) {
    if (b > 0) {
        Canvas.FillRect({0, 0, W, b}, clBtnFace);
        Canvas.FillRect({W - b, 0, W, H}, clBtnFace);
        Canvas.FillRect({0, H - b, W, H}, clBtnFace);
        Canvas.FillRect({0, 0, b, H}, clBtnFace);
        Canvas.SetPenColor(clWhite);
        Canvas.MoveTo(0, H);
        Canvas.LineTo(0, 0);
        Canvas.LineTo(W - 1, 0);
        Canvas.SetPenColor(clGray);
        Canvas.LineTo(W - 1, H - 1);
        Canvas.LineTo(0, H - 1);
        Canvas.MoveTo(b, H - b);
        Canvas.LineTo(b, b);
        Canvas.LineTo(W - b, b);
        Canvas.SetPenColor(clWhite);
        Canvas.LineTo(W - b, H - b);
        Canvas.LineTo(b, H - b);
    } else {
        Canvas.SetPenColor(cl3DLight);
        Canvas.MoveTo(0, H - 2);
        Canvas.LineTo(0, 0);
        Canvas.LineTo(W - 1, 0);
        Canvas.SetPenColor(cl3DDkShadow);
        Canvas.MoveTo(0, H - 1);
        Canvas.LineTo(W - 1, H - 1);
        Canvas.LineTo(W - 1, -1);
    }
}

}  // namespace

void PaintPopup(THTMLSurface& Canvas, int ClientWidth, int ClientHeight, const THTMLPopupLook& Look,
                const THTMLPopupContent& Content, bool Hover, int HoverAnchor) {
    if (Look.ShadeEnable)
        PaintShade(Canvas, ClientWidth, ClientHeight, Look);
    else
        Canvas.FillRect({0, 0, ClientWidth, ClientHeight}, Look.Color);
    PaintFrame(Canvas, ClientWidth, ClientHeight, Look.BorderSize);
    Canvas.SetFont(Content.Font);
    RenderHTML(Canvas, Content.Text, PopupLayoutRect(Look, ClientWidth, ClientHeight), Content.Images,
               Content.PictureContainer, Content.PictureCache, Hover, HoverAnchor, false, {});
}

THTMLRenderResult PopupHitTest(THTMLSurface& Canvas, int ClientWidth, int ClientHeight,
                               const THTMLPopupLook& Look, const THTMLPopupContent& Content,
                               TPoint ClientPoint) {
    Canvas.SetFont(Content.Font);
    return RenderHTML(Canvas, Content.Text, PopupLayoutRect(Look, ClientWidth, ClientHeight), Content.Images,
                      Content.PictureContainer, Content.PictureCache, false, -1, true, ClientPoint);
}

void PopupAutoSize(THTMLSurface& Canvas, int ClientWidth, int ClientHeight, const THTMLPopupLook& Look,
                   const THTMLPopupContent& Content, bool Hover, int HoverAnchor, int& Width, int& Height) {
    PopupFitSize(Canvas, ClientWidth, ClientHeight, Look, Content, Hover, HoverAnchor, 0, 0, Width, Height);
}

bool PopupFitSize(THTMLSurface& Canvas, int ClientWidth, int ClientHeight, const THTMLPopupLook& Look,
                  const THTMLPopupContent& Content, bool Hover, int HoverAnchor, int MaxWidth, int MaxHeight,
                  int& Width, int& Height) {
    // Layout stops below its rectangle; past MaxHeight it has shown that the text is too tall.
    const int tall = 4096 + std::max(0, MaxHeight);
    const TRect inner = PopupInnerRect(Look, ClientWidth, ClientHeight);
    const TRect box{inner.Left + 6, inner.Top + 2, inner.Left + 6 + 4096, inner.Top + 2 + tall};
    Canvas.SetFont(Content.Font);
    THTMLRenderResult r = RenderHTML(Canvas, Content.Text, box, Content.Images, Content.PictureContainer,
                                     Content.PictureCache, Hover, HoverAnchor, false, {});
    const int b = std::max(0, Look.BorderSize);
    Width = r.NeededWidth + 2 * b + 16;
    if (MaxWidth > 0 && Width > MaxWidth) {
        // Laid out again in the rectangle the paint will use at that width, so that the
        // lines wrap there exactly as they will be shown.
        TRect lr = PopupLayoutRect(Look, MaxWidth, ClientHeight);
        lr.Bottom = lr.Top + tall;
        Canvas.SetFont(Content.Font);
        r = RenderHTML(Canvas, Content.Text, lr, Content.Images, Content.PictureContainer,
                       Content.PictureCache, Hover, HoverAnchor, false, {});
        Width = MaxWidth;
    }
    Height = r.NeededHeight + 2 * b + 16;
    if (MaxHeight <= 0 || Height <= MaxHeight) return true;
    Height = MaxHeight;
    return false;
}
