// The update's wizard and password dialog under Wine, as real windows: the wizard's two
// layouts, what the download sequence shows in it, the question before an update is
// abandoned, and the password dialog's answers; and pictures of both for people to look at.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>

#include "base/Dispatcher.h"
#include "ui/ExtCtrls_win.h"
#include "upgrade/UpdaterMessage_win.h"
#include "upgrade/UpdaterPassword_win.h"
#include "upgrade/UpdaterWizard_win.h"

#include "tests/htmlpopup/Screenshot_win.h"
#include "tests/support/WinTestApp_win.h"

using namespace wintest;

namespace {

// The options form's stand-in: the program's first form, so its main form, as there.
TForm& MainForm() {
    static TForm* form = new TForm(&App());
    return *form;
}

// A control's place inside the form, in layout pixels.
RECT PlaceOf(const TWinControl* Control, const TForm* Form) {
    RECT r;
    GetWindowRect(Control->Handle(), &r);
    MapWindowPoints(nullptr, Form->Handle(), reinterpret_cast<POINT*>(&r), 2);
    return RECT{UnscalePixels(r.left), UnscalePixels(r.top), UnscalePixels(r.right), UnscalePixels(r.bottom)};
}

// The width of a control's text in its font, in layout pixels ("&" marks no letter).
int TextWidth(const TWinControl* Control) {
    std::string text = Control->Caption();
    TWindowDC dc(Control->Handle());
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(Control->Handle(), WM_GETFONT, 0, 0));
    TSelectObject select(dc.Get(), font ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT r = {0, 0, 0, 0};
    DrawTextA(dc.Get(), text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    return UnscalePixels(r.right);
}

bool Shown(const TWinControl* Control) { return IsWindowVisible(Control->Handle()) != FALSE; }

// Saves what the screen shows of a window, when pictures are wanted.
void Picture(HWND Wnd, const std::string& Name) {
    const std::string dir = ScreenshotDir();
    if (dir.empty()) return;
    Pump(300);
    RECT r;
    GetWindowRect(Wnd, &r);
    TWindowDC screen(nullptr);
    EXPECT_TRUE(SaveBitmap(screen.Get(), r.left, r.top, r.right - r.left, r.bottom - r.top,
                           dir + "\\" + Name + ".bmp"));
}

struct TFindBox {
    HWND Owner, Box;
};

BOOL CALLBACK FindBox(HWND Wnd, LPARAM Param) {
    auto* find = reinterpret_cast<TFindBox*>(Param);
    char cls[16] = "";
    GetClassNameA(Wnd, cls, sizeof(cls));
    if (std::string(cls) == "#32770" && GetWindow(Wnd, GW_OWNER) == find->Owner) find->Box = Wnd;
    return find->Box ? FALSE : TRUE;
}

class UpdaterWizard : public ::testing::Test {
protected:
    void SetUp() override {
        MainForm();
        SetUpdaterLanguage(wlEnglish);
    }
    void TearDown() override {
        TUpdaterWizardForm::CloseInstance();
        Pump(50);
        SetUpdaterLanguage(wlEnglish);
    }

    TUpdaterWizardForm* Open(bool HideFileLocation = false) {
        TUpdaterWizardOptions options;
        options.HideFileLocation = HideFileLocation;
        auto* w = TUpdaterWizardForm::Open(options);
        w->OnAbort = [this](TObject*) { ++aborts; };
        w->OnClosed = [this](TObject*) { ++closes; };
        return w;
    }

    // Answers the next message box that Owner puts up with Button, and keeps its caption.
    // Before (the update stopping meanwhile) runs just before the answer.
    void AnswerNextQuestion(HWND Owner, int Button, std::function<void()> Before = nullptr) {
        asked.clear();
        answerer = std::make_unique<TTimer>(nullptr, 30, true);
        answerer->OnTimer = [this, Owner, Button, Before](TObject*) {
            TFindBox find = {Owner, nullptr};
            EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&find));
            if (!find.Box) return;
            char caption[256] = "";
            GetWindowTextA(find.Box, caption, sizeof(caption));
            asked = caption;
            hasYesNo = GetDlgItem(find.Box, IDYES) && GetDlgItem(find.Box, IDNO);
            answerer->SetEnabled(false);
            if (Before) Before();
            PostMessageA(find.Box, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(find.Box, Button)));
        };
    }

    int aborts = 0;
    int closes = 0;
    std::string asked;
    bool hasYesNo = false;
    std::unique_ptr<TTimer> answerer;
};

