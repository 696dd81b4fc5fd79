#pragma once
// Light timers for the tray icon: a callback and the object the timer belongs to. The
// ticks arrive at the shared hidden window, under an identifier no other timer holds.
#include <functional>

#include "base/Events.h"
#include "ui/MessageWindow_win.h"

class TSimpleTimer : public TObject {
public:
    using TCallback = std::function<void(TSimpleTimer* Sender)>;

    // Owner is whatever the timer belongs to (the icon), for the callback's use.
    TSimpleTimer(TCallback Callback, TObject* Owner = nullptr);

    // Starts the timer; a running timer starts counting again.
    void Start(unsigned Interval);
    void Stop() { FTimer.Stop(); }
    bool Active() const { return FTimer.Running(); }
    unsigned Interval() const { return FInterval; }
    TObject* Owner() const { return FOwner; }

private:
    TCallback FCallback;
    TObject* FOwner;
    unsigned FInterval = 0;
    TWindowTimer FTimer;
};
