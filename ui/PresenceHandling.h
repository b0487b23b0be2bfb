#pragma once
// The reaction to the unit at start and to every HID interface arrival and removal.
#include "ui/AppState.h"

#include <cstdint>

inline constexpr std::uintptr_t DeviceArrivalEvent = 0x8000;        // DBT_DEVICEARRIVAL
inline constexpr std::uintptr_t DeviceRemoveCompleteEvent = 0x8004; // DBT_DEVICEREMOVECOMPLETE
inline constexpr std::uint32_t DeviceTypeInterface = 5;             // DBT_DEVTYP_DEVICEINTERFACE

// The layout of DEV_BROADCAST_DEVICEINTERFACE_W: the header fields, the class GUID, then the
// terminated interface path.
struct DeviceInterfaceEvent {
    std::uint32_t size;
    std::uint32_t deviceType;
    std::uint32_t reserved;
    std::uint8_t classGuid[16];
    char16_t name[1];
};

// Run once, after the registration for device events succeeded and the dialog is on screen.
// Events that come meanwhile are held and handled afterwards.
void RunInitialPresenceCheck(AppState& app);

// WM_DEVICECHANGE: true (handled) for every arrival and removal, false for every other event
// type. eventData is read only for arrivals and removals, and only within its record's size.
// While app.holdDeviceEvents is set, an interface's arrival or removal is only noted in
// app.heldDeviceEvents (a removal of the open unit also sets app.openUnitRemoved); otherwise it
// is handled with events held, and then the events noted meanwhile.
bool HandleDeviceChange(AppState& app, std::uintptr_t eventType, const void* eventData);

// Handles the noted events in the order they came, each as it would have been handled at this
// moment (a row of arrivals as one), then ends the hold. Nothing more once a close is requested.
void HandleHeldDeviceEvents(AppState& app);
