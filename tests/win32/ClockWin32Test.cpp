// The Windows clock: every raise of the timer resolution is undone exactly once.
#include "win32/ClockWin32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

std::string calls; // 'B' begin, 'E' end, in order
UINT beginResult = TIMERR_NOERROR;

UINT WINAPI RecordBegin(UINT period) {
    calls += period == 1 ? 'B' : '?';
    return beginResult;
}
UINT WINAPI RecordEnd(UINT period) {
    calls += period == 1 ? 'E' : '?';
    return TIMERR_NOERROR;
}

// The power throttling asked for: 'O' opted out of both, 'S' of the speed alone, 'W' withdrawn;
// lower case when refused (a Windows 10 refuses the timer bit).
std::string throttling;
bool timerBitRefused = false;
BOOL WINAPI RecordThrottling(HANDLE, PROCESS_INFORMATION_CLASS kind, LPVOID info, DWORD size) {
    const auto* state = static_cast<const PROCESS_POWER_THROTTLING_STATE*>(info);
    const bool valid = kind == ProcessPowerThrottling && size == sizeof *state &&
                       state->Version == PROCESS_POWER_THROTTLING_CURRENT_VERSION &&
                       state->StateMask == 0;
    const bool timerBit = (state->ControlMask & PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION);
    const char kindOf = !valid ? '?' : state->ControlMask == 0 ? 'W' : timerBit ? 'O' : 'S';
    const bool refused = timerBit && timerBitRefused;
    throttling += refused ? static_cast<char>(kindOf + 32) : kindOf;
    return refused ? FALSE : TRUE;
}

TEST(Win32Clock, EndsOnlyWhatItBegan) {
    struct Case {
        const char* steps; // b begin, e end
        UINT beginResult;
        const char* expected;
        const char* throttled = "OW"; // from the first begin to the last end
        bool windows10 = false;
    };
    const Case cases[] = {
        {"be", TIMERR_NOERROR, "BE"},
        {"bbee", TIMERR_NOERROR, "BBEE"},
        {"bee", TIMERR_NOERROR, "BE"},             // a second end has nothing to undo
        {"e", TIMERR_NOERROR, "", ""},             // an end without a begin
        {"be", TIMERR_NOCANDO, "B"},               // a refused raise is not undone
        {"bebe", TIMERR_NOERROR, "BEBE", "OWOW"},  // one update after another
        {"be", TIMERR_NOERROR, "BE", "oSW", true}, // Windows 10: the speed alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        Win32ClockState state{RecordBegin, RecordEnd};
        state.setProcessInformation = RecordThrottling;
        const Clock clock = MakeWin32Clock(state);
        calls.clear();
        throttling.clear();
        timerBitRefused = c.windows10;
        beginResult = c.beginResult;
        for (const char* step = c.steps; *step != '\0'; ++step) {
            (*step == 'b' ? clock.BeginPreciseTiming : clock.EndPreciseTiming)(clock.context);
        }
        EXPECT_EQ(calls, c.expected);
        EXPECT_EQ(throttling, c.throttled);
        EXPECT_EQ(state.raisedPeriods, 0u);
    }
}

int looks = 0;
int stopAtLook = 0; // the look that says the pause must end; 0: none
bool CountLook() {
    return ++looks != stopAtLook;
}

// A pause looks at the queue at its start and after every slice, and still lasts its length,
// unless a look says it must end (the unit was pulled): then it ends there.
TEST(Win32Clock, PauseLooksAtTheQueueInSlicesAndKeepsItsLength) {
    const std::uint32_t lengths[] = {5, 10, 55};
    for (const std::uint32_t length : lengths) {
        SCOPED_TRACE(length);
        Win32ClockState state;
        state.whileWaiting = CountLook;
        stopAtLook = 0;
        state.waitSliceMilliseconds = 10;
        const Clock clock = MakeWin32Clock(state);
        looks = 0;
        LARGE_INTEGER start, end, frequency;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        clock.Pause(clock.context, length);
        QueryPerformanceCounter(&end);
        EXPECT_GE(1000 * (end.QuadPart - start.QuadPart),
                  std::int64_t{length} * frequency.QuadPart);
        EXPECT_GE(looks, static_cast<int>((length + 9) / 10));
    }
    for (const int stop : {1, 3}) {
        Win32ClockState state;
        state.whileWaiting = CountLook;
        state.waitSliceMilliseconds = 10;
        const Clock clock = MakeWin32Clock(state);
        looks = 0;
        stopAtLook = stop;
        clock.Pause(clock.context, 60000);
        EXPECT_EQ(looks, stop);
    }
}

// A split pause counts from its start: work between the halves is taken from it, and a pause
// whose deadline has passed ends at once; each pause lasts at least its length.
TEST(Win32Clock, SplitPauseCountsFromItsStart) {
    Win32ClockState state;
    const Clock clock = MakeWin32Clock(state);
    LARGE_INTEGER mark, start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&mark);
    const PauseDeadline deadline = clock.StartPause(clock.context, 10);
    Sleep(30);
    clock.FinishPause(clock.context, deadline);
    QueryPerformanceCounter(&start);
    clock.Pause(clock.context, 10);
    QueryPerformanceCounter(&end);
    EXPECT_GE(1000 * (start.QuadPart - mark.QuadPart), 10 * frequency.QuadPart);
    EXPECT_GE(1000 * (end.QuadPart - start.QuadPart), 10 * frequency.QuadPart);
}

using QueryTimerResolution = LONG(NTAPI*)(ULONG*, ULONG*, ULONG*);

// Current timer resolution in 100 ns units, or 0 when the system does not say.
ULONG CurrentTimerResolution() {
    auto query = reinterpret_cast<QueryTimerResolution>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryTimerResolution")));
    ULONG coarsest = 0, finest = 0, current = 0;
    return query != nullptr && query(&coarsest, &finest, &current) == 0 ? current : 0;
}

double AveragePauseMilliseconds(const Clock& clock, std::uint32_t milliseconds) {
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < 10; ++i) {
        clock.Pause(clock.context, milliseconds);
    }
    QueryPerformanceCounter(&end);
    return 100.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

TEST(Win32Clock, PreciseTimingRaisesTheResolutionAndRestoresIt) {
    Win32ClockState state;
    const Clock clock = MakeWin32Clock(state);
    const ULONG before = CurrentTimerResolution();
    const double coarse = AveragePauseMilliseconds(clock, 20);
    clock.BeginPreciseTiming(clock.context);
    const ULONG during = CurrentTimerResolution();
    const double precise = AveragePauseMilliseconds(clock, 20);
    clock.EndPreciseTiming(clock.context);
    const ULONG after = CurrentTimerResolution();
    std::printf("Pause(20): %.2f ms plain, %.2f ms with precise timing; timer resolution "
                "%lu / %lu / %lu x100 ns before / during / after\n",
                coarse, precise, before, during, after);
    EXPECT_EQ(state.raisedPeriods, 0u);
    if (before == 0) {
        GTEST_SKIP() << "the system does not report its timer resolution";
    }
    EXPECT_LE(during, 10000u);
    EXPECT_EQ(after, before);
}

} // namespace
