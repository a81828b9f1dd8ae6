#include "ui/Scaling.h"

#include <cstdint>

namespace ui {

int ScaleRounded(int value, int numerator, int denominator) {
    if (denominator == 0) return value;
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    std::int64_t magnitude = product < 0 ? -product : product;
    const std::int64_t divisor = denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator;
    // cppcheck-suppress zerodivcond ; a zero denominator returned above
    magnitude = (magnitude + divisor / 2) / divisor;
    const bool negative = (product < 0) != (denominator < 0);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

int ScaledFontHeight(int designFontHeight, int designPixelsPerInch, int screenPixelsPerInch) {
    if (screenPixelsPerInch == designPixelsPerInch) return designFontHeight;
    return ScaleRounded(designFontHeight, screenPixelsPerInch, designPixelsPerInch);
}

int LayoutScale::operator()(int designPixels) const {
    return Identity() ? designPixels : ScaleRounded(designPixels, measuredTextHeight, designTextHeight);
}

}  // namespace ui
