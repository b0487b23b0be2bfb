#include "win32/WritingRun.h"

#include "ui/ControlIds.h"
#include "win32/AppGlobals.h"
#include "win32/SystemExports.h"

#include <vector>

SetExecutionStateCall setExecutionState = SetThreadExecutionState;

namespace {

constexpr wchar_t shutdownReason[] =
    L"Ein Firmware-Update l\u00e4uft. Bitte warten Sie, bis es abgeschlossen ist.";

using ShutdownBlockReasonCreateCall = BOOL(WINAPI*)(HWND, LPCWSTR);
using ShutdownBlockReasonDestroyCall = BOOL(WINAPI*)(HWND);

constexpr ULONGLONG LookSpacingMilliseconds = 50;
ULONGLONG lastLook = 0;
AppState* watchedApp = nullptr;
// Enough for a burst of input, few enough that a look always ends.
constexpr int MessagesPerLook = 64;

BOOL CALLBACK PaintInvalidParts(HWND window, LPARAM) {
    UpdateWindow(window);
    return TRUE;
}

// What a user can have given during the run: keys, mouse messages in client and frame (the close
// box among them), touch, pen and gestures, and the close requests that frame and keyboard turn
// into.
struct MessageRange {
    UINT first;
    UINT last;
};
constexpr MessageRange inputRanges[] = {
    {WM_KEYFIRST, WM_KEYLAST},
    {WM_MOUSEFIRST, WM_MOUSELAST},
    {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK},
    {WM_TOUCH, WM_POINTERROUTEDRELEASED}, // touch, then pen and touch as pointers
    {WM_GESTURE, WM_GESTURE},
    {WM_SYSCOMMAND, WM_SYSCOMMAND},
    {WM_CLOSE, WM_CLOSE},
};

void DropQueuedInput(HWND dialog) {
    bool quit = false;
    WPARAM exitCode = 0;
    MSG message;
    for (const MessageRange& range : inputRanges) {
        while (PeekMessageW(&message, nullptr, range.first, range.last, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                exitCode = message.wParam;
            }
        }
    }
    // A close or a click that the dialog turned into a button's command before the drop.
    std::vector<MSG> kept;
    while (PeekMessageW(&message, dialog, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
        const WORD id = LOWORD(message.wParam);
        if (id != ControlQuit && id != ControlUpdate) {
            kept.push_back(message);
        }
    }
    for (const MSG& again : kept) {
        PostMessageW(again.hwnd, again.message, again.wParam, again.lParam);
    }
    if (quit) {
        PostQuitMessage(static_cast<int>(exitCode));
    }
}

// Outside a run: everything queued is dispatched as the modal loop it belongs to would, so the
// window paints, moves and takes a close request, and a box open meanwhile keeps its keys; the
// dialog procedure only notes the close while the program looks for the unit, and the handling
// ends once the exchange has returned. Nothing dispatched here starts another wait.
void DispatchQueued() {
    bool quit = false;
    WPARAM exitCode = 0;
    MSG message;
    for (int count = 0; count < MessagesPerLook && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
         ++count) {
        if (message.message == WM_QUIT) {
            quit = true;
            exitCode = message.wParam;
            break;
        }
        const HWND owner = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
        if (owner == nullptr || !IsDialogMessageW(owner, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (quit) {
        PostQuitMessage(static_cast<int>(exitCode));
    }
}

// While a run writes: looks without dispatching anything posted, and paints.
void LookWhileWriting() {
    // A look is a call into the system that the block loop would otherwise pay on every block
    // (about 0.1 ms of its 21): between blocks it is made every LookSpacingMilliseconds.
    const ULONGLONG now = GetTickCount64();
    if (now - lastLook < LookSpacingMilliseconds) {
        return;
    }
    lastLook = now;
    // It asks only for WM_PAINT, which the system has for a window of the thread when part of it
    // is invalid, so the windows are walked only when something is to be painted.
    MSG message;
    if (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE)) {
        EnumThreadWindows(GetCurrentThreadId(), PaintInvalidParts, 0);
    }
}

} // namespace

void WatchAppState(AppState* app) {
    watchedApp = app;
}

bool LookAtQueue() {
    if (watchedApp == nullptr) {
        return true;
    }
    switch (watchedApp->busy.activity) {
    case Busy::Writing:
        LookWhileWriting();
        break;
    case Busy::Looking:
        DispatchQueued();
        break;
    case Busy::Starting:
    case Busy::Idle:
        break;
    }
    return watchedApp->busy.stop == StopReason::None;
}

void BeginWritingRun(HWND dialog) {
    lastLook = 0;
    // Kept by the thread until it asks otherwise; a user's own sleep (a closed lid) still comes
    // and is met by the dialog (WM_POWERBROADCAST).
    setExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    const auto create =
        AsCall<ShutdownBlockReasonCreateCall>(LookUpInUser32("ShutdownBlockReasonCreate"));
    if (create != nullptr) {
        create(dialog, shutdownReason);
    }
}

void EndWritingRun(HWND dialog) {
    setExecutionState(ES_CONTINUOUS);
    DropQueuedInput(dialog);
    const auto destroy =
        AsCall<ShutdownBlockReasonDestroyCall>(LookUpInUser32("ShutdownBlockReasonDestroy"));
    if (destroy != nullptr) {
        destroy(dialog);
    }
}
