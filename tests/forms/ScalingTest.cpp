#include "ui/Scaling.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

struct RoundingCase {
    int value, numerator, denominator, expected;
};

TEST(ScaleRounded, RoundsHalvesAwayFromZero) {
    const RoundingCase cases[] = {
        // The message dialog's margins, spacings and button for dialog units 7 x 13, 6 x 12 and 7 x 15.
        {8, 7, 4, 14},
        {8, 13, 8, 13},
        {10, 13, 8, 16},
        {14, 13, 8, 23},
        {50, 7, 4, 88},  // 87.5
        {10, 7, 4, 18},  // 17.5
        {4, 6, 4, 6},
        {14, 15, 8, 26},  // 26.25
        {-10, 13, 8, -16},
        // Edges: a negative denominator, negative halves, a product beyond 32 bits, a zero denominator.
        {3, 1, -2, -2},  // -1.5
        {-3, 1, -2, 2},  // 1.5
        {-7, 1, 2, -4},  // -3.5
        {2147483647, 2, 2, 2147483647},
        {-2147483647 - 1, 3, 3, -2147483647 - 1},
        {680, 16, 0, 680},
        {0, 5, 0, 0},
    };
    for (const RoundingCase& c : cases) {
        EXPECT_EQ(ScaleRounded(c.value, c.numerator, c.denominator), c.expected)
            << c.value << "*" << c.numerator << "/" << c.denominator;
    }
}

struct FontCase {
    int screenPpi;
    int height;
};

TEST(ScaledFontHeight, FollowsThePixelsPerInchOfTheScreen) {
    const FontCase cases[] = {
        {96, -12}, {120, -15}, {144, -18}, {192, -24}, {100, -13},  // -12.5: halves round away from zero
        {72, -9},  {108, -14},                                      // -13.5
    };
    for (const FontCase& c : cases) {
        SCOPED_TRACE(c.screenPpi);
        EXPECT_EQ(ScaledFontHeight(-12, kDesignPixelsPerInch, c.screenPpi), c.height);
    }
}

struct LayoutCase {
    const char* label;
    int measured;
    int design;  // the design's value in pixels
    int scaled;
};

TEST(LayoutScale, ScalesByMeasuredHeightOverTwelve) {
    const LayoutCase cases[] = {
        {"same font at 96 ppi", 12, 680, 680},
        {"font 13 px: client width", 13, 680, 737},   // 736.67
        {"font 13 px: client height", 13, 215, 233},  // 232.92
        {"font 13 px: button left", 13, 264, 286},
        {"font 13 px: half rounds up", 13, 6, 7},    // 6.5
        {"font 16 px: client width", 16, 680, 907},  // 906.67
        {"font 16 px: progress width", 16, 609, 812},
        {"font 16 px: label top", 16, 8, 11},   // 10.67
        {"120 ppi font, 15 px", 15, 161, 201},  // 201.25
        {"144 ppi font, 18 px", 18, 49, 74},    // 73.5
        {"font 11 px", 11, 49, 45},             // 44.92
        {"negative position", 16, -3, -4},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ((LayoutScale{c.measured, 12})(c.design), c.scaled);
    }
}

TEST(LayoutScale, LeavesValuesAloneWithoutADesignHeight) {
    EXPECT_EQ((LayoutScale{16, 0})(680), 680);
}

}  // namespace
}  // namespace ui
