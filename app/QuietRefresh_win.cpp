#include "app/QuietRefresh_win.h"

#include "ui/SystemFunction_win.h"

namespace {
// Both are newer than the oldest system the program runs on: looked up, not linked.
using TQueryNotificationState = HRESULT(WINAPI*)(int* State);
using TRegisterSession = BOOL(WINAPI*)(HWND Window, DWORD Flags);
using TUnregisterSession = BOOL(WINAPI*)(HWND Window);

// The shell's answers (QUERY_USER_NOTIFICATION_STATE).
enum {
    qunsNotPresent = 1,
    qunsBusy,
    qunsD3DFullScreen,
    qunsPresentation,
    qunsAccepts,
    qunsQuietTime,
    qunsApp
};

const UINT MsgSessionChange = 0x02B1;  // WM_WTSSESSION_CHANGE
const WPARAM SessionLock = 7, SessionUnlock = 8;
const DWORD NotifyForThisSession = 0;
// How often a held popup looks whether the user is back.
const unsigned PollMs = 2000;

TShellState AskShell() {
    static const auto query =
        SystemFunction<TQueryNotificationState>("shell32.dll", "SHQueryUserNotificationState");
    int state = 0;
    if (!query || FAILED(query(&state))) return TShellState::Unknown;
    switch (state) {
    case qunsAccepts:
        return TShellState::Accepts;
    case qunsBusy:
    case qunsD3DFullScreen:
    case qunsApp:
        return TShellState::FullScreen;
    case qunsPresentation:
        return TShellState::Presentation;
    case qunsQuietTime:
        return TShellState::QuietTime;
    case qunsNotPresent:
        return TShellState::Away;
    }
    return TShellState::Unknown;
}

TClockTime LocalClock() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wHour, t.wMinute};
}
}  // namespace

TQuietRefresh::TQuietRefresh()
    : FWindow([this](UINT Msg, WPARAM WParam, LPARAM, LRESULT&) { return HandleMessage(Msg, WParam); }),
      FGate([this] {
          TUserState state;
          state.Shell = ShellState ? ShellState() : TShellState::Unknown;
          state.Locked = FLocked;
          return state;
      }),
      FPollTimer([this] { Poll(); }), FTryTimer([this] { Try(); }), FCountFrom(Now()) {
    ShellState = AskShell;
    if (auto reg = SystemFunction<TRegisterSession>("wtsapi32.dll", "WTSRegisterSessionNotification"))
        FSessionNotified = reg(FWindow.Handle(), NotifyForThisSession) != FALSE;
}

TQuietRefresh::~TQuietRefresh() {
    if (!FSessionNotified) return;
    if (auto unreg = SystemFunction<TUnregisterSession>("wtsapi32.dll", "WTSUnRegisterSessionNotification"))
        unreg(FWindow.Handle());
}

bool TQuietRefresh::HandleMessage(UINT Msg, WPARAM WParam) {
    // Heard, not taken: other users of the window may want them too.
    if (Msg == MsgSessionChange && (WParam == SessionLock || WParam == SessionUnlock)) {
        SetLocked(WParam == SessionLock);
    } else if (Msg == WM_POWERBROADCAST) {
        if (WParam == PBT_APMSUSPEND) Suspending();
        // The automatic resume always comes; the one for a present user may follow it.
        if (WParam == PBT_APMRESUMEAUTOMATIC || WParam == PBT_APMRESUMESUSPEND) Resumed();
    }
    return false;
}

unsigned long long TQuietRefresh::Now() {
    // The wall clock runs on while the computer sleeps.
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000;
}

bool TQuietRefresh::Present(TRefreshCause Cause, const std::vector<std::string>& Lines) {
    if (!FGate.Offer(Cause, Lines)) {
        FPollTimer.Start(PollMs);
        return false;
    }
    FPollTimer.Stop();
    if (OnShow) OnShow(Lines);
    return true;
}

void TQuietRefresh::Poll() {
    std::vector<std::string> lines;
    if (FGate.Release(lines)) {
        FPollTimer.Stop();
        if (OnShow) OnShow(lines);
    } else if (!FGate.Holding()) {
        FPollTimer.Stop();
    }
}

void TQuietRefresh::SetLocked(bool Locked) {
    FLocked = Locked;
    if (!Locked && FGate.Holding()) Poll();
}

bool TQuietRefresh::TimerTick() {
    if (FAsleep) {
        FOwed = true;
        return false;
    }
    if (FBackoff.Active()) return false;
    FCountFrom = Now();
    return true;
}

void TQuietRefresh::Suspending() {
    FAsleep = true;
    // Tries that had not finished are owed again after the next wake.
    if (FBackoff.Active()) FOwed = true;
    FBackoff.Stop();
    FTryTimer.Stop();
}

void TQuietRefresh::Resumed() {
    FAsleep = false;
    // Both wake messages may come: one series of tries.
    if (FBackoff.Active()) return;
    const unsigned interval = RefreshInterval ? RefreshInterval() : 0;
    if (!FOwed && !(interval > 0 && TResumeBackoff::RefreshOwed(FCountFrom, Now(), interval))) return;
    // Missed periods are made up once.
    FOwed = false;
    FBackoff.Start();
    ScheduleTry();
}

void TQuietRefresh::ScheduleTry() {
    const int delay = FBackoff.NextDelayMs();
    if (delay < 0 || !FTryTimer.Start(static_cast<unsigned>(delay))) FBackoff.Stop();
}

void TQuietRefresh::Try() {
    FTryTimer.Stop();
    FTrying = true;
    FTryFailed = false;
    FCountFrom = Now();
    if (OnRefresh) OnRefresh();
    FTrying = false;
    // A success, or a refresh skipped for one already running, ends the series.
    if (FTryFailed)
        ScheduleTry();
    else
        FBackoff.Stop();
}

void TQuietRefresh::Succeeded(int Items) {
    FStatus.Succeeded(LocalClock(), Items);
    Status();
}

bool TQuietRefresh::Failed(TRefreshCause Cause, int StatusCode, const std::string& ReasonPhrase) {
    const bool retry = FTrying && !FBackoff.LastTry();
    if (FTrying) FTryFailed = true;
    const bool tell = FStatus.Failed(Cause, LocalClock(), StatusCode, ReasonPhrase, retry);
    Status();
    return tell;
}

void TQuietRefresh::Status() {
    if (OnStatus) OnStatus(FStatus);
}
