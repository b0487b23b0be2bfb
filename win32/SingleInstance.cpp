#include "win32/SingleInstance.h"

namespace {

constexpr wchar_t mainDialogProperty[] = L"ORVALDA.HalvernUpdater.MainDialog";
constexpr DWORD searchStepMilliseconds = 50;

enum class NameClaim { Taken, HeldByOther, Unavailable };

// Kept open until the process ends; the system then releases the name for the next start.
NameClaim ClaimName(const wchar_t* mutexName) {
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName);
    if (mutex == nullptr) {
        // A copy of another user, or one started with other rights ("Als Administrator
        // ausführen"), holds a mutex that this one may not open: the name is held all the same,
        // and two copies would write to one unit.
        return GetLastError() == ERROR_ACCESS_DENIED ? NameClaim::HeldByOther
                                                     : NameClaim::Unavailable;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return NameClaim::HeldByOther;
    }
    return NameClaim::Taken;
}

BOOL CALLBACK FindMarkedDialog(HWND window, LPARAM found) {
    if (GetPropW(window, mainDialogProperty) == nullptr) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Brings the running copy's dialog, or the box it has open, to the front; false when none shows.
bool ActivateRunningInstance() {
    HWND dialog = nullptr;
    EnumWindows(FindMarkedDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) {
        return false;
    }
    if (IsIconic(dialog)) {
        ShowWindowAsync(dialog, SW_RESTORE);
    }
    // A box of the running copy (failure, question) is what the user has to answer.
    SetForegroundWindow(GetLastActivePopup(dialog));
    return true;
}

} // namespace

InstanceClaim ClaimSingleInstance(const wchar_t* mutexName, DWORD waitMilliseconds) {
    for (DWORD waited = 0;; waited += searchStepMilliseconds) {
        const NameClaim claim = ClaimName(mutexName);
        if (claim != NameClaim::HeldByOther) {
            return InstanceClaim::Run;
        }
        if (ActivateRunningInstance()) {
            return InstanceClaim::ShownOther;
        }
        if (waited >= waitMilliseconds) {
            return InstanceClaim::OtherNotVisible;
        }
        Sleep(searchStepMilliseconds);
    }
}

void MarkMainDialog(HWND dialog) {
    SetPropW(dialog, mainDialogProperty, reinterpret_cast<HANDLE>(1));
}

void UnmarkMainDialog(HWND dialog) {
    RemovePropW(dialog, mainDialogProperty);
}
