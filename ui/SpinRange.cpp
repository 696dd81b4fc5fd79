#include "ui/SpinRange.h"

#include "base/StrUtils.h"

int TSpinRange::Clamp(int Value) const {
    if (Value < MinValue) return MinValue;
    if (Value > MaxValue) return MaxValue;
    return Value;
}

int TSpinRange::ValueFromText(const std::string& Text) const {
    int value = 0;
    if (!TryStrToInt(Trim(Text), value)) return MinValue;
    return Clamp(value);
}
