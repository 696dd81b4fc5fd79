// The popup window under Wine: placement, the rise and the sink, cursor, hover, clicks,
// text changes while visible, and screenshots of a realistic news popup.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/Dispatcher.h"
#include "base/Exception.h"
#include "htmlpopup/HTMLPopup_win.h"
#include "tests/htmlpopup/NewsText.h"
#include "tests/htmlpopup/Screenshot_win.h"
#include "ui/MessagePump_win.h"

namespace {

// ---- Test artwork: an image list like the program's, with the two feed-item images ----

TGdiObject<HBITMAP> MakeImage(HDC screen, int index) {
    TMemoryDC dc(screen);
    TGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(screen, 16, 16));
    TSelectObject image(dc.Get(), bmp.Get());
    RECT all{0, 0, 16, 16};
    FillRect(dc.Get(), &all, TGdiObject<HBRUSH>(CreateSolidBrush(RGB(255, 0, 255))).Get());
    if (index == 9 || index == 10) {
        // A page with a folded corner and a coloured badge: green for new, orange for updated.
        TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, RGB(90, 110, 140)));
        TGdiObject<HBRUSH> badge(CreateSolidBrush(index == 9 ? RGB(40, 170, 60) : RGB(240, 140, 20)));
        TSelectObject outline(dc.Get(), pen.Get());
        TSelectObject fill(dc.Get(), GetStockObject(WHITE_BRUSH));
        POINT page[] = {{2, 1}, {10, 1}, {13, 4}, {13, 14}, {2, 14}};
        Polygon(dc.Get(), page, 5);
        MoveToEx(dc.Get(), 10, 1, nullptr);
        LineTo(dc.Get(), 10, 4);
        LineTo(dc.Get(), 13, 4);
        for (int y = 6; y <= 10; y += 2) {
            MoveToEx(dc.Get(), 4, y, nullptr);
            LineTo(dc.Get(), 11, y);
        }
        TSelectObject badgeFill(dc.Get(), badge.Get());
        TSelectObject noOutline(dc.Get(), GetStockObject(NULL_PEN));
        Ellipse(dc.Get(), 8, 8, 16, 16);
    } else {
        RECT r{3, 3, 13, 13};
        FillRect(dc.Get(), &r,
                 TGdiObject<HBRUSH>(CreateSolidBrush(RGB(40 + index * 15, 90, 200 - index * 10))).Get());
    }
    return bmp;
}

HIMAGELIST MakeImageList() {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 12, 0);
    TWindowDC screen(nullptr);
    for (int i = 0; i < 12; ++i)
        ImageList_AddMasked(list, MakeImage(screen.Get(), i).Get(), RGB(255, 0, 255));
    return list;
}

void Pump(DWORD ms) { SleepHandlingMessages(ms); }

