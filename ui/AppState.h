#pragma once
// What the user-interface logic works on: the one unit record and the main dialog.
#include "device/UnitConnection.h"
#include "platform/DialogHost.h"

#include <cstdint>
#include <string>
#include <vector>

// A device-interface arrival or removal noted while an update wrote the unit, with the path of
// the interface it named.
struct HeldDeviceEvent {
    std::uintptr_t eventType = 0;
    std::u16string interfacePath;
};

struct AppState {
    UnitConnection unit;
    const DialogHost* dialog = nullptr;
    // From the first command of an update until it has shown how it ended, device events are only
    // noted here, in order, and handled afterwards: the dialog's thread looks at its queue during
    // the run, and an event handled there would touch the unit between two of its commands.
    bool holdDeviceEvents = false;
    std::vector<HeldDeviceEvent> heldDeviceEvents;
};
