#include "win32/ClockWin32.h"

#include <mmsystem.h>

namespace {

Win32ClockState& StateOf(void* context) {
    return *static_cast<Win32ClockState*>(context);
}

void Pause(void*, std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

void BeginPreciseTiming(void* context) {
    Win32ClockState& state = StateOf(context);
    if (state.beginPeriod(PreciseTimerPeriodMilliseconds) == TIMERR_NOERROR) {
        ++state.raisedPeriods;
    }
}

void EndPreciseTiming(void* context) {
    Win32ClockState& state = StateOf(context);
    if (state.raisedPeriods > 0) {
        state.endPeriod(PreciseTimerPeriodMilliseconds);
        --state.raisedPeriods;
    }
}

} // namespace

Clock MakeWin32Clock(Win32ClockState& state) {
    if (state.beginPeriod == nullptr) {
        state.beginPeriod = timeBeginPeriod;
    }
    if (state.endPeriod == nullptr) {
        state.endPeriod = timeEndPeriod;
    }
    return Clock{&state, Pause, BeginPreciseTiming, EndPreciseTiming};
}