// A real click of the primary button at a screen point, through the system's input queue.
// Move and click in one batch, so that nothing else on the display can move the pointer in
// between.
void ClickOnScreen(POINT p) {
    INPUT in[3] = {};
    in[0].type = in[1].type = in[2].type = INPUT_MOUSE;
    in[0].mi.dx = MulDiv(p.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in[0].mi.dy = MulDiv(p.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, in, sizeof(INPUT));
}

// Records where the popup window is moved, through a hook on this thread's window procedures.
std::vector<RECT>* gMoves = nullptr;

LRESULT CALLBACK MoveHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && gMoves) {
        auto* m = reinterpret_cast<CWPRETSTRUCT*>(lp);
        if (m->message == WM_WINDOWPOSCHANGED) {
            char cls[64] = {};
            GetClassNameA(m->hwnd, cls, sizeof(cls));
            if (std::string(cls) == "PelorinHTMLPopup" && IsWindowVisible(m->hwnd)) {
                RECT r;
                GetWindowRect(m->hwnd, &r);
                if (gMoves->empty() || gMoves->back().top != r.top) gMoves->push_back(r);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

class MoveRecorder {
public:
    MoveRecorder() {
        gMoves = &Moves;
        FHook = SetWindowsHookExA(WH_CALLWNDPROCRET, MoveHook, nullptr, GetCurrentThreadId());
    }
    ~MoveRecorder() {
        UnhookWindowsHookEx(FHook);
        gMoves = nullptr;
    }
    std::vector<RECT> Moves;

private:
    HHOOK FHook;
};

// Where the popup rises: the work area of the taskbar's monitor (the primary one without a
// taskbar).
RECT WorkArea() {
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    GetMonitorInfoA(MonitorFromWindow(tray, MONITOR_DEFAULTTOPRIMARY), &mi);
    return mi.rcWork;
}

ULONGLONG CpuTime100ns() {
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    auto v = [](FILETIME f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return v(k) + v(u);
}

int gTimerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++gTimerTicks; }

class PopupWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner = CreateWindowExA(0, "STATIC", "Pelorin", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        images = new TGDIImageList(&form, MakeImageList(), true);
        popup = new THTMLPopup(&form);
        // The program's settings for its news popup.
        popup->OwnerWindow = owner;
        popup->AlwaysOnTop = true;
        popup->AutoSize = true;
        popup->BorderSize = 3;
        popup->Color = 16776176;
        popup->Font.Name = "MS Sans Serif";
        popup->Font.Size = 8;
        popup->Font.Color = clWindowText;
        popup->SetImages(images);
        popup->MarginX = 6;
        popup->MarginY = 4;
        popup->RollUpSpace = 10;
        popup->ShadeEnable = true;
        popup->ShadeStartColor = clWhite;
        popup->ShadeEndColor = 16776176;
        popup->ShadeSteps = 40;
        popup->OnAnchorClick = [this](TObject* Sender, const std::string& Anchor) {
            clicks.push_back(Anchor);
            senders.push_back(Sender);
        };
    }
    void TearDown() override {
        if (owner) DestroyWindow(owner);
    }

    void SetNews(int items) { popup->Text.Assign(NewsPopupLines(items)); }

    // The client point in the middle of the anchor numbered n (searching row by row).
    bool FindAnchor(int n, POINT& p) {
        THTMLPopupWindow* w = popup->Window();
        for (int y = 1; y < w->Height(); y += 2)
            for (int x = 1; x < w->Width(); x += 2) {
                THTMLRenderResult r = w->HitTestAt(x, y);
                if (r.Hit && r.HitAnchorNumber == n) {
                    p = {(r.HitAnchorRect.Left + r.HitAnchorRect.Right) / 2, y};
                    return true;
                }
            }
        return false;
    }

    LRESULT NcHitTest(POINT client) {
        POINT s = client;
        ClientToScreen(popup->Window()->Handle(), &s);
        return SendMessageA(popup->Window()->Handle(), WM_NCHITTEST, 0, MAKELPARAM(s.x, s.y));
    }

    TComponent form;
    HWND owner = nullptr;
    TGDIImageList* images = nullptr;
    THTMLPopup* popup = nullptr;
    std::vector<std::string> clicks;
    std::vector<TObject*> senders;
};

}  // namespace

TEST_F(PopupWindowTest, NewsPopupRisesToTheBottomRightOfTheWorkArea) {
    SetNews(20);
    popup->RollUp();
    THTMLPopupWindow* w = popup->Window();
    ASSERT_NE(w, nullptr);
    const RECT wa = WorkArea();
    RECT r;
    GetWindowRect(w->Handle(), &r);
    EXPECT_TRUE(IsWindowVisible(w->Handle()));
    EXPECT_EQ(r.right, wa.right - 20);
    EXPECT_EQ(r.bottom, wa.bottom - 10);
    EXPECT_EQ(popup->PopupTop, wa.bottom);
    EXPECT_EQ(popup->PopupLeft, wa.right - 20 - w->Width());

    // Auto-size: the text's needed size plus 2 × 3 frame + 16.
    TGDIFontCache fonts;
    TMemoryDC dc;
    THTMLRenderResult need;
    {
        TGDISurface s(dc.Get(), fonts);
        s.SetFont(popup->Font);
        need = RenderHTML(s, Joined(NewsPopupLines(20)), {9, 5, 9 + 4096, 5 + 4096}, images, nullptr, nullptr,
                          false, -1, false, {});
    }
    EXPECT_EQ(r.right - r.left, need.NeededWidth + 22);
    EXPECT_EQ(r.bottom - r.top, need.NeededHeight + 22);
    EXPECT_GT(need.NeededHeight, 20 * 16);

    // A topmost tool window without caption or border, owned by the form's window.
    const LONG style = GetWindowLongA(w->Handle(), GWL_STYLE);
    const LONG ex = GetWindowLongA(w->Handle(), GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME));
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindow(w->Handle(), GW_OWNER), owner);
    const DWORD cls = GetClassLongA(w->Handle(), GCL_STYLE);
    EXPECT_TRUE(cls & CS_SAVEBITS);
    EXPECT_TRUE(cls & CS_DROPSHADOW);
    Pump(100);
    Screenshot(w, "news_popup");
}

