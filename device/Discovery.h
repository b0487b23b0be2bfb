#pragma once
// Finding, opening and closing the programming unit.
#include "device/UnitConnection.h"
#include "device/UnitTypes.h"

#include <cstdint>

// Closes the handle if one is open, releases the path and puts the record into its no-device
// state; the platform wiring stays and the connection number moves on. May be called in any
// state.
void CloseUnit(UnitConnection& unit);

// Closes whatever is open, then opens the first present HID interface of vendor 0x21B8 with
// product 1 or 2 for reading and writing, empties its input queue and identifies it. Interfaces
// whose path names other ids are not opened; those whose path names none are asked for their ids
// without read or write access. 0, -1 (no interface list), -4 (none matched) or the nonzero
// result of IdentifyUnit, in which case the unit stays open.
std::int32_t DiscoverUnit(UnitConnection& unit);

// Device paths are equal when they agree after folding A-Z to a-z; no other letter is folded.
bool SameDevicePath(const char16_t* a, const char16_t* b);

// Whether the open unit's path is still among the present HID interfaces. True also when the
// list cannot be had: only a list without it says that the unit is gone.
bool IsUnitInterfaceListed(const UnitConnection& unit);

// Drops the input reports that the system holds for the open unit (HidD_FlushQueue), so that the
// next read is the reply to the next request and not a report that came meanwhile. A failure is
// left to the next exchange, which fails as well when the unit is gone.
void FlushUnitInput(UnitConnection& unit);
