#pragma once
#include <windows.h>

// The DPI of a window and the frame and caption metrics the logo placement needs at that DPI.
struct WindowDpi {
    int dpi;
    int frameWidth;    // SM_CXDLGFRAME
    int captionHeight; // SM_CYCAPTION
};

// Finds an export of user32 by name, or null where this Windows lacks it.
using User32Lookup = FARPROC (*)(const char* name);

// GetDpiForWindow and GetSystemMetricsForDpi exist from Windows 10 1607 on; they are looked up at
// run time, so the program still starts on older systems, where 96 DPI and the plain system
// metrics are taken.
WindowDpi ReadWindowDpi(HWND window);
WindowDpi ReadWindowDpi(HWND window, User32Lookup lookup);
