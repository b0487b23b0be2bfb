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
}
