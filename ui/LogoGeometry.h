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

// Rectangles in screen coordinates; the result in the dialog's client coordinates. Nothing is to
// be drawn when width or height is 0 or less.
LogoPlacement ComputeLogoPlacement(std::int32_t bitmapWidth, std::int32_t bitmapHeight,
                                   WindowRect dialogRect, WindowRect groupRect,
                                   std::int32_t frameWidth, std::int32_t captionHeight);