TEST_F(PopupWindowTest, RiseIsTwentyPixelsPerStepAndProcessesMessages) {
    popup->AutoSize = false;
    popup->PopupHeight = 150;
    popup->Text.Add("<B>Rising</B>");
    const RECT wa = WorkArea();
    gTimerTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
    MoveRecorder rec;
    const DWORD t0 = GetTickCount();
    const ULONGLONG cpu0 = CpuTime100ns();
    popup->RollUp();
    const DWORD wall = GetTickCount() - t0;
    const ULONGLONG cpuMs = (CpuTime100ns() - cpu0) / 10000;
    KillTimer(nullptr, timer);

    std::vector<LONG> tops;
    for (const RECT& r : rec.Moves)
        tops.push_back(r.top);
    ASSERT_FALSE(tops.empty());
    EXPECT_EQ(tops.front(), wa.bottom);
    // Eight steps: -20 each, the last settling 10 pixels above the work area's bottom.
    std::vector<LONG> expected;
    for (int i = 0; i <= 8; ++i)
        expected.push_back(wa.bottom - 20 * i);
    EXPECT_EQ(tops, expected);
    RECT r;
    GetWindowRect(popup->Window()->Handle(), &r);
    EXPECT_EQ(r.bottom, wa.bottom - 10);
    EXPECT_EQ(r.right, wa.right - 20);
    // Eight waits of at least 50 ms each, spent asleep in the message wait, with timer
    // messages handled meanwhile.
    EXPECT_GE(wall, 8u * 50u - 16u);
    EXPECT_LT(cpuMs, wall / 2) << "cpu " << cpuMs << " ms in " << wall << " ms";
    EXPECT_GE(gTimerTicks, 3);
}

TEST_F(PopupWindowTest, RollDownSinksBelowTheWorkAreaThenHides) {
    THTMLPopup idle(&form);
    idle.RollDown();  // no window: nothing happens
    idle.Hide();
    EXPECT_EQ(idle.Window(), nullptr);

    popup->AutoSize = false;
    popup->PopupHeight = 70;
    popup->Text.Add("x");
    popup->RollUp();
    const RECT wa = WorkArea();
    const int start = popup->Window()->Top();
    EXPECT_EQ(start, wa.bottom - 80);
    MoveRecorder rec;
    popup->RollDown();
    std::vector<LONG> tops;
    for (const RECT& r : rec.Moves)
        tops.push_back(r.top);
    std::vector<LONG> expected;
    for (int t = start + 20; t - 20 < wa.bottom; t += 20)
        expected.push_back(t);
    EXPECT_EQ(tops, expected);
    EXPECT_GE(popup->Window()->Top(), wa.bottom);
    EXPECT_FALSE(IsWindowVisible(popup->Window()->Handle()));
}

TEST_F(PopupWindowTest, HandCursorOverALinkAndDefaultElsewhere) {
    popup->Text.Assign(std::vector<std::string>{"plain words <A href=\"http://a.example/\">a link</A> more"});
    popup->Show();
    POINT link{}, plain{8, 0};
    ASSERT_TRUE(FindAnchor(1, link));
    plain.y = link.y;
    EXPECT_EQ(NcHitTest(plain), HTCLIENT);
    EXPECT_FALSE(popup->Window()->HandCursor());
    EXPECT_EQ(NcHitTest(link), HTCLIENT);
    EXPECT_TRUE(popup->Window()->HandCursor());
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
    NcHitTest(plain);
    EXPECT_FALSE(popup->Window()->HandCursor());
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    // Without Hover nothing is tracked or repainted.
    EXPECT_EQ(popup->Window()->HoverAnchor(), -1);
    Pump(50);
    NcHitTest(link);
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(popup->Window()->Handle(), &dirty, FALSE));
}

TEST_F(PopupWindowTest, ClickOnALinkRaisesTheAnchorWithThePopupAsSender) {
    popup->Text.Assign(std::vector<std::string>{"<A href=\"Close\">Close</A> text <A>nowhere</A>"});
    popup->Show();
    POINT close{}, nowhere{};
    ASSERT_TRUE(FindAnchor(1, close));
    ASSERT_TRUE(FindAnchor(2, nowhere));
    HWND h = popup->Window()->Handle();
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(close.x, close.y));
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(nowhere.x, nowhere.y));
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));  // the frame: no link
    EXPECT_EQ(clicks, (std::vector<std::string>{"Close", ""}));
    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[0], popup);
}

