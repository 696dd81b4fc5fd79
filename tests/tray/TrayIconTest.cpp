// The tray icon under Wine, with the test playing the shell: callback messages go to the
// shared hidden window exactly as the shell sends them.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "tray/TrayIcon_win.h"
#include "ui/Forms_win.h"

#include "tests/support/WinTestApp_win.h"

using namespace wintest;

namespace {

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

// Counts the shell calls instead of only making them.
class TCountingIcon : public TTrayIcon {
public:
    using TTrayIcon::TTrayIcon;
    bool ShowIcon() override {
        ++Shows;
        return TTrayIcon::ShowIcon();
    }
    int Shows = 0;
};

class TrayIcon : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        form = new TForm(&App());
        App().MainForm = form;
        icon = new TCountingIcon(form);
    }
    void TearDown() override {
        delete form;  // frees the icon with it
        App().MainForm = nullptr;
    }
    void Send(UINT Message) {
        SendMessageA(TSharedWindow::Current(), WM_TRAYNOTIFY, icon->Identity(), Message);
    }
    TImageList* MakeList(int Count) {
        auto* list = new TImageList(form);
        for (int i = 0; i < Count; ++i)
            list->AddIcon(LoadIconA(nullptr, IDI_APPLICATION));
        return list;
    }
    TForm* form = nullptr;
    TCountingIcon* icon = nullptr;
};

TEST_F(TrayIcon, ADoubleClickRaisesOnDblClickOnceAndNoSingleClick) {
    int clicks = 0, doubles = 0;
    icon->OnClick = [&](TObject*) { ++clicks; };
    icon->OnDblClick = [&](TObject*) { ++doubles; };
    icon->Loaded();
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    Send(WM_LBUTTONDBLCLK);
    Send(WM_LBUTTONUP);
    Pump(GetDoubleClickTime() + 400);
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(clicks, 0);
}

TEST_F(TrayIcon, WithADoubleClickHandlerASingleClickComesAfterTheDoubleClickTime) {
    int clicks = 0;
    icon->OnClick = [&](TObject*) { ++clicks; };
    icon->OnDblClick = [](TObject*) {};
    icon->Loaded();
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(clicks, 0) << "the click came before a double click could be ruled out";
    PumpUntil(GetDoubleClickTime() + 1500, [&] { return clicks > 0; });
    EXPECT_EQ(clicks, 1);
}

TEST_F(TrayIcon, WithoutADoubleClickHandlerTheClickComesAtOnce) {
    int clicks = 0, downs = 0, ups = 0;
    TShiftState downShift = 0;
    icon->OnClick = [&](TObject*) { ++clicks; };
    icon->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int, int) {
        ++downs;
        downShift = s;
        EXPECT_EQ(b, mbLeft);
    };
    icon->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++ups; };
    icon->Loaded();
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    EXPECT_TRUE(downShift & ssLeft);
    Send(WM_LBUTTONUP);  // an up without a down is no click
    EXPECT_EQ(clicks, 1);
}

TEST_F(TrayIcon, WhenDisabledMouseNotificationsAreIgnoredButBalloonsAreNot) {
    int events = 0, balloons = 0;
    icon->OnClick = [&](TObject*) { ++events; };
    icon->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++events; };
    icon->OnBalloonHintClick = [&](TObject*) { ++balloons; };
    icon->OnBalloonHintTimeout = [&](TObject*) { ++balloons; };
    icon->Enabled = false;
    icon->Loaded();
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP);
    Send(WM_LBUTTONDBLCLK);
    Send(NIN_BALLOONUSERCLICK);
    Send(NIN_BALLOONTIMEOUT);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(balloons, 2);
}

