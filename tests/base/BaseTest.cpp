#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Dispatcher.h"
#include "base/Exception.h"
#include "base/StrUtils.h"
#include "base/Streams.h"
#include "base/Strings.h"

namespace {
struct Watcher : TComponent {
    using TComponent::TComponent;
    TComponent* watched = nullptr;
    int* destroyed = nullptr;
    ~Watcher() override {
        BeginDestroy();
        if (destroyed) ++*destroyed;
    }
    void Notification(TComponent* c, TOperation op) override {
        if (op == opRemove && c == watched) watched = nullptr;
    }
};
}  // namespace

TEST(Component, OwnerFreesOwnedComponents) {
    int destroyed = 0;
    auto* owner = new TComponent;
    auto* a = new Watcher(owner);
    auto* b = new Watcher(owner);
    a->destroyed = b->destroyed = &destroyed;
    EXPECT_EQ(owner->ComponentCount(), 2);
    delete b;  // a component freed early leaves its owner's list
    EXPECT_EQ(owner->ComponentCount(), 1);
    delete owner;
    EXPECT_EQ(destroyed, 2);
}

TEST(Component, FreeNotificationClearsTheReferenceWhicheverGoesFirst) {
    Watcher w;
    auto* target = new TComponent;
    w.watched = target;
    w.FreeNotification(target);
    delete target;
    EXPECT_EQ(w.watched, nullptr);

    auto* w2 = new Watcher;
    TComponent target2;
    w2->watched = &target2;
    w2->FreeNotification(&target2);
    delete w2;  // target2 must not notify a dead watcher when it goes later
}

TEST(StringList, TextJoinsWithCrLfAndSetTextSplitsEveryBreak) {
    TStringList l;
    l.SetText("a\r\nb\nc\rd\r\n");
    ASSERT_EQ(l.Count(), 4);
    EXPECT_EQ(l[3], "d");
    EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n");
    l.SetText("x\n\ny");
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l[1], "");
}

TEST(StringList, ChangeEventFiresOncePerUpdateBatch) {
    TStringList l;
    int changes = 0;
    l.OnChange = [&](TObject*) { ++changes; };
    l.Add("a");
    EXPECT_EQ(changes, 1);
    l.BeginUpdate();
    l.Add("b");
    l.Add("c");
    l.Delete(0);
    l.EndUpdate();
    EXPECT_EQ(changes, 2);
    EXPECT_THROW(l.Delete(5), Exception);
    EXPECT_THROW(l.Insert(-1, "x"), Exception);
}

TEST(StringList, NameValuePairs) {
    TStringList l{"Key=1", "other=two=2"};
    EXPECT_EQ(l.Values("key"), "1");
    EXPECT_EQ(l.Values("OTHER"), "two=2");
    l.SetValue("New", "3");
    EXPECT_EQ(l[2], "New=3");
    EXPECT_EQ(l.Names(1), "other");
}

TEST(StrUtils, IntegersAcceptDecimalAndHexPrefixesAndRejectJunk) {
    EXPECT_EQ(StrToIntDef("42", 0), 42);
    EXPECT_EQ(StrToIntDef(" -7 ", 0), -7);
    EXPECT_EQ(StrToIntDef("0x1F", 0), 31);
    EXPECT_EQ(StrToIntDef("$ff", 0), 255);
    EXPECT_EQ(StrToIntDef("0xFFFFFFFF", 0), -1);
    EXPECT_EQ(StrToIntDef("2147483647", 0), 2147483647);
    EXPECT_EQ(StrToIntDef("-2147483648", 0), -2147483647 - 1);
    EXPECT_EQ(StrToIntDef("2147483648", 5), 5);
    EXPECT_EQ(StrToIntDef("0x100000000", 5), 5);
    EXPECT_EQ(StrToIntDef("12a", 5), 5);
    EXPECT_EQ(StrToIntDef("", 5), 5);
    EXPECT_EQ(StrToIntDef("0x", 5), 5);
    EXPECT_THROW(StrToInt("abc"), Exception);
}

TEST(StrUtils, CaseTrimAndFormatting) {
    EXPECT_EQ(UpperCase("abc\xe9"), "ABC\xe9");
    EXPECT_TRUE(SameText("Settings", "SETTINGS"));
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_EQ(Trim("\t x y \r\n"), "x y");
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(TrimRight("  x "), "  x");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(Format("%s=%d", "n", 5), "n=5");
    EXPECT_EQ(FindTextNoCase("abcDEF", "def"), 3u);
    EXPECT_EQ(StringReplaceAll("a-b-c", "-", "+-"), "a+-b+-c");
}

TEST(Streams, MemoryStreamReadsWritesSeeksAndResizes) {
    TMemoryStream m;
    m.WriteString("hello world");
    EXPECT_EQ(m.Size(), 11);
    m.SetPosition(6);
    EXPECT_EQ(m.ReadRest(), "world");
    m.SetSize(5);
    EXPECT_EQ(m.DataString(), "hello");
    EXPECT_EQ(m.Position(), 5);
    char c;
    EXPECT_THROW(m.ReadBuffer(&c, 1), EStreamError);
}

TEST(Streams, FileStreamCanBeCutBack) {
    std::string name = testing::TempDir() + "pelorin_stream_test.bin";
    {
        TFileStream f(name, fmCreate);
        f.WriteString("0123456789");
        f.SetSize(4);
        EXPECT_EQ(f.Position(), 4);
        f.WriteString("AB");
    }
    EXPECT_EQ(LoadFileToString(name), "0123AB");
    std::remove(name.c_str());
    EXPECT_THROW(TFileStream(name, fmOpenRead), EStreamError);
}

TEST(Dispatcher, RunsPostedWorkInOrderIncludingWorkPostedMeanwhile) {
    TQueueDispatcher q;
    std::string log;
    q.Post([&] {
        log += 'a';
        q.Post([&] { log += 'c'; });
    });
    q.Post([&] { log += 'b'; });
    EXPECT_EQ(q.RunPending(), 3);
    EXPECT_EQ(log, "abc");
    EXPECT_EQ(q.Pending(), 0u);
}

TEST(Dispatcher, ThrowingStepsAreReportedAndTheNextStillRuns) {
    TQueueDispatcher q;
    std::vector<std::string> reported;
    std::string log;
    SetExceptionReporter([&](const std::exception& e) { reported.push_back(e.what()); });
    q.Post([] { throw Exception("step failed"); });
    q.Post([] { throw 42; });
    q.Post([&] { log += 'b'; });
    q.RunPending();
    SetExceptionReporter(nullptr);
    EXPECT_EQ(reported, (std::vector<std::string>{"step failed", "Unknown error"}));
    EXPECT_EQ(log, "b");
}

TEST(Dispatcher, TheInstalledDispatcherReceivesPostsUntilRemoved) {
    TQueueDispatcher mine;
    SetDispatcher(&mine);
    Dispatcher().Post([] {});
    SetDispatcher(nullptr);
    EXPECT_EQ(mine.Pending(), 1u);
    EXPECT_EQ(&Dispatcher(), &DefaultQueueDispatcher());
}
