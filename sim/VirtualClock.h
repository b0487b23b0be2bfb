#pragma once
// A clock that does not sleep: it records every pause and advances its own time.
#include "platform/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

struct VirtualClock {
    std::uint64_t now = 0; // milliseconds
    std::vector<std::uint32_t> pauses;
    std::int32_t preciseTimingDepth = 0; // begins minus ends
    std::uint32_t preciseTimingBegins = 0;
    // When set (e.g. to a SimHidHostState's calls), every clock call is also written there, as
    // "pause 20", "precise begin", "precise end", so pauses show between the exchanges.
    std::vector<std::string>* trace = nullptr;
    Clock clock{};
};

// Wires vc.clock to vc; the record must not move afterwards.
void InitVirtualClock(VirtualClock& vc);
