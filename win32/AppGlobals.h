#pragma once
// The program's process-wide window state, used only on the dialog's thread.
#include <windows.h>

// The module whose resources (dialog, icon, logo, texts, image) the program loads.
extern HINSTANCE appInstance;
// The main dialog, set first thing in its initialisation; every control look-up goes through it.
extern HWND mainDialog;

// Posted to the main dialog: the first look at the unit, and the device events noted since to be
// acted on (both also harmless when another program posts them).
inline constexpr UINT CheckPresenceMessage = WM_APP + 1;
inline constexpr UINT DeviceEventsMessage = WM_APP + 2;
