#include "http/SocketWindow_win.h"

#include <algorithm>

#include "http/WSocket_win.h"
#include "ui/MessagePump_win.h"

namespace {
const TWindowClass SocketClass = {"XSocketWindowClass"};
}  // namespace

TSocketWindow::TSocketWindow(TCustomWSocket* Socket) : FSocket(Socket) {
    CreateHandle(SocketClass, WS_EX_TOOLWINDOW, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
}

LRESULT TSocketWindow::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (FSocket && Msg >= WM_USER && FSocket->HandleMessage(Msg, WParam, LParam)) return 0;
    return DefaultProc(Msg, WParam, LParam);
}

bool TCustomWSocket::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
    bool handled = true;  // one of ours, even when its handler threw
    CallGuarded([&] { handled = WndProc(Msg, WParam, LParam); });
    return handled;
}

// ---- the pump ----

void TCustomWSocket::MessagePump() {
    // The thread's own queue: a socket used on a worker thread pumps that thread's.
    if (!HandlePendingMessages()) FTerminated = true;
}

// ---- the waits ----

bool TCustomWSocket::Nap(const std::shared_ptr<bool>& Life) {
    const bool carryOn = SleepHandlingMessages(20);
    if (!*Life) return false;
    if (!carryOn) FTerminated = true;
    return carryOn;
}

void TCustomWSocket::Flush() {
    // Bounded by FlushTimeout so that a peer that stops reading cannot hang the caller.
    auto life = LifeToken();
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(FlushTimeout, 0)) * 1000;
    while (HasHandle() && !FAllSent) {
        TryToSend();
        if (!*life) return;
        if (FAllSent || !HasHandle()) break;
        if (GetTickCount() - start >= limit || !Nap(life)) return;
    }
}

void TCustomWSocket::WaitForClose() {
    auto life = LifeToken();
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(FlushTimeout, 0)) * 1000;
    while (HasHandle() && FState != wsClosed) {
        int err = 0;
        const int waiting = RawPending(err);
        if (waiting < 0) break;
        if (waiting > 0) {
            TriggerDataAvailable(0);
            if (!*life) return;
            if (!HasHandle() || FState == wsClosed) break;
        }
        char probe;
        if (WS(recv)(FHSocket, &probe, 0, 0) < 0 && WS(WSAGetLastError)() != WSAEWOULDBLOCK) break;
        if (GetTickCount() - start >= limit || !Nap(life)) return;
    }
}

int TCustomSyncWSocket::WaitUntilReady(const int& DoneFlag) {
    if (DoneFlag) return 0;
    if (FTerminated) return WSocket_ETIMEOUT;
    auto life = LifeToken();
    // A handler that frees the socket ends the wait too.
    const TWaitResult r =
        WaitHandlingMessages([&] { return !*life || DoneFlag != 0; }, Timeout ? Timeout : INFINITE);
    if (!*life) return WSocket_ETIMEOUT;
    if (r == wrQuit) FTerminated = true;
    return r == wrDone ? 0 : WSocket_ETIMEOUT;
}

int TCustomSyncWSocket::Synchronize(const std::function<void()>& Proc, int& DoneFlag) {
    DoneFlag = 0;
    if (Proc) Proc();
    return WaitUntilReady(DoneFlag);
}
