#pragma once
// The program's process-wide window state, used only on the dialog's thread.
#include <windows.h>

// The module whose resources (dialog, icon, logo, texts, image) the program loads.
extern HINSTANCE appInstance;
// The main dialog, set first thing in its initialisation; every control look-up goes through it.
extern HWND mainDialog;
