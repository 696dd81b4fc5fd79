#include "ui/MessagePump_win.h"

#include <atomic>
#include <utility>

namespace {
TMessageHook& Hook() {
    static TMessageHook hook;
    return hook;
}
// The hook serves the thread that installed it (the GUI thread); a socket pumping on a
// thread of its own never touches it.
std::atomic<DWORD> HookThread{0};
}  // namespace

void SetMessageHook(TMessageHook Value) {
    HookThread = 0;
    Hook() = std::move(Value);
    if (Hook()) HookThread = GetCurrentThreadId();
}

void HandleMessage(MSG& Msg) {
    if (HookThread == GetCurrentThreadId() && Hook()(Msg)) return;
    TranslateMessage(&Msg);
    DispatchMessageA(&Msg);
}

bool QuitPending() {
    MSG msg;
    return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

bool HandlePendingMessages() {
    // Other messages may be queued ahead of a WM_QUIT: none of them runs once it is there.
    if (QuitPending()) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        HandleMessage(msg);
    }
    return true;
}

TWaitResult WaitHandlingMessages(const std::function<bool()>& Done, DWORD Timeout) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (!HandlePendingMessages()) return wrQuit;
        if (Done && Done()) return wrDone;
        DWORD left = INFINITE;
        if (Timeout != INFINITE) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= Timeout) return wrTimeout;
            left = Timeout - elapsed;
        }
        // Also wakes for messages that arrived while the last batch was handled.
        MsgWaitForMultipleObjectsEx(0, nullptr, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

bool SleepHandlingMessages(DWORD Milliseconds) {
    return WaitHandlingMessages(nullptr, Milliseconds) != wrQuit;
}
