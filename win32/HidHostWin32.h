#pragma once
// The HID host on Windows: SetupAPI enumerates the present HID interfaces, hid.dll reads their
// attributes and capabilities, and the unit is opened for overlapped I/O so that every write and
// every read can be given up after a bound instead of blocking the dialog forever.
#include "platform/HidHost.h"
#include "win32/ScopedWin.h"
#include "win32/WritingRun.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <windows.h>

#include <setupapi.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "device paths are passed as UTF-16");

// One overlapped transfer with everything the system may touch while it is pending: the
// OVERLAPPED, its manual-reset event and the report bytes (copied in for a write, out for a read,
// so that a request the system still holds never reaches the caller's buffer). Made once and
// reused, unless the system does not let go of a cancelled request within the cancel bound: then
// the transfer is abandoned as it is, never reused, and freed only once it has completed.
struct Win32HidTransfer {
    OVERLAPPED overlapped{};
    AutoCloseHandle event;
    std::vector<std::uint8_t> bytes;
};

// Everything the host keeps between calls. Lives as long as the host made from it; not copied.
struct Win32HidHostState {
    GUID hidGuid{};
    // The interface that SetupDiEnumDeviceInterfaces gave last, and for which set and index, so
    // that the detail calls that follow address the same interface.
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    HostList interfaceList = invalidHostList;
    std::uint32_t interfaceIndex = 0;
    bool interfaceValid = false;
    // How long one write or one read may stay pending before it is cancelled, and how long the
    // cancelled request is then waited for.
    std::uint32_t exchangeTimeoutMilliseconds = ExchangeTimeoutMilliseconds;
    // Called at least every waitSliceMilliseconds while a transfer is pending, so that the
    // thread can look at its queue during a slow unit's answer; null: one wait for the bound.
    // False gives the transfer up at once (cancelled, ERROR_OPERATION_ABORTED): the unit was
    // removed or the user closed the program meanwhile.
    bool (*whileWaiting)() = nullptr;
    DWORD waitSliceMilliseconds = QueueLookMilliseconds;
    std::uint32_t cancelTimeoutMilliseconds = CancelTimeoutMilliseconds;
    // CancelIoEx; the tests put a driver that never lets go of a cancelled request in its place.
    BOOL(WINAPI* cancelIo)(HANDLE, LPOVERLAPPED) = CancelIoEx;
    // The transfer of every write, and that of every read (a read of its own has one too, since
    // it is pending while the write is).
    std::unique_ptr<Win32HidTransfer> writeTransfer;
    std::unique_ptr<Win32HidTransfer> readTransfer;
    // Transfers that the system still held when they were given up.
    std::vector<std::unique_ptr<Win32HidTransfer>> abandoned;
    // The read posted ahead of a write (PostReadReport) into readTransfer; device is
    // invalidHostHandle when none is posted. report is the caller's buffer, filled when the read
    // is collected.
    struct PostedRead {
        HostHandle device = invalidHostHandle;
        std::uint8_t* report = nullptr;
        std::uint32_t length = 0;
        bool pending = false; // the system still holds the request; otherwise it completed at once
    } postedRead;
    // GetLastError of the last call that failed, kept until the next failure, so that other
    // calls made meanwhile (dialogs, drawing) do not overwrite it.
    DWORD lastError = ERROR_SUCCESS;

    Win32HidHostState() = default;
    Win32HidHostState(const Win32HidHostState&) = delete;
    Win32HidHostState& operator=(const Win32HidHostState&) = delete;
    // Drops a posted read; a transfer the system still holds is left to the process's end.
    ~Win32HidHostState();
};

// Fills in the HID class GUID and the two transfers, and returns the host that works on state.
HidHost MakeWin32HidHost(Win32HidHostState& state);
