// The update component's check under Wine against the loopback fixture, which serves
// information files signed with the test key: every outcome with its event and its real
// message box or question (found by caption, read and answered as a user would), the
// browser from the registry, server and proxy authentication and the silent automatic check.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"
#include "tests/htmlpopup/Screenshot_win.h"
#include "tests/support/WinTestApp_win.h"
#include "ui/Registry_win.h"
#include "upgrade/Signature_win.h"
#include "upgrade/UpdaterMessage_win.h"
#include "upgrade/UpdaterWizard_win.h"
#include "upgrade/UpgradeFiles_win.h"
#include "upgrade/Updater_win.h"

using namespace wintest;

namespace {

// Records the update's download being begun instead of downloading, unless told to download.
class TTestUpdater : public TUpdater {
public:
    std::function<void()> OnDownload;
    bool Download = false;

protected:
    void BeginDownload() override {
        Raise(OnDownload);
        if (Download) TUpdater::BeginDownload();
    }
};

// Dialogs of this thread captioned as the updater's, answered by a thread timer, which
// runs inside their modal loops: message boxes with OK, the question as told.
class TAnswerer {
public:
    TAnswerer() {
        Current = this;
        FTimer = SetTimer(nullptr, 0, 50, Tick);
    }
    ~TAnswerer() {
        KillTimer(nullptr, FTimer);
        Current = nullptr;
    }
    bool AnswerYes = false;
    bool SkipLostFile = false;      // the answer to "File ... not found": skip it, or abort
    std::string ScreenshotName;     // of the next question, when set
    std::vector<std::string> Seen;  // "box:<text>" or "question:<text>"

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (Current) EnumThreadWindows(GetCurrentThreadId(), Visit, 0);
    }
    static BOOL CALLBACK Visit(HWND Wnd, LPARAM) {
        char caption[256] = {}, cls[64] = {};
        GetWindowTextA(Wnd, caption, sizeof caption);
        GetClassNameA(Wnd, cls, sizeof cls);
        const bool lost = std::string(caption).find(UpdaterMessage(umError) + " #") == 0;
        if (!IsWindowVisible(Wnd) || (UpdaterMessage(umWizardCaption) != caption && !lost) ||
            !Current->FDone.insert(Wnd).second)
            return TRUE;
        std::string text;
        EnumChildWindows(Wnd, StaticText, reinterpret_cast<LPARAM>(&text));
        const bool box = std::string(cls) == "#32770";
        if (lost) {
            Current->Seen.push_back("lost:" + std::string(caption));
            PostMessageA(Wnd, WM_COMMAND, Current->SkipLostFile ? IDYES : IDNO, 0);
            return TRUE;
        }
        Current->Seen.push_back((box ? "box:" : "question:") + text);
        if (box) {
            PostMessageA(Wnd, WM_COMMAND, IDOK, 0);
        } else {
            Current->Capture(Wnd);
            PostMessageA(GetDlgItem(Wnd, Current->AnswerYes ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        }
        return TRUE;
    }
    static BOOL CALLBACK StaticText(HWND Wnd, LPARAM Param) {
        char cls[64] = {}, text[1024] = {};
        GetClassNameA(Wnd, cls, sizeof cls);
        GetWindowTextA(Wnd, text, sizeof text);
        if (lstrcmpiA(cls, "Static") == 0 && text[0]) *reinterpret_cast<std::string*>(Param) += text;
        return TRUE;
    }
    void Capture(HWND Wnd) {
        if (ScreenshotName.empty() || ScreenshotDir().empty()) return;
        RedrawWindow(Wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump(300);
        RECT r;
        GetWindowRect(Wnd, &r);
        TWindowDC screen(nullptr);
        SaveBitmap(screen.Get(), r.left, r.top, r.right - r.left, r.bottom - r.top,
                   ScreenshotDir() + "\\" + ScreenshotName + ".bmp");
        ScreenshotName.clear();
    }
    static TAnswerer* Current;
    UINT_PTR FTimer;
    std::set<HWND> FDone;
};
TAnswerer* TAnswerer::Current = nullptr;

class UpdaterWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::FILE* f = std::fopen(EnvPath("PELORIN_HTTP_FIXTURE", "port").c_str(), "r");
        ASSERT_TRUE(f && std::fscanf(f, "%d", &port) == 1) << "the fixture server did not start";
        std::fclose(f);
        App();
        // The program's main form stands in front of the question, as the options form does.
        static TForm* mainForm = new TForm(&App());
        (void)mainForm;
        updater = std::make_unique<TTestUpdater>();
        updater->SignatureCheck =
            SignatureCheckFor(ReadWholeFile(EnvPath("PELORIN_UPGRADE_KEYS", "test-public.der")));
        updater->Wizard.SetLanguage(wlEnglish);
        updater->Proxy.AccessType = atDirect;
        updater->Timeouts.ReceiveTimeout = 20000;
        updater->VersionControl = byNumber;
        updater->VersionNumber = "1.0.0.0";
        updater->ShowMessages = AllUpdaterShowMessages;
        Record();
    }
    void TearDown() override {
        updater.reset();
        SetUpdaterLanguage(wlEnglish);
    }
    std::string Url(const std::string& Path) const {
        return "http://127.0.0.1:" + std::to_string(port) + Path;
    }
    void Record() {
        TTestUpdater& u = *updater;
        u.OnBeginUpgrade = [this](TObject*, const std::string& Msg, TUpgradeMethod Method,
                                  const std::vector<std::string>& Files, bool& CanUpgrade) {
            std::string files;
            for (const std::string& f : Files)
                files += " " + f;
            log.push_back("begin:" + Msg + "|" + std::to_string(Method) + "|" + files.substr(1));
            CanUpgrade = canUpgrade;
        };
        u.OnLaterUpgrade = [this](TObject*) { log.push_back("later"); };
        u.OnNoUpdateAvailable = [this](TObject*) { log.push_back("no update"); };
        u.OnNoInfoFile = [this](TObject*) { log.push_back("no info file"); };
        u.OnConnLost = [this](TObject*) { log.push_back("connection lost"); };
        u.OnHostUnreachable = [this](TObject*, const std::string& U, const std::string& Host) {
            log.push_back("unreachable:" + U + "|" + Host);
        };
        u.OnDownload = [this] { log.push_back("download"); };
        u.OnLostFile = [this](TObject*, const std::string& File, int Code, bool&) {
            log.push_back("lost " + File.substr(File.rfind('/') + 1) + " " + std::to_string(Code));
        };
        u.OnFileDone = [this](TObject*, const std::string& File) {
            log.push_back("done " + File.substr(File.rfind('\\') + 1));
        };
        u.OnAborted = [this](TObject*) { log.push_back("aborted"); };
        // The agent is not started here: the end-to-end test lets it replace a program.
        u.OnEndUpgrade = [this](TObject*, bool& Restart) {
            log.push_back("end");
            Restart = restart;
        };
        u.OnDoOwnCloseAppMethod = [this](TObject*) { log.push_back("close"); };
    }
    // One check from start to its end, the answers given, then the events and the dialogs.
    std::vector<std::string> Check(const std::string& InfoURL) {
        log.clear();
        TAnswerer answerer;
        answerer.AnswerYes = answerYes;
        answerer.SkipLostFile = skipLostFile;
        answerer.ScreenshotName = screenshot;
        updater->InfoFileURL = InfoURL;
        updater->CheckUpdate();
        EXPECT_TRUE(updater->Busy());
        EXPECT_EQ(WaitHandlingMessages([this] { return !updater->Busy(); }, 60000), wrDone);
        Pump(100);
        std::vector<std::string> all = log;
        all.insert(all.end(), answerer.Seen.begin(), answerer.Seen.end());
        return all;
    }
    static std::string Box(int Message) { return "box:" + UpdaterMessage(Message); }

    int port = 0;
    std::unique_ptr<TTestUpdater> updater;
    std::vector<std::string> log;
    bool canUpgrade = true, answerYes = false, skipLostFile = false, restart = false;
    std::string screenshot;
};

std::string Join(const std::vector<std::string>& Items) {
    std::string out;
    for (const std::string& i : Items)
        out += i + "\n";
    return out;
}

TEST_F(UpdaterWineTest, FailedChecksReportTheirEventAndMessage) {
    using V = std::vector<std::string>;
    const struct {
        std::string path;
        V expected;
    } cases[] = {
        {"/downloads/old.inf", {"no update", Box(umNoUpdate)}},
        {"/downloads/none.inf", {"no info file", Box(umNoInfoFile)}},
        {"/downloads/tampered.inf", {"no info file", Box(umNoInfoFile)}},
        {"/downloads/short.inf", {"connection lost", Box(umConnectionLost)}},
        // Refused as soon as its length is known, not read into memory and waited for.
        {"/downloads/huge.inf", {"no info file", Box(umNoInfoFile)}},
        {"/downloads/endless.inf", {"no info file", Box(umNoInfoFile)}},  // stopped at the cap
    };
    for (const auto& c : cases)
        EXPECT_EQ(Join(Check(Url(c.path))), Join(c.expected)) << c.path;

    // A closed port: nobody answers.
    const std::vector<std::string> unreachable = Check("http://127.0.0.1:1/downloads/new.inf");
    ASSERT_EQ(unreachable.size(), 2u);
    EXPECT_EQ(unreachable[0], "unreachable:http://127.0.0.1:1/downloads/new.inf|127.0.0.1");
    EXPECT_NE(unreachable[1].find("http://127.0.0.1"), std::string::npos) << unreachable[1];
    EXPECT_EQ(unreachable[1].find("%s"), std::string::npos) << unreachable[1];

    // Cleared flags keep the events and drop the boxes.
    updater->ShowMessages = 0;
    EXPECT_EQ(Join(Check(Url("/downloads/none.inf"))), Join({"no info file"}));
}

TEST_F(UpdaterWineTest, NewerVersionIsOfferedAndTheAnswerDecides) {
    const std::string begin = "begin:Many improvements and bugs fixed|0|" + Url("/downloads/pelorin.exe");
    const struct {
        const char* path;
        bool yes, can;
        const char* last;
    } cases[] = {
        {"/downloads/new.inf", false, true, "later"},
        {"/downloads/new.inf", true, true, "download"},
        {"/downloads/moved.inf", true, true, "download"},  // a redirect is followed
        {"/downloads/new.inf", true, false, "later"},      // the event says no: nothing asked
    };
    for (const auto& c : cases) {
        answerYes = c.yes;
        canUpgrade = c.can;
        const std::vector<std::string> seen = Check(Url(c.path));
        ASSERT_EQ(seen.size(), c.can ? 3u : 2u) << Join(seen);
        EXPECT_EQ(seen[0], begin);
        EXPECT_EQ(seen[1], c.last);
        if (c.can) {
            EXPECT_EQ(seen[2].find("question:"), 0u);
            EXPECT_NE(seen[2].find("\n\nMany improvements and bugs fixed\n\n"), std::string::npos) << seen[2];
            EXPECT_NE(seen[2].find(App().Title()), std::string::npos) << seen[2];
        }
    }
    EXPECT_EQ(updater->UpgradeInfo().Files.size(), 1u);
    EXPECT_TRUE(updater->UpgradeInfo().Files[0].HasSha256);
}

TEST_F(UpdaterWineTest, TheQuestionIsAskedOnlyWhenItsFlagIsSet) {
    updater->ShowMessages = AllUpdaterShowMessages & ~mAskUpgrade;
    const std::vector<std::string> seen = Check(Url("/downloads/new.inf"));
    ASSERT_EQ(seen.size(), 2u) << Join(seen);
    EXPECT_EQ(seen[1], "download");
}

// The test browser: an .html class of our own whose "open" command is a recorder program.
TEST_F(UpdaterWineTest, RedirectMethodOpensThePageInTheRegisteredBrowser) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string recorder = self;
    recorder = recorder.substr(0, recorder.find_last_of('\\') + 1) + "updater_wine_browser.exe";
    const std::string record = FreshTempPath("pelorin_browser_url.txt");
    TRegistry reg(HKEY_CLASSES_ROOT);
    std::string oldClass;
    ASSERT_TRUE(reg.OpenKey(".html", true));
    reg.ReadString("", oldClass);
    ASSERT_TRUE(reg.WriteString("", "PelorinTestPage"));
    ASSERT_TRUE(reg.OpenKey("PelorinTestPage\\shell\\open\\command", true));
    ASSERT_TRUE(reg.WriteString("", "\"" + recorder + "\" -new-window \"%1\""));
    reg.CloseKey();

