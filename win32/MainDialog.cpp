#include "win32/MainDialog.h"

#include "FirmwareVersion.h"
#include "device/Discovery.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/PresenceHandling.h"
#include "ui/Product.h"
#include "ui/TextFormat.h"
#include "ui/VersionPanel.h"
#include "update/UpdateProcedure.h"
#include "win32/NoticeFocus.h"
#include "win32/PaintLogo.h"
#include "win32/SingleInstance.h"
#include "win32/SystemLibraries.h"
#include "win32/WideText.h"
#include "win32/WritingRun.h"

#include <dbt.h>

HDEVNOTIFY deviceNotification = nullptr;
AppState appState;
RegisterDeviceEventsCall registerDeviceEvents = RegisterDeviceNotificationW;

static_assert(ControlQuit == IDCANCEL, "Escape and the close box must reach \"Beenden\"");

namespace {

void ReportRegistrationFailure(HWND window) {
    char16_t caption[MessageBufferSize];
    char16_t text[MessageBufferSize];
    appState.dialog->LoadMessageText(appState.dialog->context, MessageApplicationErrorCaption,
                                     caption, MessageBufferSize);
    appState.dialog->LoadMessageText(appState.dialog->context, MessageRegistrationFailed, text,
                                     MessageBufferSize);
    MessageBoxW(window, AsWide(text), AsWide(caption), MB_OK | MB_ICONERROR);
}

bool IsWriting() {
    return appState.busy.activity == Busy::Writing;
}

// A close requested while the thread waited for the unit is acted on once the handling that
// waited has returned and its hold has ended.
void EndIfCloseRequested(HWND window) {
    const Busy activity = appState.busy.activity;
    if (IsCloseRequested(appState.busy) && activity != Busy::Looking && activity != Busy::Writing) {
        ExitCleanup();
        EndDialog(window, ControlQuit);
    }
}

// While a run writes, a close or a system command sent by another program would end the program
// right after the run; a system command, the window menu or a mouse button on the frame (sent by
// another program, or met by the look at the queue) would start a modal loop (moving, sizing,
// the menu, tracking a caption button) inside the look and stall the flash until the user ends it.
bool IsRefusedWhileWriting(UINT message) {
    return IsWriting() &&
           (message == WM_CLOSE || message == WM_SYSCOMMAND || message == WM_CONTEXTMENU ||
            (message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK));
}

// Asked on every paint: the user can switch the scheme while the program runs.
bool IsHighContrastOn() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) != FALSE &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool IsRedControl(HWND control) {
    return control != nullptr && (control == GetDlgItem(mainDialog, ControlControllerLabel) ||
                                  control == GetDlgItem(mainDialog, ControlControllerVersion));
}

} // namespace

void FormatCaption(char16_t (&caption)[CaptionBufferSize]) {
    FormatText(caption, CaptionBufferSize, CaptionFormat,
               {TextArgument(SupportedModelName), NumberArgument(CarriedFirmwareVersion >> 8),
                NumberArgument(CarriedFirmwareVersion & 0xFFu)});
}

void InitMainDialog(HWND window) {
    mainDialog = window;
    MarkMainDialog(window);

    const HICON icon = LoadIconW(appInstance, MAKEINTRESOURCEW(AppIconId));
    SetClassLongPtrW(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));

    char16_t caption[CaptionBufferSize];
    FormatCaption(caption);
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(AsWide(caption)));

    SetDlgItemTextW(mainDialog, ControlUnitLabel, L"Programmiereinheit");
    SetDlgItemTextW(mainDialog, ControlBootloaderLabel, L"Regler-Bootloader");
    SetDlgItemTextW(mainDialog, ControlControllerLabel, L"Regler");
    KeepNoticeUnselectedOnFocus(GetDlgItem(mainDialog, ControlNotice));

    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    static_assert(sizeof filter == 32, "the filter record as the system expects it");
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    systemCalls.hidGetHidGuid(&filter.dbcc_classguid);
    deviceNotification = registerDeviceEvents(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (deviceNotification == nullptr) {
        ReportRegistrationFailure(window);
        ExitCleanup();
        EndDialog(window, 1);
        return;
    }

    // The look at the unit can wait up to the exchange bound on a unit that does not answer: it
    // runs from the queue, once the dialog is on screen. Should the post fail, it runs now. Device
    // events that come before it are noted and handled at its end.
    if (!PostMessageW(window, CheckPresenceMessage, 0, 0)) {
        RunInitialPresenceCheck(appState);
    }
}

