#include "ui/ExtCtrls_win.h"

#include <map>
#include <memory>

#include "ui/MessageWindow_win.h"

namespace {
std::map<unsigned, TTimer*> Timers;
std::unique_ptr<TMessageWindow> TimerWindow;
unsigned NextTimerId = 1;

HWND SharedWindow() {
    if (!TimerWindow)
        TimerWindow = std::make_unique<TMessageWindow>([](UINT Msg, WPARAM WParam, LPARAM, LRESULT& Result) {
            if (Msg != WM_TIMER) return false;
            auto it = Timers.find(static_cast<unsigned>(WParam));
            if (it != Timers.end()) Raise(it->second->OnTimer, it->second);
            Result = 0;
            return true;
        });
    return TimerWindow->Handle();
}
}  // namespace

TTimer::TTimer(TComponent* AOwner, unsigned Interval, bool Enabled)
    : TComponent(AOwner), FId(NextTimerId++), FInterval(Interval), FEnabled(Enabled) {
    SharedWindow();
    Timers[FId] = this;
    UpdateTimer();
}

TTimer::~TTimer() {
    BeginDestroy();
    if (FRunning) KillTimer(TimerWindow->Handle(), FId);
    Timers.erase(FId);
    if (Timers.empty()) TimerWindow.reset();
}

void TTimer::UpdateTimer() {
    HWND wnd = SharedWindow();
    if (FRunning) KillTimer(wnd, FId);
    FRunning = false;
    if (FEnabled && FInterval > 0) FRunning = SetTimer(wnd, FId, FInterval, nullptr) != 0;
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