TEST_F(UpdaterWizard, OpensOnceCentredOnTopWithAnUntypableAddress) {
    RECT before;
    {
        auto* w = Open();
        EXPECT_EQ(TUpdaterWizardForm::Open(TUpdaterWizardOptions()), w);
        RECT client, frame, work;
        GetClientRect(w->Handle(), &client);
        GetWindowRect(w->Handle(), &frame);
        before = frame;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_EQ(client.right, ScalePixels(463));
        EXPECT_EQ(client.bottom, ScalePixels(281));
        EXPECT_NEAR(frame.left + frame.right, work.left + work.right, 1);
        EXPECT_NEAR(frame.top + frame.bottom, work.top + work.bottom, 1);
        EXPECT_TRUE(GetWindowLongA(w->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        // Every control inside the client area.
        for (TWinControl* c :
             {static_cast<TWinControl*>(w->Image1), static_cast<TWinControl*>(w->LCurrentFile),
              static_cast<TWinControl*>(w->LAllFiles), static_cast<TWinControl*>(w->CancelBtn),
              static_cast<TWinControl*>(w->Bevel1)}) {
            RECT r = PlaceOf(c, w);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= 463 && r.bottom <= 281);
        }
        w->ShowFile("http://127.0.0.1/Pelorin.exe", 0, 1);
        SendMessageA(w->FileURL->Handle(), WM_CHAR, 'x', 0);
        EXPECT_EQ(w->FileURL->Text(), "http://127.0.0.1/Pelorin.exe");
        EXPECT_FALSE(GetWindowLongA(w->FileURL->Handle(), GWL_STYLE) & WS_TABSTOP);
        TUpdaterWizardForm::CloseInstance();
    }
    EXPECT_EQ(TUpdaterWizardForm::Instance(), nullptr);
    TUpdaterWizardOptions options;
    options.StayOnTop = false;
    // A picture of any size fills the panel.
    TWindowDC screen(nullptr);
    TGdiObject<HBITMAP> red(CreateCompatibleBitmap(screen.Get(), 3, 5));
    {
        TMemoryDC dc(screen.Get());
        TSelectObject into(dc.Get(), red.Get());
        TGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(255, 0, 0)));
        RECT all = {0, 0, 3, 5};
        FillRect(dc.Get(), &all, brush.Get());
    }
    options.Picture = red.Get();
    auto* w = TUpdaterWizardForm::Open(options);
    EXPECT_FALSE(GetWindowLongA(w->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT inside;
    GetClientRect(w->Image1->Handle(), &inside);
    TMemoryDC dc(screen.Get());
    TSelectObject from(dc.Get(), w->Image1->Bitmap());
    for (POINT p : {POINT{0, 0}, POINT{inside.right - 1, inside.bottom - 1}})
        EXPECT_EQ(GetPixel(dc.Get(), p.x, p.y), RGB(255, 0, 0));
}

TEST_F(UpdaterWizard, BuiltInPictureShowsWithTheProgramsVisualStyles) {
    // The panel as the control paints it: deep blue at its top, not the dialog's face.
    auto* w = Open();
    RECT inside;
    GetClientRect(w->Image1->Handle(), &inside);
    TWindowDC screen(nullptr);
    TMemoryDC dc(screen.Get());
    TGdiObject<HBITMAP> shot(CreateCompatibleBitmap(screen.Get(), inside.right, inside.bottom));
    TSelectObject into(dc.Get(), shot.Get());
    SendMessageA(w->Image1->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    const COLORREF top = GetPixel(dc.Get(), inside.right / 2, 3);
    EXPECT_GT(GetBValue(top), GetRValue(top) + 60) << std::hex << top;
}

TEST_F(UpdaterWizard, HidingTheFileLocationClosesUpTheCurrentFileGroup) {
    auto* full = Open();
    const RECT group = PlaceOf(full->LCurrentFile, full);
    const RECT from = PlaceOf(full->LDownloadingFileFrom, full);
    TUpdaterWizardForm::CloseInstance();
    Pump(50);

    auto* w = Open(true);
    EXPECT_FALSE(Shown(w->FileURL));
    EXPECT_FALSE(Shown(w->LDownloadingFileFrom));
    const RECT g = PlaceOf(w->LCurrentFile, w);
    EXPECT_EQ(g.top, group.top + 10);
    EXPECT_EQ(g.bottom - g.top, group.bottom - group.top - 30);
    // The lines keep their distance from the group's top; the size takes the place of the
    // "from" line, each line 16 below the one before, the bar 20 below the last.
    const int size = PlaceOf(w->LFileSize, w).top;
    EXPECT_EQ(size - g.top, from.top - group.top);
    EXPECT_EQ(PlaceOf(w->LTransferRate, w).top, size + 16);
    EXPECT_EQ(PlaceOf(w->LEstimatedTime, w).top, size + 32);
    const RECT bar = PlaceOf(w->ProgressCurrentFile, w);
    EXPECT_EQ(bar.top, size + 52);
    EXPECT_LE(bar.bottom, g.bottom);
}

TEST_F(UpdaterWizard, ProgressAndCompletionShowInItsControls) {
    auto* w = Open();
    w->ShowFile("http://127.0.0.1/a/Pelorin.exe", 1, 3);
    w->ShowFileSize(3 * 1024 + 512);
    EXPECT_EQ(w->AllDownloading->Caption(), "Downloading 2 of 3");
    EXPECT_EQ(w->LFileSize->Caption(), "File size: 3.5 Kb");
    const struct {
        int Percent, Total, Seconds;
        const char* Time;
        int ShownPercent, ShownTotal;
    } cases[] = {
        {40, 47, 3 * 3600 + 2 * 60 + 5, "3:02:05", 40, 47},
        {100, 100, 59, "0:00:59", 100, 100},
        {250, -3, -7, "0:00:00", 100, 0},
    };
    for (const auto& c : cases) {
        w->ShowProgress(c.Percent, c.Total, 12.25, c.Seconds);
        EXPECT_EQ(w->ProgressCurrentFile->Position(), c.ShownPercent);
        EXPECT_EQ(w->ProgressAllFiles->Position(), c.ShownTotal);
        EXPECT_EQ(w->LEstimatedTime->Caption(), std::string("Estimated time left: ") + c.Time);
    }
    EXPECT_EQ(w->LTransferRate->Caption(), "Transfer rate: 12.2 Kb/s");
    EXPECT_FALSE(w->FinishBtn->Enabled());

    SetForegroundWindow(w->Handle());
    w->ShowCompletion();
    EXPECT_FALSE(Shown(w->LCurrentFile));
    EXPECT_FALSE(Shown(w->LAllFiles));
    EXPECT_FALSE(Shown(w->ProgressCurrentFile));
    EXPECT_FALSE(w->CancelBtn->Enabled());
    EXPECT_TRUE(w->FinishBtn->Enabled());
    EXPECT_EQ(GetFocus(), w->FinishBtn->Handle());
    EXPECT_EQ(w->FinishBtn->Caption(), UpdaterMessage(umOK));
    EXPECT_EQ(w->WizardTitle->Caption(), UpdaterMessage(umUpgradeCompleted));
    EXPECT_NE(w->AfterNote->Caption().find(App().Title()), std::string::npos);
    // The note fits its text and stays above the buttons' line.
    const RECT note = PlaceOf(w->AfterNote, w);
    EXPECT_GT(note.bottom - note.top, 13);
    EXPECT_LT(note.bottom, PlaceOf(w->Bevel1, w).top);

    // Finish closes without a question, and no abort.
    SendMessageA(w->FinishBtn->Handle(), BM_CLICK, 0, 0);
    Pump(100);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(aborts, 0);
    EXPECT_EQ(TUpdaterWizardForm::Instance(), nullptr);
}

TEST_F(UpdaterWizard, ClosingWhileDownloadingAsksAndOnlyYesAbortsAndCloses) {
    const struct {
        const char* Name;
        bool ByCancel;
        int Answer;
    } cases[] = {
        {"cancel, no", true, IDNO},
        {"close box, no", false, IDNO},
        {"cancel, yes", true, IDYES},
        {"close box, yes", false, IDYES},
    };
    for (const auto& c : cases) {
        aborts = closes = 0;
        auto* w = Open();
        HWND wnd = w->Handle();
        AnswerNextQuestion(wnd, c.Answer);
        if (c.ByCancel)
            SendMessageA(w->CancelBtn->Handle(), BM_CLICK, 0, 0);
        else
            PostMessageA(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        PumpUntil(3000, [&] { return !asked.empty(); });
        Pump(200);
        EXPECT_EQ(asked, App().Title()) << c.Name;
        EXPECT_TRUE(hasYesNo) << c.Name;
        if (c.Answer == IDNO) {
            EXPECT_EQ(TUpdaterWizardForm::Instance(), w) << c.Name;
            EXPECT_TRUE(IsWindowVisible(wnd)) << c.Name;
            EXPECT_EQ(aborts + closes, 0) << c.Name;
            TUpdaterWizardForm::CloseInstance();
        } else {
            EXPECT_EQ(aborts, 1) << c.Name;
            EXPECT_EQ(TUpdaterWizardForm::Instance(), nullptr) << c.Name;
            EXPECT_FALSE(IsWindow(wnd)) << c.Name;
        }
        EXPECT_EQ(closes, 1) << c.Name;
        Pump(50);
    }
}

// The download may stop (a lost connection) while the user is still being asked: the
// wizard goes once the question is answered, and the answer aborts nothing more.
TEST_F(UpdaterWizard, StoppingWhileTheQuestionIsUpClosesItAfterTheAnswer) {
    auto* w = Open();
    HWND wnd = w->Handle();
    AnswerNextQuestion(wnd, IDYES, [] { TUpdaterWizardForm::CloseInstance(); });
    PostMessageA(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    PumpUntil(3000, [&] { return !asked.empty(); });
    Pump(200);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(aborts, 0);
    EXPECT_EQ(TUpdaterWizardForm::Instance(), nullptr);
    EXPECT_FALSE(IsWindow(wnd));
}

TEST_F(UpdaterWizard, EveryLanguageFitsItsTexts) {
    for (int language = wlEnglish; language <= UpdaterLanguageCount; ++language) {
        SetUpdaterLanguage(static_cast<TWizardLanguage>(language));
        auto* w = Open();
        w->ShowFile("http://127.0.0.1/Pelorin.exe", 9, 10);
        w->ShowFileSize(123456789);
        w->ShowProgress(50, 95, 1234.5, 99 * 3600 + 59 * 60 + 59);
        auto fits = [&](const TWinControl* c, int Margin) {
            EXPECT_LE(TextWidth(c) + Margin, PlaceOf(c, w).right - PlaceOf(c, w).left)
                << "language " << language << ": " << c->Caption();
        };
        for (const TWinControl* label :
             {w->LDownloadingFileFrom, w->LFileSize, w->LTransferRate, w->LEstimatedTime, w->AllDownloading})
            fits(label, 0);
        fits(w->LCurrentFile, 16);
        fits(w->LAllFiles, 16);
        // A button's text must stay inside its 2-pixel edges.
        fits(w->FinishBtn, 4);
        fits(w->CancelBtn, 4);
        // The title is italic: its last letter leans out past its measured width.
        fits(w->WizardTitle, 4);
        EXPECT_LE(PlaceOf(w->WizardTitle, w).right, 463) << language;
        w->ShowCompletion();
        fits(w->WizardTitle, 4);
        fits(w->FinishBtn, 4);
        EXPECT_LE(PlaceOf(w->WizardTitle, w).right, 463) << language;
        EXPECT_LT(PlaceOf(w->AfterNote, w).bottom, PlaceOf(w->Bevel1, w).top) << language;
        TUpdaterWizardForm::CloseInstance();
        Pump(20);
    }
}

TEST_F(UpdaterWizard, LeavesPicturesOfItself) {
    if (ScreenshotDir().empty()) GTEST_SKIP() << "PELORIN_SCREENSHOT_DIR is not set";
    for (TWizardLanguage language : {wlEnglish, wlGerman}) {
        SetUpdaterLanguage(language);
        const std::string tag = language == wlGerman ? "_de" : "_en";
        for (bool hide : {false, true}) {
            auto* w = Open(hide);
            w->ShowFile("http://updates.example.com/pelorin/Pelorin.exe", 0, 2);
            w->ShowFileSize(1536 * 1024);
            w->ShowProgress(37, 18, 84.5, 75);
            Picture(w->Handle(), std::string("wizard_downloading") + (hide ? "_hidden" : "_full") + tag);
            if (hide) {
                w->ShowCompletion();
                Picture(w->Handle(), "wizard_completed" + tag);
            }
            TUpdaterWizardForm::CloseInstance();
            Pump(50);
        }
    }
}

// ---------------------------------------------------------------------------------------

class UpdaterPassword : public ::testing::Test {
protected:
    void SetUp() override {
        MainForm();
        SetUpdaterLanguage(wlEnglish);
        dialog = new TUpdaterPasswordForm(&MainForm());
    }
    void TearDown() override {
        delete dialog;
        SetUpdaterLanguage(wlEnglish);
    }

    // Runs the dialog; Step runs once it is up. A dialog the step leaves open is cancelled.
    bool Execute(const std::function<void()>& Step) {
        TTimer watchdog(nullptr, 5000, true);
        watchdog.OnTimer = [this](TObject*) { dialog->ModalResult = mrCancel; };
        Dispatcher().Post(Step);
        return dialog->Execute("Pelorin.exe", user, password);
    }
    static void TypeInto(TEdit* Edit, const std::string& Text) {
        for (char ch : Text)
            SendMessageA(Edit->Handle(), WM_CHAR, static_cast<unsigned char>(ch), 0);
    }

    TUpdaterPasswordForm* dialog = nullptr;
    std::string user = "kept";
    std::string password = "old";
};

TEST_F(UpdaterPassword, OkReturnsWhatWasTypedAndCancelChangesNothing) {
    std::string shownUser, shownPassword;
    EXPECT_TRUE(Execute([&] {
        shownUser = dialog->UsernameEdit->Text();
        shownPassword = dialog->PasswordEdit->Text();
        TypeInto(dialog->UsernameEdit, "anna");
        TypeInto(dialog->PasswordEdit, "s3cret");
        SendMessageA(dialog->OKBtn->Handle(), BM_CLICK, 0, 0);
    }));
    EXPECT_EQ(shownUser, "kept");
    EXPECT_EQ(shownPassword, "");
    EXPECT_EQ(user, "anna");
    EXPECT_EQ(password, "s3cret");
    EXPECT_EQ(dialog->PasswordEdit->PasswordChar(), '*');

    EXPECT_FALSE(Execute([&] {
        TypeInto(dialog->PasswordEdit, "other");
        SendMessageA(dialog->CancelBtn->Handle(), BM_CLICK, 0, 0);
    }));
    EXPECT_EQ(user, "anna");
    EXPECT_EQ(password, "s3cret");
    EXPECT_EQ(dialog->PasswordEdit->Text(), "");
}

TEST_F(UpdaterPassword, FitsItsTextAndLeavesPicturesOfItself) {
    for (TWizardLanguage language : {wlEnglish, wlGerman}) {
        SetUpdaterLanguage(language);
        Execute([&] {
            RECT client;
            GetClientRect(dialog->Handle(), &client);
            const RECT text = PlaceOf(dialog->TextLabel, dialog);
            EXPECT_GT(text.bottom - text.top, 26);
            EXPECT_LE(text.bottom, PlaceOf(dialog->UsernameEdit, dialog).top);
            EXPECT_LE(PlaceOf(dialog->CancelBtn, dialog).bottom, UnscalePixels(client.bottom));
            EXPECT_EQ(client.right, ScalePixels(297));
            Picture(dialog->Handle(), language == wlGerman ? "password_de" : "password_en");
            dialog->ModalResult = mrCancel;
        });
    }
}

}  // namespace
