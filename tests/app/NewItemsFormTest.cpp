// "Show only new items" on the form under Wine, against the loopback catalogue (started by a
// ctest fixture) reached through the proxy setting. Its live feed lists the items a file in
// the fixture's folder names, dates its answers and honours If-Modified-Since.
#include <cstdio>

#include "tests/app/OptionsFormFixture_win.h"
#include "tests/support/TestFiles.h"

namespace {

class NewItemsForm : public OptionsForm {
protected:
    void SetUp() override {
        OptionsForm::SetUp();
        const std::string portFile = EnvPath("PELORIN_HTTP_FIXTURE", "port");
        int port2 = 0;
        std::FILE* f = std::fopen(portFile.c_str(), "r");
        ASSERT_NE(f, nullptr) << "the fixture server did not start";
        ASSERT_EQ(std::fscanf(f, "%d %d", &port, &port2), 2);
        std::fclose(f);
        // A folder of its own, so that the seen-items file beside the settings is this test's.
        folder = FreshTempPath("pelorin_newitems");
        CreateDirectoryA(folder.c_str(), nullptr);
        path = form->SettingsFile = folder + "\\settings.ini";
        catalogue = form->CategoriesFile = folder + "\\categories.ini";
        dataFile = folder + "\\data.txt";
        seenFile = form->SeenItemsFile();
        for (const std::string& left : {path, seenFile})  // by a run that did not end
            DeleteFileA(left.c_str());
        WriteCatalogue("[Live]\r\nLive feed=live\r\n");
        Configure(true);
    }
    void TearDown() override {
        DeleteFileA(dataFile.c_str());
        DeleteFileA(seenFile.c_str());
        DeleteFileA(EnvPath("PELORIN_HTTP_FIXTURE", "live-items").c_str());
        OptionsForm::TearDown();
        RemoveDirectoryA(folder.c_str());
    }
    // The live category through the fixture's proxy, with the option as given, as a start
    // of the program would find them.
    void Configure(bool OnlyNew) {
        Write("ID", "live");
        Write("ProxyUse", "1");
        Write("ProxyServer", "127.0.0.1");
        Write("ProxyPort", std::to_string(port).c_str());
        Write("OnlyNewItems", OnlyNew ? "1" : "0");
        form->DataFile = dataFile;
        form->FormShow();
    }
    // The program closed and started again: the seen items are all it keeps.
    void Restart() {
        delete form;
        form = new TOptionsForm(&App());
        form->SettingsFile = path;
        form->CategoriesFile = catalogue;
        form->DataFile = dataFile;
        form->FormShow();
    }
    void FeedLists(const char* Numbers) {
        std::ofstream(EnvPath("PELORIN_HTTP_FIXTURE", "live-items"), std::ios::binary) << Numbers;
    }
    // The live items the popup lists after a refresh, as their numbers in order; "-" when no
    // popup came up.
    std::string Refresh(TRefreshCause Cause) {
        form->HTMLPopup1->Hide();
        form->RefreshNews(Cause);
        return Listed();
    }
    std::string Listed() {
        if (!form->HTMLPopup1->Window() || !IsWindowVisible(form->HTMLPopup1->Window()->Handle())) return "-";
        std::string text = form->HTMLPopup1->Text.Text(), listed;
        const std::string link = "/software/live-";
        for (size_t at = 0; (at = text.find(link, at)) != std::string::npos;) {
            at += link.size();
            listed += (listed.empty() ? "" : " ") + text.substr(at, text.find(".html", at) - at);
        }
        return listed;
    }

    int port = 0;
    std::string folder, dataFile, seenFile;
};

TEST_F(NewItemsForm, TimerRefreshesShowOnlyWhatIsNewAndAManualCheckShowsEverything) {
    FeedLists("1 2");
    EXPECT_EQ(Refresh(TRefreshCause::Manual), "2 1");
    EXPECT_EQ(form->HttpCli1->StatusCode, 200);

    // After a restart nothing tells the server a date: the whole feed comes, all of it seen.
    Restart();
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "-");
    EXPECT_EQ(form->HttpCli1->StatusCode, 200);
    EXPECT_FALSE(form->Timer->Enabled());

    FeedLists("1 2 3");
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "3");
    EXPECT_TRUE(form->miShowLatestPopup->Enabled);

    // The feed has not changed since: the server says so, and nothing shows.
    const std::string before = form->HTMLPopup1->Text.Text();
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "-");
    EXPECT_EQ(form->HttpCli1->StatusCode, 304);
    EXPECT_EQ(form->HTMLPopup1->Text.Text(), before);
    EXPECT_TRUE(errors.empty());

    EXPECT_EQ(Refresh(TRefreshCause::Manual), "3 2 1");
    EXPECT_EQ(form->HttpCli1->StatusCode, 200);
}

TEST_F(NewItemsForm, AnEarlierPopupStillRollsDownWhenARefreshShowsNothing) {
    FeedLists("1");
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "1");
    form->RefreshNews(TRefreshCause::Timer);  // 304, the popup of the first still up
    EXPECT_EQ(form->HttpCli1->StatusCode, 304);
    EXPECT_TRUE(IsWindowVisible(form->HTMLPopup1->Window()->Handle()));
    EXPECT_TRUE(form->Timer->Enabled());
}

TEST_F(NewItemsForm, ItemsOfAPopupHeldWhileTheUserIsBusyStayNewUntilItShows) {
    TShellState shell = TShellState::FullScreen;
    form->Quiet->ShellState = [&] { return shell; };
    FeedLists("1 2");
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "-");  // held
    FeedLists("1 2 3");
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "-");  // held in its place
    shell = TShellState::Accepts;
    form->Quiet->Poll();
    EXPECT_EQ(Listed(), "3 2 1");

    // Shown, so seen now.
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "-");
}

TEST_F(NewItemsForm, WithTheOptionOffEveryTimerRefreshShowsTheWholeFeedAndNothingIsKept) {
    Configure(false);
    FeedLists("1 2");
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "2 1");
    EXPECT_EQ(Refresh(TRefreshCause::Timer), "2 1");
    EXPECT_EQ(form->HttpCli1->StatusCode, 200);
    EXPECT_EQ(GetFileAttributesA(seenFile.c_str()), INVALID_FILE_ATTRIBUTES);

    // The check box is saved with the other settings.
    form->miOptionsClick(nullptr);
    form->chbOnlyNewItems->SetChecked(true);
    Press(form->btnOk);
    EXPECT_EQ(Stored("OnlyNewItems"), "1");
}

}  // namespace
