#pragma once
// The HID host on Windows: SetupAPI enumerates the present HID interfaces, hid.dll reads their
// attributes and capabilities, and the unit is opened for overlapped I/O so that every write and
// every read can be given up after a bound instead of blocking the dialog forever.
#include "platform/HidHost.h"
#include "win32/ScopedWin.h"
#include "win32/WritingRun.h"

#include <cstdint>

#include <windows.h>

#include <setupapi.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "device paths are passed as UTF-16");

// Everything the host keeps between calls. Lives as long as the host made from it; not copied.
struct Win32HidHostState {
    GUID hidGuid{};
    // The interface that SetupDiEnumDeviceInterfaces gave last, and for which set and index, so
    // that the detail calls that follow address the same interface.
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    HostList interfaceList = invalidHostList;
    std::uint32_t interfaceIndex = 0;
    bool interfaceValid = false;
    // How long one write or one read may stay pending before it is cancelled.
    std::uint32_t exchangeTimeoutMilliseconds = ExchangeTimeoutMilliseconds;
    // Called at least every waitSliceMilliseconds while a transfer is pending, so that the
    // thread can look at its queue during a slow unit's answer; null: one wait for the bound.
    void (*whileWaiting)() = nullptr;
    DWORD waitSliceMilliseconds = QueueLookMilliseconds;
    // Manual-reset event of the OVERLAPPED of every write (and of a read not posted ahead):
    // created once, reused, closed with the state, so that exchanges leave no handles behind.
    AutoCloseHandle exchangeEvent;
    // The read posted ahead of a write (PostReadReport), with an event of its own since it is
    // pending while the write is; device is invalidHostHandle when none is posted. Once posted,
    // the system may write into report until the read has completed or been cancelled.
    struct PostedRead {
        HostHandle device = invalidHostHandle;
        std::uint8_t* report = nullptr;
        std::uint32_t length = 0;
        OVERLAPPED overlapped{};
        bool pending = false;        // the system still holds the request
        bool done = false;           // completed at once, with success
        DWORD error = ERROR_SUCCESS; // ReadFile refused it at once: ReadReport fails with this
    } postedRead;
    AutoCloseHandle postedReadEvent;
    // GetLastError of the last call that failed, kept until the next failure, so that other
    // calls made meanwhile (dialogs, drawing) do not overwrite it.
    DWORD lastError = ERROR_SUCCESS;
};

// Fills in the HID class GUID and the exchange event, and returns the host that works on state.
HidHost MakeWin32HidHost(Win32HidHostState& state);
