#pragma once
// A timer component: OnTimer every Interval milliseconds while Enabled. Its ticks arrive at
// the shared hidden window.
#include "base/Component.h"
#include "ui/MessageWindow_win.h"

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner, unsigned Interval = 1000, bool Enabled = true);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    unsigned Interval() const { return FInterval; }
    // Setting the interval of a running timer starts its count again.
    void SetInterval(unsigned Value);
    // True while the platform timer is armed (enabled with a non-zero interval).
    bool Running() const { return FTimer.Running(); }

    TNotifyEvent OnTimer;
    // Arms or disarms the platform timer to match Enabled and Interval.
    void UpdateTimer();

private:
    unsigned FInterval;
    bool FEnabled;
    TWindowTimer FTimer;
};
