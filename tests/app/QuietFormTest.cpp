// The timer's refreshes on the form under Wine, against the loopback fixture as the proxy:
// a run of failures is told once, a popup waits while the user is busy, and the refresh
// missed during sleep comes a little after waking.
#include <cstdio>
#include <cstdlib>

#include "tests/app/OptionsFormFixture_win.h"

namespace {

// The fixture's port, written into the folder named by the environment.
int FixturePort() {
    const char* dir = std::getenv("PELORIN_HTTP_FIXTURE");
    std::FILE* f = dir ? std::fopen((std::string(dir) + "\\port").c_str(), "r") : nullptr;
    int port = 0;
    if (f) {
        if (std::fscanf(f, "%d", &port) != 1) port = 0;
        std::fclose(f);
    }
    return port;
}

class QuietForm : public OptionsForm {
protected:
    void SetUp() override {
        OptionsForm::SetUp();
        const int port = FixturePort();
        ASSERT_NE(port, 0) << "the fixture server did not start";
        dataFile = FreshTempPath("pelorin_quiet_data.txt");
        form->DataFile = dataFile;
        WriteCatalogue("[Test feeds]\r\nMissing feed=missing\r\n");
        form->chbUseProxy->SetChecked(true);
        form->edProxServer->SetText("127.0.0.1");
        form->edProxPort->SetText(std::to_string(port));
        form->Quiet->ShellState = [this] { return shell; };
    }
    void TearDown() override {
        DeleteFileA(dataFile.c_str());
        OptionsForm::TearDown();
    }
    // The feed of that category ID; FormShow reloads the proxy too, so it is set again.
    void Feed(const char* ID) {
        const std::string port = form->edProxPort->Text();
        Write("ID", ID);
        form->FormShow();
        form->chbUseProxy->SetChecked(true);
        form->edProxServer->SetText("127.0.0.1");
        form->edProxPort->SetText(port);
    }
    bool PopupShown() const {
        return form->HTMLPopup1->Window() && IsWindowVisible(form->HTMLPopup1->Window()->Handle());
    }
    // Whether the timer's refresh put a popup up; it is taken down again for the next one.
    bool TimerRefreshShows() {
        form->Timer1Timer(nullptr);
        const bool shown = PopupShown();
        form->HTMLPopup1->Hide();
        return shown;
    }
    std::string PopupText() const { return form->HTMLPopup1->Text.Text(); }
    std::string Hint() const { return form->ctIcon->Hint(); }

    // Sends the form's hidden window what the system would.
    void System(UINT Msg, WPARAM WParam) { SendMessageA(TSharedWindow::Current(), Msg, WParam, 0); }

    TShellState shell = TShellState::Accepts;
    std::string dataFile;
};

TEST_F(QuietForm, ThreeFailingTimerRefreshesShowOneFailurePopupAndTheUsersCheckStillShowsIt) {
    Feed("missing");
    EXPECT_TRUE(TimerRefreshShows());
    EXPECT_FALSE(TimerRefreshShows());
    EXPECT_FALSE(TimerRefreshShows());
    EXPECT_EQ(Hint().rfind("Pelorin: last check failed at ", 0), 0u) << Hint();
    EXPECT_NE(Hint().find(" (404 Not Found)"), std::string::npos) << Hint();

    form->miCheckforNewsClick(nullptr);
    EXPECT_TRUE(PopupShown());
    EXPECT_NE(PopupText().find("<B>Failed</B> : 404 Not Found"), std::string::npos) << PopupText();
    form->HTMLPopup1->Hide();

    // A success ends the run: the next failure is told again.
    Feed("AA");
    EXPECT_TRUE(TimerRefreshShows());
    EXPECT_EQ(Hint().rfind("Pelorin: 6 items at ", 0), 0u) << Hint();
    Feed("missing");
    EXPECT_TRUE(TimerRefreshShows());
}

TEST_F(QuietForm, ATimerPopupWaitsWhileTheUserIsBusyAndComesWhenTheUserIsBack) {
    Feed("AA");
    shell = TShellState::FullScreen;
    form->Timer1Timer(nullptr);
    EXPECT_FALSE(PopupShown());
    EXPECT_TRUE(form->miShowLatestPopup->Enabled);
    Pump(300);
    EXPECT_FALSE(PopupShown());
    shell = TShellState::Accepts;
    PumpUntil(10000, [&] { return PopupShown(); });
    EXPECT_TRUE(PopupShown());
    EXPECT_NE(PopupText().find("Latest Additions"), std::string::npos) << PopupText();
    form->HTMLPopup1->Hide();

    // Locked: held until the session says it is unlocked.
    const UINT sessionChange = 0x02B1;
    System(sessionChange, 7);
    form->Timer1Timer(nullptr);
    Pump(300);
    EXPECT_FALSE(PopupShown());
    System(sessionChange, 8);
    EXPECT_TRUE(PopupShown());
}

TEST_F(QuietForm, TheRefreshMissedDuringSleepComesOnceAfterAPauseOnWaking) {
    Feed("AA");
    System(WM_POWERBROADCAST, PBT_APMSUSPEND);
    form->Timer1Timer(nullptr);
    form->Timer1Timer(nullptr);
    System(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC);
    System(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND);
    EXPECT_FALSE(PopupShown()) << "refreshed at once on waking";
    PumpUntil(15000, [&] { return PopupShown(); });
    EXPECT_TRUE(PopupShown()) << "the missed refresh did not come";
    EXPECT_EQ(Hint().rfind("Pelorin: 6 items at ", 0), 0u) << Hint();
    form->HTMLPopup1->Hide();
    PumpUntil(6000, [&] { return PopupShown(); });
    EXPECT_FALSE(PopupShown()) << "made up more than once";
}

}  // namespace
