// Layout, painting and hit testing of the popup's mini-HTML on a surface with fixed metrics:
// 8-point text is 13 pixels high and 6 pixels per character (7 in bold).
#include <gtest/gtest.h>

#include "htmlpopup/HTMLPopup.h"
#include "tests/htmlpopup/FakeSurface.h"
#include "tests/htmlpopup/NewsText.h"

namespace {

const TRect kWide{0, 0, 200, 500};
const TRect kNarrow{0, 0, 61, 500};  // line box 60 pixels wide

THTMLRenderResult Paint(TFakeSurface& s, const std::string& text, const TRect& r = kWide,
                        THTMLImageList* images = nullptr, bool hover = false, int hoverAnchor = -1) {
    return RenderHTML(s, text, r, images, nullptr, nullptr, hover, hoverAnchor, false, {});
}

THTMLRenderResult HitAt(TFakeSurface& s, const std::string& text, int x, int y, const TRect& r = kWide,
                        THTMLImageList* images = nullptr) {
    return RenderHTML(s, text, r, images, nullptr, nullptr, false, -1, true, {x, y});
}

// "text L,T,R,B ... 'run'" reduced to "L,T,R,B 'run'".
std::vector<std::string> TextBoxes(const TFakeSurface& s) {
    std::vector<std::string> r;
    for (const auto& c : s.Only("text ")) {
        size_t sp = c.find(' ', 5);
        r.push_back(c.substr(5, sp - 5) + c.substr(c.find(" '")));
    }
    return r;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(RenderHTMLBreaking, EmptyTextDrawsNothingAndNeedsOneGhHigh) {
    TFakeSurface s;
    auto r = Paint(s, "");
    EXPECT_TRUE(s.Calls.empty());
    EXPECT_EQ(r.NeededWidth, 0);
    EXPECT_EQ(r.NeededHeight, 13);
    EXPECT_EQ(r.AnchorCount, 0);
}

TEST(RenderHTMLBreaking, TwoBrInARowGiveASecondEmptyLine) {
    TFakeSurface s;
    auto r = Paint(s, "ab<BR><BR>cd");
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 'ab'", "1,26,200,39 'cd'"}));
    EXPECT_EQ(r.NeededHeight, 39);
    EXPECT_EQ(r.NeededWidth, 12);
    TFakeSurface t;
    EXPECT_EQ(Paint(t, "ab<br><br>").NeededHeight, 26);
}

TEST(RenderHTMLBreaking, WordsWrapAtBlanksAndTheTrailingBlankIsNotCounted) {
    TFakeSurface s;
    auto r = Paint(s, "aaaa bbbb cccc dddd", kNarrow);
    // "aaaa bbbb " is 60 wide, but its last blank hangs past the edge: "bbbb" ends at 54.
    EXPECT_EQ(TextBoxes(s),
              (Lines{"1,0,61,13 'aaaa '", "31,0,61,13 'bbbb '", "1,13,61,26 'cccc '", "31,13,61,26 'dddd'"}));
    EXPECT_EQ(r.NeededWidth, 54);
    EXPECT_EQ(r.NeededHeight, 26);
    // A word whose letters reach the edge wraps.
    TFakeSurface t;
    Paint(t, "aaaa bbbbb", kNarrow);
    EXPECT_EQ(TextBoxes(t), (Lines{"1,0,61,13 'aaaa '", "1,13,61,26 'bbbbb'"}));
    // "&nbsp;" is a shown blank, not a hanging one.
    TFakeSurface u;
    Paint(u, "aaaa bbbb&nbsp; c", kNarrow);
    EXPECT_EQ(TextBoxes(u), (Lines{"1,0,61,13 'aaaa '", "1,13,61,26 'bbbb  '", "37,13,61,26 'c'"}));
}

TEST(RenderHTMLBreaking, WordWiderThanTheLineStandsAloneAndIsClipped) {
    TFakeSurface s;
    auto r = Paint(s, "ab cdefghijklmnop qr", kNarrow);
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,61,13 'ab '", "1,13,61,26 'cdefghijklmnop '", "1,26,61,39 'qr'"}));
    EXPECT_EQ(r.NeededWidth, 84);  // 14 letters; the box is clipped at 61
}

TEST(RenderHTMLBreaking, WordCutByTagsIsNeverSplit) {
    TFakeSurface s;
    auto r = Paint(s, "ab <B>cdef</B>ghijklmnop", kNarrow);
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,61,13 'ab '", "19,0,61,13 'cdef'", "47,0,61,13 'ghijklmnop'"}));
    EXPECT_EQ(r.NeededWidth, 18 + 28 + 60);
    EXPECT_EQ(r.NeededHeight, 13);
}

TEST(RenderHTMLBreaking, NbspJoinsTwoWordsAndShowsABlank) {
    TFakeSurface s;
    auto r = Paint(s, "abcd efgh&nbsp;ijkl", kNarrow);
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,61,13 'abcd '", "1,13,61,26 'efgh ijkl'"}));
    EXPECT_EQ(r.NeededWidth, 54);
}

TEST(RenderHTMLBreaking, LayoutStopsAtTheFirstLineBelowTheRectangle) {
    TFakeSurface s;
    auto r = Paint(s, "a<BR>b<BR>c<BR>d", {0, 0, 200, 30});
    // After two lines the top is 26 and 26 + 13 > 30.
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 'a'", "1,13,200,26 'b'"}));
    EXPECT_EQ(r.NeededHeight, 26);
}

TEST(RenderHTMLBreaking, MalformedTagsAreAbsorbed) {
    TFakeSurface s;
    EXPECT_EQ(Paint(s, "ab<").NeededWidth, 12);
    EXPECT_EQ(Paint(s, "ab<x").NeededWidth, 12);
    EXPECT_EQ(Paint(s, "ab<BLAH>cd<B never closed").NeededWidth, 24);
    EXPECT_EQ(Paint(s, "<QQQ>ab</QQQ></>cd").NeededWidth, 24);
    s.Calls.clear();
    Paint(s, "x <#tag> y");
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 'x '", "13,0,200,13 '#tag '", "43,0,200,13 'y'"}));
}

TEST(RenderHTMLBreaking, CarriageReturnBreaksAndLineFeedVanishes) {
    TFakeSurface s;
    auto r = Paint(s, "ab\r\ncd\nef");
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 'ab'", "1,13,200,26 'cdef'"}));
    EXPECT_EQ(r.NeededHeight, 26);
}

TEST(RenderHTMLAlignment, RightAlignedLineEndsFlushWithTheRightEdge) {
    TFakeSurface s;
    Paint(s, "<P align=\"right\">ab ");
    EXPECT_EQ(TextBoxes(s), (Lines{"188,0,200,13 'ab '"}));
}

TEST(RenderHTMLAlignment, AlignRightMidLineMovesTheWholeLineAndStays) {
    TFakeSurface s;
    Paint(s, "ab <P align=\"right\">cd</P>ef<P align=\"center\">gh</P><P>ij");
    EXPECT_EQ(TextBoxes(s), (Lines{"170,0,200,13 'ab '", "188,0,200,13 'cd'",
                                   // "efgh" is one line, centred by the P inside it:
                                   // 1 + (200 - 1 - 24) div 2; and so is the next line.
                                   "88,13,200,26 'ef'", "100,13,200,26 'gh'", "94,26,200,39 'ij'"}));
}

TEST(RenderHTMLAlignment, IndentMovesTheLineButNotItsBreaking) {
    TFakeSurface s;
    Paint(s, "<P indent=\"20\">aaaa bbbb cccc", kNarrow);
    EXPECT_EQ(TextBoxes(s), (Lines{"21,0,61,13 'aaaa '", "51,0,61,13 'bbbb '", "21,13,61,26 'cccc'"}));
}

TEST(RenderHTMLImages, ImageThatDoesNotFitStartsTheNextLine) {
    TFakeSurface s;
    TFakeImages images(&s, 12);
    auto r = Paint(s, "abcdefg <IMG src=\"idx:1\">z", kNarrow, &images);
    EXPECT_EQ(s.Only("image "), (Lines{"image 1 at 1,13"}));
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,61,13 'abcdefg '", "17,13,61,29 'z'"}));
    EXPECT_EQ(r.NeededHeight, 13 + 16);
}

TEST(RenderHTMLImages, ImageWiderThanTheLineStaysAndOverflows) {
    TFakeSurface s;
    TFakeImages images(&s, 1, 100, 20);
    auto r = Paint(s, "ab <IMG src=\"IDX:0\">", kNarrow, &images);
    EXPECT_EQ(s.Only("image "), (Lines{"image 0 at 19,0"}));
    EXPECT_EQ(r.NeededWidth, 118);
    EXPECT_EQ(r.NeededHeight, 20);
}

TEST(RenderHTMLImages, MissingListOrIndexTakesNoSpace) {
    TFakeSurface s;
    TFakeImages images(&s, 3);
    EXPECT_EQ(Paint(s, "<IMG src=\"idx:3\">ab", kWide, &images).NeededWidth, 12);
    EXPECT_EQ(Paint(s, "<IMG src=\"idx:0\">ab", kWide, nullptr).NeededWidth, 12);
    EXPECT_EQ(Paint(s, "<IMG src=\"idx:-1\">ab", kWide, &images).NeededWidth, 12);
    EXPECT_TRUE(s.Only("image ").empty());
}

TEST(RenderHTMLImages, ImagesScaleWithPixelsPerInch) {
    TFakeSurface s;
    s.PpiX = s.PpiY = 120;
    TFakeImages images(&s, 1);
    auto r = Paint(s, "<IMG src=\"idx:0\">", kWide, &images);
    EXPECT_EQ(r.NeededWidth, 20);
    EXPECT_EQ(r.NeededHeight, 20);
}

TEST(RenderHTMLImages, AlignTopLiftsTheTextOfTheLine) {
    TFakeSurface s;
    TFakeImages images(&s, 1, 16, 30);
    Paint(s, "<IMG src=\"idx:0\" align=\"top\">ab<BR>cd<IMG src=\"idx:0\" align=\"middle\">ef", kWide,
          &images);
    // Line 1 is 30 high; "top" lifts text by 30 - 13, "middle" by half of that.
    EXPECT_EQ(TextBoxes(s), (Lines{"17,0,200,13 'ab'", "1,30,200,52 'cd'", "29,30,200,52 'ef'"}));
}

TEST(RenderHTMLImages, AlignTopNeverPushesTheTextBelowTheLine) {
    TFakeSurface s;
    TFakeImages images(&s, 1);
    const std::string text = "<FONT size=\"20\"><IMG src=\"idx:0\" align=\"top\"></FONT><A href=\"x\">x</A>";
    auto r = Paint(s, text, kWide, &images);
    // The line is 16 high (the image); a 20-point "gh" is 25.
    EXPECT_EQ(TextBoxes(s), (Lines{"17,0,200,16 'x'"}));
    EXPECT_EQ(r.NeededHeight, 16);
    TFakeSurface h;
    EXPECT_TRUE(HitAt(h, text, 18, 10, kWide, &images).Hit);
    EXPECT_FALSE(HitAt(h, text, 18, 20, kWide, &images).Hit);  // below the line
}

TEST(RenderHTMLImages, ShellIconsComeFromTheSystemLists) {
    TFakeSurface s;
    auto r = Paint(s, "<IMG src=\"ssys:5\"><IMG src=\"LSYS:C:\\\"><IMG src=\"ssys:\">");
    EXPECT_EQ(s.Only("icon "),
              (Lines{"icon small 5 at 1,0", "icon large 3 at 17,0", "icon small 0 at 49,0"}));
    EXPECT_EQ(r.NeededWidth, 64);
    EXPECT_EQ(r.NeededHeight, 32);
}

TEST(RenderHTMLLists, ListItemsGetBulletsAtTheLeftAndTextTwelvePixelsIn) {
    TFakeSurface s;
    auto r = Paint(s, "<UL><LI>one<LI>two</UL>");
    EXPECT_EQ(s.Only("char "), (Lines{"char 1,13 face=Symbol B7", "char 1,26 face=Symbol B7"}));
    EXPECT_EQ(TextBoxes(s), (Lines{"13,13,200,26 'one'", "13,26,200,39 'two'"}));
    EXPECT_EQ(r.NeededHeight, 39);
    EXPECT_EQ(r.NeededWidth, 30);
    // The face is back after the bullet.
    EXPECT_NE(s.Only("text ")[0].find("face=MS Sans Serif"), std::string::npos);
}

TEST(RenderHTMLLists, SecondLevelUsesTheLetterO) {
    TFakeSurface s;
    Paint(s, "<UL><UL><LI>x</UL></UL>");
    EXPECT_EQ(s.Only("char "), (Lines{"char 13,26 face=Symbol 6F"}));
    EXPECT_EQ(TextBoxes(s), (Lines{"25,26,200,39 'x'"}));
}

TEST(RenderHTMLEntities, AmpInAnyCaseShowsOneAmpersand) {
    TFakeSurface s;
    auto r = Paint(s, "a&amp;b &AMP;c &Amp;");
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 'a&&b '", "25,0,200,13 '&&c '", "43,0,200,13 '&&'"}));
    EXPECT_EQ(r.NeededWidth, 48);
}

TEST(RenderHTMLEntities, NamedCharactersAndEscapedBrackets) {
    TFakeSurface s;
    Paint(s, "&quot;&copy;&reg;&trade;&euro;&sect;&para;&permil; &lt;b&gt;x");
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 '\"\xA9\xAE\x99\x80\xA7\xB6\x89 '", "55,0,200,13 '<b>x'"}));
}

TEST(RenderHTMLEntities, RunEntitiesInAnyCaseAndUnfinishedOnesStay) {
    TFakeSurface s;
    auto r = Paint(s, "a&NbSp;b&LT;&gT;c&nbsp");
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 'a b<>c&nbsp'"}));
    EXPECT_EQ(r.NeededWidth, 6 * 10);  // the lone "&" shows nothing
}

TEST(RenderHTMLEntities, AmpReplacementRepeatsUntilNothingChanges) {
    TFakeSurface s;
    Paint(s, "&amp;quot;");
    // "&amp;" gives "&&quot;", whose "&quot;" gives a quote on the next pass.
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,13 '&\"'"}));
}

TEST(RenderHTMLColors, HexAndNamesGiveTheSameValues) {
    EXPECT_EQ(HTMLColor("#FF0000"), 0x0000FFu);
    EXPECT_EQ(HTMLColor("#ff0000"), 0x0000FFu);
    EXPECT_EQ(HTMLColor("clred"), 0x0000FFu);
    EXPECT_EQ(HTMLColor("CLRED"), 0x0000FFu);
    EXPECT_EQ(HTMLColor("red"), 0x000000u);
    EXPECT_EQ(HTMLColor("#123456"), 0x563412u);
    EXPECT_EQ(HTMLColor("#12"), 0x000000u);
    EXPECT_EQ(HTMLColor("#GG0000"), 0x000000u);
    EXPECT_EQ(HTMLColor("cl3ddkshadow"), 0xFF000015u);
    EXPECT_EQ(HTMLColor("clInfoBk"), 0xFF000018u);
    EXPECT_EQ(HTMLColor("clTeal"), 0x808000u);
}

TEST(RenderHTMLFonts, FontSizeColorFaceAndClosing) {
    TFakeSurface s;
    auto r = Paint(s, "<FONT size=\"3\" color=\"clred\" face=\"Arial\">a</FONT>b<FONT size=\"20\">c");
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_NE(t[0].find("1,0,200,25 color=0000FF"), std::string::npos) << t[0];
    EXPECT_NE(t[0].find("size=12 face=ARIAL"), std::string::npos) << t[0];
    EXPECT_NE(t[1].find("10,0,200,25 color=FF000008"), std::string::npos) << t[1];
    EXPECT_NE(t[1].find("size=8 face=MS Sans Serif"), std::string::npos) << t[1];
    EXPECT_NE(t[2].find("size=20"), std::string::npos) << t[2];
    EXPECT_EQ(r.NeededHeight, 25);  // the 20-point run sets the line height
}

TEST(RenderHTMLFonts, EmptyOrZeroValuesChangeNothing) {
    TFakeSurface s;
    Paint(s, "<FONT color=\"\" size=\"0\" face=\"\">a");
    EXPECT_NE(s.Only("text ")[0].find("color=FF000008 bg=1FFFFFFF style=0 size=8 face=MS Sans Serif"),
              std::string::npos);
}

TEST(RenderHTMLFonts, StylesToggleAndTheBaseFontComesBack) {
    TFakeSurface s;
    THTMLFont base;
    base.Color = 0x123456;
    s.SetFont(base);
    s.SetTextBackground(0x00ABCDEF);
    Paint(s, "<B><I><U><S>a</S></U></I></B>b<FONT bgcolor=\"clwhite\">c</FONT>d");
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 4u);
    EXPECT_NE(t[0].find("style=15"), std::string::npos);
    EXPECT_NE(t[1].find("style=0"), std::string::npos);
    EXPECT_NE(t[2].find("bg=00FFFFFF"), std::string::npos);
    EXPECT_NE(t[3].find("bg=1FFFFFFF"), std::string::npos);
    EXPECT_EQ(s.Font(), base);
    EXPECT_EQ(s.TextBackground(), 0x00ABCDEFu);
}

TEST(RenderHTMLFonts, SubAndSuperscriptGrowTheLine) {
    TFakeSurface s;
    auto r = Paint(s, "a<SUP>2</SUP>b<SUB>x</SUB>");
    // 13 div 4 = 3 on each side: the line is 19 high, the text bottom 16.
    EXPECT_EQ(TextBoxes(s),
              (Lines{"1,0,200,16 'a'", "7,0,200,13 '2'", "13,0,200,16 'b'", "19,0,200,19 'x'"}));
    EXPECT_EQ(r.NeededHeight, 19);
}

TEST(RenderHTMLPainting, ShadowHiddenAndErrorMarking) {
    TFakeSurface s;
    auto r = Paint(s, "<SHAD>a</SHAD><Z>hidden words</Z><E>bc</E>");
    EXPECT_EQ(TextBoxes(s), (Lines{"2,1,201,14 'a'", "1,0,200,13 'a'", "7,0,200,13 'bc'"}));
    EXPECT_NE(s.Only("text ")[0].find("color=808080"), std::string::npos);
    EXPECT_EQ(r.NeededWidth, 18);
    // x0 = 6 (not a multiple of 4) starts high; points every 2 pixels left of 19.
    EXPECT_EQ(s.Only("move "), (Lines{"move 6,12"}));
    EXPECT_EQ(s.Only("line "), (Lines{"line 8,14 000000FF", "line 10,12 000000FF", "line 12,14 000000FF",
                                      "line 14,12 000000FF", "line 16,14 000000FF", "line 18,12 000000FF"}));
}

TEST(RenderHTMLPainting, RuleBackgroundsAndHighlight) {
    TFakeSurface s;
    Paint(s, "ab<HR><HI>c</HI><P bgcolor=\"#0000FF\">d</P>");
    EXPECT_EQ(s.Only("move "), (Lines{"move 1,14"}));
    EXPECT_EQ(s.Only("line "), (Lines{"line 200,14 00000000"}));
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_NE(t[1].find("color=FF00000E bg=FF00000D"), std::string::npos) << t[1];
    EXPECT_NE(t[2].find("bg=00FF0000"), std::string::npos) << t[2];
    EXPECT_EQ(s.Only("fill "), (Lines{"fill 0,13,200,26 00FF0000"}));
}

TEST(RenderHTMLPainting, BodyGradientHasSixtyFourBands) {
    TFakeSurface s;
    Paint(s, "<BODY bgcolor=\"#000000\" bgcolorto=\"#FFFFFF\">x", {0, 0, 128, 50});
    auto f = s.Only("fill ");
    ASSERT_EQ(f.size(), 64u);
    EXPECT_EQ(f[0], "fill 0,0,3,50 00000000");
    EXPECT_EQ(f[1], "fill 2,0,5,50 00040404");
    EXPECT_EQ(f[63], "fill 126,0,128,50 00FBFBFB");  // one step short of white
}

TEST(RenderHTMLHitTest, LastPixelColumnOfALinkHits) {
    TFakeSurface s;
    const std::string text = "ab <A href=\"http://x/\">link</A> cd";
    // "link" covers x 19..42.
    auto r = HitAt(s, text, 42, 6);
    EXPECT_TRUE(r.Hit);
    EXPECT_EQ(r.HitAnchor, "http://x/");
    EXPECT_EQ(r.HitAnchorNumber, 1);
    EXPECT_EQ(r.HitAnchorRect, (TRect{19, 0, 43, 13}));
    EXPECT_TRUE(HitAt(s, text, 19, 6).Hit);
    EXPECT_FALSE(HitAt(s, text, 45, 6).Hit);
    EXPECT_FALSE(HitAt(s, text, 30, 13).Hit);  // below the line's band
    EXPECT_FALSE(HitAt(s, text, 30, 0).Hit);   // on the line top
    EXPECT_TRUE(s.Calls.empty());              // a hit test draws nothing
}

TEST(RenderHTMLHitTest, EdgeOfALinkedImageDoesNotHit) {
    TFakeSurface s;
    TFakeImages images(&s, 1);
    const std::string text = "<A href=\"pic\"><IMG src=\"idx:0\"></A>";
    auto inside = HitAt(s, text, 2, 1, kWide, &images);
    EXPECT_TRUE(inside.Hit);
    EXPECT_EQ(inside.HitAnchor, "pic");
    EXPECT_EQ(inside.HitAnchorNumber, -1);
    EXPECT_FALSE(HitAt(s, text, 1, 8, kWide, &images).Hit);
    EXPECT_FALSE(HitAt(s, text, 17, 8, kWide, &images).Hit);
    EXPECT_FALSE(HitAt(s, text, 8, 0, kWide, &images).Hit);
    EXPECT_FALSE(HitAt(s, text, 8, 16, kWide, &images).Hit);
}

TEST(RenderHTMLHitTest, LinkOnASecondLineAndAnchorWithoutAddress) {
    TFakeSurface s;
    const std::string text = "<A href=\"one\">one</A><BR>x <A>two</A>";
    auto r = HitAt(s, text, 20, 20);
    EXPECT_TRUE(r.Hit);
    EXPECT_EQ(r.HitAnchor, "");
    EXPECT_EQ(r.HitAnchorNumber, 2);
    EXPECT_EQ(r.HitAnchorRect, (TRect{13, 13, 31, 26}));
    EXPECT_EQ(r.AnchorCount, 2);
    auto first = HitAt(s, text, 5, 5);
    EXPECT_EQ(first.HitAnchor, "one");
    EXPECT_FALSE(HitAt(s, text, 5, 20).Hit);  // "x " is not a link
}

TEST(RenderHTMLHover, WithoutHoverEveryLinkIsUnderlined) {
    TFakeSurface s;
    const std::string text = "<A href=\"1\">one</A> <A href=\"2\">two</A>";
    Paint(s, text);
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_NE(t[0].find("color=FF0000 bg=1FFFFFFF style=4"), std::string::npos) << t[0];
    EXPECT_NE(t[1].find("style=0"), std::string::npos) << t[1];
    EXPECT_NE(t[2].find("color=FF0000 bg=1FFFFFFF style=4"), std::string::npos) << t[2];
}

TEST(RenderHTMLHover, WithHoverOnlyTheHoveredLinkIsUnderlined) {
    TFakeSurface s;
    const std::string text = "<A href=\"1\">one</A> <A href=\"2\">two</A>";
    Paint(s, text, kWide, nullptr, true, 2);
    auto t = s.Only("text ");
    EXPECT_NE(t[0].find("color=FF0000 bg=1FFFFFFF style=0"), std::string::npos) << t[0];
    EXPECT_NE(t[2].find("color=FF0000 bg=1FFFFFFF style=4"), std::string::npos) << t[2];
    s.Calls.clear();
    Paint(s, text, kWide, nullptr, true, -1);
    for (const auto& c : s.Only("text "))
        EXPECT_NE(c.find("style=0"), std::string::npos) << c;
}

TEST(RenderHTMLRobustness, HugeNumbersDoNotOverflow) {
    TFakeSurface s;
    TFakeImages images(&s, 1, 30000, 30000);
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "<IMG src=\"idx:0\"><IND x=\"2147483647\"><FONT size=\"99999999999\">w";
    text += "<UL><UL><UL><LI>x";
    auto r = Paint(s, text, {0, 0, 100, 2000000000}, &images);
    EXPECT_GT(r.NeededWidth, 0);
    EXPECT_GT(r.NeededHeight, 0);
}

TEST(RenderHTMLTags, IndentTagMovesToAColumnOfTheLineOnlyForward) {
    TFakeSurface s;
    auto r = Paint(s, "ab<IND x=\"50\">cd<IND x=\"10\">ef<IND x=\"abc\">gh");
    EXPECT_EQ(TextBoxes(s),
              (Lines{"1,0,200,13 'ab'", "51,0,200,13 'cd'", "63,0,200,13 'ef'", "75,0,200,13 'gh'"}));
    EXPECT_EQ(r.NeededWidth, 50 + 36);
}

// A link after IND on an indented line is found where it is painted.
TEST(RenderHTMLTags, LinkAfterIndentTagIsHitWhereItIsDrawn) {
    const std::string text = "<P indent=\"20\">ab<IND x=\"50\"><A href=\"x\">cd</A>";
    TFakeSurface s;
    Paint(s, text);
    EXPECT_EQ(TextBoxes(s), (Lines{"21,0,200,13 'ab'", "71,0,200,13 'cd'"}));
    TFakeSurface h;
    auto r = HitAt(h, text, 72, 6);
    EXPECT_TRUE(r.Hit);
    EXPECT_EQ(r.HitAnchorRect, (TRect{71, 0, 83, 13}));
    EXPECT_TRUE(HitAt(h, text, 82, 6).Hit);
    EXPECT_FALSE(HitAt(h, text, 60, 6).Hit);
}

TEST(RenderHTMLTags, TurnedTextAndItsClosing) {
    TFakeSurface s;
    Paint(s, "<R a=\"90\">up</R>flat");
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NE(t[0].find("turn=900"), std::string::npos) << t[0];
    EXPECT_NE(t[1].find("turn=0"), std::string::npos) << t[1];
}

TEST(RenderHTMLTags, BodyColourFillsTheRectangleAndBecomesTheTextBackground) {
    TFakeSurface s;
    Paint(s, "<BODY bgcolor=\"clyellow\">x", {10, 5, 200, 100});
    EXPECT_EQ(s.Only("fill "), (Lines{"fill 8,5,200,100 0000FFFF"}));
    EXPECT_NE(s.Only("text ")[0].find("bg=0000FFFF"), std::string::npos);
    TFakeSurface none;
    Paint(none, "<BODY bgcolor=\"\">x");
    EXPECT_TRUE(none.Only("fill ").empty());
}

TEST(RenderHTMLTags, ParagraphGradientBandAndTransparentText) {
    TFakeSurface s;
    Paint(s, "<P bgcolor=\"#000000\" bgcolorto=\"#FFFFFF\">x");
    auto f = s.Only("fill ");
    ASSERT_EQ(f.size(), 64u);
    EXPECT_EQ(f[0], "fill 0,0,4,15 00000000");  // 200 / 64 = 3.125 wide, to text bottom + 2
    EXPECT_NE(s.Only("text ")[0].find("bg=1FFFFFFF"), std::string::npos);
}

TEST(RenderHTMLTags, ClosingTagsThatOnlyResetColoursOrUnderline) {
    TFakeSurface s;
    Paint(s, "<FONT color=\"clred\">a</BLINK>b<U>c</UL>d<FONT color=\"clred\"></HI>e");
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 5u);
    EXPECT_NE(t[1].find("color=FF000008"), std::string::npos) << t[1];  // </BLINK>: base colour
    EXPECT_NE(t[2].find("style=4"), std::string::npos) << t[2];
    EXPECT_NE(t[3].find("style=0"), std::string::npos) << t[3];       // </UL> at level 0
    EXPECT_NE(t[4].find("color=0000FF"), std::string::npos) << t[4];  // </HI> without HI
}

