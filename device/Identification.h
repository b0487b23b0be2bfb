#pragma once
// What is attached to the opened unit, and what that means for the user.
#include "device/UnitConnection.h"

#include <cstdint>

enum class DeviceStatus { NoUnit, WrongMode, NoController, Incompatible, Ready };

inline constexpr std::uint16_t ControllerReadyState = 3;
inline constexpr std::uint32_t SupportedControllerType = 0x0C0C80A0;

// Reads the report lengths and asks the unit what it is; fills the record. Called by DiscoverUnit
// on a freshly reset record that holds device, devicePath and productId.
std::int32_t IdentifyUnit(UnitConnection& unit);

// Only reads: the status for the result of DiscoverUnit and the identified record.
DeviceStatus ClassifyDevice(std::int32_t discoverResult, const UnitConnection& unit);

// A unit is open, its identification on this connection completed, and it classifies Ready.
bool IsUnitReady(const UnitConnection& unit);
