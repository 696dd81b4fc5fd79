#include "tray/SimpleTimer_win.h"

#include <memory>
#include <set>

#include "ui/MessageWindow_win.h"

struct TSimpleTimerHandler {
    static TSimpleTimerHandler*& Instance() {
        static TSimpleTimerHandler* instance = nullptr;
        return instance;
    }
    int RefCount = 0;
    std::set<TSimpleTimer*> Live;
    std::unique_ptr<TMessageWindow> Window;

    static void AddRef(TSimpleTimer* Timer) {
        TSimpleTimerHandler*& h = Instance();
        if (!h) {
            h = new TSimpleTimerHandler;
            h->Window =
                std::make_unique<TMessageWindow>([](UINT Msg, WPARAM WParam, LPARAM, LRESULT& Result) {
                    if (Msg != WM_TIMER) return false;
                    TSimpleTimerHandler* self = Instance();
                    auto* timer = reinterpret_cast<TSimpleTimer*>(WParam);
                    // A tick still queued for a timer that is gone is dropped.
                    if (self && self->Live.count(timer) && timer->FActive && timer->FCallback)
                        timer->FCallback(timer);
                    Result = 0;
                    return true;
                });
        }
        ++h->RefCount;
        h->Live.insert(Timer);
    }

    static void Release(TSimpleTimer* Timer) {
        TSimpleTimerHandler*& h = Instance();
        if (!h) return;
        h->Live.erase(Timer);
        if (--h->RefCount == 0) {
            delete h;
            h = nullptr;
        }
    }
};

TSimpleTimer::TSimpleTimer(TCallback Callback, TObject* Owner)
    : FCallback(std::move(Callback)), FOwner(Owner) {
    TSimpleTimerHandler::AddRef(this);
}

TSimpleTimer::~TSimpleTimer() {
    Stop();
    TSimpleTimerHandler::Release(this);
}

void TSimpleTimer::Start(unsigned Interval) {
    FInterval = Interval;
    HWND wnd = HandlerWindow();
    // SetTimer with the same identifier replaces the running timer: the count restarts.
    FActive = wnd && SetTimer(wnd, reinterpret_cast<UINT_PTR>(this), Interval, nullptr) != 0;
}

void TSimpleTimer::Stop() {
    if (!FActive) return;
    FActive = false;
    if (HWND wnd = HandlerWindow()) KillTimer(wnd, reinterpret_cast<UINT_PTR>(this));
}

HWND TSimpleTimer::HandlerWindow() {
    TSimpleTimerHandler* h = TSimpleTimerHandler::Instance();
    return (h && h->Window) ? h->Window->Handle() : nullptr;
}
