#include "win32/ClockWin32.h"

#include <mmsystem.h>

namespace {

Win32ClockState& StateOf(void* context) {
    return *static_cast<Win32ClockState*>(context);
}

// Milliseconds of a pause of length milliseconds still to go, rounded up, after the
// performance counter has moved from start to now; 0 when it is over.
DWORD Remaining(LONGLONG start, LONGLONG now, LONGLONG frequency, std::uint32_t milliseconds) {
    const LONGLONG length = LONGLONG{milliseconds} * frequency;
    const LONGLONG passed = (now - start) * 1000;
    return passed >= length ? 0 : static_cast<DWORD>((length - passed + frequency - 1) / frequency);
}

LONGLONG PerformanceCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

// The pause keeps its length: the time spent looking at the queue is taken from it, not added.
// It ends early only when a look says so.
void Pause(void* context, std::uint32_t milliseconds) {
    const Win32ClockState& state = StateOf(context);
    if (state.whileWaiting == nullptr) {
        Sleep(milliseconds);
        return;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const LONGLONG start = PerformanceCounter();
    if (!state.whileWaiting()) {
        return;
    }
    for (;;) {
        const DWORD left = Remaining(start, PerformanceCounter(), frequency.QuadPart, milliseconds);
        if (left == 0) {
            return;
        }
        Sleep(left < state.waitSliceMilliseconds ? left : state.waitSliceMilliseconds);
        if (Remaining(start, PerformanceCounter(), frequency.QuadPart, milliseconds) == 0 ||
            !state.whileWaiting()) {
            return;
        }
    }
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