void ExitCleanup() {
    if (deviceNotification != nullptr) {
        UnregisterDeviceNotification(deviceNotification);
        deviceNotification = nullptr;
    }
    CloseUnit(appState.unit);
    if (mainDialog != nullptr) {
        UnmarkMainDialog(mainDialog);
    }
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        const HDC paintContext = BeginPaint(window, &paint);
        if (paintContext != nullptr) {
            PaintLogo(paintContext);
        }
        EndPaint(window, &paint);
        return FALSE;
    }
    case WM_INITDIALOG:
        InitMainDialog(window);
        return TRUE; // focus on the first tab stop, "Beenden"
    case CheckPresenceMessage: {
        // Once, from the queue: another program could post it again, even into a wait.
        if (appState.busy.activity != Busy::Starting) {
            return TRUE;
        }
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
        RunInitialPresenceCheck(appState);
        EndIfCloseRequested(window);
        return TRUE;
    }
    case DeviceEventsMessage:
        HandleNotedDeviceEvents(appState);
        EndIfCloseRequested(window);
        return TRUE;
    case WM_CLOSE:
    case WM_SYSCOMMAND:
    case WM_CONTEXTMENU:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONDBLCLK:
    case WM_NCXBUTTONDOWN:
    case WM_NCXBUTTONDBLCLK:
        if (IsRefusedWhileWriting(message)) {
            SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        // While a run writes, its waits deliver messages sent by other programs; neither
        // button's command may cut into it, nor may "Update" start inside another handling.
        if (LOWORD(wParam) == ControlUpdate && appState.busy.activity != Busy::Idle) {
            return TRUE;
        }
        // Escape and the close box arrive as IDCANCEL, the identifier of "Beenden".
        if (LOWORD(wParam) == ControlQuit) {
            if (IsWriting()) {
                return TRUE;
            }
            // Met while waiting for the unit: the exchange is given up and the dialog ends
            // once it has returned, since the unit record holds the exchange's buffers.
            NoteStop(appState.busy, StopReason::CloseRequested);
            EndIfCloseRequested(window);
            return TRUE;
        }
        if (LOWORD(wParam) == ControlUpdate) {
            RunUpdate(appState);
            EndIfCloseRequested(window);
            return TRUE;
        }
        return FALSE;
    case WM_CTLCOLORSTATIC:
        if (IsRedControl(reinterpret_cast<HWND>(lParam))) {
            const HDC controlContext = reinterpret_cast<HDC>(wParam);
            SetTextColor(controlContext, ChooseControllerRowColour(IsHighContrastOn(),
                                                                   GetSysColor(COLOR_WINDOWTEXT)));
            SetBkMode(controlContext, TRANSPARENT);
            // The system's own brush: never deleted, so nothing piles up from one message to
            // the next.
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return FALSE;
    case WM_SYSCOLORCHANGE:
        // The scheme changed (high contrast on or off): the controls ask for their colours anew.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return FALSE;
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI: the dialog manager rescales the dialog (default
        // handling, hence FALSE); the whole face is repainted so the logo is drawn anew at its
        // new size and nothing of the old one stays.
        InvalidateRect(window, nullptr, TRUE);
        return FALSE;
    case WM_QUERYENDSESSION:
        // A session that ended now would leave the controller erased: refused while a run
        // writes (the system shows the reason given when the run began).
        if (IsWriting()) {
            SetWindowLongPtrW(window, DWLP_MSGRESULT, FALSE);
            return TRUE;
        }
        return FALSE;
    case WM_POWERBROADCAST:
        // The PC goes to sleep anyway (a closed lid, the user's choice): the unit loses its power
        // with it, so the run stops before its next command and its report names the cause.
        if (IsWriting() && wParam == PBT_APMSUSPEND) {
            NoteStop(appState.busy, StopReason::SystemSuspending);
        }
        return FALSE;
    case WM_DEVICECHANGE: {
        // Only noted here: the sender waits for this message, never for a discovery.
        return HandleDeviceChange(appState, wParam, reinterpret_cast<const void*>(lParam)) ? TRUE
                                                                                           : FALSE;
    }
    default:
        return FALSE;
    }
}
