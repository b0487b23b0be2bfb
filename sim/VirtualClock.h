#pragma once
// A clock that does not sleep: it records every pause and advances its own time.
#include "platform/Clock.h"

#include <cstdint>
#include <vector>

struct VirtualClock {
    std::uint64_t now = 0; // milliseconds
    std::vector<std::uint32_t> pauses;
    std::int32_t preciseTimingDepth = 0; // begins minus ends
    std::uint32_t preciseTimingBegins = 0;
    Clock clock{};
};

// Wires vc.clock to vc; the record must not move afterwards.
void InitVirtualClock(VirtualClock& vc);
