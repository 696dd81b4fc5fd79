// The Win32 platform layer under Wine: profile files and the registry through the real
// API, the controls' rules, timers, menus and the JPEG decoder.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "app/Settings.h"
#include "ui/ExtCtrls_win.h"
#include "ui/Forms_win.h"
#include "ui/IniFiles_win.h"
#include "ui/Jpeg_win.h"
#include "ui/Menus_win.h"
#include "ui/Registry_win.h"
#include "ui/ScopedHandles_win.h"
#include "ui/StdCtrls_win.h"

#include "tests/support/WinTestApp_win.h"

using namespace wintest;

namespace {

TEST(IniFile, ValuesSectionsAndKeysRoundTripThroughTheProfileFunctions) {
    std::string path = FreshTempPath("pelorin_ui_test.ini");
    TIniFile ini(path);
    ini.WriteString("Games", "Action", "12");
    ini.WriteString("Games", "Puzzle", "13");
    ini.WriteString("Utilities", "Backup", "40");
    ini.WriteInteger("Settings", "Refresh", 45);
    ini.WriteBool("Settings", "Top10", true);
    EXPECT_EQ(ini.ReadString("Games", "Puzzle", ""), "13");
    EXPECT_EQ(ini.ReadInteger("Settings", "Refresh", 0), 45);
    EXPECT_TRUE(ini.ReadBool("Settings", "Top10", false));
    EXPECT_EQ(ini.ReadString("Games", "Missing", "dflt"), "dflt");
    std::vector<std::string> sections, keys;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, (std::vector<std::string>{"Games", "Utilities", "Settings"}));
    ini.ReadSection("Games", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"Action", "Puzzle"}));
    EXPECT_TRUE(ini.ValueExists("games", "ACTION"));
    ini.DeleteKey("Games", "Action");
    EXPECT_FALSE(ini.ValueExists("Games", "Action"));
    // Long values come back whole.
    std::string big(5000, 'x');
    ini.WriteString("Big", "Value", big);
    EXPECT_EQ(ini.ReadString("Big", "Value", ""), big);
    DeleteFileA(path.c_str());
}

TEST(IniFile, WritesThatCannotBeStoredFailWithTheFilesName) {
    // A folder where the file should be: no write can succeed (a read-only attribute
    // would not stop the tests, which may run with every right).
    std::string path = FreshTempPath("pelorin_blocked.ini");
    CreateDirectoryA(path.c_str(), nullptr);
    TIniFile ini(path);
    try {
        ini.WriteString("Settings", "B", "2");
        FAIL() << "a write into a folder reported success";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
    RemoveDirectoryA(path.c_str());

    TIniFile nowhere("C:\\no\\such\\folder\\settings.ini");
    EXPECT_THROW(nowhere.WriteString("Settings", "A", "1"), EIniFileException);
    // A line break would add a line of its own to the file.
    std::string other = FreshTempPath("pelorin_newline.ini");
    TIniFile injected(other);
    EXPECT_THROW(injected.WriteString("Settings", "A", "1\r\nProxyUse=1"), EIniFileException);
    EXPECT_FALSE(injected.ValueExists("Settings", "ProxyUse"));
    DeleteFileA(other.c_str());
}

TEST(IniFile, EveryStorablePasswordByteSurvivesTheRealFile) {
    std::string path = FreshTempPath("pelorin_pass.ini");
    TIniFile ini(path);
    int checked = 0;
    for (int b = 1; b < 256; ++b) {
        std::string plain(1, static_cast<char>(b));
        for (const std::string& pass : {plain, plain + "x", "x" + plain, plain + "ab" + plain}) {
            if (!PasswordStorable(pass)) continue;
            ini.WriteString("Settings", "ProxyPass", PasswordToIni(pass));
            ASSERT_EQ(PasswordFromIni(ini.ReadString("Settings", "ProxyPass", "")), pass) << "byte " << b;
            ++checked;
        }
    }
    EXPECT_GT(checked, 1000);
    DeleteFileA(path.c_str());
}

TEST(Registry, StringValuesAreWrittenReadAndDeleted) {
    const std::string key = "Software\\PelorinTest\\Run";
    TRegistry reg(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("\\" + key, true));
    EXPECT_TRUE(reg.WriteString("Pelorin", "C:\\Program Files\\Pelorin\\Pelorin.exe"));
    reg.CloseKey();
    TRegistry reader(HKEY_CURRENT_USER);
    ASSERT_TRUE(reader.OpenKeyReadOnly(key));
    std::string value;
    EXPECT_TRUE(reader.ValueExists("Pelorin"));
    EXPECT_TRUE(reader.ReadString("Pelorin", value));
    EXPECT_EQ(value, "C:\\Program Files\\Pelorin\\Pelorin.exe");
    EXPECT_FALSE(reader.WriteString("Other", "x")) << "a read-only key accepted a write";
    reader.CloseKey();
    ASSERT_TRUE(reg.OpenKey(key, false));
    EXPECT_TRUE(reg.DeleteValue("Pelorin"));
    EXPECT_FALSE(reg.ValueExists("Pelorin"));
    EXPECT_TRUE(reg.DeleteValue("Pelorin")) << "deleting a missing value is no error";
    reg.CloseKey();
    EXPECT_FALSE(reg.OpenKey("Software\\PelorinTest\\Missing", false));
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\PelorinTest");
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        form = std::make_unique<TForm>(nullptr);
    }
    std::unique_ptr<TForm> form;
};

