#pragma once
// The clock on Windows: pauses are Sleep, precise timing raises the timer resolution to 1 ms
// (winmm) for as long as an update runs, and keeps the system from ignoring that raise while the
// program's windows are minimised or covered (Windows 11 does so by default).
#include "platform/Clock.h"
#include "win32/WritingRun.h"

#include <windows.h>

struct Win32ClockState {
    // The winmm calls, replaceable so that a test can see that they are balanced.
    UINT(WINAPI* beginPeriod)(UINT period) = nullptr;
    UINT(WINAPI* endPeriod)(UINT period) = nullptr;
    // Raises of the resolution that succeeded and are not yet undone; only these are ended, so
    // a failed or missing begin never leads to an unmatched timeEndPeriod.
    unsigned raisedPeriods = 0;
    // SetProcessInformation, looked up at run time (Windows 8 and later; null where missing),
    // replaceable so that a test can see the power throttling asked for.
    BOOL(WINAPI* setProcessInformation)
    (HANDLE process, PROCESS_INFORMATION_CLASS kind, LPVOID information, DWORD size) = nullptr;
    // Begins not yet ended: the throttling is opted out of from the first to the last.
    unsigned preciseDepth = 0;
    // Called at the start of a pause and then at least every waitSliceMilliseconds until it has
    // lasted its length, so that the thread can look at its queue; null: a pause is one Sleep.
    // False ends the pause there: the unit was removed meanwhile, and the update stops.
    bool (*whileWaiting)() = nullptr;
    DWORD waitSliceMilliseconds = QueueLookMilliseconds;
};

inline constexpr UINT PreciseTimerPeriodMilliseconds = 1;

// Fills in the winmm calls and SetProcessInformation (unless set already) and returns the clock
// that works on state.
Clock MakeWin32Clock(Win32ClockState& state);
