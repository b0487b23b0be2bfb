#pragma once
// The main dialog (template 110): its procedure, its initialisation and the cleanup on leaving.
#include "ui/AppState.h"
#include "win32/AppGlobals.h"

#include <windows.h>

#include <cstddef>

// The registration for HID device-interface events; null until it succeeded.
extern HDEVNOTIFY deviceNotification;
// The unit record and the dialog operations that the portable logic works on.
extern AppState appState;

// RegisterDeviceNotificationW; replaceable so that a test can make the registration fail.
using RegisterDeviceEventsCall = HDEVNOTIFY(WINAPI*)(HANDLE recipient, LPVOID filter, DWORD flags);
extern RegisterDeviceEventsCall registerDeviceEvents;

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window caption, "ORVALDA HALVERN 160 Firmware Updater 4.8", into a buffer of
// CaptionBufferSize units.
inline constexpr std::size_t CaptionBufferSize = 256;
void FormatCaption(char16_t (&caption)[CaptionBufferSize]);

// WM_INITDIALOG: caption, icon, labels, the registration for device events, the first look at
// the unit. Ends the dialog with 1 after an error box when the registration fails.
void InitMainDialog(HWND window);

// "Beenden", Escape, the close box: unregister the device events and close the unit.
void ExitCleanup();
