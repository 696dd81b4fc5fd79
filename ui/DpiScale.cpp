#include "ui/DpiScale.h"

#include <climits>
#include <cstdint>

namespace {
int Clamped(int64_t V) { return static_cast<int>(V < INT_MIN ? INT_MIN : V > INT_MAX ? INT_MAX : V); }

// Numerator / Denominator (> 0), halves rounded away from zero.
int64_t RoundedDiv(int64_t Numerator, int64_t Denominator) {
    const int64_t half = Denominator / 2;
    return Numerator >= 0 ? (Numerator + half) / Denominator : -((-Numerator + half) / Denominator);
}
}  // namespace

int UsableDpi(int Dpi) { return Dpi > 0 ? Dpi : BaseDpi; }

int ScaleToDpi(int Value, int Dpi) {
    return Clamped(RoundedDiv(static_cast<int64_t>(Value) * UsableDpi(Dpi), BaseDpi));
}

int UnscaleFromDpi(int Physical, int Dpi) {
    const int64_t d = UsableDpi(Dpi), n = static_cast<int64_t>(Physical) * BaseDpi;
    // Integer division truncates towards zero; a negative quotient is already rounded up.
    return Clamped(n >= 0 ? (n + d - 1) / d : n / d);
}

int FontHeightForDpi(int Points, int Dpi) {
    return Clamped(-RoundedDiv(static_cast<int64_t>(Points) * UsableDpi(Dpi), 72));
}
