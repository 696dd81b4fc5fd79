#pragma once
// The Win32 side of the quiet refreshes: it asks the shell whether the user is busy, hears
// the session's lock and unlock and the computer's sleep and wake at the shared hidden
// window, shows a held popup once the user is back, and runs the tries after waking. The
// options form owns it and does the showing, the refreshing and the tooltip.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/BusyGate.h"
#include "app/RefreshStatus.h"
#include "ui/MessageWindow_win.h"

class TQuietRefresh {
public:
    TQuietRefresh();
    ~TQuietRefresh();
    TQuietRefresh(const TQuietRefresh&) = delete;
    TQuietRefresh& operator=(const TQuietRefresh&) = delete;

    // What the form does for it.
    std::function<void(const std::vector<std::string>& Lines)> OnShow;  // a popup goes up
    std::function<void()> OnRefresh;                                    // a timer refresh
    std::function<void(const TRefreshStatus& Status)> OnStatus;         // the tooltip
    std::function<unsigned()> RefreshInterval;                          // the refresh timer's, ms
    // What the shell says of the user's screen; tests put an answer of their own here.
    std::function<TShellState()> ShellState;

    // A refresh's popup: shown now (true), or held while the user is busy.
    bool Present(TRefreshCause Cause, const std::vector<std::string>& Lines);
    // The held popup, for "Show Latest Popup"; false when none is held.
    bool TakeHeld(std::vector<std::string>& Lines) { return FGate.Take(Lines); }
    bool Holding() const { return FGate.Holding(); }
    // The refresh timer ticked: true when it is to refresh now. Not while the computer
    // sleeps (the refresh is owed) nor while the tries after waking run.
    bool TimerTick();
    // A news refresh's outcome; Failed says whether its failure popup is to be shown.
    void Succeeded(int Items);
    bool Failed(TRefreshCause Cause, int StatusCode, const std::string& ReasonPhrase);

    // The system's news, as the hidden window hears them.
    void Suspending();
    void Resumed();
    void SetLocked(bool Locked);
    // Looks whether the user is back for a held popup.
    void Poll();

private:
    bool HandleMessage(UINT Msg, WPARAM WParam);
    void ScheduleTry();
    void Try();
    void Status();
    static unsigned long long Now();

    TSharedWindow FWindow;
    TBusyGate FGate;
    TRefreshStatus FStatus;
    TResumeBackoff FBackoff;
    TWindowTimer FPollTimer;
    TWindowTimer FTryTimer;
    bool FSessionNotified = false;
    bool FLocked = false;
    bool FAsleep = false;
    bool FOwed = false;             // a timer refresh came due during sleep
    bool FTrying = false;           // a try after waking runs
    bool FTryFailed = false;        // ... and failed
    unsigned long long FCountFrom;  // when the refresh timer last counted from
};
