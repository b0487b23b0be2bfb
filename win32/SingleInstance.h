#pragma once
// One copy of the program at a time on the PC, across users' sessions: two copies would both open
// the same unit, and two "Update" runs would interleave their erase and blocks on one controller.
#include <windows.h>

// The machine-wide name of the mutex that the running copy holds for its whole life.
inline constexpr wchar_t SingleInstanceMutexName[] = L"Global\\ORVALDA.HalvernUpdater.Running";

enum class InstanceClaim {
    Run,             // this process holds the name
    ShownOther,      // the running copy's window was brought to the front
    OtherNotVisible, // the name stays held, but no window of its holder shows here
};

// Run when this process is to run: it then holds the named mutex until it ends. While another
// copy holds the name, looks for that copy's dialog and brings it, or the box it has open, to the
// front (ShownOther: this copy ends), and tries to take the name again after every look, so that
// a start while the first copy is closing runs once that copy is gone. Gives up
// (OtherNotVisible) when for waitMilliseconds neither showed: the holder runs in another user's
// session. A mutex that this process may not open (made by another user, or by a copy with other
// rights) counts as held; a name that cannot be created at all does not stop the program: Run.
// Sends nothing to the window, so a copy busy with an update cannot hold this one up.
InstanceClaim ClaimSingleInstance(const wchar_t* mutexName, DWORD waitMilliseconds);

// Marks the main dialog so that a later start can find it; removed again when it closes.
void MarkMainDialog(HWND dialog);
void UnmarkMainDialog(HWND dialog);
