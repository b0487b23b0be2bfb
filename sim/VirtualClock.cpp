#include "sim/VirtualClock.h"

namespace {

void PauseVirtual(void* context, std::uint32_t milliseconds) {
    auto& vc = *static_cast<VirtualClock*>(context);
    vc.pauses.push_back(milliseconds);
    vc.now += milliseconds;
}

void BeginVirtualPrecise(void* context) {
    auto& vc = *static_cast<VirtualClock*>(context);
    ++vc.preciseTimingDepth;
    ++vc.preciseTimingBegins;
}

void EndVirtualPrecise(void* context) {
    --static_cast<VirtualClock*>(context)->preciseTimingDepth;
}

} // namespace

void InitVirtualClock(VirtualClock& vc) {
    vc.clock.context = &vc;
    vc.clock.Pause = PauseVirtual;
    vc.clock.BeginPreciseTiming = BeginVirtualPrecise;
    vc.clock.EndPreciseTiming = EndVirtualPrecise;
}