    answerYes = true;
    const std::vector<std::string> seen = Check(Url("/downloads/browse.inf"));
    PumpUntil(15000, [&] { return !ReadWholeFile(record).empty(); });
    const std::string commandLine = ReadWholeFile(record);

    if (reg.OpenKey(".html", true)) reg.WriteString("", oldClass);
    for (const char* key : {"PelorinTestPage\\shell\\open\\command", "PelorinTestPage\\shell\\open",
                            "PelorinTestPage\\shell", "PelorinTestPage"})
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    ASSERT_EQ(seen.size(), 2u) << Join(seen);
    EXPECT_EQ(seen[0], "begin:|2|" + Url("/downloads/page.html"));
    // The browser got the page and none of the command's own arguments.
    EXPECT_NE(commandLine.find(Url("/downloads/page.html")), std::string::npos) << commandLine;
    EXPECT_EQ(commandLine.find("-new-window"), std::string::npos) << commandLine;
    DeleteFileA(record.c_str());
}

// Unanswered first: the system keeps the credentials that worked for the rest of the run.
TEST_F(UpdaterWineTest, PasswordRequestAnsweredFetchesTheProtectedFile) {
    std::string realm;
    updater->ShowMessages = AllUpdaterShowMessages & ~mPasswordRequest;
    updater->OnPasswordRequest = [&](TObject*, const std::string& Realm, bool&) { realm = Realm; };
    EXPECT_EQ(Join(Check(Url("/downloads/protected.inf"))), Join({"no info file", Box(umNoInfoFile)}));
    EXPECT_EQ(realm, "Pelorin updates");

    updater->OnPasswordRequest = [&](TObject*, const std::string&, bool& TryAgain) {
        updater->HTTPUsername = "pelorin";
        updater->HTTPPassword = "Fixture-Password-2";
        TryAgain = true;
    };
    const std::vector<std::string> seen = Check(Url("/downloads/protected.inf"));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].find("begin:"), 0u) << Join(seen);
}

