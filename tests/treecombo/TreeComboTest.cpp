// The tree combo under Wine, on a real form: what opens and closes the drop-down, where it
// opens, what the edit shows, and the tree view following the nodes.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "treecombo/CategoryTree.h"
#include "treecombo/TreeComboBox_win.h"
#include "ui/StdCtrls_win.h"

#include "tests/support/WinTestApp_win.h"
#include "tests/treecombo/Catalogue.h"

using namespace wintest;

namespace {

class TreeCombo : public ::testing::Test {
protected:
    void SetUp() override {
        form = new TForm(&App());
        form->SetClientSizeCentered(400, 240);
        // On a page, as on the options form.
        auto* pages = new TPageControl(form, form, 8, 8, 384, 224);
        combo = new TTreeComboBox(form, new TTabSheet(form, pages, "Page"), 20, 20, 237, 21);
        combo->DropWidth = 330;
        combo->DropHeight = 150;
        TMemIniFile ini;
        catalogue::Load(ini, catalogue::Small);
        BuildCategoryTree(ini, combo->Items(), data);
        combo->OnDropDown = [this](TObject* Sender, bool& Accept) {
            EXPECT_EQ(Sender, combo);
            ++dropDowns;
            Accept = accept;
        };
        combo->OnDropUp = [this](TObject*, bool Canceled) { dropUps.push_back(Canceled); };
        form->Show();
        SetActiveWindow(form->Handle());
        SetFocus(combo->Handle());
        Pump(50);
        if (GetActiveWindow() != form->Handle()) GTEST_SKIP() << "the form could not be activated";
    }
    void TearDown() override { delete form; }

    HWND Edit() const { return combo->Handle(); }
    HWND Drop() const { return combo->DropForm()->Handle(); }
    HWND Tree() const { return combo->Tree()->Handle(); }

