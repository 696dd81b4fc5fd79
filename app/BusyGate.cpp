#include "app/BusyGate.h"

bool UserBusy(const TUserState& State) {
    if (State.Locked) return true;
    switch (State.Shell) {
    case TShellState::FullScreen:
    case TShellState::Presentation:
    case TShellState::QuietTime:
    case TShellState::Away:
        return true;
    case TShellState::Accepts:
    case TShellState::Unknown:
        break;
    }
    return false;
}

bool TBusyGate::Offer(TRefreshCause Cause, const std::vector<std::string>& Lines) {
    if (Cause == TRefreshCause::Timer && Busy()) {
        FHeld = Lines;
        FHolding = true;
        return false;
    }
    FHolding = false;
    FHeld.clear();
    return true;
}

bool TBusyGate::Release(std::vector<std::string>& Lines) {
    if (!FHolding || Busy()) return false;
    return Take(Lines);
}

bool TBusyGate::Take(std::vector<std::string>& Lines) {
    if (!FHolding) return false;
    FHolding = false;
    Lines.swap(FHeld);
    FHeld.clear();
    return true;
}
