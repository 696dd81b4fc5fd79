// The arithmetic that turns 96-DPI layout numbers into the pixels of other screens.
#include <gtest/gtest.h>

#include <climits>

#include "ui/DpiScale.h"

namespace {
TEST(DpiScale, ScalesRoundingHalvesAwayFromZeroAndComesBackRoundedUp) {
    struct {
        int Value, Dpi, Scaled, Back;
    } cases[] = {
        {407, 96, 407, 407}, {-7, 96, -7, -7},  {0, 144, 0, 0},
        {21, 120, 26, 21},   {13, 144, 20, 14}, {3, 120, 4, 4},
        {-3, 120, -4, -3},   {1, 144, 2, 2},    {-1, 144, -2, -1},
        {2, 144, 3, 2},      {19, 192, 38, 19}, {316, 168, 553, 316},
        {8, 0, 8, 8},        {8, -144, 8, 8},   {INT_MAX, 192, INT_MAX, INT_MAX / 2 + 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScaleToDpi(c.Value, c.Dpi), c.Scaled) << c.Value << " at " << c.Dpi;
        EXPECT_EQ(UnscaleFromDpi(ScaleToDpi(c.Value, c.Dpi), c.Dpi), c.Back) << c.Value << " at " << c.Dpi;
    }
}

TEST(DpiScale, FontHeightsAreCharacterHeightsInPixelsOfTheDpi) {
    struct {
        int Points, Dpi, Height;
    } cases[] = {{8, 96, -11}, {8, 120, -13}, {8, 144, -16}, {8, 192, -21}, {9, 144, -18}, {8, 0, -11}};
    for (const auto& c : cases)
        EXPECT_EQ(FontHeightForDpi(c.Points, c.Dpi), c.Height) << c.Points << " at " << c.Dpi;
}
}  // namespace
