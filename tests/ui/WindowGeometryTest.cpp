#include "ui/WindowGeometry.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr std::int32_t logoWidth = 365;
constexpr std::int32_t logoHeight = 122;

// A dialog whose free space right of the group box (right edge - group right - 10) is `space`.
LogoPlacement PlaceWithSpace(std::int32_t space, std::int32_t bitmapWidth = logoWidth,
                             std::int32_t bitmapHeight = logoHeight) {
    const WindowRect dialogRect{200, 100, 700, 500};
    const WindowRect groupRect{226, 139, 700 - 10 - space, 239};
    return ComputeLogoPlacement(bitmapWidth, bitmapHeight, dialogRect, groupRect, 3, 23);
}

TEST(LogoGeometry, SizeFollowsTheFreeSpaceUpToHalfTheBitmap) {
    const struct {
        std::int32_t space;
        std::int32_t width;
        std::int32_t height;
    } rows[] = {
        {1000, 182, 60}, {183, 182, 60}, {182, 182, 60}, {181, 181, 60}, {100, 100, 33},
        {3, 3, 1},       {2, 2, 0},      {1, 1, 0},      {0, 0, 0},      {-40, -40, 0},
    };
    for (const auto& row : rows) {
        const LogoPlacement placement = PlaceWithSpace(row.space);
        EXPECT_EQ(placement.width, row.width) << "space " << row.space;
        EXPECT_EQ(placement.height, row.height) << "space " << row.space;
    }
}

TEST(LogoGeometry, HalfWidthOfAnOddBitmapRoundsDown) {
    EXPECT_EQ(PlaceWithSpace(500, 101, 50).width, 50);
    EXPECT_EQ(PlaceWithSpace(500, 1, 50).width, 0);
}

TEST(LogoGeometry, PositionSubtractsFrameFromLeftAndOnlyCaptionFromTop) {
    const struct {
        WindowRect dialogRect;
        WindowRect groupRect;
        std::int32_t frame;
        std::int32_t caption;
        std::int32_t left;
        std::int32_t top;
    } rows[] = {
        // Group box 26 px in and 39 px down from the window's corner: the logo starts 20 px right
        // of the group box in client coordinates, 3 px lower than its top edge.
        {{200, 100, 700, 500}, {226, 139, 450, 239}, 3, 23, 450 - 203 + 20, 16},
        {{0, 0, 640, 480}, {30, 40, 300, 140}, 4, 30, 300 - 4 + 20, 10},
        {{-500, -300, 100, 200}, {-480, -250, -200, -100}, 0, 0, -200 + 500 + 20, 50},
    };
    for (const auto& row : rows) {
        const LogoPlacement placement = ComputeLogoPlacement(logoWidth, logoHeight, row.dialogRect,
                                                             row.groupRect, row.frame, row.caption);
        EXPECT_EQ(placement.left, row.left);
        EXPECT_EQ(placement.top, row.top);
    }
}

TEST(LogoGeometry, HeightIsTheSinglePrecisionQuotientForEveryLogoWidth) {
    for (std::int32_t width = 0; width <= 182; ++width) {
        const float single = static_cast<float>(width) / static_cast<float>(logoWidth) *
                             static_cast<float>(logoHeight);
        const LogoPlacement placement = PlaceWithSpace(width);
        ASSERT_EQ(placement.width, width);
        EXPECT_EQ(placement.height, static_cast<std::int32_t>(single)) << "width " << width;
        // For this logo the single-precision result is the integer quotient.
        EXPECT_EQ(placement.height, width * logoHeight / logoWidth) << "width " << width;
    }
}

