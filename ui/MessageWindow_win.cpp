#include "ui/MessageWindow_win.h"

#include <algorithm>
#include <set>
#include <vector>

#include "base/Exception.h"
#include "ui/Window_win.h"

class TMessageWindow : public TWindow {
public:
    static TMessageWindow& Instance() {
        // Never freed: users that outlive static destruction still find it.
        static TMessageWindow* window = new TMessageWindow;
        return *window;
    }

    void Join(TSharedWindow* User) {
        if (!FHandle) {
            static const TWindowClass Class = {"PelorinMessageWindow"};
            CreateHandle(Class, WS_EX_TOOLWINDOW, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr);
            FThread = GetCurrentThreadId();
        } else if (GetCurrentThreadId() != FThread) {
            throw Exception("The hidden window belongs to another thread");
        }
        FUsers.push_back(User);
    }

    void Leave(TSharedWindow* User) {
        FUsers.erase(std::remove(FUsers.begin(), FUsers.end(), User), FUsers.end());
        if (!FUsers.empty()) return;
        if (FDepth == 0)
            DestroyHandle();
        else
            FUnused = true;
    }

    UINT_PTR NewTimerId() {
        while (FNextTimerId == 0 || FTimerIds.count(FNextTimerId))
            ++FNextTimerId;
        FTimerIds.insert(FNextTimerId);
        return FNextTimerId++;
    }

    void FreeTimerId(UINT_PTR Id) {
        if (FHandle) KillTimer(FHandle, Id);
        FTimerIds.erase(Id);
    }

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override {
        LRESULT result = 0;
        // Handled, or the window went with its last user meanwhile.
        if (Offer(Msg, WParam, LParam, result) || !FHandle) return result;
        switch (Msg) {
        // The window lives as long as a user does, whatever the session does.
        case WM_DESTROY:
        case WM_CLOSE:
        case WM_QUERYENDSESSION:
        case WM_QUIT:
        case WM_ENDSESSION:
        case WM_NCDESTROY:
            return 1;
        }
        return DefaultProc(Msg, WParam, LParam);
    }

private:
    // Users come and go while one handles a message (a click that frees a form frees its
    // timers and menus): each is asked only while it is still there, and the window stays
    // until the message has been handled.
    bool Offer(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
        const std::vector<TSharedWindow*> users = FUsers;
        ++FDepth;
        bool handled = false;
        try {
            for (TSharedWindow* user : users) {
                if (std::find(FUsers.begin(), FUsers.end(), user) == FUsers.end() || !user->FHandler)
                    continue;
                // A copy: the handler may free the user that holds it.
                TSharedWindow::THandler handler = user->FHandler;
                if (handler(Msg, WParam, LParam, Result)) {
                    handled = true;
                    break;
                }
            }
        } catch (...) {
            EndOffer();
            throw;
        }
        EndOffer();
        return handled;
    }

    // The last user went while a message was being handled: the window goes now, unless
    // a new user came meanwhile.
    void EndOffer() {
        if (--FDepth > 0 || !FUnused) return;
        FUnused = false;
        if (FUsers.empty()) DestroyHandle();
    }

    std::vector<TSharedWindow*> FUsers;
    std::set<UINT_PTR> FTimerIds;
    UINT_PTR FNextTimerId = 1;
    DWORD FThread = 0;
    int FDepth = 0;
    bool FUnused = false;
};

TSharedWindow::TSharedWindow(THandler Handler) : FHandler(std::move(Handler)) {
    TMessageWindow::Instance().Join(this);
}

TSharedWindow::~TSharedWindow() { TMessageWindow::Instance().Leave(this); }

HWND TSharedWindow::Handle() const { return TMessageWindow::Instance().Handle(); }

HWND TSharedWindow::Current() { return TMessageWindow::Instance().Handle(); }

UINT_PTR TSharedWindow::NewTimerId() { return TMessageWindow::Instance().NewTimerId(); }

void TSharedWindow::FreeTimerId(UINT_PTR Id) { TMessageWindow::Instance().FreeTimerId(Id); }

// ---------------------------------------------------------------------------------------

TWindowTimer::TWindowTimer(std::function<void()> OnTick)
    : FOnTick(std::move(OnTick)), FWindow([this](UINT Msg, WPARAM WParam, LPARAM, LRESULT& Result) {
          if (Msg != WM_TIMER || WParam != FId) return false;
          // A tick still queued for a timer that was stopped is dropped; a copy of the
          // callback, since it may free this timer.
          if (FRunning && FOnTick) {
              std::function<void()> tick = FOnTick;
              tick();
          }
          Result = 0;
          return true;
      }),
      FId(FWindow.NewTimerId()) {}

TWindowTimer::~TWindowTimer() { FWindow.FreeTimerId(FId); }

bool TWindowTimer::Start(unsigned Interval) {
    // The same identifier again replaces the running timer: the count restarts.
    FRunning = SetTimer(FWindow.Handle(), FId, Interval, nullptr) != 0;
    return FRunning;
}

void TWindowTimer::Stop() {
    if (!FRunning) return;
    FRunning = false;
    KillTimer(FWindow.Handle(), FId);
}
