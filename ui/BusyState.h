#pragma once
// What the program is busy with, and why a wait stops: the one record that the dialog procedure
// and every wait for the unit (the HID host's and the clock's, through their look at the queue)
// read.
//
//   Starting --the first look (once, from the queue)--> Looking --its hold ends--> Idle
//   Idle --noted device events, acted on from the queue--> Looking --the hold ends--> Idle
//   Idle --"Update": the first command--> Writing --the outcome is known--> Looking --> Idle
//
//   activity  a look at the queue               a device event   "Update"  "Beenden"
//   Starting  (nothing waits)                    noted            refused   ends the program
//   Idle      (nothing waits)                    noted, posted    runs      ends the program
//   Looking   dispatches what is queued          noted            refused   noted: stop
//   Writing   paints; nothing posted dispatched  noted            refused   refused
//
// Looking and Writing hold the device events (EventHold): the hold's end handles what was noted.
// A wait ends at its next look once stop is set.
#include <cstdint>
#include <string>
#include <vector>

enum class Busy { Starting, Idle, Looking, Writing };

enum class StopReason {
    None,
    UnitRemoved,      // the open unit's removal was noted
    SystemSuspending, // the PC goes to sleep while a run writes: the unit loses its power
    CloseRequested,   // "Beenden", Escape or the close box while the program looks for the unit
};

// A device-interface arrival or removal noted while a handling was in progress, with the path of
// the interface it named.
struct HeldDeviceEvent {
    std::uintptr_t eventType = 0;
    std::u16string interfacePath;
};

struct BusyState {
    Busy activity = Busy::Starting;
    StopReason stop = StopReason::None;
    std::vector<HeldDeviceEvent> heldEvents;
};

// A close request outranks every other reason to stop, and nothing replaces it: the program
// ends once the handling in progress has returned.
inline void NoteStop(BusyState& busy, StopReason reason) {
    if (busy.stop != StopReason::CloseRequested) {
        busy.stop = reason;
    }
}

inline bool IsCloseRequested(const BusyState& busy) {
    return busy.stop == StopReason::CloseRequested;
}
