#pragma once
// The numeric rules of a spin edit, kept apart from its window so they can be tested alone.
#include <string>

struct TSpinRange {
    int MinValue = 0;
    int MaxValue = 100;

    // Values outside the range are pulled to its nearest end.
    int Clamp(int Value) const;
    // Text that is not a number reads as the range's minimum; a number is clamped.
    int ValueFromText(const std::string& Text) const;
};