TEST_F(TrayIcon, CallbacksForUnknownIconsAreDropped) {
    int clicks = 0;
    icon->OnClick = [&](TObject*) { ++clicks; };
    icon->Loaded();
    SendMessageA(TSharedWindow::Current(), WM_TRAYNOTIFY, icon->Identity() + 1000, WM_LBUTTONDOWN);
    SendMessageA(TSharedWindow::Current(), WM_TRAYNOTIFY, icon->Identity() + 1000, WM_LBUTTONUP);
    EXPECT_EQ(clicks, 0);
    // The shared window refuses to be closed while icons use it.
    SendMessageA(TSharedWindow::Current(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(TSharedWindow::Current()));
}

TEST_F(TrayIcon, EnterAndExitFollowTheCursorOverTheIcon) {
    int enters = 0, exits = 0, moves = 0;
    icon->OnMouseEnter = [&](TObject*) { ++enters; };
    icon->OnMouseExit = [&](TObject*) { ++exits; };
    icon->OnMouseMove = [&](TObject*, TShiftState, int, int) { ++moves; };
    icon->SetWantEnterExitEvents(true);
    icon->Loaded();
    SetCursorPos(700, 500);
    Send(WM_MOUSEMOVE);
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(moves, 2);
    Pump(100);
    EXPECT_EQ(exits, 0) << "left while the cursor stayed on the icon";
    SetCursorPos(100, 100);
    PumpUntil(2000, [&] { return exits > 0; });
    EXPECT_EQ(exits, 1);
    Send(WM_MOUSEMOVE);  // back over the icon: a new enter
    EXPECT_EQ(enters, 2);
    icon->SetWantEnterExitEvents(false);
    SetCursorPos(300, 300);
    Pump(100);
    EXPECT_EQ(exits, 1) << "exit events came after they were switched off";
}

TEST_F(TrayIcon, HintIsCutTo127Characters) {
    icon->SetHint(std::string(300, 'h'));
    EXPECT_EQ(icon->Hint().size(), 127u);
    icon->SetHint("Pelorin");
    EXPECT_EQ(icon->Hint(), "Pelorin");
}

// Image 0 is shown as the animation starts, so the first tick shows image 1: the first
// frame lasts one interval, like every other.
TEST_F(TrayIcon, IconIndexIsClampedAndCyclingShowsTheNextImageAtEveryTick) {
    TImageList* list = MakeList(3);
    icon->SetIconList(list);
    icon->SetIconIndex(10);
    EXPECT_EQ(icon->IconIndex(), 2);
    EXPECT_FALSE(icon->Icon().Empty());
    std::vector<int> shown, next;
    icon->OnCycle = [&](TObject*, int n) {
        shown.push_back(icon->IconIndex());
        next.push_back(n);
    };
    icon->SetCycleInterval(20);
    icon->SetCycleIcons(true);
    icon->Loaded();
    EXPECT_EQ(icon->IconIndex(), 0);
    PumpUntil(3000, [&] { return next.size() >= 4; });
    ASSERT_GE(next.size(), 4u);
    EXPECT_EQ(std::vector<int>(shown.begin(), shown.begin() + 4), (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(std::vector<int>(next.begin(), next.begin() + 4), (std::vector<int>{2, 0, 1, 2}));
    icon->SetCycleIcons(false);
    size_t stopped = next.size();
    Pump(150);
    EXPECT_EQ(next.size(), stopped) << "the animation went on after it was switched off";
    delete list;  // the icon forgets a freed list
    EXPECT_EQ(icon->IconList(), nullptr);
    EXPECT_EQ(icon->IconIndex(), 0);
}

TEST_F(TrayIcon, StartupAnswerFalseKeepsTheMainFormAndTaskbarWindowHidden) {
    int asked = 0;
    icon->OnStartup = [&](TObject*, bool& show) {
        ++asked;
        EXPECT_TRUE(show);
        show = false;
    };
    App().ShowMainForm = true;
    form->Show();
    icon->Loaded();
    icon->Loaded();  // only once
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(App().ShowMainForm);
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(IsWindowVisible(App().Handle()));
    App().ShowMainForm = true;
}

TEST_F(TrayIcon, ShowAndHideMainFormTakeTheTaskbarWindowAlong) {
    icon->Loaded();
    int shows = 0;
    form->OnShow = [&](TObject*) { ++shows; };
    icon->ShowMainForm();
    EXPECT_TRUE(form->Visible());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_TRUE(IsWindowVisible(App().Handle()));
    EXPECT_EQ(shows, 1);
    icon->HideMainForm();
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(IsWindowVisible(App().Handle()));
    icon->ShowMainForm();
    EXPECT_EQ(shows, 2) << "showing again did not run the form's show handler";
    icon->HideMainForm();
}

TEST_F(TrayIcon, MinimisingTheApplicationHidesTheFormToTheTray) {
    icon->MinimizeToTray = true;
    icon->SetIconVisible(true);
    icon->Loaded();
    icon->ShowMainForm();
    int before = icon->Shows;
    SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump(100);
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(IsWindowVisible(App().Handle()));
    EXPECT_EQ(icon->Shows, before + 1);
    icon->ShowMainForm();  // comes back restored
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(IsIconic(App().Handle()));
    icon->HideMainForm();
}

TEST_F(TrayIcon, TheShellsRestartBringsEveryVisibleIconBack) {
    ASSERT_NE(TTrayIcon::TaskbarCreatedMessage(), 0u);
    TCountingIcon other(nullptr);
    icon->Loaded();
    other.Loaded();
    other.SetIconVisible(true);
    int otherBefore = other.Shows;
    // Broadcast, as the shell does: the application's window hears it too.
    SendMessageA(TSharedWindow::Current(), TTrayIcon::TaskbarCreatedMessage(), 0, 0);
    SendMessageA(App().Handle(), TTrayIcon::TaskbarCreatedMessage(), 0, 0);
    EXPECT_EQ(icon->Shows, 0) << "an icon that is not visible was shown";
    EXPECT_EQ(other.Shows, otherBefore + 1);
    icon->SetIconVisible(true);
    int before = icon->Shows;
    SendMessageA(TSharedWindow::Current(), TTrayIcon::TaskbarCreatedMessage(), 0, 0);
    SendMessageA(App().Handle(), TTrayIcon::TaskbarCreatedMessage(), 0, 0);
    EXPECT_EQ(icon->Shows, before + 1);
    EXPECT_EQ(other.Shows, otherBefore + 2);
}

TEST_F(TrayIcon, RightButtonOpensTheMenuAtTheCursorAndItClosesAgain) {
    TPopupMenu* menu = new TPopupMenu(form);
    menu->Add(new TMenuItem(form, "Options"));
    icon->SetPopupMenu(menu);
    icon->Loaded();
    int downs = 0;
    icon->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int, int) {
        if (b == mbRight) ++downs;
    };
    // Close the menu from inside its own loop, as a click elsewhere would.
    UINT_PTR closer = SetTimer(nullptr, 0, 300, CloseMenu);
    DWORD start = GetTickCount();
    Send(WM_RBUTTONDOWN);
    KillTimer(nullptr, closer);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(menu->PopupComponent, icon);
    EXPECT_LT(GetTickCount() - start, 5000u);
    delete menu;
    EXPECT_EQ(icon->PopupMenu(), nullptr);
}

TEST_F(TrayIcon, ADoubleClickChoosesTheFirstDefaultMenuItemOnlyWhenTheMenuPopsUpByItself) {
    TPopupMenu* menu = new TPopupMenu(form);
    int chosen[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        auto* item = new TMenuItem(form, "item");
        item->Default = i > 0;
        item->OnClick = [&chosen, i](TObject*) { ++chosen[i]; };
        menu->Add(item);
    }
    icon->SetPopupMenu(menu);
    icon->Loaded();
    Send(WM_LBUTTONDBLCLK);
    EXPECT_EQ(chosen[0], 0);
    EXPECT_EQ(chosen[1], 1) << "not the default item of the lowest index";
    EXPECT_EQ(chosen[2], 0);
    icon->LeftPopup = true;  // the left button opens the menu instead
    Send(WM_LBUTTONDBLCLK);
    icon->LeftPopup = false;
    menu->AutoPopup = false;
    Send(WM_LBUTTONDBLCLK);
    EXPECT_EQ(chosen[1], 1);
}

TEST_F(TrayIcon, RightAndMiddleButtonsReportTheirButtonAndVersionZeroIgnoresTheNewerNotifications) {
    std::vector<std::pair<TMouseButton, TShiftState>> downs, ups;
    icon->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int, int) { downs.emplace_back(b, s); };
    icon->OnMouseUp = [&](TObject*, TMouseButton b, TShiftState s, int, int) { ups.emplace_back(b, s); };
    icon->Loaded();
    Send(WM_RBUTTONDOWN);  // no menu: nothing pops up
    Send(WM_RBUTTONUP);
    Send(WM_MBUTTONDOWN);
    Send(WM_MBUTTONUP);
    Send(WM_CONTEXTMENU);
    Send(NIN_SELECT);
    Send(NIN_KEYSELECT);
    ASSERT_EQ(downs.size(), 2u);
    ASSERT_EQ(ups.size(), 2u) << "version 0 reported a notification of the newer protocol";
    EXPECT_EQ(downs[0].first, mbRight);
    EXPECT_TRUE(downs[0].second & ssRight);
    EXPECT_EQ(ups[0].first, mbRight);
    EXPECT_EQ(downs[1].first, mbMiddle);
    EXPECT_TRUE(ups[1].second & ssMiddle);
    icon->BehaviourVersion = 1;
    Send(WM_RBUTTONUP);
    Send(WM_CONTEXTMENU);
    EXPECT_EQ(ups.size(), 3u);
    EXPECT_EQ(ups.back().first, mbRight);
}

TEST_F(TrayIcon, ANewCycleIntervalRestartsAtTheFirstImageAndStoppingKeepsTheLastOne) {
    TImageList* list = MakeList(3);
    icon->SetIconList(list);
    std::vector<int> next;
    icon->OnCycle = [&](TObject*, int n) { next.push_back(n); };
    icon->SetCycleInterval(20);
    icon->SetCycleIcons(true);
    icon->Loaded();
    PumpUntil(3000, [&] { return next.size() >= 2; });
    ASSERT_GE(next.size(), 2u);
    icon->SetCycleInterval(30);
    EXPECT_EQ(icon->IconIndex(), 0);
    size_t at = next.size();
    PumpUntil(3000, [&] { return next.size() >= at + 1; });
    ASSERT_GT(next.size(), at);
    EXPECT_EQ(next[at], 2) << "the animation did not start again at image 0";
    icon->SetCycleIcons(false);
    EXPECT_FALSE(icon->Icon().Empty()) << "stopping took the picture away";
    icon->SetIconList(nullptr);
}

TEST(TrayIconShared, IconsHaveTheirOwnIdentityAndEachHearsOnlyItsCallbacks) {
    App();
    TTrayIcon a(nullptr), b(nullptr);
    EXPECT_NE(a.Identity(), b.Identity());
    int clicksA = 0, clicksB = 0;
    a.OnClick = [&](TObject*) { ++clicksA; };
    b.OnClick = [&](TObject*) { ++clicksB; };
    a.Loaded();
    b.Loaded();
    for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP})
        SendMessageA(TSharedWindow::Current(), WM_TRAYNOTIFY, b.Identity(), m);
    EXPECT_EQ(clicksA, 0);
    EXPECT_EQ(clicksB, 1);
}

TEST(SimpleTimer, StartingARunningTimerRestartsItsCount) {
    App();
    int ticks = 0;
    TSimpleTimer t([&](TSimpleTimer*) { ++ticks; });
    EXPECT_FALSE(t.Active());
    t.Start(400);
    EXPECT_TRUE(t.Active());
    for (int i = 0; i < 6; ++i) {  // keeps restarting before it can fire
        Pump(100);
        t.Start(400);
    }
    EXPECT_EQ(ticks, 0);
    PumpUntil(3000, [&] { return ticks > 0; });
    EXPECT_GT(ticks, 0);
    t.Stop();
    EXPECT_FALSE(t.Active());
}
}  // namespace
