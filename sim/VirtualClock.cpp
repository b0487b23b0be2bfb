#include "sim/VirtualClock.h"

#include <cstdio>

namespace {

void Trace(VirtualClock& vc, const char* line) {
    if (vc.trace != nullptr) {
        vc.trace->emplace_back(line);
    }
}

void PauseVirtual(void* context, std::uint32_t milliseconds) {
    auto& vc = *static_cast<VirtualClock*>(context);
    vc.pauses.push_back(milliseconds);
    vc.now += milliseconds;
    if (vc.trace != nullptr) {
        char line[32];
        std::snprintf(line, sizeof line, "pause %lu", static_cast<unsigned long>(milliseconds));
        vc.trace->emplace_back(line);
    }
}

// A split pause is recorded when it starts; its end moves the time to the deadline, so that what
// came between takes no time of its own.
PauseDeadline StartVirtualPause(void* context, std::uint32_t milliseconds) {
    auto& vc = *static_cast<VirtualClock*>(context);
    const std::uint64_t start = vc.now;
    PauseVirtual(context, milliseconds);
    vc.now = start;
    return start + milliseconds;
}

void FinishVirtualPause(void* context, PauseDeadline deadline) {
    auto& vc = *static_cast<VirtualClock*>(context);
    if (vc.now < deadline) {
        vc.now = deadline;
    }
}

void BeginVirtualPrecise(void* context) {
    auto& vc = *static_cast<VirtualClock*>(context);
    ++vc.preciseTimingDepth;
    ++vc.preciseTimingBegins;
    Trace(vc, "precise begin");
}

void EndVirtualPrecise(void* context) {
    auto& vc = *static_cast<VirtualClock*>(context);
    --vc.preciseTimingDepth;
    Trace(vc, "precise end");
}

} // namespace

void InitVirtualClock(VirtualClock& vc) {
    vc.clock.context = &vc;
    vc.clock.Pause = PauseVirtual;
    vc.clock.BeginPreciseTiming = BeginVirtualPrecise;
    vc.clock.EndPreciseTiming = EndVirtualPrecise;
    vc.clock.StartPause = StartVirtualPause;
    vc.clock.FinishPause = FinishVirtualPause;
}
