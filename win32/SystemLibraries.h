#pragma once
// The libraries of Windows that are not KnownDLLs (hid, msimg32, winmm), loaded from the system
// folder only, with the entry points the program calls.
//
// Why they are not linked: Windows takes a library that is not a KnownDLL from the program's own
// folder first, before the program's first instruction runs, so a hid.dll lying beside a
// downloaded HalvernUpdater.exe would run inside it, with the user's rights or an administrator's.
// The import table therefore names KnownDLLs only (comctl32 6 comes through the manifest's
// side-by-side binding); the build fails when it names any other (cmake/check-imports.sh).
// A library added later gets its entry points here and its name in LoadSystemLibraries, never a
// place on the link line.
#include <windows.h>

// MinGW's hid.dll headers declare no C linkage of their own.
extern "C" {
#include <hidsdi.h>
}
#include <mmsystem.h>

// Set by LoadSystemLibraries; null until then.
struct SystemLibraryCalls {
    decltype(&HidD_GetHidGuid) hidGetHidGuid = nullptr;
    decltype(&HidD_GetAttributes) hidGetAttributes = nullptr;
    decltype(&HidD_GetPreparsedData) hidGetPreparsedData = nullptr;
    decltype(&HidD_FreePreparsedData) hidFreePreparsedData = nullptr;
    decltype(&HidD_FlushQueue) hidFlushQueue = nullptr;
    decltype(&HidP_GetCaps) hidpGetCaps = nullptr;
    decltype(&TransparentBlt) transparentBlt = nullptr;
    decltype(&::timeBeginPeriod) beginTimerPeriod = nullptr;
    decltype(&::timeEndPeriod) endTimerPeriod = nullptr;
};
extern SystemLibraryCalls systemCalls;

// The entry's first act: restricts the library search of this process to the system folder, then
// loads each library by its full path there and looks up its entry points. True once every one is
// there; otherwise false, with the file name of the first library missing in *missingLibrary.
bool LoadSystemLibraries(const wchar_t** missingLibrary);