    // A message as the user's input would bring it: posted, then the queue runs.
    void Post(HWND Wnd, UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0) {
        PostMessageA(Wnd, Msg, WParam, LParam);
        Pump(60);
    }
    void Key(HWND Wnd, WPARAM Key) { Post(Wnd, WM_KEYDOWN, Key); }
    void Type(const std::string& Text) {
        for (char c : Text)
            PostMessageA(Edit(), WM_CHAR, static_cast<unsigned char>(c), 0);
        Pump(60);
    }
    void ClickButton() {
        PostMessageA(combo->Button()->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        Post(combo->Button()->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    // The centre of a shown node's label in the tree's client area.
    LPARAM LabelCentre(int Index) {
        TTreeNode* node = combo->Items().Item(Index);
        RECT r = {};
        for (HTREEITEM i = TreeView_GetFirstVisible(Tree()); i; i = TreeView_GetNextVisible(Tree(), i)) {
            TVITEMA tv = {};
            tv.mask = TVIF_PARAM;
            tv.hItem = i;
            TreeView_GetItem(Tree(), &tv);
            if (reinterpret_cast<TTreeNode*>(tv.lParam) == node) TreeView_GetItemRect(Tree(), i, &r, TRUE);
        }
        return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    std::string SelectedItemText() {
        char text[64] = {};
        TVITEMA tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = TreeView_GetSelection(Tree());
        tv.pszText = text;
        tv.cchTextMax = sizeof(text);
        if (!tv.hItem || !TreeView_GetItem(Tree(), &tv)) return "<none>";
        return text;
    }

    TForm* form = nullptr;
    TTreeComboBox* combo = nullptr;
    TNodeDataList data;
    bool accept = true;
    int dropDowns = 0;
    std::vector<bool> dropUps;
};

TEST_F(TreeCombo, OpensByTheButtonTheDownArrowAndF4UnderTheEdit) {
    struct TCase {
        const char* Trigger;
        std::function<void()> Open;
    };
    const TCase cases[] = {{"button", [&] { ClickButton(); }},
                           {"Down", [&] { Key(Edit(), VK_DOWN); }},
                           {"F4", [&] { Key(Edit(), VK_F4); }}};
    int opened = 0;
    for (const TCase& c : cases) {
        SetFocus(c.Trigger == std::string("button") ? nullptr : Edit());
        c.Open();
        ASSERT_TRUE(combo->DroppedDown()) << c.Trigger;
        EXPECT_EQ(dropDowns, ++opened) << c.Trigger;
        EXPECT_TRUE(IsWindowVisible(Drop())) << c.Trigger;
        EXPECT_EQ(GetFocus(), Tree()) << c.Trigger;
        EXPECT_TRUE(GetWindowLongA(Drop(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        POINT p = {0, 0};
        ClientToScreen(Edit(), &p);
        RECT edit, drop;
        GetWindowRect(Edit(), &edit);
        GetWindowRect(Drop(), &drop);
        EXPECT_EQ(drop.left, p.x) << c.Trigger;
        EXPECT_EQ(drop.top, p.y + edit.bottom - edit.top) << c.Trigger;
        EXPECT_EQ(drop.right - drop.left, ScalePixels(330));
        EXPECT_EQ(drop.bottom - drop.top, ScalePixels(150));
        // Opening again while open does nothing.
        combo->DropDown();
        EXPECT_EQ(dropDowns, opened);
        // F4 in the edit closes an open window as a pick.
        SendMessageA(Edit(), WM_KEYDOWN, VK_F4, 0);
        EXPECT_FALSE(IsWindowVisible(Drop())) << c.Trigger;
        ASSERT_EQ(dropUps.size(), static_cast<size_t>(opened));
        EXPECT_FALSE(dropUps.back()) << c.Trigger;
        Pump(30);
    }
}

TEST_F(TreeCombo, EnterADoubleClickOrASingleClickPicksTheNode) {
    struct TCase {
        const char* Pick;
        TSelectMode Mode;
        int Index;
    };
    for (const TCase& c : {TCase{"Enter", smDblClick, 4}, TCase{"double-click", smDblClick, 1},
                           TCase{"single click", smSingleClick, 1}, TCase{"Enter", smSingleClick, 4}}) {
        combo->SelectMode = c.Mode;
        combo->SetText("");
        combo->Items().FullCollapse();
        combo->SetSelection(0);
        dropUps.clear();
        Key(Edit(), VK_DOWN);
        ASSERT_TRUE(combo->DroppedDown()) << c.Pick;
        if (std::string(c.Pick) == "Enter") {
            Key(Tree(), VK_DOWN);  // Games
            Key(Tree(), VK_DOWN);  // Utilities: Games is closed
            EXPECT_EQ(combo->Text(), "Utilities") << "the edit did not follow the tree";
            Key(Tree(), VK_RETURN);
        } else {
            LPARAM at = LabelCentre(c.Index);
            PostMessageA(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageA(Tree(), WM_LBUTTONUP, 0, at);
            if (c.Mode == smDblClick) {
                PostMessageA(Tree(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
                PostMessageA(Tree(), WM_LBUTTONUP, 0, at);
            }
            Pump(100);
        }
        EXPECT_FALSE(IsWindowVisible(Drop())) << c.Pick;
        EXPECT_EQ(dropUps, std::vector<bool>{false}) << c.Pick;
        EXPECT_EQ(combo->Selection(), c.Index) << c.Pick;
        EXPECT_EQ(combo->Text(), combo->Items().Item(c.Index)->Text()) << c.Pick;
    }
}

TEST_F(TreeCombo, ASingleClickDoesNotPickInDoubleClickMode) {
    Key(Edit(), VK_DOWN);
    LPARAM at = LabelCentre(4);
    PostMessageA(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    Post(Tree(), WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(combo->DroppedDown());
    EXPECT_EQ(combo->Selection(), 4);
    EXPECT_EQ(combo->Text(), "Utilities");
}

TEST_F(TreeCombo, ARightClickSelectsWhenAsked) {
    for (bool select : {false, true}) {
        combo->Tree()->RightClickSelect = select;
        combo->SetSelection(0);
        Key(Edit(), VK_DOWN);
        LPARAM at = LabelCentre(4);
        PostMessageA(Tree(), WM_RBUTTONDOWN, MK_RBUTTON, at);
        Post(Tree(), WM_RBUTTONUP, 0, at);
        EXPECT_EQ(combo->Selection(), select ? 4 : 0) << select;
        EXPECT_TRUE(combo->DroppedDown()) << "a right click picked the node";
        Key(Tree(), VK_ESCAPE);
    }
}

TEST_F(TreeCombo, TheWholeTreeIsCollapsedOrExpandedEachTimeItOpensWhenAsked) {
    TTreeNodes& items = combo->Items();
    auto expanded = [&] {
        return std::to_string(items.Item(1)->Expanded()) + std::to_string(items.Item(4)->Expanded());
    };
    struct TCase {
        bool Collapse, Expand;
        const char* Before;
        const char* Open;
    };
    // Of both, the one set last is in force: setting one clears the other.
    for (const TCase& c : {TCase{true, false, "11", "00"}, TCase{false, true, "00", "11"},
                           TCase{true, true, "11", "00"}, TCase{false, false, "10", "10"}}) {
        combo->SetExpandOnDrop(c.Expand);
        combo->SetCollapseOnDrop(c.Collapse);
        items.Item(1)->SetExpanded(c.Before[0] == '1');
        items.Item(4)->SetExpanded(c.Before[1] == '1');
        combo->SetSelection(0);
        Key(Edit(), VK_DOWN);
        EXPECT_EQ(expanded(), c.Open) << c.Collapse << c.Expand;
        Key(Tree(), VK_ESCAPE);
    }
    combo->SetCollapseOnDrop(true);
    combo->SetExpandOnDrop(true);
    EXPECT_FALSE(combo->CollapseOnDrop());
}

TEST_F(TreeCombo, CancelingRestoresTheTextAndKeepsTheSelection) {
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    struct TCase {
        const char* Cancel;
        std::function<void()> Do;
    };
    const TCase cases[] = {{"Escape", [&] { Key(Tree(), VK_ESCAPE); }},
                           {"F4", [&] { Key(Tree(), VK_F4); }},
                           {"a click outside",
                            [&] {
                                SetActiveWindow(other);
                                Pump(60);
                            }},
                           {"closing the window", [&] { Post(Drop(), WM_CLOSE); }}};
    for (const TCase& c : cases) {
        SetActiveWindow(form->Handle());
        SetFocus(Edit());
        combo->SetText("Puz");
        dropUps.clear();
        Key(Edit(), VK_DOWN);
        ASSERT_TRUE(combo->DroppedDown()) << c.Cancel;
        EXPECT_EQ(combo->Text(), "Puzzle");
        Key(Tree(), VK_DOWN);
        EXPECT_EQ(combo->Text(), "Utilities");
        c.Do();
        EXPECT_FALSE(IsWindowVisible(Drop())) << c.Cancel;
        EXPECT_EQ(combo->Text(), "Puz") << c.Cancel;
        EXPECT_EQ(dropUps, std::vector<bool>{true}) << c.Cancel;
        EXPECT_EQ(combo->Selection(), 4) << c.Cancel;
        EXPECT_TRUE(IsWindow(Drop())) << "closing destroyed the window";
    }
    DestroyWindow(other);
}

TEST_F(TreeCombo, TheTextPicksTheNodeWhenTheWindowOpens) {
    struct TCase {
        const char* Typed;
        int Before;
        int Selected;
        const char* Shown;
    };
    const TCase cases[] = {
        {"pU", -1, 3, "Puzzle"},    // any case, its branch opened
        {"Gamez", -1, 1, "Games"},  // the longest prefix that matches
        {"zzz", -1, -1, "zzz"},     // nothing matches: nothing gets selected
        {"zzz", 5, 5, "Backup"},    // nor does the selection change
    };
    for (const TCase& c : cases) {
        combo->Items().FullCollapse();
        combo->Items().SetSelected(combo->Items().Item(c.Before));
        combo->SetText("");
        SetFocus(Edit());
        Type(c.Typed);
        ASSERT_EQ(combo->Text(), c.Typed);
        Key(Edit(), VK_DOWN);
        ASSERT_TRUE(combo->DroppedDown()) << c.Typed;
        EXPECT_EQ(GetFocus(), Tree());
        EXPECT_EQ(combo->Selection(), c.Selected) << c.Typed;
        EXPECT_EQ(combo->Text(), c.Shown) << c.Typed;
        if (c.Selected >= 0) {
            EXPECT_EQ(SelectedItemText(), c.Shown) << c.Typed;
            TTreeNode* parent = combo->Items().Item(c.Selected)->Parent();
            EXPECT_TRUE(!parent || parent->Expanded()) << c.Typed;
        }
        Key(Tree(), VK_ESCAPE);
    }
    // The branch of the match is open in the window too.
    combo->Items().FullCollapse();
    combo->SetText("back");
    Key(Edit(), VK_DOWN);
    HTREEITEM utilities =
        TreeView_GetNextSibling(Tree(), TreeView_GetNextSibling(Tree(), TreeView_GetRoot(Tree())));
    EXPECT_TRUE(TreeView_GetItemState(Tree(), utilities, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(SelectedItemText(), "Backup");
}

TEST_F(TreeCombo, ARefusedDropDownStaysClosedWithTheMatchSelected) {
    accept = false;
    Type("ac");
    Key(Edit(), VK_DOWN);
    EXPECT_EQ(dropDowns, 1);
    EXPECT_FALSE(combo->DroppedDown());
    EXPECT_FALSE(IsWindowVisible(Drop()));
    EXPECT_EQ(combo->Selection(), 2);
    EXPECT_EQ(combo->Text(), "ac");
    EXPECT_TRUE(dropUps.empty());
}

TEST_F(TreeCombo, OpensAboveTheEditWhenItDoesNotFitBelow) {
    const int screen = GetSystemMetrics(SM_CYSCREEN);
    struct TCase {
        TDropPosition Position;
        bool NearBottom;
        bool Above;
    };
    for (const TCase& c : {TCase{dpAuto, false, false}, TCase{dpAuto, true, true}, TCase{dpUp, false, true},
                           TCase{dpDown, true, false}}) {
        // Near the bottom, a window opened below would reach past the screen by less than
        // the edit's height.
        RECT f, e;
        GetWindowRect(form->Handle(), &f);
        GetWindowRect(Edit(), &e);
        int top = c.NearBottom ? f.top + screen - (ScalePixels(150) - 10) - e.bottom : 0;
        SetWindowPos(form->Handle(), nullptr, f.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        combo->DropPosition = c.Position;
        combo->DropDown();
        RECT edit, drop;
        GetWindowRect(Edit(), &edit);
        GetWindowRect(Drop(), &drop);
        if (c.Above)
            EXPECT_LT(drop.bottom, edit.bottom) << c.Position << " " << c.NearBottom;
        else
            EXPECT_GE(drop.top, edit.bottom) << c.Position << " " << c.NearBottom;
        combo->CloseUp(true);
    }
}

TEST_F(TreeCombo, OpensWithinItsMonitorWhenTheEditIsNearTheRightEdge) {
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    GetMonitorInfoA(MonitorFromWindow(form->Handle(), MONITOR_DEFAULTTONEAREST), &mi);
    RECT f, e;
    GetWindowRect(form->Handle(), &f);
    GetWindowRect(Edit(), &e);
    // The edit starts 100 pixels from the edge: the window, wider, moves left.
    SetWindowPos(form->Handle(), nullptr, mi.rcWork.right - 100 - (e.left - f.left), f.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    combo->DropDown();
    RECT drop;
    GetWindowRect(Drop(), &drop);
    EXPECT_EQ(drop.right, mi.rcWork.right);
    EXPECT_EQ(drop.right - drop.left, ScalePixels(330));
    combo->CloseUp(true);
}

TEST_F(TreeCombo, TheEditKeepsItsTextBesideTheButton) {
    RECT button, text, client;
    GetWindowRect(combo->Button()->Handle(), &button);
    MapWindowPoints(nullptr, Edit(), reinterpret_cast<POINT*>(&button), 2);
    SendMessageA(Edit(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
    GetClientRect(Edit(), &client);
    EXPECT_LE(text.right, button.left);
    EXPECT_GT(text.right, client.right / 2);
    EXPECT_LE(button.right, client.right);
    EXPECT_LE(button.bottom, client.bottom);
    EXPECT_EQ(SendMessageA(Edit(), WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);

    // A height below the font's is raised to it; the button and text follow a resize.
    combo->SetBounds(20, 20, 300, 4);
    RECT r;
    GetWindowRect(Edit(), &r);
    EXPECT_EQ(r.bottom - r.top, combo->MinHeight());
    EXPECT_GT(combo->MinHeight(), 4);
    combo->SetBounds(20, 20, 300, 24);
    GetWindowRect(combo->Button()->Handle(), &button);
    MapWindowPoints(nullptr, Edit(), reinterpret_cast<POINT*>(&button), 2);
    SendMessageA(Edit(), EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
    GetClientRect(Edit(), &client);
    EXPECT_LE(text.right, button.left);
    EXPECT_LE(button.right, client.right);
    EXPECT_GT(button.left, client.right - ScalePixels(20));
}

TEST_F(TreeCombo, TheButtonShowsItsArrowWhateverTheEditRepaints) {
    // The middle of the arrow glyph, on the screen.
    RECT r;
    GetClientRect(combo->Button()->Handle(), &r);
    POINT p = {(r.right - 7) / 2 + 3, (r.bottom - 4) / 2 + 1};
    ClientToScreen(combo->Button()->Handle(), &p);
    auto arrow = [&] {
        TWindowDC screen(nullptr);
        return GetPixel(screen.Get(), p.x, p.y);
    };
    EXPECT_EQ(arrow(), RGB(0, 0, 0));
    // A themed edit paints its whole frame, client area included, when the focus leaves.
    RedrawWindow(Edit(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(arrow(), RGB(0, 0, 0)) << "the edit painted over its button";
    SendMessageA(Edit(), WM_KILLFOCUS, 0, 0);
    Pump(30);
    EXPECT_EQ(arrow(), RGB(0, 0, 0)) << "the edit's frame was painted over its button";
}

TEST_F(TreeCombo, TheTreeViewFollowsTheNodesAndTheUser) {
    TTreeNodes& items = combo->Items();
    EXPECT_EQ(TreeView_GetCount(Tree()), 6u);
    items.SetSelection(2);
    EXPECT_EQ(SelectedItemText(), "Action");
    items.Item(2)->SetText("Arcade");
    EXPECT_EQ(SelectedItemText(), "Arcade");
    // Closing the branch of the selected node selects the branch, in both.
    items.Item(1)->Collapse(false);
    EXPECT_EQ(items.Selection(), 1);
    EXPECT_EQ(SelectedItemText(), "Games");
    items.SetSelection(99);
    EXPECT_EQ(SelectedItemText(), "<none>");
    items.Insert(items.Item(1), "Audio");
    items.Delete(items.Item(5));  // Utilities and Backup
    EXPECT_EQ(TreeView_GetCount(Tree()), 5u);
    HTREEITEM second = TreeView_GetNextSibling(Tree(), TreeView_GetRoot(Tree()));
    TVITEMA tv = {};
    char text[32] = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = second;
    tv.pszText = text;
    tv.cchTextMax = sizeof(text);
    TreeView_GetItem(Tree(), &tv);
    EXPECT_STREQ(text, "Audio");

    // What the user does in the open tree goes back into the nodes.
    items.FullCollapse();
    combo->SetSelection(2);  // Games
    Key(Edit(), VK_DOWN);
    ASSERT_TRUE(combo->DroppedDown());
    Key(Tree(), VK_RIGHT);
    EXPECT_TRUE(items.Item(2)->Expanded());
    Key(Tree(), VK_DOWN);
    EXPECT_EQ(combo->Selection(), 3);
    EXPECT_EQ(combo->Text(), "Arcade");
}

TEST_F(TreeCombo, AFormFreedWithTheWindowOpenTellsNobody) {
    Key(Edit(), VK_DOWN);
    ASSERT_TRUE(combo->DroppedDown());
    delete form;
    form = nullptr;
    Pump(30);
    EXPECT_TRUE(dropUps.empty());
}

}  // namespace
