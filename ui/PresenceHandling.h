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

// The hold on device events for one handling (a look for the unit, a run of "Update", a failure
// report): it is taken only while nothing else is in progress, and from then on an event is only
// noted. Its end is the one place that handles what was noted, in order (a row of arrivals as
// one look), and then looks for a unit once more when a removal ended the open unit and nothing
// is open; nothing of that after a close request. Then the program is idle again.
struct EventHold {
    explicit EventHold(AppState& app);
    ~EventHold();
    EventHold(const EventHold&) = delete;
    EventHold& operator=(const EventHold&) = delete;

    AppState& app;
    // Set by a handling that closed a unit which had replaced, by a removal and an arrival, the
    // one it was about: the hold's end looks for it again.
    bool lookForUnit = false;
};

// The first look at the unit, once the dialog is on screen: runs only while the program is
// starting (once, whoever posts its message again). Events noted since the registration are
// handled at its end.
void RunInitialPresenceCheck(AppState& app);

// WM_DEVICECHANGE: true (handled) for every arrival and removal, false for every other event
// type. eventData is read only for arrivals and removals, and only within its record's size. An
// interface's arrival or removal is only noted (a removal of the open unit during a wait also
// stops the wait); while nothing is in progress the dialog is asked to act on it from its queue
// (DialogHost::PostDeviceEvents).
bool HandleDeviceChange(AppState& app, std::uintptr_t eventType, const void* eventData);

// From the queue: the noted events are handled under a hold, unless a handling is in progress
// (its hold's end handles them) or the program is still starting (the first look's end does).
void HandleNotedDeviceEvents(AppState& app);
