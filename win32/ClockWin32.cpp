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
// A pause after MarkPauseStart counts from the mark.
void Pause(void* context, std::uint32_t milliseconds) {
    Win32ClockState& state = StateOf(context);
    const LONGLONG start = state.pauseMark != 0 ? state.pauseMark : PerformanceCounter();
    state.pauseMark = 0;
    void (*const look)() = state.whileWaiting != nullptr ? state.whileWaiting : +[] {};
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    look();
    for (;;) {
        const DWORD left = Remaining(start, PerformanceCounter(), frequency.QuadPart, milliseconds);
        if (left == 0) {
            return;
        }
        Sleep(left < state.waitSliceMilliseconds ? left : state.waitSliceMilliseconds);
        if (Remaining(start, PerformanceCounter(), frequency.QuadPart, milliseconds) == 0) {
            return;
        }
        look();
    }
}

void MarkPauseStart(void* context) {
    StateOf(context).pauseMark = PerformanceCounter();
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
    return Clock{&state, Pause, BeginPreciseTiming, EndPreciseTiming, MarkPauseStart};
}
