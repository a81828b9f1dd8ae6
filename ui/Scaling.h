// How a window design made at 96 pixels per inch is fitted to the screen and font it meets at load:
// first the font height follows the screen's pixels per inch, then every position and size follows the
// height of "0" measured in that font against the height the design was made with.
#pragma once

namespace ui {

inline constexpr int kDesignPixelsPerInch = 96;

// value * numerator / denominator rounded to the nearest integer, halves away from zero (as MulDiv rounds);
// a zero denominator leaves the value as it is. The design's scalings and the message dialog's layout
// all round by it.
int ScaleRounded(int value, int numerator, int denominator);

// The font height (negative: character height) for a screen of `screenPixelsPerInch`.
int ScaledFontHeight(int designFontHeight, int designPixelsPerInch, int screenPixelsPerInch);

// Factor by which a design's positions and sizes are scaled: measured text height over design text height.
struct LayoutScale {
    int measuredTextHeight = 12;
    int designTextHeight = 12;

    bool Identity() const { return measuredTextHeight == designTextHeight || designTextHeight == 0; }
    int operator()(int designPixels) const;
};

}  // namespace ui
