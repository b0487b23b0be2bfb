#include "ui/LogoGeometry.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

// Window coordinates are far from the 32-bit limits; the sums are still taken in 64 bits so that
// no rectangle can make them overflow.
std::int32_t Clamp32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::int32_t ScaleForDpi(std::int32_t pixels, std::int32_t dpi) {
    if (dpi <= 0) {
        dpi = BaseDpi;
    }
    // Rounded half away from zero, as the system's MulDiv does.
    const std::int64_t product = std::int64_t{pixels} * dpi;
    const std::int64_t half = BaseDpi / 2;
    return Clamp32(product >= 0 ? (product + half) / BaseDpi : (product - half) / BaseDpi);
}

LogoPlacement ComputeLogoPlacement(std::int32_t bitmapWidth, std::int32_t bitmapHeight,
                                   WindowRect dialogRect, WindowRect groupRect,
                                   std::int32_t frameWidth, std::int32_t captionHeight,
                                   std::int32_t dpi) {
    LogoPlacement placement{};
    placement.left = Clamp32(std::int64_t{groupRect.right} -
                             (std::int64_t{dialogRect.left} + frameWidth) + ScaleForDpi(20, dpi));
    placement.top =
        Clamp32(std::int64_t{groupRect.top} - (std::int64_t{dialogRect.top} + captionHeight));

    // Half size at 96 DPI, growing with the DPI up to the bitmap's own size (the bitmap is drawn
    // for 200 %); less when the free space right of the group box is smaller.
    const std::int32_t space =
        Clamp32(std::int64_t{dialogRect.right} - groupRect.right - ScaleForDpi(10, dpi));
    const std::int32_t cap = std::min(ScaleForDpi(bitmapWidth >> 1, dpi), bitmapWidth);
    placement.width = std::min(space, cap);

    // An empty bitmap or no room: nothing to draw (and no division by zero).
    if (bitmapWidth <= 0 || bitmapHeight <= 0 || placement.width <= 0) {
        placement.height = 0;
        return placement;
    }
    // Single precision in exactly this order, truncated toward zero: the drawn height depends on
    // it for widths where the exact quotient lies close to an integer.
    const float width = static_cast<float>(placement.width);
    const float ratio = width / static_cast<float>(bitmapWidth);
    const float height = ratio * static_cast<float>(bitmapHeight);
    placement.height = static_cast<std::int32_t>(height);
    return placement;
}