TEST_F(UpdaterWineTest, ProxyAuthenticationIsAnsweredByTheEvent) {
    int asked = 0;
    updater->Proxy.AccessType = atUseProxy;
    updater->Proxy.ProxyServer = "127.0.0.1";
    updater->Proxy.ProxyPort = port;
    updater->OnProxyAuthenticationRequest = [&](TObject*, std::string& User, std::string& Password,
                                                bool& TryAgain) {
        ++asked;
        User = "pelorin";
        Password = "Fixture-Password-2";
        TryAgain = true;
    };
    const std::vector<std::string> seen =
        Check("http://updates.invalid:" + std::to_string(port) + "/downloads/proxy-auth/new.inf");
    EXPECT_EQ(asked, 1);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].find("begin:"), 0u) << Join(seen);
}

TEST_F(UpdaterWineTest, SilentAutomaticCheckShowsNothingAndTriesAgain) {
    ASSERT_TRUE(TUpdater::InternetConnected()) << "the automatic check waits for a connection";
    std::vector<DWORD> ticks;
    updater->OnHostUnreachable = [&](TObject*, const std::string&, const std::string&) {
        ticks.push_back(GetTickCount());
    };
    TAnswerer answerer;
    updater->InfoFileURL = "http://127.0.0.1:1/downloads/new.inf";
    updater->ShowMessages = AllUpdaterShowMessages;
    const DWORD start = GetTickCount();
    updater->SetAutoCheck(true);
    PumpUntil(30000, [&] { return ticks.size() >= 2; });
    updater->SetAutoCheck(false);
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_GE(ticks[0] - start, 9000u);
    EXPECT_GE(ticks[1] - ticks[0], 9000u);
    EXPECT_TRUE(answerer.Seen.empty()) << Join(answerer.Seen);
}

