#pragma once
// Colours as the whole program holds them: 0x00BBGGRR (red in the low byte), the system's
// colour n as clSystemColor + n, and clNone for no colour at all (a transparent background).
#include <cstdint>

using TColor = uint32_t;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clSystemColor = 0xFF000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWindowText = clSystemColor + 8;
constexpr TColor clHighlight = clSystemColor + 13;
constexpr TColor clHighlightText = clSystemColor + 14;
constexpr TColor clBtnFace = clSystemColor + 15;
constexpr TColor cl3DDkShadow = clSystemColor + 21;
constexpr TColor cl3DLight = clSystemColor + 22;
constexpr TColor clInfoBk = clSystemColor + 24;

inline bool IsSystemColor(TColor C) { return (C & 0xFF000000u) == clSystemColor; }
