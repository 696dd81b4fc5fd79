// The options form in-process under Wine: its start-up state, menu, layout, and the way
// LoadSettings, SaveSettings and the buttons move values between controls, file and Run key.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <sstream>
#include <typeinfo>

#include "tests/support/TestFiles.h"
#include "app/Main_win.h"
#include "ui/IniFiles_win.h"
#include "ui/Registry_win.h"

#include "tests/app/OptionsFormFixture_win.h"

using namespace wintest;

namespace {

bool RunValue(std::string& Value) {
    TRegistry reg(HKEY_CURRENT_USER);
    return reg.OpenKeyReadOnly(RunKeyPath) && reg.ReadString(RunValueName, Value);
}

TEST_F(OptionsForm, StartsHiddenWithTheRestingIconAndTheTimersArmed) {
    EXPECT_FALSE(App().ShowMainForm);
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(IsWindowVisible(App().Handle()));
    EXPECT_EQ(App().MainForm, form);
    EXPECT_TRUE(form->ctIcon->IconVisible());
    EXPECT_FALSE(form->ctIcon->CycleIcons());
    EXPECT_EQ(form->ctIcon->IconList(), nullptr);
    EXPECT_FALSE(form->ctIcon->Icon().Empty());
    EXPECT_TRUE(form->ctIcon->MinimizeToTray);
    EXPECT_EQ(form->ctIcon->CycleInterval(), 150u);
    EXPECT_FALSE(form->Timer->Enabled());
    EXPECT_EQ(form->Timer->Interval(), 20000u);
    EXPECT_TRUE(form->Timer1->Enabled());
    EXPECT_EQ(form->Timer1->Interval(), 30u * 60000u);
    EXPECT_EQ(form->ImageList1->Count(), 12);
    EXPECT_EQ(form->HeaderImages->Count(), 4);
}

TEST_F(OptionsForm, TrayMenuHasItsSevenEntriesInOrderWithImagesAndStates) {
    struct Entry {
        const char* Caption;
        int Image;
        bool Enabled;
    };
    const Entry expected[] = {{"Options", 7, true},
                              {"Show Latest Popup", -1, false},
                              {"Check for New Version", -1, true},
                              {"Exit", -1, true},
                              {"-", -1, true},
                              {"Search for Software...", 11, true},
                              {"Check for News...", 6, true}};
    ASSERT_EQ(form->pmTray->Count(), 7);
    EXPECT_EQ(form->pmTray->Images(), form->ImageList1);
    EXPECT_EQ(form->ctIcon->PopupMenu(), form->pmTray);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(form->pmTray->Items(i)->Caption, expected[i].Caption);
        EXPECT_EQ(form->pmTray->Items(i)->ImageIndex, expected[i].Image) << i;
        EXPECT_EQ(form->pmTray->Items(i)->Enabled, expected[i].Enabled) << i;
    }
    HMENU h = form->pmTray->Handle();
    ASSERT_EQ(GetMenuItemCount(h), 7);
    char text[64];
    GetMenuStringA(h, 6, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Check for News...");
    EXPECT_TRUE(GetMenuState(h, 4, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_TRUE(GetMenuState(h, 1, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(h, 0, MF_BYPOSITION) & MF_GRAYED);
}

TEST_F(OptionsForm, LayoutHasTheCaptionsSizesAndTabsOfTheDialog) {
    EXPECT_EQ(form->Caption(), "Options");
    RECT r;
    GetClientRect(form->Handle(), &r);
    EXPECT_EQ(r.right, 407);
    EXPECT_EQ(r.bottom, 316);
    LONG style = GetWindowLongA(form->Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    ASSERT_EQ(form->pcOptions->PageCount(), 3);
    const char* tabs[] = {"Settings", "Connection", "About"};
    for (int i = 0; i < 3; ++i) {
        char text[32] = {};
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(form->pcOptions->Handle(), TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, tabs[i]);
    }
    EXPECT_EQ(form->pcOptions->ActivePageIndex(), 0);
    EXPECT_EQ(form->rbLastAdditions->Caption(), "Latest Additions");
    EXPECT_EQ(form->rbTop10->Caption(), "Top 10 downloads");
    EXPECT_EQ(form->chbLoadOnStartup->Caption(), "Load on Windows start up");
    EXPECT_EQ(form->chbUseProxy->Caption(), "Use Proxy");
    EXPECT_EQ(form->btnCheckUpdates->Caption(), "Check for Update");
    EXPECT_EQ(form->edProxPass->PasswordChar(), '*');
    EXPECT_EQ(form->seRefresh->Range().MinValue, 30);
    EXPECT_EQ(form->seRefresh->Range().MaxValue, 1000);
    EXPECT_EQ(form->seDuration->Range().MinValue, 5);
    EXPECT_EQ(form->seDuration->Range().MaxValue, 5120);
    EXPECT_EQ(form->lbVersion->Caption(), "1.0.0.0");
    EXPECT_EQ(form->Label13->Caption(), MakerWebAddress);
    // Every control of a tab lies inside the tab's area.
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* c = dynamic_cast<TWinControl*>(form->Components(i));
        if (!c || !c->Handle() || GetParent(c->Handle()) == form->Handle()) continue;
        HWND parent = GetParent(c->Handle());
        RECT pr, cr;
        GetWindowRect(parent, &pr);
        GetWindowRect(c->Handle(), &cr);
        if (dynamic_cast<TTabSheet*>(c)) continue;
        EXPECT_TRUE(cr.left >= pr.left && cr.right <= pr.right && cr.top >= pr.top && cr.bottom <= pr.bottom)
            << c->Caption() << " (" << typeid(*c).name() << ") sticks out of its page: " << cr.left - pr.left
            << "," << cr.top - pr.top << " " << cr.right - pr.left << "," << cr.bottom - pr.top << " in "
            << pr.right - pr.left << "x" << pr.bottom - pr.top;
    }
}

TEST_F(OptionsForm, FirstStartShowsTheDefaultsWithTheProxyOff) {
    form->FormShow();
    EXPECT_TRUE(form->rbLastAdditions->Checked());
    EXPECT_FALSE(form->rbTop10->Checked());
    EXPECT_EQ(form->seRefresh->Value(), 30);
    EXPECT_EQ(form->seDuration->Value(), 20);
    EXPECT_EQ(form->edProxPort->Text(), "8080");
    EXPECT_EQ(form->edProxServer->Text(), "");
    EXPECT_FALSE(form->chbUseProxy->Checked());
    EXPECT_FALSE(form->chbAuthenticate->Checked());
    EXPECT_FALSE(form->chbLoadOnStartup->Checked());
    for (TWinControl* c :
         std::initializer_list<TWinControl*>{form->gbProxy, form->edProxServer, form->edProxPort,
                                             form->edProxName, form->edProxPass, form->chbAuthenticate})
        EXPECT_FALSE(c->Enabled());
    EXPECT_EQ(form->TreeCombo->Selection(), -1) << "the default ID 00 names no category";
}

TEST_F(OptionsForm, LoadingClampsReadsHexAndWiresTheProxyControls) {
    Write("Refresh", "5");
    Write("Duration", "0x270F");  // 9999
    Write("ProxyUse", "1");
    Write("ProxyAuth", "0");
    Write("ProxyPass", "\x9E\x9D\x9C");
    Write("ID", "AA");
    form->FormShow();
    EXPECT_EQ(form->seRefresh->Value(), 30);
    EXPECT_EQ(form->seDuration->Value(), 5120);
    EXPECT_EQ(form->Timer->Interval(), 5120u * 1000u);
    EXPECT_EQ(form->Timer1->Interval(), 30u * 60000u);
    EXPECT_TRUE(form->chbUseProxy->Checked());
    EXPECT_TRUE(form->gbProxy->Enabled());
    EXPECT_TRUE(form->edProxPass->Enabled());
    EXPECT_FALSE(form->chbAuthenticate->Checked());
    EXPECT_EQ(form->edProxPass->Text(), "abc");
    EXPECT_EQ(form->TreeCombo->Selection(), 0);
}

TEST_F(OptionsForm, NewsTypeFollowsTheRadioGroupRules) {
    Write("LastAdditions", "1");
    Write("Top10", "1");
    form->FormShow();
    EXPECT_FALSE(form->rbLastAdditions->Checked());
    EXPECT_TRUE(form->rbTop10->Checked());
    Write("LastAdditions", "0");
    Write("Top10", "0");
    form->FormShow();
    EXPECT_FALSE(form->rbLastAdditions->Checked());
    EXPECT_FALSE(form->rbTop10->Checked());
}

TEST_F(OptionsForm, OkSavesTheFileInOrderSetsTheRunValueAndHides) {
    form->miOptionsClick(nullptr);
    ASSERT_TRUE(form->Visible());
    form->rbTop10->SetChecked(true);
    form->seRefresh->SetValue(45);
    form->seDuration->SetText("7");
    form->edProxServer->SetText("proxy.lan");
    form->edProxPass->SetText("abc");
    form->chbLoadOnStartup->SetChecked(true);
    form->TreeCombo->SetSelection(0);
    Press(form->btnOk);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(Stored("LastAdditions"), "0");
    EXPECT_EQ(Stored("Top10"), "1");
    EXPECT_EQ(Stored("ID"), "AA");
    EXPECT_EQ(Stored("Refresh"), "45");
    EXPECT_EQ(Stored("Duration"), "7");
    EXPECT_EQ(Stored("ProxyPort"), "8080");
    EXPECT_EQ(Stored("ProxyPass"), "\x9E\x9D\x9C");
    EXPECT_EQ(Stored("ProxyUse"), "0");
    std::string text = ReadWholeFile(path);
    size_t last = 0;
    for (const char* key : {"LastAdditions=", "Top10=", "ID=", "ProxyServer=", "Refresh=", "Duration=",
                            "ProxyPort=", "ProxyName=", "ProxyPass=", "ProxyUse=", "ProxyAuth="}) {
        size_t at = text.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at + 1, last) << key << " is out of order";
        last = at;
    }
    std::string run;
    ASSERT_TRUE(RunValue(run));
    EXPECT_EQ(run, ExeFileName());
    EXPECT_EQ(form->Timer1->Interval(), 45u * 60000u);
    EXPECT_EQ(form->Timer->Interval(), 7000u);

    // Unchecking the box and saving again removes the value.
    form->miOptionsClick(nullptr);
    EXPECT_TRUE(form->chbLoadOnStartup->Checked());
    form->chbLoadOnStartup->SetChecked(false);
    Press(form->btnOk);
    EXPECT_FALSE(RunValue(run));
}

TEST_F(OptionsForm, AProxyUserNameWithBlanksOrQuotesAtItsEndsComesBackAsTyped) {
    for (const char* name : {" anna", "anna ", "\"anna\"", "'a'", "DOMAIN\\anna"}) {
        form->FormShow();
        form->edProxName->SetText(name);
        form->SaveSettings();
        form->edProxName->SetText("");
        form->FormShow();
        EXPECT_EQ(form->edProxName->Text(), name);
    }
}

TEST_F(OptionsForm, TheSavedCategoryIsMatchedWithCase) {
    Write("ID", "aa");
    form->FormShow();
    EXPECT_EQ(form->TreeCombo->Selection(), -1);
    Write("ID", "AA");
    form->FormShow();
    EXPECT_EQ(form->TreeCombo->Selection(), 0);
    Write("ID", "aa");
    form->FormShow();
    EXPECT_EQ(form->TreeCombo->Selection(), -1) << "the rebuilt picker kept the old selection";
}

TEST_F(OptionsForm, EveryShowingRebuildsThePickerFromTheCatalogue) {
    WriteCatalogue("[Games]\nAction=12\nArcade=12\n[Utilities]\nBackup=40\n");
    Write("ID", "12");
    form->FormShow();
    form->FormShow();
    TTreeComboBox* combo = form->TreeCombo;
    EXPECT_EQ(combo->Items().Count(), 6) << "showing again added nodes";
    EXPECT_EQ(TreeView_GetCount(combo->Tree()->Handle()), 6u);
    EXPECT_EQ(combo->Selection(), 3) << "not the last node with the saved ID";
    EXPECT_EQ(combo->Text(), "Arcade");
    EXPECT_EQ(form->SelectedCategory()->CategoryID, "12");

    // Without a catalogue the picker offers all categories alone, and the settings load.
    DeleteFileA(catalogue.c_str());
    Write("ID", "AA");
    Write("Refresh", "45");
    form->FormShow();
    EXPECT_EQ(combo->Items().Count(), 1);
    EXPECT_EQ(combo->Selection(), 0);
    EXPECT_EQ(combo->Text(), "All Categories");
    EXPECT_EQ(form->seRefresh->Value(), 45);
}

TEST_F(OptionsForm, ThePickedCategoryIsSelectedAgainAfterARestart) {
    WriteCatalogue("[Games]\nAction=12\nPuzzle=13\n[Utilities]\nBackup=40\n");
    form->miOptionsClick(nullptr);
    TTreeComboBox* combo = form->TreeCombo;
    combo->SetText("ba");
    combo->DropDown();
    ASSERT_TRUE(combo->DroppedDown());
    PostMessageA(combo->Tree()->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    PumpUntil(1000, [&] { return !combo->DroppedDown(); });
    EXPECT_EQ(combo->Text(), "Backup");
    Press(form->btnOk);
    EXPECT_EQ(Stored("ID"), "40");

    delete form;
    form = new TOptionsForm(&App());
    form->SettingsFile = path;
    form->CategoriesFile = catalogue;
    form->FormShow();
    EXPECT_EQ(form->TreeCombo->Selection(), 5);
    EXPECT_EQ(form->TreeCombo->Text(), "Backup");
}

TEST_F(OptionsForm, SavingWithNoCategoryKeepsTheSavedID) {
    Write("ID", "17");
    form->FormShow();
    ASSERT_EQ(form->TreeCombo->Selection(), -1);
    form->SaveSettings();
    EXPECT_EQ(Stored("ID"), "17");
}

TEST_F(OptionsForm, AFileThatCannotBeWrittenIsReportedAndTheFormStaysOpen) {
    CreateDirectoryA(path.c_str(), nullptr);  // a folder where the file should be
    form->miOptionsClick(nullptr);
    form->chbLoadOnStartup->SetChecked(true);
    Press(form->btnOk);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + path);
    EXPECT_TRUE(form->Visible());
    std::string run;
    EXPECT_FALSE(RunValue(run)) << "the Run key was changed after a failed save";
    form->ctIcon->HideMainForm();
}

TEST_F(OptionsForm, AValueTheFileCannotHoldIsRefusedAndNothingIsWritten) {
    const std::pair<TEdit * TOptionsForm::*, const char*> cases[] = {
        {&TOptionsForm::edProxServer, "proxy\r\nlan"},
        {&TOptionsForm::edProxName, "an\nna"},
        {&TOptionsForm::edProxPass, "pa\xFF"}};
    for (const auto& c : cases) {
        errors.clear();
        DeleteFileA(path.c_str());
        form->miOptionsClick(nullptr);
        (form->*c.first)->SetText(c.second);
        Press(form->btnOk);
        EXPECT_EQ(errors.size(), 1u) << c.second;
        EXPECT_TRUE(form->Visible()) << c.second;
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES)
            << c.second << ": a file was written";
        form->ctIcon->HideMainForm();
    }
}

// Leaves the Run key readable only, as a locked-down account has it, until it goes.
class RunKeyLock {
public:
    RunKeyLock() {
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, nullptr, 0, READ_CONTROL | WRITE_DAC,
                                  nullptr, &FKey, nullptr),
                  ERROR_SUCCESS);
        DWORD size = sizeof(FSaved);
        EXPECT_EQ(RegGetKeySecurity(FKey, DACL_SECURITY_INFORMATION, FSaved, &size), ERROR_SUCCESS);
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &FEveryone);
        auto* acl = reinterpret_cast<PACL>(FAcl);
        InitializeAcl(acl, sizeof(FAcl), ACL_REVISION);
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, FEveryone);
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
        EXPECT_EQ(RegSetKeySecurity(FKey, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    }
    ~RunKeyLock() {
        EXPECT_EQ(RegSetKeySecurity(FKey, DACL_SECURITY_INFORMATION, FSaved), ERROR_SUCCESS);
        FreeSid(FEveryone);
        RegCloseKey(FKey);
    }

private:
    HKEY FKey = nullptr;
    PSID FEveryone = nullptr;
    alignas(8) BYTE FSaved[4096] = {};
    alignas(8) BYTE FAcl[256] = {};
};

