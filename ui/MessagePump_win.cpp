#include "ui/MessagePump_win.h"

#include <utility>

namespace {
TMessageHook& Hook() {
    static TMessageHook hook;
    return hook;
}
}  // namespace

void SetMessageHook(TMessageHook Value) { Hook() = std::move(Value); }

void HandleMessage(MSG& Msg) {
    if (Hook() && Hook()(Msg)) return;
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
