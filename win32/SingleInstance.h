#pragma once
// One copy of the program at a time in the user's session: two copies would both open the same
// unit, and two "Update" runs would interleave their erase and blocks on one controller.
#include <windows.h>

// The session-wide name of the mutex that the running copy holds for its whole life.
inline constexpr wchar_t SingleInstanceMutexName[] = L"Local\\ORVALDA.HalvernUpdater.Running";

// True when this process is to run: it then holds the named mutex until it ends. While another
// copy holds the name, looks for that copy's dialog and brings it, or the box it has open, to the
// front (false: this copy ends), and tries to take the name again after every look, so that a
// start while the first copy is closing runs once that copy is gone. Gives up (false) when for
// waitMilliseconds neither showed. A mutex that this process may not open (made by a copy with
// other rights) counts as held; a name that cannot be created at all does not stop the program:
// true. Sends nothing to the window, so a copy busy with an update cannot hold this one
// up.
bool ClaimSingleInstance(const wchar_t* mutexName, DWORD waitMilliseconds);

// Marks the main dialog so that a later start can find it; removed again when it closes.
void MarkMainDialog(HWND dialog);
void UnmarkMainDialog(HWND dialog);
