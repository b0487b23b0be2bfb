#pragma once
// Every pause of the program goes through the clock: Sleep on Windows, a virtual clock that only
// records the pauses in the tests.
#include <cstdint>

// When a pause ends, in the clock's own units.
using PauseDeadline = std::uint64_t;

struct Clock {
    void* context;
    void (*Pause)(void* context, std::uint32_t milliseconds);
    // Pauses of a few milliseconds must last what they say while an update runs (Windows: timer
    // resolution 1 ms instead of the 15.6 ms tick). Every begin is followed by exactly one end.
    void (*BeginPreciseTiming)(void* context);
    void (*EndPreciseTiming)(void* context);
    // A pause in two halves: StartPause takes its deadline now, FinishPause waits until then. What
    // the thread does between them (painting, between two requests to the unit) is taken from the
    // pause instead of added to it, and the unit still waits the whole length. Null where that
    // work takes no time: Pause then.
    PauseDeadline (*StartPause)(void* context, std::uint32_t milliseconds) = nullptr;
    void (*FinishPause)(void* context, PauseDeadline deadline) = nullptr;
};
