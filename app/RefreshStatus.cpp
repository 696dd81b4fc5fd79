#include "app/RefreshStatus.h"

#include <algorithm>
#include <cstdio>

namespace {
std::string HourMinute(TClockTime When) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02d:%02d", std::clamp(When.Hour, 0, 23),
                  std::clamp(When.Minute, 0, 59));
    return text;
}

const char* const Ellipsis = "...";
}  // namespace

void TRefreshStatus::Succeeded(TClockTime When, int Items) {
    FLast = TLast::Success;
    FTold = false;
    FWhen = When;
    FItems = Items;
}

bool TRefreshStatus::Failed(TRefreshCause Cause, TClockTime When, int StatusCode,
                            const std::string& ReasonPhrase, bool WillRetry) {
    FLast = TLast::Failure;
    FWhen = When;
    FStatusCode = StatusCode;
    FReason = ReasonPhrase;
    if (Cause == TRefreshCause::Manual) {
        FTold = true;
        return true;
    }
    if (WillRetry || FTold) return false;
    FTold = true;
    return true;
}

std::string TRefreshStatus::Hint(const std::string& Base) const {
    std::string hint = Base;
    switch (FLast) {
    case TLast::None:
        break;
    case TLast::Success:
        hint +=
            ": " + std::to_string(FItems) + (FItems == 1 ? " item at " : " items at ") + HourMinute(FWhen);
        break;
    case TLast::Failure: {
        hint += ": last check failed at " + HourMinute(FWhen) + " (" + std::to_string(FStatusCode);
        // The reason gets what room is left before the closing parenthesis.
        const size_t used = hint.size() + 2;
        const size_t room = used < static_cast<size_t>(HintLimit) ? HintLimit - used : 0;
        const std::string reason = CleanReason(FReason, room);
        if (!reason.empty()) hint += " " + reason;
        hint += ")";
        break;
    }
    }
    return hint.substr(0, HintLimit);
}

std::string CleanReason(const std::string& ReasonPhrase, size_t MaxLength) {
    std::string clean;
    for (char c : ReasonPhrase) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool blank = u < 0x20 || u == 0x7F || c == ' ';
        if (blank) {
            if (!clean.empty() && clean.back() != ' ') clean += ' ';
        } else {
            clean += c;
        }
    }
    if (!clean.empty() && clean.back() == ' ') clean.pop_back();
    if (clean.size() <= MaxLength) return clean;
    const size_t dots = std::char_traits<char>::length(Ellipsis);
    if (MaxLength <= dots) return clean.substr(0, MaxLength);
    return clean.substr(0, MaxLength - dots) + Ellipsis;
}

void TResumeBackoff::Start() {
    FActive = true;
    FElapsedMs = 0;
    FNextMs = FirstDelayMs;
}

int TResumeBackoff::NextDelayMs() {
    if (!FActive) return -1;
    if (FElapsedMs >= RetryWindowMs) {
        FActive = false;
        return -1;
    }
    const int delay = std::min({FNextMs, MaxDelayMs, RetryWindowMs - FElapsedMs});
    FElapsedMs += delay;
    FNextMs = std::min(FNextMs * 2, MaxDelayMs);
    return delay;
}

bool TResumeBackoff::RefreshOwed(unsigned long long CountFrom, unsigned long long Now, unsigned Interval) {
    return Now >= CountFrom && Now - CountFrom >= Interval;
}
