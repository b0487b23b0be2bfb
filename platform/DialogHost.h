#pragma once
// The window operations of the main dialog and of the update's progress window, as the portable
// user-interface logic uses them. Controls are looked up by identifier in the main dialog on every
// call. On Windows: win32/DialogHostWin32.cpp; in the tests: tests/support/FakeDialog.h.
#include <cstdint>

// A top-level window; 0 is none.
using HostWindow = std::uintptr_t;

struct WindowRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

// Message box styles and answers (the values of the Windows constants).
inline constexpr std::uint32_t BoxOk = 0x00;
inline constexpr std::uint32_t BoxYesNo = 0x04;
inline constexpr std::uint32_t BoxIconError = 0x10;
inline constexpr std::uint32_t BoxIconWarning = 0x30;
inline constexpr std::uint32_t BoxIconInformation = 0x40;
inline constexpr std::int32_t AnswerOk = 1;
inline constexpr std::int32_t AnswerYes = 6;
inline constexpr std::int32_t AnswerNo = 7;

struct DialogHost {
    void* context;

    // LoadStringW from the program's own module: the catalogue text, cut to bufferSize units
    // (terminator included); an empty text for an unknown identifier.
    void (*LoadMessageText)(void* context, std::uint16_t messageId, char16_t* buffer,
                            std::uint32_t bufferSize);

    // SetDlgItemTextW / SetWindowTextW on the control.
    void (*SetControlText)(void* context, std::int32_t controlId, const char16_t* text);
    // GetWindowTextLengthW on the control, in UTF-16 units.
    std::uint32_t (*GetControlTextLength)(void* context, std::int32_t controlId);
    // GetWindowTextW on the control, bounded by bufferSize units (terminator included).
    void (*GetControlText)(void* context, std::int32_t controlId, char16_t* buffer,
                           std::uint32_t bufferSize);
    // EnableWindow(GetDlgItem(mainDialog, controlId), enable). The focus is never left on no
    // control: disabling the control that has it moves it to "Beenden" first, and "Beenden",
    // enabled again after an update's writing, takes it back.
    void (*EnableControl)(void* context, std::int32_t controlId, bool enable);

    // MessageBoxW owned by the main dialog; returns when it is closed, with the answer.
    std::int32_t (*ShowMessageBox)(void* context, const char16_t* text, const char16_t* caption,
                                   std::uint32_t style);

    // The main dialog itself and its outer rectangle in screen coordinates.
    HostWindow (*GetDialogWindow)(void* context);
    WindowRect (*GetDialogRect)(void* context);
    // The main dialog's DPI (GetDpiForWindow where the system has it, else 96).
    std::int32_t (*GetDialogDpi)(void* context);

    // The progress window: class msctls_progress32, the given title, WS_VISIBLE | PBS_SMOOTH,
    // top-level, owned by the main dialog; 0 when it could not be created.
    HostWindow (*CreateProgressWindow)(void* context, const char16_t* title, std::int32_t x,
                                       std::int32_t y, std::int32_t width, std::int32_t height);
    // PBM_SETPOS, then the bar is repainted at once.
    void (*SetProgressPosition)(void* context, HostWindow window, std::uint32_t position);
    void (*DestroyWindow)(void* context, HostWindow window);

    // SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE).
    void (*RaiseWindow)(void* context, HostWindow window);
    // ShowWindow(window, SW_SHOW).
    void (*ShowWindowNormal)(void* context, HostWindow window);
    HostWindow (*GetForegroundWindow)(void* context);

    // An update begins to write the unit: from now until EndWriting the dialog's thread keeps
    // looking at its queue while it waits (without dispatching posted or input messages), and a
    // shutdown or logoff is refused with a reason. Null where there is no queue.
    void (*BeginWriting)(void* context);
    // The writing has ended: mouse and keyboard input and close requests given meanwhile are
    // dropped, a shutdown is allowed again. Null where there is no queue.
    void (*EndWriting)(void* context);
    // Device events were noted while nothing was in progress: HandleNotedDeviceEvents is to run
    // from the dialog's queue, so that the system's sender of the event never waits on a
    // discovery. Null: nothing acts on them until the next handling's end.
    void (*PostDeviceEvents)(void* context);
};
