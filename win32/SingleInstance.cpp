#include "win32/SingleInstance.h"

namespace {

constexpr wchar_t mainDialogProperty[] = L"ORVALDA.HalvernUpdater.MainDialog";
constexpr DWORD searchStepMilliseconds = 50;

BOOL CALLBACK FindMarkedDialog(HWND window, LPARAM found) {
    if (GetPropW(window, mainDialogProperty) == nullptr) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

} // namespace

bool ClaimSingleInstance(const wchar_t* mutexName) {
    // Kept open until the process ends; the system then releases the name for the next start.
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName);
    if (mutex == nullptr) {
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true;
}

void MarkMainDialog(HWND dialog) {
    SetPropW(dialog, mainDialogProperty, reinterpret_cast<HANDLE>(1));
}

void UnmarkMainDialog(HWND dialog) {
    RemovePropW(dialog, mainDialogProperty);
}

bool ActivateRunningInstance(DWORD waitMilliseconds) {
    for (DWORD waited = 0;; waited += searchStepMilliseconds) {
        HWND dialog = nullptr;
        EnumWindows(FindMarkedDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog != nullptr) {
            if (IsIconic(dialog)) {
                ShowWindowAsync(dialog, SW_RESTORE);
            }
            // A box of the running copy (failure, question) is what the user has to answer.
            SetForegroundWindow(GetLastActivePopup(dialog));
            return true;
        }
        if (waited >= waitMilliseconds) {
            return false;
        }
        Sleep(searchStepMilliseconds);
    }
}