TEST_F(OptionsForm, ARunValueThatCannotBeChangedIsReportedAfterTheFileIsSaved) {
    for (bool enable : {true, false}) {
        form->SetRunAtStartup(!enable);
        form->miOptionsClick(nullptr);
        form->chbLoadOnStartup->SetChecked(enable);
        form->seRefresh->SetValue(enable ? 45 : 50);
        errors.clear();
        {
            RunKeyLock lock;
            Press(form->btnOk);
        }
        ASSERT_EQ(errors.size(), 1u) << "enable " << enable;
        EXPECT_NE(errors[0].find(RunKeyPath), std::string::npos) << errors[0];
        EXPECT_NE(errors[0].find(RunValueName), std::string::npos) << errors[0];
        EXPECT_TRUE(form->Visible()) << errors[0];
        std::string run;
        EXPECT_EQ(RunValue(run), !enable) << errors[0];
        // The file is saved whole and its intervals are in force.
        EXPECT_EQ(Stored("ProxyAuth"), "0");
        EXPECT_EQ(form->Timer1->Interval(), (enable ? 45u : 50u) * 60000u);
        form->ctIcon->HideMainForm();
    }
}

TEST_F(OptionsForm, CancelHidesKeepsTheControlsAndShowingAgainReloadsTheFile) {
    form->miOptionsClick(nullptr);
    form->pcOptions->SetActivePageIndex(2);
    form->rbTop10->SetChecked(true);
    Press(form->btnCancel);
    EXPECT_FALSE(form->Visible());
    EXPECT_TRUE(form->rbTop10->Checked()) << "cancel restored the controls";
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "cancel wrote the file";
    form->ctIcon->OnDblClick(form->ctIcon);
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->pcOptions->ActivePageIndex(), 0);
    EXPECT_TRUE(form->rbLastAdditions->Checked());
    EXPECT_FALSE(form->rbTop10->Checked());
    form->ctIcon->HideMainForm();
}
}  // namespace

