#pragma once
// Whether a popup may interrupt the user now, without any window: a popup that a timer
// refresh brings while the user is busy (a full-screen program, a presentation, quiet
// time, the workstation locked) waits until the user is back. The user's own commands are
// never held.
#include <functional>
#include <string>
#include <vector>

#include "app/News.h"

// What the shell says of the user's screen.
enum class TShellState { Accepts, FullScreen, Presentation, QuietTime, Away, Unknown };

// What the system says of the user.
struct TUserState {
    TShellState Shell = TShellState::Accepts;
    bool Locked = false;
};

// An unknown answer counts as not busy: a shell that cannot tell must not silence us.
bool UserBusy(const TUserState& State);

class TBusyGate {
public:
    using TSource = std::function<TUserState()>;
    explicit TBusyGate(TSource Source) : FSource(std::move(Source)) {}

    bool Busy() const { return UserBusy(FSource()); }
    // True when the popup is to go up now. Otherwise it is held, in place of any held
    // before; a popup that goes up drops the held one, which it replaces.
    bool Offer(TRefreshCause Cause, const std::vector<std::string>& Lines);
    bool Holding() const { return FHolding; }
    // Hands over the held popup once the user is no longer busy; false while busy or when
    // nothing is held.
    bool Release(std::vector<std::string>& Lines);
    // Hands over the held popup whatever the state, for the user's own "show it again".
    bool Take(std::vector<std::string>& Lines);

private:
    TSource FSource;
    bool FHolding = false;
    std::vector<std::string> FHeld;
};
