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

LONGLONG CounterFrequency() {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
}

// The deadline in performance-counter ticks, rounded up.
PauseDeadline StartPause(void*, std::uint32_t milliseconds) {
    const LONGLONG frequency = CounterFrequency();
    return static_cast<PauseDeadline>(PerformanceCounter() +
                                      (LONGLONG{milliseconds} * frequency + 999) / 1000);
}

// Sleeps ticks of the performance counter, rounded up to whole milliseconds: never shorter, and at
// 1 ms timer resolution about as much longer as any Sleep. The thread sleeps; nothing spins.
void SleepTicks(LONGLONG ticks, LONGLONG frequency) {
    Sleep(static_cast<DWORD>((ticks * 1000 + frequency - 1) / frequency));
}

// The pause ends at its deadline: what the thread did since StartPause (a look, a repaint) and the
// looks at the queue are taken from it, not added. It waits in slices with a look after each and
// ends early only when a look says so.
void FinishPause(void* context, PauseDeadline deadline) {
    const Win32ClockState& state = StateOf(context);
    bool (*const look)() =
        state.whileWaiting != nullptr ? state.whileWaiting : +[] { return true; };
    const LONGLONG frequency = CounterFrequency();
    const LONGLONG slice = LONGLONG{state.waitSliceMilliseconds} * frequency / 1000;
    const auto end = static_cast<LONGLONG>(deadline);
    if (!look()) {
        return;
    }
    for (LONGLONG now = PerformanceCounter(); now < end; now = PerformanceCounter()) {
        const LONGLONG left = end - now;
        SleepTicks(left < slice ? left : slice, frequency);
        if (left > slice && !look()) {
            return;
        }
    }
}

void Pause(void* context, std::uint32_t milliseconds) {
    FinishPause(context, StartPause(context, milliseconds));
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
    return Clock{&state, Pause, BeginPreciseTiming, EndPreciseTiming, StartPause, FinishPause};
}
