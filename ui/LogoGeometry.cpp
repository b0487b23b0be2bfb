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

LogoPlacement ComputeLogoPlacement(std::int32_t bitmapWidth, std::int32_t bitmapHeight,
                                   WindowRect dialogRect, WindowRect groupRect,
                                   std::int32_t frameWidth, std::int32_t captionHeight) {
    LogoPlacement placement{};
    placement.left =
        Clamp32(std::int64_t{groupRect.right} - (std::int64_t{dialogRect.left} + frameWidth) + 20);
    placement.top =
        Clamp32(std::int64_t{groupRect.top} - (std::int64_t{dialogRect.top} + captionHeight));

    // Half size at most, otherwise the free space right of the group box.
    const std::int32_t space = Clamp32(std::int64_t{dialogRect.right} - groupRect.right - 10);
    placement.width = std::min(space, bitmapWidth >> 1);

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
