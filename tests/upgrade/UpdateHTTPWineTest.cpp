// The download engine over WinINet under Wine, against the loopback fixture server (started
// by a ctest fixture): files, ranges, errors, authentication, redirects, "file" URLs, the
// order and thread of the notifications, Abort and a busy engine freed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "ui/MessagePump_win.h"
#include "ui/WindowDispatcher_win.h"
#include "upgrade/UpdateHTTP_win.h"

namespace {

const char Hello[] = "hello from the fixture\n";

bool FixturePort(int& Port) {
    const char* dir = std::getenv("PELORIN_HTTP_FIXTURE");
    if (dir == nullptr) return false;
    std::FILE* f = std::fopen((std::string(dir) + "\\port").c_str(), "r");
    if (f == nullptr) return false;
    const bool ok = std::fscanf(f, "%d", &Port) == 1;
    std::fclose(f);
    return ok;
}

class UpdateHTTPWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FixturePort(port)) << "the fixture server did not start";
        SetDispatcher(&dispatcher);
        gui = GetCurrentThreadId();
        http = std::make_unique<TUpdateHTTP>();
        http->Proxy.AccessType = atDirect;
        http->Timeouts.ReceiveTimeout = 20000;
        Record(http.get());
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        target = std::string(dir) + "pelorin_update_test.bin";
        DeleteFileA(target.c_str());
    }
    void TearDown() override {
        http.reset();
        SetDispatcher(nullptr);
        DeleteFileA(target.c_str());
    }
    std::string Url(const std::string& Path) { return "http://127.0.0.1:" + std::to_string(port) + Path; }

    // Every GUI-thread notification, in order, as "name[:detail]"; one from another thread
    // is logged as such, so the log shows it.
    void Log(const std::string& Entry) {
        log.push_back(GetCurrentThreadId() == gui ? Entry : "OFF-THREAD " + Entry);
    }
    void Record(TUpdateHTTP* H) {
        H->OnHeaderInfo = [this](TObject*, int Status, const std::string&, const std::string&,
                                 const std::string&, const std::string&, const std::string&, int64_t Length,
                                 double Date, double, double, bool& Continue) {
            Log("header:" + std::to_string(Status) + "/" + std::to_string(Length));
            lastDate = Date;
            Continue = keepGoing;
        };
        H->OnDone = [this](TObject*, const std::string&, TStream* S, int64_t Bytes) {
            Log("done:" + std::to_string(Bytes));
            body = S ? S->ReadRest() : "(file)";
        };
        H->OnDownloadProgress = [this](TObject*, const std::string&, TStream*, const TProgressFigures& P,
                                       int64_t Bytes, int64_t) {
            Log("progress:" + std::to_string(Bytes) + "=" + std::to_string(P.PercentsDone) + "%");
            if (abortAfterBytes > 0 && Bytes >= abortAfterBytes) http->Abort();
        };
        H->OnSkipped = [this](TObject*) { Log("skipped"); };
        H->OnAnyError = [this](TObject*) { Log("error"); };
        H->OnTransferAborted = [this](TObject*) { Log("aborted"); };
        H->OnServerUnreachable = [this](TObject*) { Log("unreachable"); };
        H->OnConnectionLost = [this](TObject*, const std::string&, TStream*, int64_t Bytes, int64_t Length) {
            Log("lost:" + std::to_string(Bytes) + "/" + std::to_string(Length));
        };
        H->OnHTTPError = [this](TObject*, int Status, TStream* S) {
            Log("http:" + std::to_string(Status));
            body = S ? S->ReadRest() : "";
        };
    }
    // Starts the run and handles messages until the engine is idle again.
    void Run(DWORD Timeout = 30000) {
        ASSERT_TRUE(http->Start());
        ASSERT_EQ(WaitHandlingMessages([this] { return !http->Busy(); }, Timeout), wrDone);
    }
    // Just the names of the log, progress lines folded into one "progress".
    std::string Outline() const {
        std::string out;
        for (const std::string& e : log) {
            const std::string name = e.substr(0, e.find(':'));
            if (name == "progress" && out.size() >= 9 && out.compare(out.size() - 9, 9, "progress ") == 0)
                continue;
            out += name + " ";
        }
        return out;
    }

    TWindowDispatcher dispatcher;
    DWORD gui = 0;
    int port = 0;
    std::unique_ptr<TUpdateHTTP> http;
    std::vector<std::string> log;
    std::string body, target;
    bool keepGoing = true;
    int64_t abortAfterBytes = 0;
    double lastDate = 0;
};

// Now, local, in days since 1899-12-30.
double LocalNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME ft;
    SystemTimeToFileTime(&now, &ft);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<double>(ticks) / 864000000000.0 - 109205.0;  // 100 ns steps since 1601
}

