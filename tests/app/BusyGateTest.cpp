// The held-popup decision against a fake system state.
#include "app/BusyGate.h"

#include <gtest/gtest.h>

namespace {

TEST(UserBusy, EveryBusyAnswerAndTheLockHoldPopupsAndAnUnknownAnswerDoesNot) {
    const struct {
        TShellState Shell;
        bool Locked;
        bool Busy;
    } cases[] = {
        {TShellState::Accepts, false, false},   {TShellState::Unknown, false, false},
        {TShellState::FullScreen, false, true}, {TShellState::Presentation, false, true},
        {TShellState::QuietTime, false, true},  {TShellState::Away, false, true},
        {TShellState::Accepts, true, true},     {TShellState::Unknown, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UserBusy({c.Shell, c.Locked}), c.Busy)
            << static_cast<int>(c.Shell) << " locked " << c.Locked;
}

class BusyGate : public ::testing::Test {
protected:
    TUserState state;
    TBusyGate gate{[this] { return state; }};
    std::vector<std::string> shown;
};

TEST_F(BusyGate, ATimerPopupWaitsWhileBusyAndOnlyTheLatestComesWhenTheUserIsBack) {
    state.Shell = TShellState::FullScreen;
    EXPECT_FALSE(gate.Offer(TRefreshCause::Timer, {"first"}));
    EXPECT_FALSE(gate.Offer(TRefreshCause::Timer, {"second"}));
    EXPECT_TRUE(gate.Holding());
    EXPECT_FALSE(gate.Release(shown));

    state.Shell = TShellState::Accepts;
    state.Locked = true;
    EXPECT_FALSE(gate.Release(shown));
    state.Locked = false;
    ASSERT_TRUE(gate.Release(shown));
    EXPECT_EQ(shown, std::vector<std::string>{"second"});
    EXPECT_FALSE(gate.Holding());
    EXPECT_FALSE(gate.Release(shown)) << "shown twice";
}

TEST_F(BusyGate, TheUsersOwnPopupIsNeverHeldAndReplacesTheHeldOne) {
    state.Shell = TShellState::Presentation;
    EXPECT_FALSE(gate.Offer(TRefreshCause::Timer, {"timer"}));
    EXPECT_TRUE(gate.Offer(TRefreshCause::Manual, {"manual"}));
    EXPECT_FALSE(gate.Holding());
    state.Shell = TShellState::Accepts;
    EXPECT_FALSE(gate.Release(shown));

    // Not busy: the timer's popup goes up at once.
    EXPECT_TRUE(gate.Offer(TRefreshCause::Timer, {"timer"}));
    EXPECT_FALSE(gate.Holding());
}

TEST_F(BusyGate, AskingToSeeTheLatestPopupTakesTheHeldOneWhileBusy) {
    state.Shell = TShellState::QuietTime;
    gate.Offer(TRefreshCause::Timer, {"held"});
    ASSERT_TRUE(gate.Take(shown));
    EXPECT_EQ(shown, std::vector<std::string>{"held"});
    EXPECT_FALSE(gate.Take(shown));
}

}  // namespace