TEST_F(PopupWindowTest, RealMouseClickThroughTheSystem) {
    popup->Text.Assign(
        std::vector<std::string>{"<P align=\"center\"><A href=\"http://b.example/\">Big link text here</A>"});
    popup->PopupLeft = 300;
    popup->PopupTop = 300;
    popup->Show();
    POINT link{};
    ASSERT_TRUE(FindAnchor(1, link));
    ClientToScreen(popup->Window()->Handle(), &link);
    SetCursorPos(link.x, link.y);
    Pump(100);
    ClickOnScreen(link);
    for (int i = 0; i < 20 && clicks.empty(); ++i)
        Pump(50);
    EXPECT_EQ(clicks, (std::vector<std::string>{"http://b.example/"}));
    EXPECT_TRUE(popup->Window()->HandCursor());
}

TEST_F(PopupWindowTest, HoverTracksTheLinkUnderTheMouse) {
    popup->Hover = true;
    popup->Text.Assign(std::vector<std::string>{"<A href=\"1\">first</A> gap <A href=\"2\">second</A>"});
    popup->Show();
    POINT first{}, second{};
    ASSERT_TRUE(FindAnchor(1, first));
    ASSERT_TRUE(FindAnchor(2, second));
    Pump(50);
    RECT dirty;
    ASSERT_FALSE(GetUpdateRect(popup->Window()->Handle(), &dirty, FALSE));
    NcHitTest(first);
    EXPECT_EQ(popup->Window()->HoverAnchor(), 1);
    // The newly hovered link is marked for repainting, and only that.
    ASSERT_TRUE(GetUpdateRect(popup->Window()->Handle(), &dirty, FALSE));
    EXPECT_LE(dirty.left, first.x);
    EXPECT_GE(dirty.right, first.x);
    EXPECT_LT(dirty.right, second.x);
    NcHitTest(second);
    EXPECT_EQ(popup->Window()->HoverAnchor(), 2);
    EXPECT_GT(popup->Window()->HoverRect().Left, first.x);
    Pump(50);
    Screenshot(popup->Window(), "hover_second_link");
    NcHitTest({2, 2});
    EXPECT_EQ(popup->Window()->HoverAnchor(), -1);
    // The mouse leaving forgets the hovered link too.
    NcHitTest(first);
    SendMessageA(popup->Window()->Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(popup->Window()->HoverAnchor(), -1);
    EXPECT_TRUE(IsWindowVisible(popup->Window()->Handle()));  // AutoHide is off
    // New text forgets the hovered link: its number would name another link now.
    NcHitTest(second);
    ASSERT_EQ(popup->Window()->HoverAnchor(), 2);
    popup->Text.Insert(0, "<A href=\"0\">zero</A> ");
    EXPECT_EQ(popup->Window()->HoverAnchor(), -1);
}

TEST_F(PopupWindowTest, AddingTextWhileVisibleChangesTextButNotSize) {
    SetNews(3);
    popup->RollUp();
    THTMLPopupWindow* w = popup->Window();
    const int width = w->Width(), height = w->Height();
    popup->Text.Add("<BR>A much longer line that would need a wider window than the one shown now");
    EXPECT_NE(w->Text().find("A much longer line"), std::string::npos);
    Pump(50);
    RECT r;
    GetWindowRect(w->Handle(), &r);
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_EQ(r.bottom - r.top, height);
    // The size follows at the next show.
    popup->Show();
    EXPECT_GT(w->Width(), width);
}

TEST_F(PopupWindowTest, AutoHideHidesWhenTheMouseLeaves) {
    popup->AutoHide = true;
    popup->Text.Add("x");
    popup->Show();
    ASSERT_TRUE(IsWindowVisible(popup->Window()->Handle()));
    SendMessageA(popup->Window()->Handle(), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(popup->Window()->Handle()));
}

TEST_F(PopupWindowTest, FreedImageListIsForgotten) {
    popup->Text.Add("<IMG src=\"idx:9\">x");
    popup->Show();
    EXPECT_EQ(popup->Window()->Images, images);
    delete images;
    images = nullptr;
    EXPECT_EQ(popup->Images(), nullptr);
    EXPECT_EQ(popup->Window()->Images, nullptr);
    popup->Window()->PaintTo(TWindowDC(popup->Window()->Handle()).Get());  // no dangling list
    EXPECT_EQ(popup->Version(), "1.1.0.0");
}

TEST_F(PopupWindowTest, ReplacedImageListCanBeFreedWhileTheWindowShows) {
    popup->Text.Add("<IMG src=\"idx:9\">x");
    popup->Show();
    auto* other = new TGDIImageList(&form, MakeImageList(), true);
    popup->SetImages(other);
    delete images;  // the popup no longer watches it
    images = nullptr;
    EXPECT_EQ(popup->Window()->Images, other);
    popup->Window()->PaintTo(TWindowDC(popup->Window()->Handle()).Get());
}

TEST(HTMLPopupDefaults, NewPopupHasTheDocumentedSettings) {
    THTMLPopup p;
    EXPECT_FALSE(p.AlwaysOnTop);
    EXPECT_FALSE(p.AutoHide);
    EXPECT_FALSE(p.AutoSize);
    EXPECT_EQ(p.BorderSize, 0);
    EXPECT_EQ(p.Color, clSystemColor + 24);
    EXPECT_EQ(p.Font, THTMLFont());
    EXPECT_FALSE(p.Hover);
    EXPECT_EQ(p.Images(), nullptr);
    EXPECT_EQ(p.MarginX, 4);
    EXPECT_EQ(p.MarginY, 4);
    EXPECT_EQ(p.PopupLeft, 0);
    EXPECT_EQ(p.PopupTop, 0);
    EXPECT_EQ(p.RollUpSpace, 0);
    EXPECT_FALSE(p.ShadeEnable);
    EXPECT_EQ(p.ShadeStartColor, 0xC0C0C0u);
    EXPECT_EQ(p.ShadeEndColor, 0x808080u);
    EXPECT_EQ(p.ShadeSteps, 40);
    EXPECT_EQ(p.ShadeDirection, sdHorizontal);
    EXPECT_EQ(p.Text.Count(), 0);
    EXPECT_EQ(p.PictureContainer(), nullptr);
    EXPECT_EQ(p.PopupWidth, 200);
    EXPECT_EQ(p.PopupHeight, 200);
    EXPECT_FALSE(p.OnAnchorClick);
    p.SetVersion("2.0");
    EXPECT_EQ(p.Version(), "1.1.0.0");
    EXPECT_EQ(p.Window(), nullptr);
    // The first show makes a window that hovers links unless told otherwise.
    THTMLPopupWindow w;
    EXPECT_TRUE(w.Hover());
    EXPECT_EQ(w.HoverAnchor(), -1);
}

// An item whose title (ending in a blank) is the widest line: the auto-sized window keeps
// the title on one line and the footer inside.
TEST_F(PopupWindowTest, AutoSizedPopupWithATitleAsTheWidestLineShowsTheFooter) {
    popup->Text.Assign(std::vector<std::string>{
        "<P align=\"right\"><A href=\"Close\"><B>Close</B></A></P><P align=\"left\">", "<B>News</B><HR><BR>",
        "<IMG src=\"idx:9\" align=\"top\">&nbsp;<A href=\"http://a.example/1\">A rather long program title "
        "12.5 </A>"
        "<BR>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;Short.<BR>",
        "</P><P align=\"right\">", "<A href=\"http://a.example/\">Home</A>", "</P>"});
    popup->RollUp();
    THTMLPopupWindow* w = popup->Window();
    POINT title{}, home{};
    ASSERT_TRUE(FindAnchor(2, title));
    EXPECT_TRUE(FindAnchor(3, home)) << "the footer link is out of the window";
    // The whole title is one link rectangle on one line, starting after the image.
    THTMLRenderResult r = w->HitTestAt(title.x, title.y);
    EXPECT_GT(r.HitAnchorRect.Right - r.HitAnchorRect.Left, w->Width() / 2);
    Screenshot(w, "widest_title");
}

// The surface measures from cached character widths; they must agree with what DrawText
// measures, or runs would overlap or leave gaps.
TEST(GDISurfaceTest, WidthsAgreeWithDrawTextAndTheDCIsRestored) {
    TMemoryDC memory;
    HDC dc = memory.Get();
    HGDIOBJ fontBefore = GetCurrentObject(dc, OBJ_FONT);
    TGDIFontCache fonts;
    const char* samples[] = {"Editor 2.1 ",
                             "A small text editor with tabs and macros.",
                             "&&amp",
                             "a&b",
                             "x\ty\tz",
                             "Quenlow: Latest Additions",
                             "\xA9\xAE\x80 caf\xE9"};
    for (unsigned style : {0u, unsigned(fsBold), unsigned(fsUnderline)}) {
        for (int size : {8, 12}) {
            TGDISurface s(dc, fonts);
            THTMLFont f;
            f.Size = size;
            f.Style = style;
            s.SetFont(f);
            TGDIFontCache::TEntry* e = fonts.Get(dc, f, s.PixelsPerInchY());
            TSelectObject font(dc, e->Handle.Get());
            for (const char* text : samples) {
                RECT r{0, 0, 0, 0};
                DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
                EXPECT_EQ(s.TextWidth(text), r.right)
                    << "'" << text << "' size " << size << " style " << style;
                EXPECT_EQ(s.TextHeight(text), r.bottom) << "'" << text << "'";
            }
        }
    }
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), fontBefore);
}