namespace {
void PumpFor(int Ms) { wintest::Pump(Ms); }

TEST_F(OptionsForm, EscapeWorksLikeCancelAndEnterLikeOk) {
    form->miOptionsClick(nullptr);
    SetActiveWindow(form->Handle());
    if (GetActiveWindow() != form->Handle()) GTEST_SKIP() << "the form could not be activated";
    SetFocus(form->edProxServer->Handle());
    PostMessageA(form->edProxServer->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpFor(300);
    EXPECT_FALSE(form->Visible()) << "Escape did not cancel";
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);

    form->miOptionsClick(nullptr);
    SetActiveWindow(form->Handle());
    SetFocus(form->edProxServer->Handle());
    PostMessageA(form->edProxServer->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    PumpFor(300);
    EXPECT_FALSE(form->Visible()) << "Enter did not press OK";
    EXPECT_EQ(Stored("Refresh"), "30") << "Enter did not save";
}
}  // namespace

namespace {
void HoldKeys(bool Ctrl, bool Shift) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = Ctrl ? 0x80 : 0;
    keys[VK_SHIFT] = Shift ? 0x80 : 0;
    SetKeyboardState(keys);
}

TEST_F(OptionsForm, TheFocusGoesToAControlAndComesBackToTheOneLastUsed) {
    form->miOptionsClick(nullptr);
    SetActiveWindow(form->Handle());
    PumpFor(100);
    if (GetActiveWindow() != form->Handle()) GTEST_SKIP() << "the form could not be activated";
    HWND focus = GetFocus();
    EXPECT_TRUE(focus && IsChild(form->Handle(), focus)) << "the keyboard focus is on the bare form";

    SetFocus(form->seRefresh->Handle());
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetActiveWindow(other);
    PumpFor(50);
    SetActiveWindow(form->Handle());
    PumpFor(50);
    EXPECT_EQ(GetFocus(), form->seRefresh->Handle()) << "coming back lost the control last used";
    DestroyWindow(other);
    form->ctIcon->HideMainForm();
}

TEST_F(OptionsForm, CtrlTabTurnsThePagesBothWaysRoundTheEnds) {
    form->miOptionsClick(nullptr);
    SetActiveWindow(form->Handle());
    PumpFor(100);
    if (GetActiveWindow() != form->Handle()) GTEST_SKIP() << "the form could not be activated";
    SetFocus(form->rbTop10->Handle());
    auto press = [&](bool Shift) {
        HoldKeys(true, Shift);
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        PumpFor(100);
        HoldKeys(false, false);
        return form->pcOptions->ActivePageIndex();
    };
    EXPECT_EQ(press(false), 1);
    EXPECT_TRUE(form->TabSheet2->Visible());
    EXPECT_FALSE(form->TabSheet1->Visible());
    HWND focus = GetFocus();
    EXPECT_TRUE(focus && IsWindowVisible(focus)) << "the focus stayed on a hidden page";
    EXPECT_EQ(press(false), 2);
    EXPECT_EQ(press(false), 0);
    EXPECT_EQ(press(true), 2);
    EXPECT_EQ(press(true), 1);
    // A plain Tab still moves between controls and leaves the page alone.
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    PumpFor(100);
    EXPECT_EQ(form->pcOptions->ActivePageIndex(), 1);
    form->ctIcon->HideMainForm();
}
}  // namespace
