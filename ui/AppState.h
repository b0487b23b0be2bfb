#pragma once
// What the user-interface logic works on: the one unit record and the main dialog.
#include "device/UnitConnection.h"
#include "platform/DialogHost.h"

#include <cstdint>
#include <string>
#include <vector>

// A device-interface arrival or removal noted while a handling was in progress, with the path of
// the interface it named.
struct HeldDeviceEvent {
    std::uintptr_t eventType = 0;
    std::u16string interfacePath;
};

struct AppState {
    UnitConnection unit;
    const DialogHost* dialog = nullptr;
    // While one handling is in progress (a look for the unit at start or on an event, or an
    // update from its first command until it has shown how it ended), device events are only
    // noted here, in order, and handled afterwards: the dialog's thread looks at its queue while
    // it waits for the unit, and an event handled there would touch the unit in the middle of an
    // exchange, whose buffers live in the unit record.
    bool holdDeviceEvents = false;
    std::vector<HeldDeviceEvent> heldDeviceEvents;
    // The open unit's removal was noted while events were held: a wait for the unit ends at its
    // next look, and an update stops before its next command.
    bool openUnitRemoved = false;
    // The system announced a suspend (sleep, hibernation, a closed lid) while an update wrote:
    // the unit loses its power with the PC's, so the run stops as for a pulled unit.
    bool systemSuspending = false;
    // "Beenden", Escape or the close box while the thread waited for the unit outside an update:
    // the handling in progress ends as soon as its exchange has returned, and then the dialog.
    bool closeRequested = false;
};
