// The Win32 boundary under Wine, without the forms: an object bound to its window from
// WM_NCCREATE, the guard around every message, the one WM_QUIT rule of the message pump,
// the shared hidden window's timers and the dispatcher.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Dispatcher.h"
#include "base/Exception.h"
#include "ui/MessagePump_win.h"
#include "ui/MessageWindow_win.h"
#include "ui/ScopedHandles_win.h"
#include "ui/Window_win.h"
#include "ui/WindowDispatcher_win.h"

namespace {

const UINT WM_PROBE = WM_USER + 7;

// Records what it is told, and whether it knew its window when told; a handler can be put
// on the probe message.
class TProbeWindow : public TWindow {
public:
    TProbeWindow() {
        static const TWindowClass Class = {"PelorinTestProbe"};
        CreateHandle(Class, 0, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    }
    std::vector<UINT> Seen;
    bool KnewItsWindow = true;
    std::function<void()> OnProbe;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override {
        Seen.push_back(Msg);
        if (!FHandle) KnewItsWindow = false;
        if (Msg == WM_PROBE) {
            if (OnProbe) OnProbe();
            return 1;
        }
        return DefaultProc(Msg, WParam, LParam);
    }
};

bool Saw(const std::vector<UINT>& Seen, UINT Msg) {
    for (UINT m : Seen)
        if (m == Msg) return true;
    return false;
}

// Collects what reaches the reporter while it lives.
struct TReported {
    TReported() {
        SetExceptionReporter([this](const std::exception& e) { Messages.push_back(e.what()); });
    }
    ~TReported() { SetExceptionReporter(nullptr); }
    std::vector<std::string> Messages;
};

// Takes a WM_QUIT a test left queued; its exit code, or -1 when there was none.
int TakeQuit() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? static_cast<int>(msg.wParam) : -1;
}

TEST(Window, BoundAtNcCreateAndForgetsTheWindowWhenItGoes) {
    TProbeWindow w;
    HWND h = w.Handle();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(w.Seen.front(), static_cast<UINT>(WM_NCCREATE))
        << "a message before WM_NCCREATE reached the object";
    EXPECT_TRUE(Saw(w.Seen, WM_CREATE));
    EXPECT_TRUE(w.KnewItsWindow) << "a message came before the handle was known";
    // Destroyed from outside, as an owner takes its owned windows along.
    DestroyWindow(h);
    EXPECT_TRUE(Saw(w.Seen, WM_NCDESTROY));
    EXPECT_EQ(w.Handle(), nullptr);
}

TEST(Window, WhatAHandlerThrowsIsReportedAndTheWindowGoesOn) {
    TReported reported;
    TProbeWindow w;
    int calls = 0;
    w.OnProbe = [&] {
        ++calls;
        if (calls == 1) throw Exception("handler failed");
        if (calls == 2) throw 42;
    };
    EXPECT_EQ(SendMessageA(w.Handle(), WM_PROBE, 0, 0), 0);
    EXPECT_EQ(SendMessageA(w.Handle(), WM_PROBE, 0, 0), 0);
    EXPECT_EQ(SendMessageA(w.Handle(), WM_PROBE, 0, 0), 1);
    EXPECT_EQ(reported.Messages, (std::vector<std::string>{"handler failed", "Unknown error"}));
}

TEST(MessagePump, AWaitEndsWhenDoneOrWhenTheTimeIsUp) {
    TProbeWindow w;
    int probes = 0;
    w.OnProbe = [&] { ++probes; };
    PostMessageA(w.Handle(), WM_PROBE, 0, 0);
    EXPECT_EQ(WaitHandlingMessages([&] { return probes > 0; }, 5000), wrDone);
    EXPECT_EQ(WaitHandlingMessages([] { return false; }, 30), wrTimeout);
    EXPECT_TRUE(SleepHandlingMessages(10));
    EXPECT_FALSE(QuitPending());
}

// A WM_QUIT taken inside a nested wait ends it and every wait around it; it stays queued
// for the application's loop, and while it is there nothing else is handled.
TEST(MessagePump, AQuitSeenInsideAWaitEndsEveryWaitAndIsPostedAgain) {
    TProbeWindow w;
    TWaitResult inner = wrDone;
    int probes = 0;
    w.OnProbe = [&] {
        if (++probes > 1) return;
        PostQuitMessage(3);
        inner = WaitHandlingMessages([] { return false; }, 10000);
    };
    PostMessageA(w.Handle(), WM_PROBE, 0, 0);
    EXPECT_EQ(WaitHandlingMessages([] { return false; }, 10000), wrQuit);
    EXPECT_EQ(inner, wrQuit);
    EXPECT_TRUE(QuitPending());
    PostMessageA(w.Handle(), WM_PROBE, 0, 0);
    EXPECT_FALSE(HandlePendingMessages());
    EXPECT_EQ(probes, 1) << "a message was handled while the program was quitting";
    EXPECT_EQ(TakeQuit(), 3);
    EXPECT_TRUE(HandlePendingMessages());
    EXPECT_EQ(probes, 2);
}

TEST(MessagePump, EveryMessageGoesThroughTheApplicationsHook) {
    TProbeWindow w;
    int probes = 0, hooked = 0;
    w.OnProbe = [&] { ++probes; };
    SetMessageHook([&](MSG& Msg) {
        if (Msg.message != WM_PROBE) return false;
        ++hooked;
        return Msg.wParam == 1;  // used up: never dispatched
    });
    PostMessageA(w.Handle(), WM_PROBE, 1, 0);
    PostMessageA(w.Handle(), WM_PROBE, 0, 0);
    SleepHandlingMessages(20);
    SetMessageHook(nullptr);
    EXPECT_EQ(hooked, 2);
    EXPECT_EQ(probes, 1);
}

TEST(SharedWindow, LivesAsLongAsItsLastUserAndRefusesToClose) {
    ASSERT_EQ(TSharedWindow::Current(), nullptr);
    {
        TSharedWindow a;
        HWND h = a.Handle();
        ASSERT_NE(h, nullptr);
        {
            TSharedWindow b;
            EXPECT_EQ(b.Handle(), h);
        }
        SendMessageA(h, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(h));
        EXPECT_EQ(TSharedWindow::Current(), h);
    }
    EXPECT_EQ(TSharedWindow::Current(), nullptr);
}

// Every timer of the program ticks on the one window: each hears only its own ticks.
TEST(SharedWindow, TimersHearOnlyTheirOwnTicks) {
    int ticksA = 0, ticksB = 0;
    TWindowTimer a([&] { ++ticksA; });
    TWindowTimer b([&] { ++ticksB; });
    ASSERT_TRUE(a.Start(10));
    WaitHandlingMessages([&] { return ticksA >= 2; }, 5000);
    EXPECT_GE(ticksA, 2);
    EXPECT_EQ(ticksB, 0);
    a.Stop();
    ASSERT_TRUE(b.Start(10));
    const int stoppedAt = ticksA;
    WaitHandlingMessages([&] { return ticksB >= 2; }, 5000);
    EXPECT_GE(ticksB, 2);
    EXPECT_EQ(ticksA, stoppedAt);
    EXPECT_FALSE(a.Running());
}

struct TPoster {
    TDispatcher* Dispatcher;
    std::vector<DWORD>* Threads;
    std::string* Log;
};

DWORD WINAPI PostFromWorker(void* Param) {
    auto* p = static_cast<TPoster*>(Param);
    for (char c : std::string("bcd"))
        p->Dispatcher->Post([p, c] {
            p->Threads->push_back(GetCurrentThreadId());
            *p->Log += c;
        });
    return 0;
}

TEST(WindowDispatcher, RunsWorkPostedFromAnyThreadOnItsOwnInOrder) {
    TReported reported;
    TWindowDispatcher dispatcher;
    std::vector<DWORD> threads;
    std::string log;
    dispatcher.Post([&] { log += 'a'; });
    dispatcher.Post([] { throw Exception("step failed"); });
    TPoster poster = {&dispatcher, &threads, &log};
    TKernelHandle worker(CreateThread(nullptr, 0, PostFromWorker, &poster, 0, nullptr));
    ASSERT_TRUE(worker);
    ASSERT_EQ(WaitForSingleObject(worker.Get(), 10000), WAIT_OBJECT_0);
    dispatcher.Post([&] { log += 'e'; });
    WaitHandlingMessages([&] { return log.size() >= 5; }, 10000);
    EXPECT_EQ(log, "abcde");
    EXPECT_EQ(threads, std::vector<DWORD>(3, GetCurrentThreadId()));
    EXPECT_EQ(reported.Messages, (std::vector<std::string>{"step failed"}));
}

// Work still queued when the dispatcher goes is freed, not run; a message that only looks
// like posted work (any program can post to the window) runs nothing.
TEST(WindowDispatcher, WorkLeftWhenItGoesIsFreedAndForgedMessagesAreIgnored) {
    TSharedWindow keep;  // the window outlives the dispatcher, as it does in the program
    auto token = std::make_shared<int>(0);
    int ran = 0;
    UINT carrier = 0;
    {
        TWindowDispatcher dispatcher;
        dispatcher.Post([&ran, token] { ++ran; });
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, keep.Handle(), 0, 0, PM_NOREMOVE));
        carrier = msg.message;
        PostMessageA(keep.Handle(), carrier, 0, 0x1234);
        SleepHandlingMessages(20);
        EXPECT_EQ(ran, 1);
        for (int i = 0; i < 3; ++i)
            dispatcher.Post([&ran, token] { ++ran; });
        EXPECT_EQ(token.use_count(), 4);
    }
    EXPECT_EQ(token.use_count(), 1) << "queued work leaked";
    SleepHandlingMessages(20);
    EXPECT_EQ(ran, 1);
}

}  // namespace
