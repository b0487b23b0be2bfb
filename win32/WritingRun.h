#pragma once
// The dialog's thread waits for the unit without a message loop: during an update, and outside
// one while it looks for the unit (at start, on an arrival). The system calls a thread hung when it
// has not looked at its queue for 5 s: it then lists the program as not responding, drops the
// device notifications sent to it, and a shutdown meets a program that does not answer. So every
// wait looks at the queue now and then.
#include "ui/AppState.h"

#include <windows.h>

// The longest a wait goes without looking at the queue.
inline constexpr DWORD QueueLookMilliseconds = 250;

// The state whose busy record the looks read; set once at start. Without it a look does nothing
// and never ends a wait.
void WatchAppState(AppState* app);

// Called by the waits of the clock and of the HID transfers, at least every
// QueueLookMilliseconds; what it does follows the busy record (ui/BusyState.h):
// - Writing, and unless it looked within the last 50 ms: looks at the queue without dispatching
//   posted or input messages (messages sent from other threads are delivered, as by every look),
//   then paints what is invalid in the thread's windows.
// - Looking: dispatches what is queued, each message to the dialog it belongs to, so that the
//   window paints, a box keeps its keys and a close request reaches the dialog (which notes it).
// False when the wait should end now: the record names a reason to stop.
bool LookAtQueue();

// The run begins to write: waits look at the queue, a shutdown or logoff is refused with the
// reason shown by the system, and the system does not go to sleep on its idle timer (the unit
// would lose its power and leave the controller erased).
void BeginWritingRun(HWND dialog);
// The run has ended: mouse and keyboard input, close requests and button commands given meanwhile
// are dropped (a WM_QUIT met on the way is posted again), the shutdown reason is withdrawn and the
// system may sleep again. ("Beenden", enabled again just before, has taken the focus back.)
void EndWritingRun(HWND dialog);

// SetThreadExecutionState; replaceable so that a test can see what a run asks of the system.
using SetExecutionStateCall = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE flags);
extern SetExecutionStateCall setExecutionState;
