#pragma once
// What the news refreshes came to, without any window: the run of failing timer refreshes
// (only its first tells the user with a popup), the tray tooltip that says how the last
// check went, and the growing delays of the checks after the computer wakes.
#include <string>

#include "app/News.h"

// The tray's tooltip holds 127 characters.
const int HintLimit = 127;

// Local time of day.
struct TClockTime {
    int Hour = 0;
    int Minute = 0;
};

class TRefreshStatus {
public:
    // A news refresh succeeded with Items items in its feed: the failure run is over.
    void Succeeded(TClockTime When, int Items);
    // A news refresh failed; true when its failure popup is to be shown. The user's own check
    // always shows it, and it counts as told: the timer's failures that follow in the same
    // run stay quiet, since the user has just seen what is wrong. Of the timer's failures
    // only the first of a run shows it, and none that will be tried again soon.
    bool Failed(TRefreshCause Cause, TClockTime When, int StatusCode, const std::string& ReasonPhrase,
                bool WillRetry = false);
    // The tooltip, Base first: how the last check went and when; Base alone before any.
    std::string Hint(const std::string& Base) const;

private:
    enum class TLast { None, Success, Failure } FLast = TLast::None;
    bool FTold = false;  // the current failure run was shown to the user
    TClockTime FWhen;
    int FItems = 0;
    int FStatusCode = 0;
    std::string FReason;
};

// A reason phrase as the tooltip may show it: it comes from the server, so control
// characters become blanks, runs of blanks one, and it is cut to at most MaxLength.
std::string CleanReason(const std::string& ReasonPhrase, size_t MaxLength);

// The checks after waking: the network is often not back at once, so the first try waits
// and each failure waits twice as long, until the retries have taken RetryWindowMs; the last
// try's failure is told as any other.
class TResumeBackoff {
public:
    static constexpr int FirstDelayMs = 5000;
    static constexpr int MaxDelayMs = 60000;
    static constexpr int RetryWindowMs = 120000;

    // Begins a new series of tries.
    void Start();
    bool Active() const { return FActive; }
    // The wait before the next try, or -1 when the window is used up (the series ends).
    int NextDelayMs();
    // The try just scheduled is the last one.
    bool LastTry() const { return FActive && FElapsedMs >= RetryWindowMs; }
    void Stop() { FActive = false; }

    // Whether a refresh is owed on waking: the refresh timer's period ran out since it last
    // counted from (times on a clock that runs on during sleep, in ms).
    static bool RefreshOwed(unsigned long long CountFrom, unsigned long long Now, unsigned Interval);

private:
    bool FActive = false;
    int FElapsedMs = 0;
    int FNextMs = FirstDelayMs;
};
