#pragma once
// One copy of the program at a time in the user's session: two copies would both open the same
// unit, and two "Update" runs would interleave their erase and blocks on one controller.
#include <windows.h>

// The session-wide name of the mutex that the running copy holds for its whole life.
inline constexpr wchar_t SingleInstanceMutexName[] = L"Local\\ORVALDA.HalvernUpdater.Running";

// True when this process is the only copy: it then holds the named mutex until it ends. False when
// another copy holds it already (or the mutex cannot be had, so that no second copy runs blind).
bool ClaimSingleInstance(const wchar_t* mutexName);

// Marks the main dialog so that a later start can find it; removed again when it closes.
void MarkMainDialog(HWND dialog);
void UnmarkMainDialog(HWND dialog);

// Brings the running copy's dialog, or the box it has open, to the front. Waits a bounded time
// for a dialog still being set up; false when none appeared. Sends nothing to the window, so a
// copy busy with an update cannot hold this one up.
bool ActivateRunningInstance(DWORD waitMilliseconds);
