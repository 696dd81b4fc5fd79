// The search dialog under Wine: where it opens and what it offers, and the modal loop it runs
// in: its results by button, key and close box, the windows it turns off meanwhile, the
// activation and focus it takes and gives back, and a quit arriving while it is up.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "app/News.h"
#include "app/Search_win.h"
#include "base/Dispatcher.h"
#include "ui/ExtCtrls_win.h"

#include "tests/htmlpopup/Screenshot_win.h"
#include "tests/support/WinTestApp_win.h"

using namespace wintest;

namespace {

// What ShowModal returns when the test's own steps failed to end the loop.
const int Stuck = 99;

class SearchForm : public ::testing::Test {
protected:
    // The options form's stand-in: the program's first form, so its main form, as there.
    static TForm& Owner() {
        static TForm* owner = new TForm(&App());
        return *owner;
    }
    void SetUp() override { dialog = new TSearchForm(&Owner()); }
    // A dialog of its own for each search, as the program makes.
    void Renew(TForm* AOwner = &Owner()) {
        delete dialog;
        dialog = new TSearchForm(AOwner);
    }
    void TearDown() override {
        delete dialog;
        Owner().Hide();
    }

    // Runs the dialog modally; Step runs inside its loop, once the dialog is up. A loop
    // that the step does not end is ended after a few seconds with Stuck.
    int RunModal(const std::function<void()>& Step) {
        TTimer watchdog(nullptr, 5000, true);
        watchdog.OnTimer = [this](TObject*) { dialog->ModalResult = Stuck; };
        Dispatcher().Post(Step);
        return dialog->ShowModal();
    }
    // Keys as the user types them, through the system's input queue.
    static void Type(std::initializer_list<WORD> Keys) {
        for (WORD key : Keys) {
            INPUT in[2] = {};
            in[0].type = in[1].type = INPUT_KEYBOARD;
            in[0].ki.wVk = in[1].ki.wVk = key;
            in[1].ki.dwFlags = KEYEVENTF_KEYUP;
            SendInput(2, in, sizeof(INPUT));
        }
    }
    static bool Enabled(TForm& Form) { return IsWindowEnabled(Form.Handle()) != FALSE; }

