// HalvernUpdater.exe: one modal dialog, whose message loop is the program's only loop.
#include "device/UnitConnection.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/TextFormat.h"
#include "win32/ClockWin32.h"
#include "win32/DialogHostWin32.h"
#include "win32/HidHostWin32.h"
#include "win32/MainDialog.h"
#include "win32/SingleInstance.h"
#include "win32/SystemLibraries.h"
#include "win32/WideText.h"
#include "win32/WritingRun.h"

#include <commctrl.h>

namespace {

// How long a second start looks for the first copy's dialog, which may still be setting up, or
// waits for a closing first copy to be gone.
constexpr DWORD findRunningCopyMilliseconds = 5000;

// The application error box, before any window or unit: the text, then the missing library.
void ReportMissingLibrary(HINSTANCE instance, const wchar_t* library) {
    char16_t caption[MessageBufferSize] = {};
    char16_t text[MessageBufferSize] = {};
    LoadStringW(instance, MessageApplicationErrorCaption, AsWide(caption), MessageBufferSize);
    LoadStringW(instance, MessageLibraryMissing, AsWide(text), MessageBufferSize);
    AppendText(text, MessageBufferSize, u"\r\n\r\n");
    AppendText(text, MessageBufferSize, reinterpret_cast<const char16_t*>(library));
    MessageBoxW(nullptr, AsWide(text), AsWide(caption), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// The first copy runs where its window cannot be brought forward (another user's session): this
// one says so instead of ending without a word.
void ReportCopyElsewhere(HINSTANCE instance) {
    char16_t caption[CaptionBufferSize];
    FormatCaption(caption);
    wchar_t text[MessageBufferSize] = {};
    LoadStringW(instance, MessageRunningInOtherSession, text, MessageBufferSize);
    MessageBoxW(nullptr, text, AsWide(caption), MB_OK | MB_ICONINFORMATION);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // First of all: nothing may be loaded from the program's folder (win32/SystemLibraries.h).
    const wchar_t* missingLibrary = nullptr;
    if (!LoadSystemLibraries(&missingLibrary)) {
        ReportMissingLibrary(instance, missingLibrary);
        return 1;
    }
    // A second copy touches no device: it shows the first one, or says where it runs, and ends.
    switch (ClaimSingleInstance(SingleInstanceMutexName, findRunningCopyMilliseconds)) {
    case InstanceClaim::Run:
        break;
    case InstanceClaim::ShownOther:
        return 0;
    case InstanceClaim::OtherNotVisible:
        ReportCopyElsewhere(instance);
        return 0;
    }
    InitCommonControls();
    // Every wait for the unit looks at the queue at least every QueueLookMilliseconds; should
    // the thread still be taken for hung, no frozen copy replaces the dialog.
    DisableProcessWindowsGhosting();
    appInstance = instance;

    static Win32HidHostState hidState;
    hidState.whileWaiting = LookAtQueue;
    static const HidHost hidHost = MakeWin32HidHost(hidState);
    static Win32ClockState clockState;
    clockState.whileWaiting = LookAtQueue;
    static const Clock clock = MakeWin32Clock(clockState);
    static const DialogHost dialogHost = MakeWin32DialogHost();
    InitUnitConnection(appState.unit, hidHost, clock);
    appState.dialog = &dialogHost;
    WatchAppState(&appState);

    DialogBoxParamW(appInstance, MAKEINTRESOURCEW(MainDialogTemplateId), nullptr, MainDialogProc,
                    0);
    return 0;
}
