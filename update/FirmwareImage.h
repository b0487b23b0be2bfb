#pragma once
// The firmware image that the program carries, read in place: an RCDATA resource on Windows, a
// generated read-only array elsewhere. The version belongs to the image and comes with it from
// the build (generated/FirmwareVersion.h).
#include "FirmwareVersion.h"
#include "resources/ResourceIds.h"

#include <cstdint>

struct FirmwareImage {
    const std::uint8_t* data; // valid for the whole run
    std::uint32_t size;
};

FirmwareImage LoadFirmwareImage();

inline constexpr std::uint32_t BlockBytes = 48;
inline constexpr std::uint32_t BlockWords = 12;
inline constexpr std::uint16_t FirmwareImageResourceId = IDR_FIRMWARE;
