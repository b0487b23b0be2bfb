#include "update/EmbeddedFirmwareImage.h"

namespace {

// Word-aligned like a resource, since the image is sent in whole words.
alignas(4) constexpr std::uint8_t embeddedImageBytes[] = {
#include "FirmwareImageBytes.inc"
};

static_assert(sizeof(embeddedImageBytes) == CarriedFirmwareSize,
              "the generated array and FirmwareVersion.h describe different images");

} // namespace

FirmwareImage GetEmbeddedFirmwareImage() {
    return {embeddedImageBytes, static_cast<std::uint32_t>(sizeof(embeddedImageBytes))};
}
