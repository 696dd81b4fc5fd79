#pragma once
// The dispatcher of the Windows program: posted work runs on the thread that owns the
// shared hidden window (the GUI thread), from its message queue, in the order of posting,
// each step guarded. It is the one way a worker thread reaches the GUI.
#include <windows.h>

#include <functional>
#include <mutex>
#include <set>

#include "base/Dispatcher.h"
#include "ui/MessageWindow_win.h"

class TWindowDispatcher : public TDispatcher {
public:
    // Made and freed on the GUI thread.
    TWindowDispatcher();
    // Work still queued is freed without running.
    ~TWindowDispatcher() override;

    // Safe from any thread; throws when the queue refuses the work (it is full).
    void Post(std::function<void()> Work) override;

private:
    bool Run(UINT Msg, LPARAM LParam);

    std::mutex FLock;
    HWND FWindow = nullptr;  // null once the dispatcher goes
    // The work on its way: a message naming anything else (any program can post to a
    // top-level window) is not ours to run.
    std::set<std::function<void()>*> FQueued;
    TSharedWindow FShare;
};