TEST(RenderHTMLTags, HiddenTextIsNotDrawnButItsHeightCounts) {
    TFakeSurface s;
    auto r = Paint(s, "<FONT size=\"20\"><Z>big words</Z></FONT>x");
    EXPECT_EQ(TextBoxes(s), (Lines{"1,0,200,25 'x'"}));
    EXPECT_EQ(r.NeededWidth, 6);
    EXPECT_EQ(r.NeededHeight, 25);
}

TEST(RenderHTMLTags, BlankBeforeAnImageIsNotTrailing) {
    TFakeSurface s;
    TFakeImages images(&s, 1);
    EXPECT_EQ(Paint(s, "ab <IMG src=\"idx:0\">", kWide, &images).NeededWidth, 18 + 16);
    EXPECT_EQ(Paint(s, "ab ", kWide, &images).NeededWidth, 12);
}

namespace {

// Pictures by name or address that log how they are drawn.
class TFakePicture : public TRenderPicture {
public:
    TFakePicture(TFakeSurface* Log, std::string AName, int W, int H)
        : FLog(Log), FName(std::move(AName)), FW(W), FH(H) {}
    bool Empty() const override { return FW == 0; }
    int Width() const override { return FW; }
    int Height() const override { return FH; }
    void Draw(THTMLSurface&, int X, int Y) override {
        FLog->Calls.push_back(Format("picture %s at %d,%d", FName.c_str(), X, Y));
    }
    void StretchDraw(THTMLSurface&, const TRect& R) override {
        FLog->Calls.push_back(
            Format("picture %s in %d,%d,%d,%d", FName.c_str(), R.Left, R.Top, R.Right, R.Bottom));
    }
    void Tile(THTMLSurface&, const TRect& R) override {
        FLog->Calls.push_back(
            Format("picture %s tiled %d,%d,%d,%d", FName.c_str(), R.Left, R.Top, R.Right, R.Bottom));
    }

private:
    TFakeSurface* FLog;
    std::string FName;
    int FW, FH;
};

class TFakePictures : public THTMLPictureSource {
public:
    explicit TFakePictures(TFakeSurface* Log)
        : Logo(Log, "logo", 40, 20), Blank(Log, "blank", 0, 0), Web(Log, "web", 10, 30) {}
    TRenderPicture* Picture(const std::string& Name) override {
        Asked.push_back(Name);
        if (Name == "logo") return &Logo;
        if (Name == "blank") return &Blank;
        if (Name == "http://pics.example/a.gif") return &Web;
        return nullptr;
    }
    TFakePicture Logo, Blank, Web;
    std::vector<std::string> Asked;
};

}  // namespace

