// Forms and the popup at the DPI of their monitor. The same program runs in the usual
// prefix and in one set to 144 DPI (PELORIN_EXPECT_DPI says which): a form is laid out at
// the DPI it is created at, follows WM_DPICHANGED to another, and the popup grows with it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "htmlpopup/HTMLPopup_win.h"
#include "tests/support/WinTestApp_win.h"
#include "ui/ImgList_win.h"
#include "ui/StdCtrls_win.h"

using namespace wintest;

namespace {
// The DPI the prefix was set to, or 0 when the run does not say.
int ExpectedDpi() {
    const char* v = std::getenv("PELORIN_EXPECT_DPI");
    return v ? std::atoi(v) : 0;
}

// A control's rectangle inside its form's client area.
RECT PlaceIn(HWND Form, HWND Control) {
    RECT r;
    GetWindowRect(Control, &r);
    MapWindowPoints(nullptr, Form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTA ShownFont(HWND Wnd) {
    LOGFONTA lf{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Wnd, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
    return lf;
}
int FontHeight(HWND Wnd) { return ShownFont(Wnd).lfHeight; }

// A form laid out in 96-DPI numbers, as the options form is; Rects holds where each
// control's layout puts it in the form's client area (left, top, width, height).
struct TLayout {
    TForm* Form;
    std::vector<std::pair<TWinControl*, RECT>> Rects;
    TImage* Logo;
    TLabel* Bold;
};

TLayout MakeLayout(TComponent& Owner) {
    TLayout l{new TForm(&Owner), {}, nullptr, nullptr};
    l.Form->SetFont(GetFont("Tahoma", 8));
    l.Form->SetClientSizeCentered(407, 316);
    auto* pages = new TPageControl(&Owner, l.Form, 8, 8, 391, 265);
    new TTabSheet(&Owner, pages, "Settings");
    auto* group = new TGroupBox(&Owner, l.Form, 8, 278, 200, 34, "Group");
    // A picture drawn for its 96-DPI box, as the About tab's logo is.
    l.Logo = new TImage(&Owner, l.Form, 20, 40, 96, 72);
    TWindowDC screen(nullptr);
    l.Logo->SetBitmap(CreateCompatibleBitmap(screen.Get(), 96, 72));
    // A label of its own font, as the About tab's version is.
    l.Bold = new TLabel(&Owner, l.Form, 216, 250, "1.0.0.0");
    l.Bold->SetFont(GetFont("Tahoma", 8, true));
    l.Rects = {
        {pages, {8, 8, 391, 265}},
        {group, {8, 278, 200, 34}},
        // Inside the group box: offset by its place.
        {new TCheckBox(&Owner, group, 10, 12, 150, 17, "Load on Windows start up"), {18, 290, 150, 17}},
        {new TEdit(&Owner, l.Form, 216, 282, 81), {216, 282, 81, 21}},
        {new TButton(&Owner, l.Form, 305, 282, 95, 25, "OK"), {305, 282, 95, 25}},
    };
    return l;
}

void ExpectLaidOutAt(const TLayout& L, int Dpi) {
    for (const auto& c : L.Rects) {
        const int left = ScaleToDpi(c.second.left, Dpi), top = ScaleToDpi(c.second.top, Dpi);
        const RECT want = {left, top, left + ScaleToDpi(c.second.right, Dpi),
                           top + ScaleToDpi(c.second.bottom, Dpi)};
        const RECT got = PlaceIn(L.Form->Handle(), c.first->Handle());
        EXPECT_TRUE(EqualRect(&got, &want)) << c.first->Caption() << " at " << Dpi << ": " << got.left << ","
                                            << got.top << "," << got.right << "," << got.bottom;
        EXPECT_EQ(FontHeight(c.first->Handle()), FontHeightForDpi(8, Dpi)) << c.first->Caption();
    }
    const LOGFONTA bold = ShownFont(L.Bold->Handle());
    EXPECT_EQ(bold.lfWeight, FW_BOLD) << "at " << Dpi;
    EXPECT_EQ(bold.lfHeight, FontHeightForDpi(8, Dpi));
    BITMAP shown{};
    GetObjectA(reinterpret_cast<HBITMAP>(SendMessageA(L.Logo->Handle(), STM_GETIMAGE, IMAGE_BITMAP, 0)),
               sizeof(shown), &shown);
    EXPECT_EQ(shown.bmWidth, ScaleToDpi(96, Dpi));
    EXPECT_EQ(shown.bmHeight, ScaleToDpi(72, Dpi));
}

TEST(Dpi, AFormIsLaidOutAtItsMonitorsDpiAndFollowsItToAnother) {
    TComponent owner(nullptr);
    App();
    TLayout l = MakeLayout(owner);
    const int dpi = WindowDpi(l.Form->Handle());
    if (ExpectedDpi()) {
        ASSERT_EQ(dpi, ExpectedDpi()) << "the prefix's LogPixels did not take";
    }
    ASSERT_EQ(l.Form->Dpi(), dpi);
    ExpectLaidOutAt(l, dpi);
    RECT client;
    GetClientRect(l.Form->Handle(), &client);
    EXPECT_EQ(client.right, ScaleToDpi(407, dpi));
    EXPECT_EQ(client.bottom, ScaleToDpi(316, dpi));

    // Moved to a monitor of half as much again: the system asks for the frame the layout
    // wants there, then hands over the new DPI with that frame.
    const int more = dpi * 3 / 2;
    SIZE frame{};
    SendMessageA(l.Form->Handle(), 0x02E4 /* WM_GETDPISCALEDSIZE */, more, reinterpret_cast<LPARAM>(&frame));
    RECT suggested{30, 20, 30 + frame.cx, 20 + frame.cy};
    SendMessageA(l.Form->Handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(more, more),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT placed;
    GetWindowRect(l.Form->Handle(), &placed);
    EXPECT_TRUE(EqualRect(&placed, &suggested));
    ExpectLaidOutAt(l, more);
}

TEST(Dpi, TheNewsPopupGrowsWithTheDpiOfItsMonitor) {
    TComponent owner(nullptr);
    App();
    auto* list = new TImageList(&owner);
    list->AddIcon(LoadIconA(nullptr, IDI_APPLICATION));
    auto* images = new TGDIImageList(&owner, list->Handle(), false);
    auto* popup = new THTMLPopup(&owner);
    popup->AutoSize = true;
    popup->BorderSize = 3;
    popup->MarginX = 6;
    popup->MarginY = 4;
    popup->Font = THTMLFont{"MS Sans Serif", 8, 0, clWindowText, 0};
    popup->SetImages(images);
    const char* text =
        "<P align=\"right\"><A href=\"Close\">Close</A></P><P align=\"left\"><B>Quenlow: Latest "
        "Additions</B><BR>"
        "<IMG src=\"idx:0\"> <A href=\"http://a\">Editor 2.1</A> A small text editor<BR>"
        "<IMG src=\"idx:0\"> <A href=\"http://b\">Puzzle 3</A> Word games for two</P>";
    popup->Text.Assign(std::vector<std::string>{text});
    popup->Show();
    THTMLPopupWindow* shown = popup->Window();
    ASSERT_TRUE(shown && shown->Visible());
    const int dpi = WindowDpi(shown->Handle());
    if (ExpectedDpi()) {
        ASSERT_EQ(dpi, ExpectedDpi());
    }

    // The design's popup: the same text in the 96-DPI numbers.
    THTMLPopupWindow design;
    design.Dpi = BaseDpi;
    design.Font = popup->Font;
    design.Images = images;
    design.SetText(text);
    THTMLPopupLook look;
    look.BorderSize = 3;
    look.MarginX = 6;
    look.MarginY = 4;
    int w96 = 0, h96 = 0;
    design.FitSize(look, {text, popup->Font, images, nullptr, nullptr}, 0, 0, w96, h96);

    // Text does not scale exactly (glyphs are hinted to whole pixels): within a tenth.
    const double factor = dpi / 96.0;
    EXPECT_NEAR(shown->Width(), w96 * factor, w96 * factor / 10) << "at " << dpi << " DPI";
    EXPECT_NEAR(shown->Height(), h96 * factor, h96 * factor / 10) << "at " << dpi << " DPI";
    popup->Hide();
}
}  // namespace