// The first parameter the program was started with decides; an empty setting is a blank.
TEST_F(UpdaterWineTest, AfterRestartFiresForTheRestartParameterOnly) {
    if (__argc < 2) GTEST_SKIP() << "started without parameters";
    int fired = 0;
    updater->OnAfterRestart = [&](TObject*) { ++fired; };
    const std::pair<std::string, int> cases[] = {{__argv[1], 1}, {std::string(__argv[1]) + " ", 0}, {"", 0}};
    for (const auto& c : cases) {
        fired = 0;
        updater->SetRestartParams(c.first);
        updater->AfterLoaded();
        EXPECT_EQ(fired, c.second) << c.first;
    }
    EXPECT_EQ(updater->RestartParams(), " ");
    EXPECT_TRUE(updater->StoresRestartParams());
}

// The update's download: the files land beside the program under temporary names, checked
// against their signed digests; a lost or refused file is skipped or ends the update as
// the user answers, and an ended update leaves no downloaded file behind.
TEST_F(UpdaterWineTest, DownloadKeepsOnlyFilesThatMatchTheirDigests) {
    const std::string folder = ExeDirectory();
    const std::string update = folder + "pelorin.exe.uTMP", stale = folder + "stale.dll.uTMP";
    updater->Download = true;
    updater->Wizard.Enabled = false;
    answerYes = true;
    const struct {
        const char* path;
        bool skip;
        std::vector<std::string> events;
        bool kept;
    } cases[] = {
        {"/downloads/new.inf", false, {"done pelorin.exe.uTMP", "end"}, true},
        {"/downloads/missing.inf", true, {"lost gone.exe 404", "done pelorin.exe.uTMP", "end"}, true},
        {"/downloads/missing.inf", false, {"lost gone.exe 404", "aborted"}, false},
        {"/downloads/wrongfile.inf", false, {"lost pelorin.exe 0", "aborted"}, false},
    };
    for (const auto& c : cases) {
        std::ofstream(stale) << "left by an interrupted update";
        skipLostFile = c.skip;
        std::vector<std::string> seen = Check(Url(c.path));
        std::vector<std::string> events;
        for (const std::string& e : seen)
            if (e.find("begin:") != 0 && e.find("question:") != 0 && e.find("lost:") != 0 && e != "download")
                events.push_back(e);
        EXPECT_EQ(Join(events), Join(c.events)) << c.path;
        EXPECT_EQ(GetFileAttributesA(stale.c_str()), INVALID_FILE_ATTRIBUTES) << c.path;
        const DWORD attributes = GetFileAttributesA(update.c_str());
        EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES, c.kept) << c.path;
        if (c.kept) {
            EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
            EXPECT_TRUE(FileMatchesDigest(update, updater->UpgradeInfo().Files.back().Sha256));
            EXPECT_TRUE(updater->UpgradeFinished());
        }
        SetFileAttributesA(update.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(update.c_str());
    }
}

