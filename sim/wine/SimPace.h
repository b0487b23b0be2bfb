#pragma once
// The pace of the updates in a unit's request log, from the times the driver stamped on the
// requests: how long each held the system lock and how far apart its blocks came. Portable, so
// that it is tested natively too.
#include "sim/SimulatedUnit.h"

#include <cstdint>
#include <vector>

struct SimUpdatePace {
    std::uint32_t firstRequest = 0; // log index of the SetSystemLock(on) request
    std::uint32_t lastRequest = 0;  // log index of the SetSystemLock(off) request
    std::uint32_t blocks = 0;       // WriteBlock requests between the two
    std::uint64_t lockToUnlockMicroseconds = 0;
    std::uint64_t medianBlockGapMicroseconds = 0; // 0 with fewer than two blocks
    // The lock-to-unlock time in its phases, each from one request to the next named one: lock
    // to erase, erase to address (the erase's wait and the pause after it), address to first
    // block, first to last block, last block to unlock. 0 where a request is missing.
    std::uint64_t lockToEraseMicroseconds = 0;
    std::uint64_t eraseToAddressMicroseconds = 0;
    std::uint64_t addressToFirstBlockMicroseconds = 0;
    std::uint64_t blocksMicroseconds = 0;
    std::uint64_t lastBlockToUnlockMicroseconds = 0;
};

// Each SetSystemLock(on) request followed by a SetSystemLock(off) one is an update, in log order;
// a lock that is never released (a failed update) is not.
std::vector<SimUpdatePace> MeasureUpdatePaces(const SimRequestRecord* log, std::uint32_t count);