TEST_F(Controls, SpinEditClampsWhatIsSetAndReadsGarbageAsTheMinimum) {
    auto* se = new TSpinEdit(form.get(), form.get(), 10, 10, 60, 21, TSpinRange{30, 1000}, 30);
    se->SetValue(5);
    EXPECT_EQ(se->Value(), 30);
    EXPECT_EQ(se->Text(), "30");
    se->SetValue(1001);
    EXPECT_EQ(se->Value(), 1000);
    EXPECT_EQ(static_cast<int>(SendMessageA(se->UpDownHandle(), 0x0400 + 114 /*UDM_GETPOS32*/, 0, 0)), 1000)
        << "the arrows were not moved by SetValue";
    se->SetText("abc");
    EXPECT_EQ(se->Value(), 30);
    se->SetText("700");
    EXPECT_EQ(se->Value(), 700);
    se->SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(se->Handle()));
    EXPECT_FALSE(IsWindowEnabled(se->UpDownHandle()));
}

TEST_F(Controls, CheckingARadioButtonClearsItsSiblingsOnly) {
    auto* gb = new TGroupBox(form.get(), form.get(), 0, 0, 200, 100, "g");
    auto* a = new TRadioButton(form.get(), gb, 10, 20, 80, 17, "Latest Additions");
    auto* b = new TRadioButton(form.get(), gb, 10, 40, 80, 17, "Top 10 downloads");
    auto* other = new TRadioButton(form.get(), form.get(), 10, 120, 80, 17, "elsewhere");
    other->SetChecked(true);
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_TRUE(other->Checked());
    b->SetChecked(false);
    EXPECT_FALSE(a->Checked());
    EXPECT_FALSE(b->Checked());
    // Children of a group box sit beside it, offset by its position.
    RECT r;
    GetWindowRect(a->Handle(), &r);
    RECT g;
    GetWindowRect(gb->Handle(), &g);
    EXPECT_EQ(r.left - g.left, 10);
    EXPECT_EQ(r.top - g.top, 20);
}

TEST_F(Controls, PasswordEditShowsStarsButKeepsTheText) {
    auto* ed = new TEdit(form.get(), form.get(), 10, 10, 100);
    ed->SetPasswordChar('*');
    ed->SetText("secret");
    EXPECT_EQ(ed->PasswordChar(), '*');
    EXPECT_TRUE(GetWindowLongA(ed->Handle(), GWL_STYLE) & ES_PASSWORD);
    EXPECT_EQ(ed->Text(), "secret");
}

TEST_F(Controls, PageControlShowsOnlyTheActivePage) {
    auto* pc = new TPageControl(form.get(), form.get(), 0, 0, 300, 200);
    auto* p1 = new TTabSheet(form.get(), pc, "Settings");
    auto* p2 = new TTabSheet(form.get(), pc, "Connection");
    EXPECT_EQ(pc->ActivePageIndex(), 0);
    EXPECT_TRUE(p1->Visible());
    EXPECT_FALSE(p2->Visible());
    pc->SetActivePage(p2);
    EXPECT_EQ(pc->ActivePage(), p2);
    EXPECT_FALSE(p1->Visible());
    EXPECT_TRUE(p2->Visible());
    pc->SetActivePageIndex(7);  // out of range: nothing changes
    EXPECT_EQ(pc->ActivePageIndex(), 1);
}