TEST(LogoGeometry, SinglePrecisionDecidesWhereDoubleOrIntegerArithmeticWouldNot) {
    // 3 / 19 * 95 is 15 exactly, 15 in double, but 14.999999 in single precision; 3 / 11 * 55
    // is 15 exactly and in single precision, but 14.999999999999998 in double.
    const struct {
        std::int32_t width;
        std::int32_t bitmapWidth;
        std::int32_t bitmapHeight;
        std::int32_t height;
    } rows[] = {{3, 19, 95, 14}, {3, 11, 55, 15}, {3, 19, 190, 29}, {3, 11, 110, 30}};
    for (const auto& row : rows) {
        const LogoPlacement placement =
            PlaceWithSpace(row.width, row.bitmapWidth, row.bitmapHeight);
        EXPECT_EQ(placement.width, row.width);
        EXPECT_EQ(placement.height, row.height) << row.bitmapWidth << "x" << row.bitmapHeight;
    }
}

// The window's DPI: the half-size cap and the 20- and 10-pixel distances scale with it, the cap
// never beyond the bitmap itself; a DPI the system could not tell counts as 96.
TEST(LogoGeometry, CapAndDistancesFollowTheWindowDpi) {
    const struct {
        std::int32_t dpi;
        std::int32_t gap; // dialog's right edge - group box's right edge
        std::int32_t width;
        std::int32_t height;
        std::int32_t left;
    } rows[] = {
        {96, 1000, 182, 60, 450 - 203 + 20},   {144, 1000, 273, 91, 450 - 203 + 30},
        {192, 1000, 364, 121, 450 - 203 + 40}, {120, 1000, 228, 76, 450 - 203 + 25},
        {288, 1000, 365, 122, 450 - 203 + 60}, {0, 1000, 182, 60, 450 - 203 + 20},
        {-1, 1000, 182, 60, 450 - 203 + 20},   {96, 150, 140, 46, 450 - 203 + 20},
        {192, 150, 130, 43, 450 - 203 + 40},   {144, 288, 273, 91, 450 - 203 + 30},
        {144, 287, 272, 90, 450 - 203 + 30},
    };
    for (const auto& row : rows) {
        const WindowRect dialogRect{200, 100, 450 + row.gap, 500};
        const WindowRect groupRect{226, 139, 450, 239};
        const LogoPlacement placement =
            ComputeLogoPlacement(logoWidth, logoHeight, dialogRect, groupRect, 3, 23, row.dpi);
        SCOPED_TRACE(testing::Message() << "dpi " << row.dpi << ", gap " << row.gap);
        EXPECT_EQ(placement.width, row.width);
        EXPECT_EQ(placement.height, row.height);
        EXPECT_EQ(placement.left, row.left);
        EXPECT_EQ(placement.top, 16); // the caption height comes in already scaled
    }
}

TEST(LogoGeometry, ScaleForDpiRoundsToTheNearestPixel) {
    const struct {
        std::int32_t pixels;
        std::int32_t dpi;
        std::int32_t scaled;
    } rows[] = {{20, 96, 20},    {20, 144, 30}, {10, 120, 13}, {10, 110, 11},   {182, 120, 228},
                {182, 192, 364}, {20, 0, 20},   {20, -96, 20}, {-10, 120, -13}, {0, 192, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(ScaleForDpi(row.pixels, row.dpi), row.scaled) << row.pixels << " at " << row.dpi;
    }
}

TEST(LogoGeometry, EmptyBitmapOrExtremeRectanglesGiveNothingToDraw) {
    EXPECT_EQ(PlaceWithSpace(200, 0, 122).width, 0);
    EXPECT_EQ(PlaceWithSpace(200, 0, 122).height, 0);
    EXPECT_EQ(PlaceWithSpace(200, 365, 0).height, 0);
    EXPECT_EQ(PlaceWithSpace(200, 365, -122).height, 0); // a bottom-up height read as negative
    // A space beyond the 32-bit range must not wrap around into a drawable width.
    const LogoPlacement far = ComputeLogoPlacement(logoWidth, logoHeight, {0, 0, INT32_MIN + 5, 0},
                                                   {0, 0, INT32_MAX, 0}, 3, 23);
    EXPECT_LE(far.width, 0);
    EXPECT_EQ(far.height, 0);
}

} // namespace
