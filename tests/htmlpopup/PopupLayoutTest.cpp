// The popup's paint, auto-size and hit test over the fixed-metric surface, with the
// program's settings and a realistic news text.
#include <gtest/gtest.h>

#include "htmlpopup/HTMLPopup.h"
#include "tests/htmlpopup/FakeSurface.h"
#include "tests/htmlpopup/NewsText.h"

namespace {

THTMLPopupLook ProgramLook() {
    THTMLPopupLook look;
    look.BorderSize = 3;
    look.MarginX = 6;
    look.MarginY = 4;
    look.ShadeEnable = true;
    look.ShadeStartColor = clWhite;
    look.ShadeEndColor = 16776176;
    look.ShadeSteps = 40;
    look.Color = 16776176;
    return look;
}

// "text L,T,R,B ..." reduced to "L,T,R,B".
std::string Box(const std::string& call) { return call.substr(5, call.find(' ', 5) - 5); }

}  // namespace

TEST(PopupLook, AutoSizeIsNeededSizePlusFrameAndMargins) {
    TFakeSurface s;
    THTMLPopupContent content;
    content.Text = "<B>Close</B><BR>abc";
    int w = 0, h = 0;
    PopupAutoSize(s, 200, 200, ProgramLook(), content, false, -1, w, h);
    EXPECT_EQ(w, 35 + 22);
    EXPECT_EQ(h, 26 + 22);
    // Lines start 10 pixels from the left edge and 7 from the top.
    s.Calls.clear();
    PaintPopup(s, w, h, ProgramLook(), content, false, -1);
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(Box(t[0]), "10,7,48,20");
}

// An item title ends with a blank ("Editor 2.1 "). When such a line is the widest, the
// auto-sized window must still hold it on one line; a wrapped word would add a line that
// the window's height does not have and push the last line out of sight.
TEST(PopupLook, AutoSizedWindowKeepsAWidestLineEndingInABlankWhole) {
    TFakeSurface s;
    THTMLPopupContent content;
    content.Text = "abc def <BR>x";
    int w = 0, h = 0;
    PopupAutoSize(s, 200, 200, ProgramLook(), content, false, -1, w, h);
    EXPECT_EQ(w, 42 + 22);
    EXPECT_EQ(h, 26 + 22);
    s.Calls.clear();
    PaintPopup(s, w, h, ProgramLook(), content, false, -1);
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(Box(t[1]), "34,7,55,20");
    EXPECT_NE(t[1].find("'def '"), std::string::npos) << t[1];
    EXPECT_EQ(Box(t[2]), "10,20,55,33");
    EXPECT_NE(t[2].find("'x'"), std::string::npos) << t[2];
}

TEST(PopupLook, AutoSizedWindowMakesRoomForAParagraphIndent) {
    TFakeSurface s;
    THTMLPopupContent content;
    content.Text = "ab<BR><P indent=\"20\">abc def";
    int w = 0, h = 0;
    PopupAutoSize(s, 200, 200, ProgramLook(), content, false, -1, w, h);
    EXPECT_EQ(w, 20 + 42 + 22);
    s.Calls.clear();
    PaintPopup(s, w, h, ProgramLook(), content, false, -1);
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 3u);
    // The last word ends inside the layout rectangle (9 .. w - 9).
    EXPECT_EQ(Box(t[2]), "54,20,75,33");
    EXPECT_LE(54 + 18, w - 9);
}

TEST(PopupLook, AutoSizedWindowShowsASmallLastLineAfterALargeFont) {
    TFakeSurface s;
    THTMLPopupContent content;
    content.Text = "<FONT size=\"30\">x<BR>Big</FONT><BR>small";
    int w = 0, h = 0;
    PopupAutoSize(s, 200, 200, ProgramLook(), content, false, -1, w, h);
    EXPECT_EQ(h, 35 + 35 + 13 + 22);
    s.Calls.clear();
    PaintPopup(s, w, h, ProgramLook(), content, false, -1);
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(Box(t[2]), "10,77,79,90");
    EXPECT_NE(t[2].find("'small'"), std::string::npos);
}