TEST_F(Controls, ButtonsRaiseOnClickWhenPressedButCheckBoxesNotWhenSetFromCode) {
    int clicks = 0, checks = 0;
    auto* btn = new TButton(form.get(), form.get(), 10, 10, 75, 25, "OK");
    btn->OnClick = [&](TObject*) { ++clicks; };
    auto* chb = new TCheckBox(form.get(), form.get(), 10, 40, 75, 17, "Use Proxy");
    chb->OnClick = [&](TObject*) { ++checks; };
    SendMessageA(btn->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
    chb->SetChecked(true);
    EXPECT_EQ(checks, 0);
    SendMessageA(chb->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(checks, 1);
    EXPECT_FALSE(chb->Checked());
}

TEST_F(Controls, AnActivatedFormGivesTheFocusToAControlOrKeepsItWhenItHasNone) {
    form->Show();
    SetActiveWindow(form->Handle());
    if (GetActiveWindow() != form->Handle()) GTEST_SKIP() << "the form could not be activated";
    EXPECT_EQ(GetFocus(), form->Handle()) << "a form without controls lost the keyboard";
    auto* first = new TEdit(form.get(), form.get(), 10, 10, 100);
    auto* second = new TEdit(form.get(), form.get(), 10, 40, 100);
    SetActiveWindow(nullptr);
    SetFocus(nullptr);
    SetActiveWindow(form->Handle());
    EXPECT_EQ(GetFocus(), first->Handle());
    SetFocus(second->Handle());
    SetFocus(nullptr);  // as when the application window passes the focus on
    SetFocus(form->Handle());
    EXPECT_EQ(GetFocus(), first->Handle()) << "the form kept the focus itself";
    form->Hide();
}

TEST_F(Controls, ErrorsInHandlersReachTheTopLevelHandlerAndTheProgramGoesOn) {
    std::vector<std::string> shown;
    App().OnException = [&](const std::string& m) { shown.push_back(m); };
    auto* btn = new TButton(form.get(), form.get(), 10, 10, 75, 25, "OK");
    btn->OnClick = [](TObject*) { throw Exception("Unable to write to C:\\x\\settings.ini"); };
    SendMessageA(btn->Handle(), BM_CLICK, 0, 0);
    App().OnException = nullptr;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Unable to write to C:\\x\\settings.ini");
}

TEST(Timer, FiresAfterItsIntervalAndSettingTheIntervalRestartsIt) {
    App();
    TTimer timer(nullptr, 50, false);
    int ticks = 0;
    timer.OnTimer = [&](TObject*) { ++ticks; };
    PumpUntil(150, [] { return false; });
    EXPECT_EQ(ticks, 0) << "a disabled timer fired";
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Running());
    PumpUntil(3000, [&] { return ticks > 0; });
    EXPECT_GT(ticks, 0);
    timer.SetInterval(600000);
    int before = ticks;
    PumpUntil(200, [] { return false; });
    EXPECT_EQ(ticks, before);
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Running());
}

TEST(PopupMenu, BuildsItsItemsWithStatesAndSeparators) {
    App();
    TComponent owner;
    TImageList images(&owner);
    TPopupMenu menu(&owner);
    menu.SetImages(&images);
    auto* a = new TMenuItem(&owner, "Options", 7);
    auto* b = new TMenuItem(&owner, "Show Latest Popup");
    b->Enabled = false;
    auto* sep = new TMenuItem(&owner, "-");
    menu.Add(a);
    menu.Add(b);
    menu.Add(sep);
    HMENU h = menu.Handle();
    ASSERT_EQ(GetMenuItemCount(h), 3);
    char text[64];
    GetMenuStringA(h, 0, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Options");
    EXPECT_TRUE(GetMenuState(h, 1, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(h, 2, MF_BYPOSITION) & MF_SEPARATOR);
    int clicked = 0;
    a->OnClick = [&](TObject*) { ++clicked; };
    b->OnClick = [&](TObject*) { ++clicked; };
    SendMessageA(menu.Window(), WM_COMMAND, a->Command(), 0);
    SendMessageA(menu.Window(), WM_COMMAND, b->Command(), 0);  // disabled: ignored
    EXPECT_EQ(clicked, 1);
    EXPECT_FALSE(menu.ClickDefault());
    delete b;  // a freed item leaves the menu
    EXPECT_EQ(menu.Count(), 2);
}

TEST(Jpeg, DecodesTheLogoAndRejectsDamagedData) {
    TGdiObject<HBITMAP> bmp(LoadJpegResource("LOGO"));
    ASSERT_TRUE(bmp);
    BITMAP bm;
    GetObjectA(bmp.Get(), sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 96);
    EXPECT_EQ(bm.bmHeight, 72);
    EXPECT_EQ(LoadJpegResource("NOSUCH"), nullptr);
    const unsigned char junk[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 2, 3};
    EXPECT_EQ(DecodeJpeg(junk, sizeof(junk)), nullptr);
    EXPECT_EQ(DecodeJpeg("not a picture", 13), nullptr);
    EXPECT_EQ(DecodeJpeg(nullptr, 0), nullptr);
}
}  // namespace
