#include "win32/DialogHostWin32.h"

#include "win32/AppGlobals.h"
#include "win32/WideText.h"
#include "win32/WindowDpi.h"
#include "win32/WritingRun.h"

#include <commctrl.h>

namespace {

HWND AsWindow(HostWindow window) {
    return reinterpret_cast<HWND>(window);
}
HostWindow AsHostWindow(HWND window) {
    return reinterpret_cast<HostWindow>(window);
}

void LoadMessageText(void*, std::uint16_t messageId, char16_t* buffer, std::uint32_t bufferSize) {
    if (bufferSize == 0) {
        return; // LoadStringW would hand out a pointer into the resource instead
    }
    buffer[0] = u'\0'; // an unknown identifier leaves an empty text
    LoadStringW(appInstance, messageId, AsWide(buffer), static_cast<int>(bufferSize));
}

void SetControlText(void*, std::int32_t controlId, const char16_t* text) {
    SetDlgItemTextW(mainDialog, controlId, AsWide(text));
}

std::uint32_t GetControlTextLength(void*, std::int32_t controlId) {
    const int length = GetWindowTextLengthW(GetDlgItem(mainDialog, controlId));
    return length > 0 ? static_cast<std::uint32_t>(length) : 0;
}

void GetControlText(void*, std::int32_t controlId, char16_t* buffer, std::uint32_t bufferSize) {
    if (bufferSize == 0) {
        return;
    }
    buffer[0] = u'\0';
    GetWindowTextW(GetDlgItem(mainDialog, controlId), AsWide(buffer), static_cast<int>(bufferSize));
}

// The dialog manager handles Tab, Enter and Escape only while one of its controls has the focus,
// and a screen reader announces what takes it. Disabling the control that has it leaves it on
// none, so it goes to "Beenden" first, which stays the default button.
void FocusQuit() {
    const HWND quit = GetDlgItem(mainDialog, IDCANCEL);
    SendMessageW(mainDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(quit), TRUE);
    SendMessageW(mainDialog, DM_SETDEFID, IDCANCEL, 0);
}

// Only while the dialog is the active window: moving the focus into an inactive dialog would
// activate it.
bool HoldsFocus(HWND control) {
    const HWND focus = GetFocus();
    return GetActiveWindow() == mainDialog && focus != nullptr &&
           (focus == control || IsChild(control, focus));
}

void EnableControl(void*, std::int32_t controlId, bool enable) {
    const HWND control = GetDlgItem(mainDialog, controlId);
    // "Beenden" itself is disabled only while an update writes.
    if (!enable && controlId != IDCANCEL && HoldsFocus(control)) {
        FocusQuit();
    }
    EnableWindow(control, enable ? TRUE : FALSE);
    // Enabled again at the end of an update's writing, "Beenden" takes the focus back from
    // wherever the dialog manager put it meanwhile.
    if (enable && controlId == IDCANCEL && GetActiveWindow() == mainDialog) {
        FocusQuit();
    }
}

std::int32_t ShowMessageBox(void*, const char16_t* text, const char16_t* caption,
                            std::uint32_t style) {
    return MessageBoxW(mainDialog, AsWide(text), AsWide(caption), style);
}

HostWindow GetDialogWindow(void*) {
    return AsHostWindow(mainDialog);
}

WindowRect GetDialogRect(void*) {
    RECT rect{};
    GetWindowRect(mainDialog, &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

std::int32_t GetDialogDpi(void*) {
    return ReadWindowDpi(mainDialog).dpi;
}

// The progress window stays until the run destroys it: a close (Alt+F4, or sent by another
// program) would take it away under the run, and a system command would start a modal loop
// inside a look at the queue.
LRESULT CALLBACK KeepProgressWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR) {
    if (message == WM_CLOSE || message == WM_SYSCOMMAND) {
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, KeepProgressWindow, 0);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

HostWindow CreateProgressWindow(void*, const char16_t* title, std::int32_t x, std::int32_t y,
                                std::int32_t width, std::int32_t height) {
    // Neither WS_CHILD nor WS_POPUP: an overlapped window with a title bar showing the text,
    // owned by the main dialog so that it stays above it and goes with it.
    const HWND window =
        CreateWindowExW(0, PROGRESS_CLASSW, AsWide(title), WS_VISIBLE | PBS_SMOOTH, x, y, width,
                        height, mainDialog, nullptr, appInstance, nullptr);
    if (window != nullptr) {
        SetWindowSubclass(window, KeepProgressWindow, 0, 0);
    }
    return AsHostWindow(window);
}

void SetProgressPosition(void*, HostWindow window, std::uint32_t position) {
    // A themed bar animates a forward step on a timer, and the update runs no message loop that
    // would drive it; a step back is drawn at once. So below the end the bar is set one further
    // and then back to the position.
    if (position < 100) {
        SendMessageW(AsWindow(window), PBM_SETPOS, position + 1, 0);
    }
    SendMessageW(AsWindow(window), PBM_SETPOS, position, 0);
    // Painted now: without a message loop the bar would otherwise show its new position only
    // when the run is over.
    RedrawWindow(AsWindow(window), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void DestroyHostWindow(void*, HostWindow window) {
    if (window != 0) {
        DestroyWindow(AsWindow(window));
    }
}

void RaiseWindow(void*, HostWindow window) {
    SetWindowPos(AsWindow(window), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void ShowWindowNormal(void*, HostWindow window) {
    ShowWindow(AsWindow(window), SW_SHOW);
}

HostWindow GetForegroundHostWindow(void*) {
    return AsHostWindow(GetForegroundWindow());
}

void BeginWriting(void*) {
    BeginWritingRun(mainDialog);
}

void EndWriting(void*) {
    EndWritingRun(mainDialog);
}

void PostDeviceEvents(void*) {
    PostMessageW(mainDialog, DeviceEventsMessage, 0, 0);
}

} // namespace

DialogHost MakeWin32DialogHost() {
    DialogHost host{};
    host.context = nullptr;
    host.LoadMessageText = LoadMessageText;
    host.SetControlText = SetControlText;
    host.GetControlTextLength = GetControlTextLength;
    host.GetControlText = GetControlText;
    host.EnableControl = EnableControl;
    host.ShowMessageBox = ShowMessageBox;
    host.GetDialogWindow = GetDialogWindow;
    host.GetDialogRect = GetDialogRect;
    host.GetDialogDpi = GetDialogDpi;
    host.CreateProgressWindow = CreateProgressWindow;
    host.SetProgressPosition = SetProgressPosition;
    host.DestroyWindow = DestroyHostWindow;
    host.RaiseWindow = RaiseWindow;
    host.ShowWindowNormal = ShowWindowNormal;
    host.GetForegroundWindow = GetForegroundHostWindow;
    host.BeginWriting = BeginWriting;
    host.EndWriting = EndWriting;
    host.PostDeviceEvents = PostDeviceEvents;
    return host;
}
