#include "win32/ClockWin32.h"

#include "win32/SystemExports.h"
#include "win32/SystemLibraries.h"

namespace {

Win32ClockState& StateOf(void* context) {
    return *static_cast<Win32ClockState*>(context);
}

LONGLONG PerformanceCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

// The pause keeps its length: the time spent looking at the queue is taken from it, not added.
// A pause after MarkPauseStart counts from the mark. Whole milliseconds are slept, in slices with
// a look after each; the last fraction of a millisecond is waited out by yielding, so that what
// came before the sleep (a look, a repaint) is taken from the pause exactly instead of rounding
// the sleep up to a whole millisecond. It ends early only when a look says so.
void Pause(void* context, std::uint32_t milliseconds) {
    Win32ClockState& state = StateOf(context);
    const LONGLONG start = state.pauseMark != 0 ? state.pauseMark : PerformanceCounter();
    state.pauseMark = 0;
    bool (*const look)() =
        state.whileWaiting != nullptr ? state.whileWaiting : +[] { return true; };
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const LONGLONG end = start + (LONGLONG{milliseconds} * frequency.QuadPart + 999) / 1000;
    if (!look()) {
        return;
    }
    for (;;) {
        const LONGLONG now = PerformanceCounter();
        if (now >= end) {
            return;
        }
        const LONGLONG whole = (end - now) * 1000 / frequency.QuadPart;
        if (whole == 0) {
            SwitchToThread();
            continue;
        }
        const DWORD slice = state.waitSliceMilliseconds;
        Sleep(whole < slice ? static_cast<DWORD>(whole) : slice);
        if (whole > slice && !look()) {
            return;
        }
    }
}

void MarkPauseStart(void* context) {
    StateOf(context).pauseMark = PerformanceCounter();
}

// Opted out, the system neither ignores the raised timer resolution of a process whose windows
// are all hidden (Windows 11) nor slows it down (EcoQoS); withdrawn, it decides again. Windows 10
// knows only the execution speed and refuses the timer bit.
void SetPowerThrottling(const Win32ClockState& state, bool optOut) {
    if (state.setProcessInformation == nullptr) {
        return;
    }
    PROCESS_POWER_THROTTLING_STATE throttling{};
    throttling.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    throttling.ControlMask = optOut ? PROCESS_POWER_THROTTLING_EXECUTION_SPEED |
                                          PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION
                                    : 0;
    throttling.StateMask = 0;
    if (!state.setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &throttling,
                                     sizeof throttling) &&
        optOut) {
        throttling.ControlMask = PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
        state.setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &throttling,
                                    sizeof throttling);
    }
}

void BeginPreciseTiming(void* context) {
    Win32ClockState& state = StateOf(context);
    if (state.preciseDepth++ == 0) {
        SetPowerThrottling(state, true);
    }
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
    if (state.preciseDepth > 0 && --state.preciseDepth == 0) {
        SetPowerThrottling(state, false);
    }
}

} // namespace

Clock MakeWin32Clock(Win32ClockState& state) {
    if (state.beginPeriod == nullptr) {
        state.beginPeriod = systemCalls.beginTimerPeriod;
    }
    if (state.endPeriod == nullptr) {
        state.endPeriod = systemCalls.endTimerPeriod;
    }
    if (state.setProcessInformation == nullptr) {
        state.setProcessInformation = AsCall<decltype(state.setProcessInformation)>(
            LookUpExport(L"kernel32.dll", "SetProcessInformation"));
    }
    return Clock{&state, Pause, BeginPreciseTiming, EndPreciseTiming, MarkPauseStart};
}