TEST(PopupLook, ShadingBandsFrameAndPlainBackground) {
    TFakeSurface s;
    THTMLPopupLook look = ProgramLook();
    look.ShadeStartColor = 0x000000;
    look.ShadeEndColor = 0x0000C8;  // red 200
    look.ShadeSteps = 4;
    PaintPopup(s, 100, 50, look, {}, false, -1);
    auto f = s.Only("fill ");
    ASSERT_GE(f.size(), 8u);
    // s = 25: bands cover round(i*25) .. +25+1, red rising 50 per band, never reaching 200.
    EXPECT_EQ(f[0], "fill 0,0,26,50 00000000");
    EXPECT_EQ(f[1], "fill 25,0,51,50 00000032");
    EXPECT_EQ(f[3], "fill 75,0,101,50 00000096");
    // Frame: four button-face bands of 3 pixels, then the light and dark lines.
    EXPECT_EQ(f[4], "fill 0,0,100,3 FF00000F");
    EXPECT_EQ(f[7], "fill 0,0,3,50 FF00000F");
    EXPECT_EQ(s.Only("move "), (std::vector<std::string>{"move 0,50", "move 3,47"}));
    EXPECT_EQ(s.Only("line ").front(), "line 0,0 00FFFFFF");
    EXPECT_EQ(s.Only("line ")[2], "line 99,49 00808080");

    TFakeSurface plain;
    look.ShadeEnable = false;
    look.BorderSize = 0;
    PaintPopup(plain, 100, 50, look, {}, false, -1);
    EXPECT_EQ(plain.Only("fill "), (std::vector<std::string>{"fill 0,0,100,50 00FFFBF0"}));
    EXPECT_EQ(plain.Only("move "), (std::vector<std::string>{"move 0,48", "move 0,49"}));
    EXPECT_EQ(plain.Only("line ").back(), "line 99,-1 FF000015");
}

TEST(PopupLook, ZeroShadeStepsCountAsOne) {
    TFakeSurface s;
    THTMLPopupLook look = ProgramLook();
    look.ShadeSteps = 0;
    look.ShadeDirection = sdVertical;
    PaintPopup(s, 40, 30, look, {}, false, -1);
    EXPECT_EQ(s.Only("fill ").front(), "fill 0,0,40,31 00FFFFFF");
}

// The program's news popup: header, bold channel title with a rule, 20 items with images,
// footer. Hand-computed: "Close" 5 bold letters = 35; the widest line is the first item's
// description, 8 blanks + 41 characters = 294; lines are 13 high, item title lines 16 (the
// image) with their text lifted by 16 - 13 = 3.
TEST(PopupNewsLayout, TwentyItemsGiveTheHandComputedLineBoxes) {
    TFakeSurface s;
    TFakeImages images(&s, 12);
    THTMLPopupContent content;
    content.Text = Joined(NewsPopupLines(20));
    content.Images = &images;
    int w = 0, h = 0;
    s.Log = false;
    PopupAutoSize(s, 200, 200, ProgramLook(), content, false, -1, w, h);
    EXPECT_EQ(w, 294 + 22);
    // Close 13 + title 13 + empty line after the rule 13 + 20 * (16 + 13) + closing P 13 + footer 13.
    EXPECT_EQ(h, 645 + 22);

    s.Log = true;
    PaintPopup(s, w, h, ProgramLook(), content, false, -1);
    auto t = s.Only("text ");
    // Layout rectangle (9, 7, 307, 659); lines start at x 10.
    EXPECT_EQ(Box(t[0]), "272,7,307,20");  // "Close", right-aligned
    EXPECT_NE(t[0].find("'Close'"), std::string::npos);
    EXPECT_EQ(Box(t[1]), "10,20,307,33");             // "Quenlow: "
    EXPECT_EQ(s.Only("move ").back(), "move 10,34");  // the rule under the title
    auto img = s.Only("image ");
    ASSERT_EQ(img.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        const int top = 46 + 29 * i;
        EXPECT_EQ(img[i], Format("image %d at 10,%d", i % 4 == 1 ? 10 : 9, top));
    }
    // First item: nbsp at 26, title at 32, lifted 3 above the 16-pixel line's bottom.
    EXPECT_EQ(Box(t[4]), "26,46,307,59");
    EXPECT_EQ(Box(t[5]), "32,46,307,59");
    EXPECT_NE(t[5].find("'Editor '"), std::string::npos);
    EXPECT_NE(t[5].find("color=FF0000 bg=1FFFFFFF style=4"), std::string::npos);
    EXPECT_EQ(Box(t[7]), "10,62,307,75");  // description line
    // Footer: 41 characters right-aligned at 307 - 246, after the empty closing-P line.
    auto home =
        std::find_if(t.begin(), t.end(), [](const std::string& c) { return c.find("'Home'") != c.npos; });
    ASSERT_NE(home, t.end());
    EXPECT_EQ(Box(*home), "61,639,307,652");
    EXPECT_NE(t.back().find("'Top20'"), std::string::npos);
    EXPECT_EQ(Box(t.back()), "277,639,307,652");
}