// This test program carries no agent: the update cannot be installed, so the program must
// not close for nothing; it says so and leaves no downloaded file.
TEST_F(UpdaterWineTest, WithoutAnAgentTheProgramStaysAndSaysWhy) {
    updater->Download = true;
    updater->Wizard.Enabled = false;
    answerYes = restart = true;
    const std::vector<std::string> seen = Check(Url("/downloads/new.inf"));
    ASSERT_GE(seen.size(), 2u) << Join(seen);
    EXPECT_EQ(seen.back().find("box:" + AgentPath()), 0u) << Join(seen);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "close"), 0) << Join(seen);
    EXPECT_FALSE(updater->RestartLaunched());
    EXPECT_EQ(GetFileAttributesA((ExeDirectory() + "pelorin.exe.uTMP").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UpdaterWineTest, WizardShowsTheDownloadAndItsFinishEndsTheUpgrade) {
    updater->Download = true;
    answerYes = true;
    Check(Url("/downloads/new.inf"));
    TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance();
    ASSERT_TRUE(wizard != nullptr);
    EXPECT_TRUE(wizard->Completed());
    EXPECT_EQ(log.back(), "done pelorin.exe.uTMP");  // the end waits for the user
    PostMessageA(wizard->FinishBtn->Handle(), BM_CLICK, 0, 0);
    PumpUntil(5000, [] { return TUpdaterWizardForm::Instance() == nullptr; });
    EXPECT_EQ(log.back(), "end");
    const std::string update = ExeDirectory() + "pelorin.exe.uTMP";
    SetFileAttributesA(update.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(update.c_str());
}

// Pictures of the question for people to look at, in English and in German.
TEST_F(UpdaterWineTest, LeavesPicturesOfTheQuestion) {
    if (ScreenshotDir().empty()) GTEST_SKIP() << "PELORIN_SCREENSHOT_DIR is not set";
    const std::pair<TWizardLanguage, const char*> languages[] = {{wlEnglish, "updater_question_english"},
                                                                 {wlGerman, "updater_question_german"}};
    for (const auto& l : languages) {
        updater->Wizard.SetLanguage(l.first);
        screenshot = l.second;
        DeleteFileA((ScreenshotDir() + "\\" + l.second + ".bmp").c_str());
        Check(Url("/downloads/new.inf"));
        std::FILE* f = std::fopen((ScreenshotDir() + "\\" + l.second + ".bmp").c_str(), "rb");
        EXPECT_TRUE(f != nullptr) << l.second;
        if (f) std::fclose(f);
    }
}

}  // namespace
