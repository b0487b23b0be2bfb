#pragma once
// While an update writes the unit, the dialog's thread runs the update and no message loop. The
// system calls a thread hung when it has not looked at its queue for 5 s: it then lists the
// program as not responding, drops the device notifications sent to it, and a shutdown meets a
// program that does not answer. So every wait of the run looks at the queue now and then.
#include <windows.h>

// The longest a wait of the run goes without looking at the queue.
inline constexpr DWORD QueueLookMilliseconds = 250;

// True from BeginWritingRun to EndWritingRun.
extern bool writingRun;

// Called by the waits of the clock and of the HID transfers, at least every
// QueueLookMilliseconds. While a run writes, and unless it looked within the last 50 ms: looks at
// the queue without dispatching posted or input messages (messages sent from other threads are
// delivered, as by every look), then paints what is invalid in the thread's windows. Does
// nothing otherwise.
void LookAtQueue();

// The run begins to write: waits look at the queue, and a shutdown or logoff is refused with the
// reason shown by the system.
void BeginWritingRun(HWND dialog);
// The run has ended: mouse and keyboard input and close requests given meanwhile are dropped (a
// WM_QUIT met on the way is posted again), the shutdown reason is withdrawn, and the keyboard
// focus goes back to "Beenden" when the dialog is active and nothing has it.
void EndWritingRun(HWND dialog);