TEST_F(PopupWindowTest, OwnerDestroyedFirstLeavesNoDeadHandle) {
    popup->Text.Add("x");
    popup->Show();
    HWND first = popup->Window()->Handle();
    ASSERT_TRUE(IsWindow(first));
    DestroyWindow(owner);  // the system takes the owned popup with it
    owner = nullptr;
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(popup->Window()->Handle(), nullptr);
    popup->OwnerWindow = nullptr;
    popup->Show();
    EXPECT_TRUE(IsWindowVisible(popup->Window()->Handle()));
}

TEST_F(PopupWindowTest, QuitDuringTheRiseStopsItAndStaysQueued) {
    popup->AutoSize = false;
    popup->PopupHeight = 150;
    popup->Text.Add("x");
    PostQuitMessage(7);
    popup->RollUp();
    const RECT wa = WorkArea();
    EXPECT_EQ(popup->Window()->Top(), wa.bottom);  // not a single step taken
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(PopupWindowTest, NegativeRollUpSpaceEndsTheRiseBelowTheEdge) {
    popup->AutoSize = false;
    popup->PopupHeight = 150;
    popup->RollUpSpace = -30;
    popup->Text.Add("x");
    const DWORD t0 = GetTickCount();
    popup->RollUp();
    EXPECT_LT(GetTickCount() - t0, 2000u);
    const RECT wa = WorkArea();
    EXPECT_EQ(popup->Window()->Top(), wa.bottom - 150 + 30);
}

TEST_F(PopupWindowTest, NotAlwaysOnTopGivesAnOrdinaryOwnedWindow) {
    popup->AlwaysOnTop = false;
    popup->Text.Add("x");
    popup->Show();
    HWND first = popup->Window()->Handle();
    EXPECT_FALSE(GetWindowLongA(first, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(first, GW_OWNER), owner);
    // Every show makes the window again, so the setting takes effect then.
    popup->AlwaysOnTop = true;
    popup->Show();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(GetWindowLongA(popup->Window()->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(PopupWindowTest, HandlerThatFreesThePopupOnAClickIsSafe) {
    popup->Text.Assign(std::vector<std::string>{"<A href=\"Close\">Close</A>"});
    popup->Show();
    POINT close{};
    ASSERT_TRUE(FindAnchor(1, close));
    HWND h = popup->Window()->Handle();
    popup->OnAnchorClick = [this](TObject*, const std::string& Anchor) {
        clicks.push_back(Anchor);
        delete popup;
        popup = nullptr;
    };
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(close.x, close.y));
    EXPECT_EQ(clicks, (std::vector<std::string>{"Close"}));
    EXPECT_FALSE(IsWindow(h));
}

// The click arrives through user32: what the handler throws must not unwind through it.
TEST_F(PopupWindowTest, AThrowingClickHandlerIsReportedAndThePopupGoesOn) {
    popup->Text.Assign(std::vector<std::string>{"<A href=\"http://a.example/\">a link</A>"});
    popup->Show();
    POINT link{};
    ASSERT_TRUE(FindAnchor(1, link));
    std::vector<std::string> reported;
    SetExceptionReporter([&](const std::exception& e) { reported.push_back(e.what()); });
    bool fail = true;
    popup->OnAnchorClick = [&](TObject*, const std::string& Anchor) {
        if (fail) throw Exception("cannot open " + Anchor);
        clicks.push_back(Anchor);
    };
    HWND h = popup->Window()->Handle();
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(link.x, link.y));
    fail = false;
    SendMessageA(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(link.x, link.y));
    SetExceptionReporter(nullptr);
    EXPECT_EQ(reported, (std::vector<std::string>{"cannot open http://a.example/"}));
    EXPECT_EQ(clicks, (std::vector<std::string>{"http://a.example/"}));
    EXPECT_TRUE(IsWindowVisible(h));
}

THTMLPopup* gDoomed = nullptr;
void CALLBACK FreeDoomed(HWND, UINT, UINT_PTR, DWORD) {
    delete gDoomed;
    gDoomed = nullptr;
}

TEST_F(PopupWindowTest, PopupFreedDuringTheRiseStopsIt) {
    popup->AutoSize = false;
    popup->PopupHeight = 150;
    popup->Text.Add("x");
    gDoomed = popup;
    const UINT_PTR timer = SetTimer(nullptr, 0, 60, FreeDoomed);
    popup->RollUp();  // returns once the timer has freed it
    KillTimer(nullptr, timer);
    EXPECT_EQ(gDoomed, nullptr);
    popup = nullptr;
}

TEST_F(PopupWindowTest, FailurePopupWithTheSettingsLink) {
    const std::string site = "http://www.quenlow.example";
    popup->Text.Assign(std::vector<std::string>{
        "<P align=\"right\"><A href=\"Close\"><B>Close</B></A></P><P align=\"left\">",
        "<B>Failed</B> : 404 can't resolve hostname to IP address<BR>Please check your connection <a "
        "href=\"settings\">settings</a>.<BR>",
        "</P><P align=\"right\">",
        "<A href=\"" + site + "/\">Home</A> | <A href=\"" + site +
            "/showarticles-showall.html\">Categories</A> | <A href=\"" + site +
            "/showarticles-news.html\">New Additions</A>",
        " | <A href=\"" + site + "/top20-0.html\">Top20</A>", "</P>"});
    popup->RollUp();
    POINT settings{};
    ASSERT_TRUE(FindAnchor(2, settings));
    SendMessageA(popup->Window()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(settings.x, settings.y));
    EXPECT_EQ(clicks, (std::vector<std::string>{"settings"}));
    Screenshot(popup->Window(), "failure_popup");
}

namespace {

// A step of a test run from the message loop while an animation waits.
std::function<void()> gNested;
void CALLBACK RunNested(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (gNested) gNested();
    gNested = nullptr;
}

}  // namespace

// The animations pump messages, so a timer tick can start a new show or hide inside one: the
// newest call wins, and the older loop stops at its next step.
TEST_F(PopupWindowTest, AShowOrHideInsideAnAnimationTakesOver) {
    enum TCall { rollUp, rollDown, hide };
    const struct {
        TCall Outer, Inner;
    } kCases[] = {{rollDown, rollUp}, {rollUp, rollUp}, {rollUp, rollDown}, {rollUp, hide}, {rollDown, hide}};
    const RECT wa = WorkArea();
    for (const auto& c : kCases) {
        const std::string name = std::to_string(c.Outer) + " then " + std::to_string(c.Inner);
        SetNews(2);
        popup->RollUp();
        if (c.Outer == rollUp) popup->Hide();
        int innerTop = 0, innerHeight = 0;
        gNested = [&] {
            if (c.Inner == rollUp) {
                SetNews(5);  // taller: the older rise would stop short of its place
                popup->RollUp();
            } else if (c.Inner == rollDown) {
                popup->RollDown();
            } else {
                popup->Hide();
            }
            innerTop = popup->Window()->Top();
            innerHeight = popup->Window()->Height();
        };
        SetTimer(nullptr, 0, 120, RunNested);
        if (c.Outer == rollUp)
            popup->RollUp();
        else
            popup->RollDown();
        ASSERT_FALSE(gNested) << name << ": the step did not run during the animation";
        THTMLPopupWindow* w = popup->Window();
        RECT r;
        GetWindowRect(w->Handle(), &r);
        EXPECT_EQ(IsWindowVisible(w->Handle()) != FALSE, c.Inner == rollUp) << name;
        EXPECT_EQ(r.top, innerTop) << name << ": the older loop moved the window on";
        EXPECT_EQ(r.bottom - r.top, innerHeight) << name;
        if (c.Inner == rollUp) {
            EXPECT_EQ(r.bottom, wa.bottom - 10) << name;
            EXPECT_EQ(r.right, wa.right - 20) << name;
        }
        if (c.Inner == rollDown) {
            EXPECT_GE(r.top, wa.bottom) << name;
        }
    }
}

namespace {

// Whether the foreground is still the user's window. Other test programs share the desktop
// and may bring up windows of their own meanwhile; what must not come up is one of ours.
testing::AssertionResult UsersWindowInFront(HWND user) {
    HWND front = GetForegroundWindow();
    DWORD process = 0;
    GetWindowThreadProcessId(front, &process);
    if (front == user && GetFocus() == user) return testing::AssertionSuccess();
    if (front != user && process != GetCurrentProcessId()) return testing::AssertionSuccess();
    char cls[64] = {};
    GetClassNameA(front, cls, sizeof(cls));
    return testing::AssertionFailure() << "in front: a " << cls << " window of this program";
}

// Counts the times the popup window was activated or given the focus, even for a moment.
int gPopupActivations = 0;
LRESULT CALLBACK ActivationHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        auto* m = reinterpret_cast<CWPSTRUCT*>(lp);
        char cls[64] = {};
        GetClassNameA(m->hwnd, cls, sizeof(cls));
        if (std::string(cls) == "PelorinHTMLPopup" &&
            (m->message == WM_SETFOCUS || (m->message == WM_ACTIVATE && LOWORD(m->wParam) != WA_INACTIVE)))
            ++gPopupActivations;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

// The popup comes and goes over whatever the user works in, without taking its focus.
TEST_F(PopupWindowTest, RisingAndClickingLeaveTheUsersWindowInFront) {
    HWND user = CreateWindowExA(0, "STATIC", "user's window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300,
                                200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int i = 0; i < 10 && GetForegroundWindow() != user; ++i) {
        SetForegroundWindow(user);
        Pump(50);
    }
    ASSERT_EQ(GetForegroundWindow(), user);
    gPopupActivations = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, ActivationHook, nullptr, GetCurrentThreadId());
    popup->Text.Assign(
        std::vector<std::string>{"<P align=\"center\"><A href=\"http://c.example/\">Big link text</A>"});
    popup->RollUp();
    Pump(100);
    EXPECT_TRUE(UsersWindowInFront(user)) << "after the rise";
    POINT link{};
    ASSERT_TRUE(FindAnchor(1, link));
    ClientToScreen(popup->Window()->Handle(), &link);
    ClickOnScreen(link);
    for (int i = 0; i < 20 && clicks.empty(); ++i)
        Pump(50);
    Pump(100);
    EXPECT_EQ(clicks, (std::vector<std::string>{"http://c.example/"}));
    EXPECT_TRUE(UsersWindowInFront(user)) << "after the click";
    popup->Show();
    Pump(100);
    EXPECT_TRUE(UsersWindowInFront(user)) << "after a show";
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(gPopupActivations, 0);
    DestroyWindow(user);
}

// Too much text for the screen: the window stops at the work area, and the form can ask
// how many items fit before it shows them.
TEST_F(PopupWindowTest, LongTextStaysInsideTheWorkAreaAndFitsTellsHowMuchFits) {
    const RECT wa = WorkArea();
    SetNews(60);
    popup->Text.Add("<BR>" + std::string(400, 'w') + std::string(" and a long line of words that wraps"));
    popup->RollUp();
    RECT r;
    GetWindowRect(popup->Window()->Handle(), &r);
    EXPECT_EQ(r.top, wa.top);
    EXPECT_EQ(r.bottom, wa.bottom - 10);
    EXPECT_EQ(r.left, wa.left);
    EXPECT_EQ(r.right, wa.right - 20);
    // A long word-wrapped line: the window takes the widest width, the text wraps in it.
    popup->Text.Assign(std::vector<std::string>{"<A href=\"x\">" + std::string(150, 'x') + "</A> " +
                                                std::string(150, 'y') + " z"});
    popup->RollUp();
    GetWindowRect(popup->Window()->Handle(), &r);
    EXPECT_EQ(r.right - r.left, wa.right - wa.left - 20);
    EXPECT_LT(r.bottom - r.top, 100);
    bool linkShown = false;
    for (int y = 0; y < 30 && !linkShown; ++y)
        linkShown = popup->Window()->HitTestAt(20, y).HitAnchor == "x";
    EXPECT_TRUE(linkShown);
    Screenshot(popup->Window(), "wrapped_to_the_work_area");

    int n = 60;
    TStringList lines;
    for (;; --n) {
        ASSERT_GT(n, 0);
        lines.Assign(NewsPopupLines(n));
        if (popup->Fits(lines)) break;
    }
    EXPECT_LT(n, 60);
    popup->Text.Assign(NewsPopupLines(n));
    popup->RollUp();
    GetWindowRect(popup->Window()->Handle(), &r);
    EXPECT_GT(r.top, wa.top);  // not cut at the top: the whole text shows
    EXPECT_EQ(r.bottom, wa.bottom - 10);
    lines.Assign(NewsPopupLines(n + 1));
    EXPECT_FALSE(popup->Fits(lines));
    Screenshot(popup->Window(), "as_many_items_as_fit");
}
