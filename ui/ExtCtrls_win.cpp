#include "ui/ExtCtrls_win.h"

TTimer::TTimer(TComponent* AOwner, unsigned Interval, bool Enabled)
    : TComponent(AOwner), FInterval(Interval), FEnabled(Enabled), FTimer([this] { Raise(OnTimer, this); }) {
    UpdateTimer();
}

TTimer::~TTimer() {
    BeginDestroy();
    FTimer.Stop();
}

void TTimer::UpdateTimer() {
    FTimer.Stop();
    if (FEnabled && FInterval > 0) FTimer.Start(FInterval);
}

void TTimer::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned Value) {
    FInterval = Value;
    UpdateTimer();
}