    TSearchForm* dialog = nullptr;
};

TEST_F(SearchForm, OpensAtItsPlaceWithTheFirstItemOfEveryListChosen) {
    for (TComboBox* combo :
         {dialog->cbPhrase, dialog->cbTypes, dialog->cbFileSize, dialog->cbOperatingSystem})
        EXPECT_EQ(combo->ItemIndex(), 0);
    RECT frame, client;
    GetWindowRect(dialog->Handle(), &frame);
    GetClientRect(dialog->Handle(), &client);
    EXPECT_EQ(frame.left, 346);
    EXPECT_EQ(frame.top, 298);
    EXPECT_EQ(client.right, ScalePixels(368));
    EXPECT_EQ(client.bottom, ScalePixels(225));
    EXPECT_FALSE(GetWindowLongA(dialog->Handle(), GWL_STYLE) & WS_MINIMIZEBOX);
    // Every control inside the client area, fields and buttons below each other's tops.
    TWinControl* order[] = {dialog->Label1,     dialog->edPhrase,          dialog->cbPhrase, dialog->cbTypes,
                            dialog->cbFileSize, dialog->cbOperatingSystem, dialog->Bevel1,   dialog->Button1};
    for (size_t i = 0; i < sizeof(order) / sizeof(order[0]); ++i) {
        RECT r;
        GetWindowRect(order[i]->Handle(), &r);
        MapWindowPoints(nullptr, dialog->Handle(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom) << i;
        if (i > 0) {
            EXPECT_GT(order[i]->Top(), order[i - 1]->Top()) << i;
        }
    }

    // A position off the screen is brought back onto the work area, whole.
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    for (POINT at : {POINT{5000, 4000}, POINT{-900, -700}}) {
        dialog->SetClientSizeAt(at.x, at.y, 368, 225);
        GetWindowRect(dialog->Handle(), &frame);
        EXPECT_TRUE(frame.left >= work.left && frame.top >= work.top && frame.right <= work.right &&
                    frame.bottom <= work.bottom)
            << at.x;
    }
}

TEST_F(SearchForm, ChosenItemsGiveTheQueryValues) {
    struct Case {
        const char *Phrase, *Type, *Size, *OS;
        const char *SrchType, *TypeIndex, *FileSize, *OSCode;
    };
    const Case cases[] = {
        {"ANY word", "All types", "Any", "Any", "any", "0", "0", "0"},
        {"EXACT match of ENTIRE phrase", "Shareware", "Less than 1MB", "Windows XP", "exact", "2", "1000",
         "wxp"},
        {"EXACT mach of ANY word", "Data only", "Less than 100MB", "Windows 3.x", "exactany", "6", "100000",
         "w31"},
        {"EXACT mach of ANY word", "Commercial", "Less than 200MB", "Windows 2000", "exactany", "5", "200000",
         "w2000"},
    };
    auto choose = [](TComboBox* Combo, const char* Item) {
        Combo->SetItemIndex(static_cast<int>(SendMessageA(
            Combo->Handle(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(Item))));
        EXPECT_EQ(Combo->Items(Combo->ItemIndex()), Item);
    };
    for (const Case& c : cases) {
        choose(dialog->cbPhrase, c.Phrase);
        choose(dialog->cbTypes, c.Type);
        choose(dialog->cbFileSize, c.Size);
        choose(dialog->cbOperatingSystem, c.OS);
        TSearchData data = SearchDataFromIndexes(
            dialog->cbPhrase->ItemIndex(), dialog->cbTypes->ItemIndex(), dialog->cbFileSize->ItemIndex(),
            dialog->cbOperatingSystem->ItemIndex(), dialog->edPhrase->Text());
        EXPECT_EQ(data.SrchType, c.SrchType);
        EXPECT_EQ(data.TypeIndex, c.TypeIndex);
        EXPECT_EQ(data.FileSize, c.FileSize);
        EXPECT_EQ(data.OSCode, c.OSCode);
    }
}

// The program lives in the tray: the owner is hidden, and the dialog must still come to the
// front with the phrase box ready for typing.
TEST_F(SearchForm, SearchAndEnterReturnOkWithThePhraseTypedIntoTheFrontmostDialog) {
    const std::function<void()> presses[] = {
        [this] { SendMessageA(dialog->Button1->Handle(), BM_CLICK, 0, 0); },
        [] { Type({VK_RETURN}); },
    };
    for (const auto& press : presses) {
        Renew();
        int result = RunModal([&] {
            EXPECT_EQ(GetForegroundWindow(), dialog->Handle());
            EXPECT_EQ(GetFocus(), dialog->edPhrase->Handle());
            Type({'Z', 'I', 'P'});
            PumpUntil(2000, [&] { return dialog->edPhrase->Text().size() == 3; });
            press();
        });
        EXPECT_EQ(result, mrOk);
        EXPECT_EQ(dialog->edPhrase->Text(), "zip");
        EXPECT_FALSE(dialog->Visible());
        EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
    }
}

TEST_F(SearchForm, CancelEscapeAndTheCloseBoxReturnCancel) {
    const std::function<void()> closes[] = {
        [this] { SendMessageA(dialog->Button2->Handle(), BM_CLICK, 0, 0); },
        [] { Type({VK_ESCAPE}); },
        [this] { PostMessageA(dialog->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const auto& close : closes) {
        Renew();
        EXPECT_EQ(RunModal(close), mrCancel);
        EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
    }
}

TEST_F(SearchForm, OwnerAndOtherWindowsAreOffWhileItRunsAndTheOwnerIsActiveAfter) {
    // An owner that is not the main form, which the system would activate by itself.
    TForm owner(&App());
    Renew(&owner);
    Owner().Show();
    owner.Show();
    TForm alreadyOff(&App());
    alreadyOff.Show();
    alreadyOff.SetEnabled(false);
    SetForegroundWindow(Owner().Handle());
    int result = RunModal([&] {
        EXPECT_FALSE(Enabled(owner));
        EXPECT_FALSE(Enabled(Owner()));
        EXPECT_TRUE(Enabled(*dialog));
        SendMessageA(dialog->Button2->Handle(), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_TRUE(Enabled(owner));
    EXPECT_TRUE(Enabled(Owner()));
    EXPECT_FALSE(Enabled(alreadyOff));
    EXPECT_EQ(GetActiveWindow(), owner.Handle());

    // The owner is turned off even when hidden, and on again after.
    owner.Hide();
    bool ownerOff = false;
    EXPECT_EQ(RunModal([&] {
                  ownerOff = !Enabled(owner);
                  Type({VK_ESCAPE});
              }),
              mrCancel);
    EXPECT_TRUE(ownerOff);
    EXPECT_TRUE(Enabled(owner));
    Renew();  // before the owner goes, and its dialog with it
}

TEST_F(SearchForm, AQuitWhileItRunsEndsItWithCancelAndStaysQueuedForTheProgram) {
    EXPECT_EQ(RunModal([] { PostQuitMessage(3); }), mrCancel);
    EXPECT_TRUE(Enabled(Owner()));
    EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(SearchForm, LeavesAPictureOfItself) {
    const std::string dir = ScreenshotDir();
    if (dir.empty()) GTEST_SKIP() << "PELORIN_SCREENSHOT_DIR is not set";
    dialog->edPhrase->SetText("zip");
    bool saved = false;
    RunModal([&] {
        Pump(300);
        RECT r;
        GetWindowRect(dialog->Handle(), &r);
        TWindowDC screen(nullptr);
        saved = SaveBitmap(screen.Get(), r.left, r.top, r.right - r.left, r.bottom - r.top,
                           dir + "\\search_form.bmp");
        dialog->ModalResult = mrCancel;
    });
    EXPECT_TRUE(saved);
}

}  // namespace
