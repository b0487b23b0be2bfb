#pragma once
// Finding, opening and closing the programming unit.
#include "device/UnitConnection.h"

#include <cstdint>

inline constexpr std::uint16_t UnitVendorId = 0x21B8;
inline constexpr std::uint16_t ProductTessavo = 1;
inline constexpr std::uint16_t ProductMerrowin = 2;

// Closes the handle if one is open, releases the path and puts the record into its no-device
// state; the platform wiring stays and the connection number moves on. May be called in any
// state.
void CloseUnit(UnitConnection& unit);

// Closes whatever is open, then opens the first present HID interface of vendor 0x21B8 with
// product 1 or 2 and identifies it. 0, -1 (no interface list), -4 (none matched) or the nonzero
// result of IdentifyUnit, in which case the unit stays open.
std::int32_t DiscoverUnit(UnitConnection& unit);
