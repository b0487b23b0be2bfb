#include "win32/SystemLibraries.h"

#include "win32/SystemExports.h"

#include <cwchar>

SystemLibraryCalls systemCalls;

namespace {

// Later loads that the system makes on the program's behalf by bare name look only in the system
// folder too. SetDefaultDllDirectories is looked up: Windows 7 without its 2011 loader update
// lacks it, and there SetDllDirectoryW(L"") at least takes the current directory out of the search.
bool RestrictLibrarySearch() {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const auto setDefault = AsCall<SetDefaultDllDirectoriesCall>(
        LookUpExport(L"kernel32.dll", "SetDefaultDllDirectories"));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return true;
    }
    SetDllDirectoryW(L"");
    return false;
}

// Always the full path in the system folder, never a bare name. With the restricted search the
// library's own imports come from the system folder as well; without it
// LOAD_WITH_ALTERED_SEARCH_PATH starts their search in the library's folder, the system folder.
HMODULE LoadFromSystemFolder(const wchar_t* file, bool searchRestricted) {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + std::wcslen(file) >= MAX_PATH) {
        return nullptr;
    }
    path[length] = L'\\';
    std::wcscpy(path + length + 1, file);
    return LoadLibraryExW(path, nullptr,
                          searchRestricted ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                           : LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Call> bool Bind(HMODULE library, const char* name, Call& slot) {
    slot = AsCall<Call>(GetProcAddress(library, name));
    return slot != nullptr;
}

bool BindHid(HMODULE library, SystemLibraryCalls& calls) {
    return Bind(library, "HidD_GetHidGuid", calls.hidGetHidGuid) &&
           Bind(library, "HidD_GetAttributes", calls.hidGetAttributes) &&
           Bind(library, "HidD_GetPreparsedData", calls.hidGetPreparsedData) &&
           Bind(library, "HidD_FreePreparsedData", calls.hidFreePreparsedData) &&
           Bind(library, "HidD_FlushQueue", calls.hidFlushQueue) &&
           Bind(library, "HidP_GetCaps", calls.hidpGetCaps);
}

bool BindMsimg32(HMODULE library, SystemLibraryCalls& calls) {
    return Bind(library, "TransparentBlt", calls.transparentBlt);
}

bool BindWinmm(HMODULE library, SystemLibraryCalls& calls) {
    return Bind(library, "timeBeginPeriod", calls.beginTimerPeriod) &&
           Bind(library, "timeEndPeriod", calls.endTimerPeriod);
}

struct SystemLibrary {
    const wchar_t* file;
    bool (*bind)(HMODULE library, SystemLibraryCalls& calls);
};

constexpr SystemLibrary systemLibraries[] = {
    {L"hid.dll", BindHid},
    {L"msimg32.dll", BindMsimg32},
    {L"winmm.dll", BindWinmm},
};

} // namespace

bool LoadSystemLibraries(const wchar_t** missingLibrary) {
    const bool searchRestricted = RestrictLibrarySearch();
    SystemLibraryCalls calls;
    for (const SystemLibrary& library : systemLibraries) {
        // Stays loaded for the life of the process, as a linked library would.
        const HMODULE module = LoadFromSystemFolder(library.file, searchRestricted);
        if (module == nullptr || !library.bind(module, calls)) {
            *missingLibrary = library.file;
            return false;
        }
    }
    systemCalls = calls;
    return true;
}
