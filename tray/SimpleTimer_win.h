#pragma once
// Light timers for the tray icon: every timer's ticks arrive at one shared hidden window
// (made with the first timer, freed with the last) and each timer's own identity is its
// platform timer identifier.
#include <windows.h>

#include <functional>

#include "base/Events.h"

class TSimpleTimer : public TObject {
public:
    using TCallback = std::function<void(TSimpleTimer* Sender)>;

    // Owner is whatever the timer belongs to (the icon), for the callback's use.
    TSimpleTimer(TCallback Callback, TObject* Owner = nullptr);
    ~TSimpleTimer() override;

    // Starts the timer; a running timer starts counting again.
    void Start(unsigned Interval);
    void Stop();
    bool Active() const { return FActive; }
    unsigned Interval() const { return FInterval; }
    TObject* Owner() const { return FOwner; }

    // The shared window, for tests; null when no timer exists.
    static HWND HandlerWindow();

private:
    friend struct TSimpleTimerHandler;
    TCallback FCallback;
    TObject* FOwner;
    unsigned FInterval = 0;
    bool FActive = false;
};
