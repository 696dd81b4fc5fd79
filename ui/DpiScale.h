#pragma once
// Layouts, margins and icon sizes are written for a 96-DPI screen (the 100 % case); these
// turn them into the pixels of a screen of another DPI and back.

const int BaseDpi = 96;

// A DPI the arithmetic can use: anything not positive (a failed query) is the base DPI.
int UsableDpi(int Dpi);
// Value * Dpi / 96, rounded half away from zero, as MulDiv rounds.
int ScaleToDpi(int Value, int Dpi);
// Physical * 96 / Dpi, rounded up (towards +infinity), so that what was measured in screen
// pixels still fits when it is laid out again at that DPI.
int UnscaleFromDpi(int Physical, int Dpi);
// The LOGFONT height (negative: the character height) of a font of Points at Dpi.
int FontHeightForDpi(int Points, int Dpi);