std::string ReadFileText(const std::string& Name) {
    try {
        return LoadFileToString(Name);
    } catch (const EStreamError&) {
        return "(none)";
    }
}

}  // namespace

TEST_F(UpdateHTTPWineTest, DownloadsToMemoryAndToAFileWithProgressInOrder) {
    http->TransferBufferSize = 10;
    http->URL = Url("/file/hello.txt");
    Run();
    EXPECT_EQ(body, Hello);
    const std::vector<std::string> want = {"header:200/23", "progress:10=43%", "progress:20=87%",
                                           "progress:23=100%", "done:23"};
    EXPECT_EQ(log, want);

    log.clear();
    http->FileName = target;
    http->HideFileName = true;
    Run();
    EXPECT_EQ(Outline(), "header progress done ");
    EXPECT_EQ(body, "(file)");
    EXPECT_EQ(ReadFileText(target), Hello);
    EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(UpdateHTTPWineTest, RangesAskForPartOfTheFile) {
    http->URL = Url("/ranged/hello.txt");
    const struct {
        int Start, End;
        const char* Want;
    } cases[] = {{6, 0, "from the fixture\n"}, {0, 4, "hello"}};
    for (const auto& c : cases) {
        log.clear();
        http->Range = {c.Start, c.End};
        Run();
        EXPECT_EQ(Outline(), "header progress done ") << c.Start;
        EXPECT_EQ(body, c.Want);
        // The fixture dates its answer in GMT; it arrives as our local time.
        EXPECT_NEAR(lastDate, LocalNow(), 1.0 / 24 / 60);
    }
}

TEST_F(UpdateHTTPWineTest, FailuresReachTheirNotifications) {
    // The target of a failed run goes; the error page stays readable.
    // A run that got no answer leaves the file alone.
    const struct {
        std::string Url;
        const char* Outline;
        const char* Last;
        const char* File;
    } cases[] = {
        {Url("/file/none.txt"), "header progress error http ", "http:404", "(none)"},
        {Url("/wrong-length"), "header progress error lost ", "lost:4/10", "(none)"},
        {"http://127.0.0.1:1/x", "error unreachable ", "unreachable", "stale"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Url);
        log.clear();
        body.clear();
        { TFileStream(target, fmCreate).WriteString("stale"); }
        http->URL = c.Url;
        http->FileName = target;
        Run();
        EXPECT_EQ(Outline(), c.Outline);
        EXPECT_EQ(log.back(), c.Last);
        EXPECT_EQ(ReadFileText(target), c.File);
    }
    EXPECT_EQ(body, "");
    log.clear();
    http->FileName.clear();
    http->URL = Url("/file/none.txt");
    Run();
    EXPECT_EQ(body, "no such file");
}

TEST_F(UpdateHTTPWineTest, PostsFormDataAndGetsWhenAsked) {
    http->URL = Url("/echo");
    http->PostData = "a=1&b=2";
    Run();
    EXPECT_EQ(body, "POST /echo HTTP/1.1|a=1&b=2");
    http->RequestMethod = rmGet;
    Run();
    EXPECT_EQ(body, "GET /echo HTTP/1.1|");
}

TEST_F(UpdateHTTPWineTest, HeaderInfoCanSkipTheFile) {
    keepGoing = false;
    http->URL = Url("/file/hello.txt");
    http->FileName = target;
    Run();
    EXPECT_EQ(Outline(), "header skipped ");
    EXPECT_EQ(ReadFileText(target), "(none)");
}

TEST_F(UpdateHTTPWineTest, PasswordRequestRetriesWithTheCredentials) {
    // The library keeps credentials that worked for a host: the refusals go to another name
    // of the fixture, before the success.
    int asks = 0;
    bool again = false;
    http->OnHTTPPasswordRequest = [&](TObject*, const std::string&, bool& TryAgain) {
        ++asks;
        TryAgain = again;
    };
    http->URL = "http://localhost:" + std::to_string(port) + "/auth/basic";
    for (bool answer : {false, true}) {
        SCOPED_TRACE(answer);
        again = answer;
        asks = 0;
        log.clear();
        Run();
        EXPECT_EQ(log.back(), "http:401");
        // Answering "again" with nothing new ends, though the server keeps asking.
        EXPECT_EQ(asks > 1, answer);
        EXPECT_LT(asks, 50);
    }

    std::vector<std::string> realms;
    http->OnHTTPPasswordRequest = [&](TObject*, const std::string& Realm, bool& TryAgain) {
        realms.push_back(Realm);
        http->HTTPUsername = "pelorin";
        // The first answer is wrong, so the server asks again.
        http->HTTPPassword = realms.size() == 1 ? "wrong" : "Fixture-Password-2";
        TryAgain = true;
    };
    log.clear();
    http->URL = Url("/auth/basic");
    Run();
    EXPECT_EQ(realms, (std::vector<std::string>{"fixture", "fixture"}));
    EXPECT_EQ(log.back(), "done:" + std::to_string(body.size()));
    EXPECT_NE(body.find("Basic"), std::string::npos) << body;
}

TEST_F(UpdateHTTPWineTest, FollowsRedirectsAndReportsThemOnTheWorker) {
    std::vector<std::string> moves;
    DWORD thread = 0;
    http->OnRedirected = [&](TObject*, const std::string& NewURL) {
        moves.push_back(NewURL);
        thread = GetCurrentThreadId();
    };
    http->URL = Url("/redirect/2");
    Run();
    EXPECT_EQ(body, "arrived");
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_NE(moves.back().find("/redirect/0"), std::string::npos) << moves.back();
    EXPECT_NE(thread, gui);
}

TEST_F(UpdateHTTPWineTest, ReadsFileUrls) {
    { TFileStream("pelorin_update_src.txt", fmCreate).WriteString("local bytes"); }
    char full[MAX_PATH];
    GetFullPathNameA("pelorin_update_src.txt", MAX_PATH, full, nullptr);
    std::string path = full;
    for (char& c : path)
        if (c == '\\') c = '/';
    http->URL = "file:///" + path;
    Run();
    EXPECT_EQ(body, "local bytes");
    EXPECT_EQ(log.front(), "header:200/11");
    log.clear();
    http->URL = "file:///" + path + ".none";
    Run();
    EXPECT_EQ(log.back(), "http:404");
    DeleteFileA("pelorin_update_src.txt");
}

TEST_F(UpdateHTTPWineTest, StartDuringARunIsRefused) {
    http->URL = Url("/trickle");
    ASSERT_TRUE(http->Start());
    EXPECT_FALSE(http->Start());
    http->Abort();
    EXPECT_FALSE(http->Busy());
}

TEST_F(UpdateHTTPWineTest, AbortEndsASlowBodyWithNothingAfter) {
    http->URL = Url("/trickle");
    http->TransferBufferSize = 1;
    abortAfterBytes = 0;
    ASSERT_TRUE(http->Start());
    ASSERT_EQ(WaitHandlingMessages([this] { return log.size() >= 3; }, 20000), wrDone);
    http->Abort();
    EXPECT_FALSE(http->Busy());
    EXPECT_EQ(log.back(), "aborted");
    const size_t seen = log.size();
    SleepHandlingMessages(1500);
    EXPECT_EQ(log.size(), seen) << log.back();

    // A new run can start at once, and an abort from inside a notification ends it too.
    log.clear();
    abortAfterBytes = 2;
    ASSERT_TRUE(http->Start());
    ASSERT_EQ(WaitHandlingMessages([this] { return !http->Busy(); }, 20000), wrDone);
    SleepHandlingMessages(1500);
    EXPECT_EQ(Outline(), "header progress aborted ");
}

TEST_F(UpdateHTTPWineTest, FreeingABusyEngineStopsItsWorker) {
    // The body stalls after two bytes: the worker sits in a read that only closing its
    // handles ends.
    http->URL = Url("/stall");
    http->TransferBufferSize = 1;
    ASSERT_TRUE(http->Start());
    ASSERT_EQ(WaitHandlingMessages([this] { return log.size() >= 3; }, 20000), wrDone);
    http.reset();  // waits for the worker, then ends it
    const size_t seen = log.size();
    SleepHandlingMessages(1000);
    EXPECT_EQ(log.size(), seen);
}

TEST(UpdateThreadTest, NoWorkerOutlivesItsOwner) {
    // A worker that never returns by itself, as one blocked in a read no close cuts short.
    HANDLE self = nullptr;
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        TUpdateThread thread;
        thread.Run([&] {
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, SYNCHRONIZE,
                            FALSE, 0);
            SetEvent(started);
            Sleep(INFINITE);
        });
        ASSERT_EQ(WaitForSingleObject(started, 10000), WAIT_OBJECT_0);
    }
    EXPECT_EQ(WaitForSingleObject(self, 0), WAIT_OBJECT_0);
    CloseHandle(self);
    CloseHandle(started);
}

TEST_F(UpdateHTTPWineTest, AbortDoesNotWaitForAServerThatKeepsSending) {
    // The body never ends; closing the request must not read it to its end on this thread.
    http->URL = Url("/downloads/endless.inf");
    abortAfterBytes = 1;
    const DWORD start = GetTickCount();
    ASSERT_TRUE(http->Start());
    ASSERT_EQ(WaitHandlingMessages([this] { return !http->Busy(); }, 20000), wrDone);
    // A hang bound, far below the two minutes the fixture keeps sending.
    EXPECT_LT(GetTickCount() - start, 15000u);
    EXPECT_EQ(log.back(), "aborted");
}