TEST(RenderHTMLImages, ContainerAndCachePicturesAtOwnSizeStretchedAndTiled) {
    TFakeSurface s;
    TFakePictures container(&s), cache(&s);
    auto r =
        RenderHTML(s,
                   "<BODY background=\"logo\"><IMG src=\"logo\"><IMG src=\"logo\" width=\"8\" height=\"9\">"
                   "<IMG src=\"blank\"><IMG src=\"missing\"><IMG src=\"http://pics.example/a.gif\">",
                   kWide, nullptr, &container, &cache, false, -1, false, {});
    EXPECT_EQ(s.Only("picture "), (Lines{"picture logo tiled 0,0,200,500", "picture logo at 1,0",
                                         "picture logo in 41,0,49,9", "picture web at 49,0"}));
    EXPECT_EQ(r.NeededWidth, 40 + 8 + 10);
    EXPECT_EQ(r.NeededHeight, 30);
    // Names without ":" go to the container only, addresses with "://" to the cache only
    // (once per run over the line).
    EXPECT_EQ(cache.Asked, (Lines{"http://pics.example/a.gif", "http://pics.example/a.gif"}));
    for (const auto& n : container.Asked)
        EXPECT_EQ(n.find(':'), std::string::npos) << n;
}

// Feed links arrive escaped once ("&amp;" between query parameters); the link handler must
// get the address a browser would open, decoded exactly once.
TEST(RenderHTMLEntities, AnchorAddressesAreDecodedOnce) {
    const struct {
        const char* Written;
        const char* Address;
    } kCases[] = {
        {"http://x/?a=1&amp;b=2", "http://x/?a=1&b=2"},
        {"&AMP;&Lt;&gt;&quot;&#65;&#x42;", "&<>\"AB"},
        {"&amp;amp;&amp;lt;", "&amp;&lt;"},
        {"&copy;&bogus;&#;&#0;&#300;&#x;&amp a&b", "&copy;&bogus;&#;&#0;&#300;&#x;&amp a&b"},
    };
    for (const auto& c : kCases) {
        TFakeSurface s;
        const std::string text = std::string("<A href=\"") + c.Written + "\">link</A> &amp;";
        auto r = HitAt(s, text, 5, 6);
        EXPECT_TRUE(r.Hit) << c.Written;
        EXPECT_EQ(r.HitAnchor, c.Address);
        // The text after the link is still shown with its "&" escaped for drawing.
        Paint(s, text);
        EXPECT_EQ(TextBoxes(s).back(), "31,0,200,13 '&&'") << c.Written;
    }
    // A picture's address likewise.
    TFakeSurface s;
    TFakePictures cache(&s);
    RenderHTML(s, "<IMG src=\"http://pics.example/a.gif?&amp;\">", kWide, nullptr, nullptr, &cache, false, -1,
               false, {});
    EXPECT_EQ(cache.Asked.front(), "http://pics.example/a.gif?&");
}
