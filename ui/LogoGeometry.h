#pragma once
// Where the logo goes: right of the version group box, scaled to the free space there.
#include "platform/DialogHost.h"

#include <cstdint>

struct LogoPlacement {
    std::int32_t left;
    std::int32_t top;
    std::int32_t width;
    std::int32_t height;
};

// The pixels per inch at which every distance of the dialog is the plain number.
constexpr std::int32_t BaseDpi = 96;

// A length in pixels at 96 DPI, for a window of the given DPI (rounded to the nearest pixel; a
// DPI of 0 or less counts as 96).
std::int32_t ScaleForDpi(std::int32_t pixels, std::int32_t dpi);

// Rectangles in screen coordinates; the result in the dialog's client coordinates. The frame width
// and caption height are the metrics at the window's DPI. Nothing is to be drawn when width or
// height is 0 or less.
LogoPlacement ComputeLogoPlacement(std::int32_t bitmapWidth, std::int32_t bitmapHeight,
                                   WindowRect dialogRect, WindowRect groupRect,
                                   std::int32_t frameWidth, std::int32_t captionHeight,
                                   std::int32_t dpi = BaseDpi);
