// The run of failing refreshes, the tray tooltip's texts and the checks after waking.
#include "app/RefreshStatus.h"

#include <gtest/gtest.h>

namespace {

const TClockTime At1405{14, 5};

TEST(RefreshStatus, OnlyTheFirstTimerFailureOfARunIsShownAndASuccessEndsTheRun) {
    using C = TRefreshCause;
    const struct {
        const char* Step;  // "ok" a success, else a failure: "timer", "retry", "manual"
        bool Shown;
    } steps[] = {
        {"timer", true},
        {"timer", false},
        {"timer", false},
        {"manual", true},
        {"timer", false},
        {"ok", false},
        {"retry", false},
        {"retry", false},
        {"timer", true},
        {"ok", false},
        // The user's own failure starts the run as told: the timer's next one stays quiet.
        {"manual", true},
        {"timer", false},
        {"ok", false},
        {"timer", true},
    };
    TRefreshStatus status;
    int i = 0;
    for (const auto& s : steps) {
        const std::string step = s.Step;
        if (step == "ok") {
            status.Succeeded(At1405, 3);
        } else {
            EXPECT_EQ(status.Failed(step == "manual" ? C::Manual : C::Timer, At1405, 404, "Not Found",
                                    step == "retry"),
                      s.Shown)
                << "step " << i;
        }
        ++i;
    }
}

TEST(RefreshStatus, TheTooltipTellsTheLastCheckWithinItsLimit) {
    const std::string longReason(300, 'x');
    const std::string longBase(200, 'P');
    const struct {
        std::string Base;
        int Items;   // >= 0: a success with that many items
        int Status;  // else a failure with this status
        std::string Reason;
        std::string Hint;  // empty: only the length is checked
    } cases[] = {
        {"Pelorin", 12, 0, "", "Pelorin: 12 items at 14:05"},
        {"Pelorin", 1, 0, "", "Pelorin: 1 item at 14:05"},
        {"Pelorin", 0, 0, "", "Pelorin: 0 items at 14:05"},
        {"Pelorin", -1, 404, "Not Found", "Pelorin: last check failed at 14:05 (404 Not Found)"},
        {"Pelorin", -1, 500, "", "Pelorin: last check failed at 14:05 (500)"},
        {"Pelorin", -1, 404, " Not\r\n\tFound\x7f ", "Pelorin: last check failed at 14:05 (404 Not Found)"},
        {"Pelorin", -1, 404, longReason, ""},
        {longBase, -1, 404, "Not Found", ""},
        {longBase, 12, 0, "", ""},
    };
    for (const auto& c : cases) {
        TRefreshStatus status;
        if (c.Items >= 0)
            status.Succeeded(At1405, c.Items);
        else
            status.Failed(TRefreshCause::Timer, At1405, c.Status, c.Reason);
        const std::string hint = status.Hint(c.Base);
        EXPECT_LE(hint.size(), static_cast<size_t>(HintLimit)) << hint;
        if (!c.Hint.empty()) {
            EXPECT_EQ(hint, c.Hint);
        }
        for (char ch : hint)
            EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << hint;
    }
    // A long reason is cut, and says so, but the tooltip still closes its parenthesis.
    TRefreshStatus status;
    status.Failed(TRefreshCause::Timer, {9, 30}, 404, longReason);
    const std::string hint = status.Hint("Pelorin");
    EXPECT_EQ(hint.size(), static_cast<size_t>(HintLimit));
    EXPECT_EQ(hint.substr(0, 42), "Pelorin: last check failed at 09:30 (404 x");
    EXPECT_EQ(hint.substr(hint.size() - 4), "...)");
    EXPECT_EQ(TRefreshStatus().Hint("Pelorin"), "Pelorin");
}

TEST(ResumeBackoff, TriesAfterGrowingDelaysForTwoMinutesAndMarksTheLastTry) {
    TResumeBackoff backoff;
    EXPECT_EQ(backoff.NextDelayMs(), -1) << "not started";
    backoff.Start();
    std::vector<int> delays;
    std::vector<bool> last;
    for (int d; delays.size() < 20 && (d = backoff.NextDelayMs()) >= 0;) {
        delays.push_back(d);
        last.push_back(backoff.LastTry());
    }
    EXPECT_EQ(delays, (std::vector<int>{5000, 10000, 20000, 40000, 45000}));
    EXPECT_EQ(last, (std::vector<bool>{false, false, false, false, true}));
    EXPECT_FALSE(backoff.Active());

    // A new wake starts from the shortest delay again.
    backoff.Start();
    EXPECT_EQ(backoff.NextDelayMs(), 5000);
}

TEST(ResumeBackoff, ARefreshIsOwedOnlyWhenItsPeriodRanOut) {
    const unsigned period = 30 * 60000;
    EXPECT_FALSE(TResumeBackoff::RefreshOwed(1000, 1000 + period - 1, period));
    EXPECT_TRUE(TResumeBackoff::RefreshOwed(1000, 1000 + period, period));
    EXPECT_TRUE(TResumeBackoff::RefreshOwed(1000, 1000 + 10ull * period, period)) << "many periods: one owed";
    EXPECT_FALSE(TResumeBackoff::RefreshOwed(5000, 1000, period)) << "a clock that went back";
}

}  // namespace
