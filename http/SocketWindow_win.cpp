#include "http/SocketWindow_win.h"

#include <algorithm>

#include "http/WSocket_win.h"

namespace {
const char kWindowClass[] = "XSocketWindowClass";

struct ClassState {
    CRITICAL_SECTION cs;  // registration of the window class
    bool registered = false;
    ClassState() { InitializeCriticalSection(&cs); }
};
ClassState& Class() {
    static ClassState state;
    return state;
}

struct Lock {
    explicit Lock(CRITICAL_SECTION& c) : cs(&c) { EnterCriticalSection(cs); }
    ~Lock() { LeaveCriticalSection(cs); }
    CRITICAL_SECTION* cs;
};

LRESULT CALLBACK XSocketWindowProc(HWND hWnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    auto* socket = reinterpret_cast<TCustomWSocket*>(GetWindowLongPtrA(hWnd, 0));
    if (socket && Msg >= WM_USER && socket->HandleMessage(Msg, WParam, LParam)) return 0;
    return DefWindowProcA(hWnd, Msg, WParam, LParam);
}

bool RegisterSocketClass() {
    ClassState& s = Class();
    Lock lock(s.cs);
    if (s.registered) return true;
    WNDCLASSA wc{};
    wc.lpfnWndProc = XSocketWindowProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    s.registered = true;
    return true;
}

TWSocketProcessMessagesProc& PumpProc() {
    static TWSocketProcessMessagesProc proc;
    return proc;
}
volatile LONG GAppTerminated = 0;
}  // namespace

// ---- the window ----

HWND CreateSocketWindow(TCustomWSocket* Socket) {
    if (!RegisterSocketClass()) return nullptr;
    HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (wnd) SetWindowLongPtrA(wnd, 0, reinterpret_cast<LONG_PTR>(Socket));
    return wnd;
}

void DetachSocketWindow(HWND Wnd) {
    if (Wnd) SetWindowLongPtrA(Wnd, 0, 0);
}

void DestroySocketWindow(HWND Wnd) {
    if (Wnd) DestroyWindow(Wnd);
}

void UnregisterSocketWindowClass() {
    ClassState& s = Class();
    Lock lock(s.cs);
    if (!s.registered) return;
    UnregisterClassA(kWindowClass, GetModuleHandleA(nullptr));
    s.registered = false;
}

bool TCustomWSocket::HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
    bool handled = true;  // one of ours, even when its handler threw
    CallGuarded([&] { handled = WndProc(Msg, WParam, LParam); });
    return handled;
}

// ---- the pump ----

void SetWSocketProcessMessagesProc(TWSocketProcessMessagesProc Proc) { PumpProc() = std::move(Proc); }

void WSocketProcessMessages() {
    if (PumpProc()) {
        PumpProc()();
        return;
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the main loop, which must still end.
            InterlockedExchange(&GAppTerminated, 1);
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool WSocketApplicationTerminated() { return GAppTerminated != 0; }
void WSocketSetApplicationTerminated(bool Value) { InterlockedExchange(&GAppTerminated, Value ? 1 : 0); }

void WSocketWaitForInput(DWORD Ms) { MsgWaitForMultipleObjects(0, nullptr, FALSE, Ms, QS_ALLINPUT); }

void TCustomWSocket::MessagePump() {
    if (!FMultiThreaded) {
        WSocketProcessMessages();
        return;
    }
    auto life = LifeToken();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FTerminated = true;
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (!*life) return;
    }
}

// ---- the waits ----

void TCustomWSocket::Flush() {
    // Bounded by FlushTimeout so that a peer that stops reading cannot hang the caller.
    auto life = LifeToken();
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(FlushTimeout, 0)) * 1000;
    while (HasHandle() && !FAllSent) {
        TryToSend();
        if (!*life) return;
        if (FAllSent || !HasHandle()) break;
        MessagePump();
        if (!*life) return;
        if (GetTickCount() - start >= limit) break;
        WSocketWaitForInput(20);
    }
}

void TCustomWSocket::WaitForClose() {
    auto life = LifeToken();
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(FlushTimeout, 0)) * 1000;
    while (HasHandle() && FState != wsClosed) {
        MessagePump();
        if (!*life) return;
        if (!HasHandle() || FState == wsClosed) break;
        int err = 0;
        const int waiting = RawPending(err);
        if (waiting < 0) break;
        if (waiting > 0) {
            TriggerDataAvailable(0);
            if (!*life) return;
            if (!HasHandle()) break;
        }
        char probe;
        if (WS(recv)(FHSocket, &probe, 0, 0) < 0 && WS(WSAGetLastError)() != WSAEWOULDBLOCK) break;
        if (GetTickCount() - start >= limit) break;
        WSocketWaitForInput(20);
    }
}

int TCustomSyncWSocket::WaitUntilReady(const int& DoneFlag) {
    auto life = LifeToken();
    DWORD start = GetTickCount();
    for (;;) {
        if (DoneFlag) return 0;
        DWORD elapsed = GetTickCount() - start;
        if (Timeout && elapsed >= Timeout) return WSocket_ETIMEOUT;
        if (WSocketApplicationTerminated() || FTerminated) return WSocket_ETIMEOUT;
        MessagePump();
        if (!*life) return WSocket_ETIMEOUT;
        if (DoneFlag) return 0;
        // Sleep until a message arrives instead of spinning; the cap re-checks the clock.
        DWORD wait = 50;
        if (Timeout) wait = std::min<DWORD>(wait, Timeout - std::min(Timeout, GetTickCount() - start));
        WSocketWaitForInput(wait);
    }
}

int TCustomSyncWSocket::Synchronize(const std::function<void()>& Proc, int& DoneFlag) {
    DoneFlag = 0;
    if (Proc) Proc();
    return WaitUntilReady(DoneFlag);
}