TEST(PopupNewsLayout, HitTestFindsItemLinksAndTheCloseCommand) {
    TFakeSurface s;
    TFakeImages images(&s, 12);
    THTMLPopupContent content;
    content.Text = Joined(NewsPopupLines(20));
    content.Images = &images;
    const int w = 316, h = 667;
    auto r = PopupHitTest(s, w, h, ProgramLook(), content, {40, 110});
    ASSERT_TRUE(r.Hit);
    EXPECT_EQ(r.HitAnchor, "http://www.quenlow.example/software/1002.html");
    EXPECT_EQ(r.HitAnchorNumber, 4);
    // "ZipNest 3.02 " is 13 characters from x 32; the line is 104..120.
    EXPECT_EQ(r.HitAnchorRect, (TRect{32, 104, 110, 120}));
    EXPECT_EQ(r.AnchorCount, 1 + 20 + 4);
    auto close = PopupHitTest(s, w, h, ProgramLook(), content, {300, 12});
    EXPECT_TRUE(close.Hit);
    EXPECT_EQ(close.HitAnchor, "Close");
    EXPECT_EQ(close.HitAnchorNumber, 1);
    EXPECT_FALSE(PopupHitTest(s, w, h, ProgramLook(), content, {15, 110}).Hit);  // the item image
    EXPECT_FALSE(PopupHitTest(s, w, h, ProgramLook(), content, {40, 68}).Hit);   // a description
    EXPECT_TRUE(s.Calls.empty());
}

TEST(PopupNewsLayout, TwoTextLinesWithoutABlankShowAsOneWord) {
    TFakeSurface s;
    THTMLPopupContent content;
    content.Text = Joined({"abc", "def"});
    PaintPopup(s, 200, 100, ProgramLook(), content, false, -1);
    auto t = s.Only("text ");
    ASSERT_EQ(t.size(), 1u);
    EXPECT_NE(t[0].find("'abcdef'"), std::string::npos);
}

// A long feed must not make a window larger than the screen's work area: the text wraps
// at the widest width allowed, and the height stops at the tallest.
TEST(PopupLook, FitSizeWrapsAtTheWidthLimitAndCapsTheHeight) {
    THTMLPopupContent content;
    content.Text = "aaaa bbbb cccc dddd";
    const struct {
        int MaxWidth, MaxHeight;
        bool Fits;
        int Width, Height;
    } kCases[] = {
        {0, 0, true, 114 + 22, 13 + 22},     // no limits: one line
        {200, 35, true, 114 + 22, 13 + 22},  // within both
        {80, 0, true, 80, 26 + 22},          // wraps into two lines at 80
        {80, 48, true, 80, 48},
        {80, 47, false, 80, 47},
        {200, 30, false, 114 + 22, 30},
    };
    for (const auto& c : kCases) {
        TFakeSurface s;
        int w = 0, h = 0;
        EXPECT_EQ(PopupFitSize(s, 200, 200, ProgramLook(), content, false, -1, c.MaxWidth, c.MaxHeight, w, h),
                  c.Fits)
            << c.MaxWidth << "x" << c.MaxHeight;
        EXPECT_EQ(w, c.Width) << c.MaxWidth << "x" << c.MaxHeight;
        EXPECT_EQ(h, c.Height) << c.MaxWidth << "x" << c.MaxHeight;
    }
    // Painted at the wrapped size, the words stand on the two lines that were measured.
    TFakeSurface s;
    PaintPopup(s, 80, 48, ProgramLook(), content, false, -1);
    std::vector<std::string> boxes;
    for (const auto& t : s.Only("text "))
        boxes.push_back(Box(t));
    EXPECT_EQ(boxes, (std::vector<std::string>{"10,7,71,20", "40,7,71,20", "10,20,71,33", "40,20,71,33"}));
}
