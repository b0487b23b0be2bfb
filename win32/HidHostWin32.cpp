#include "win32/HidHostWin32.h"

#include <cstddef>
#include <cstring>

// MinGW's hid.dll headers declare no C linkage of their own.
extern "C" {
#include <hidsdi.h>
}

namespace {

Win32HidHostState& StateOf(void* context) {
    return *static_cast<Win32HidHostState*>(context);
}

HANDLE ToHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}
std::intptr_t FromHandle(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

// Records GetLastError of the call that just failed; returns false for the caller's convenience.
bool Fail(Win32HidHostState& state) {
    state.lastError = GetLastError();
    return false;
}

bool Fail(Win32HidHostState& state, DWORD error) {
    state.lastError = error;
    SetLastError(error);
    return false;
}

HostList GetInterfaceList(void* context) {
    Win32HidHostState& state = StateOf(context);
    state.interfaceValid = false;
    HDEVINFO set = SetupDiGetClassDevsW(&state.hidGuid, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        Fail(state);
        return invalidHostList;
    }
    return FromHandle(set);
}

bool EnumerateInterface(void* context, HostList list, std::uint32_t index) {
    Win32HidHostState& state = StateOf(context);
    state.interfaceValid = false;
    state.interfaceData = {};
    state.interfaceData.cbSize = sizeof(state.interfaceData);
    if (!SetupDiEnumDeviceInterfaces(ToHandle(list), nullptr, &state.hidGuid, index,
                                     &state.interfaceData)) {
        return Fail(state);
    }
    state.interfaceList = list;
    state.interfaceIndex = index;
    state.interfaceValid = true;
    return true;
}

// The detail calls address the interface enumerated last; should the caller ask for another one,
// it is enumerated again so that the answer always belongs to the set and index given.
bool SelectInterface(Win32HidHostState& state, HostList list, std::uint32_t index) {
    if (state.interfaceValid && state.interfaceList == list && state.interfaceIndex == index) {
        return true;
    }
    return EnumerateInterface(&state, list, index);
}

std::uint32_t QueryInterfaceDetailSize(void* context, HostList list, std::uint32_t index) {
    Win32HidHostState& state = StateOf(context);
    if (!SelectInterface(state, list, index)) {
        return 0;
    }
    DWORD requiredBytes = 0;
    // Fails by design (no buffer) with ERROR_INSUFFICIENT_BUFFER; only the size it reports counts,
    // and only a call that gives no size is a failure worth keeping.
    if (!SetupDiGetDeviceInterfaceDetailW(ToHandle(list), &state.interfaceData, nullptr, 0,
                                          &requiredBytes, nullptr) &&
        requiredBytes == 0) {
        Fail(state);
    }
    return requiredBytes;
}

const char16_t* FetchInterfaceDetail(void* context, HostList list, std::uint32_t index,
                                     void* buffer, std::uint32_t bufferBytes) {
    Win32HidHostState& state = StateOf(context);
    const DWORD cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    constexpr std::size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    if (buffer == nullptr || bufferBytes < pathOffset + sizeof(wchar_t)) {
        Fail(state, ERROR_INSUFFICIENT_BUFFER);
        return nullptr;
    }
    if (!SelectInterface(state, list, index)) {
        return nullptr;
    }
    std::memset(buffer, 0, bufferBytes);
    std::memcpy(buffer, &cbSize, sizeof(cbSize));
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
    if (!SetupDiGetDeviceInterfaceDetailW(ToHandle(list), &state.interfaceData, detail, bufferBytes,
                                          nullptr, nullptr)) {
        Fail(state);
        return nullptr;
    }
    // The path must end inside the buffer, whatever the set put there.
    auto* path =
        reinterpret_cast<const wchar_t*>(static_cast<const std::byte*>(buffer) + pathOffset);
    const std::size_t pathUnits = (bufferBytes - pathOffset) / sizeof(wchar_t);
    bool terminated = false;
    for (std::size_t i = 0; i < pathUnits && !terminated; ++i) {
        terminated = path[i] == L'\0';
    }
    if (!terminated) {
        Fail(state, ERROR_INVALID_DATA);
        return nullptr;
    }
    return reinterpret_cast<const char16_t*>(path);
}

void DestroyInterfaceList(void* context, HostList list) {
    Win32HidHostState& state = StateOf(context);
    if (state.interfaceList == list) {
        state.interfaceValid = false;
        state.interfaceList = invalidHostList;
    }
    if (list != invalidHostList && !SetupDiDestroyDeviceInfoList(ToHandle(list))) {
        Fail(state);
    }
}

HostHandle OpenInterface(void* context, const char16_t* devicePath) {
    Win32HidHostState& state = StateOf(context);
    if (devicePath == nullptr) {
        Fail(state, ERROR_INVALID_PARAMETER);
        return invalidHostHandle;
    }
    HANDLE device =
        CreateFileW(reinterpret_cast<const wchar_t*>(devicePath), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        Fail(state);
        return invalidHostHandle;
    }
    return FromHandle(device);
}

bool GetAttributes(void* context, HostHandle device, std::uint16_t* vendorId,
                   std::uint16_t* productId) {
    Win32HidHostState& state = StateOf(context);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(ToHandle(device), &attributes)) {
        return Fail(state);
    }
    *vendorId = attributes.VendorID;
    *productId = attributes.ProductID;
    return true;
}

bool GetPreparsedData(void* context, HostHandle device, HostPreparsed* preparsed) {
    Win32HidHostState& state = StateOf(context);
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!HidD_GetPreparsedData(ToHandle(device), &data)) {
        return Fail(state);
    }
    *preparsed = reinterpret_cast<HostPreparsed>(data);
    return true;
}

std::uint32_t GetCaps(void*, HostPreparsed preparsed, HidCapabilities* caps) {
    if (preparsed == 0) {
        return static_cast<std::uint32_t>(HIDP_STATUS_INVALID_PREPARSED_DATA);
    }
    HIDP_CAPS hidCaps{};
    const NTSTATUS status =
        HidP_GetCaps(reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsed), &hidCaps);
    if (status == HIDP_STATUS_SUCCESS) {
        caps->inputReportByteLength = hidCaps.InputReportByteLength;
        caps->outputReportByteLength = hidCaps.OutputReportByteLength;
    }
    return static_cast<std::uint32_t>(status);
}

void FreePreparsedData(void*, HostPreparsed preparsed) {
    if (preparsed != 0) {
        HidD_FreePreparsedData(reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsed));
    }
}

HANDLE ExchangeEvent(Win32HidHostState& state) {
    if (state.exchangeEvent.handle == nullptr) {
        state.exchangeEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    return state.exchangeEvent.handle;
}

HANDLE PostedReadEvent(Win32HidHostState& state) {
    if (state.postedReadEvent.handle == nullptr) {
        state.postedReadEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    return state.postedReadEvent.handle;
}

// Waits up to the exchange bound for a pending request's event, in slices between which the
// thread looks at its queue when whileWaiting is set.
DWORD WaitForTransfer(const Win32HidHostState& state, HANDLE event) {
    if (state.whileWaiting == nullptr) {
        return WaitForSingleObject(event, state.exchangeTimeoutMilliseconds);
    }
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG passed = GetTickCount64() - start;
        const DWORD left = passed >= state.exchangeTimeoutMilliseconds
                               ? 0
                               : static_cast<DWORD>(state.exchangeTimeoutMilliseconds - passed);
        const DWORD waited = WaitForSingleObject(
            event, left < state.waitSliceMilliseconds ? left : state.waitSliceMilliseconds);
        if (waited != WAIT_TIMEOUT || left == 0) {
            return waited;
        }
        state.whileWaiting();
    }
}

// Completes one overlapped request that the system has accepted (it returned ERROR_IO_PENDING):
// waits up to the bound; past it, cancels the request and waits until the system no longer uses
// the buffer. A request that completes in the meantime after all still counts: its report has
// left or arrived, and dropping it would put the next exchange out of step.
bool FinishPending(Win32HidHostState& state, HANDLE device, OVERLAPPED& overlapped) {
    DWORD transferred = 0;
    const DWORD waited = WaitForTransfer(state, overlapped.hEvent);
    if (waited == WAIT_OBJECT_0) {
        if (!GetOverlappedResult(device, &overlapped, &transferred, FALSE)) {
            return Fail(state);
        }
        return true;
    }
    const DWORD waitError = waited == WAIT_FAILED ? GetLastError() : ERROR_TIMEOUT;
    CancelIoEx(device, &overlapped);
    if (GetOverlappedResult(device, &overlapped, &transferred, TRUE)) {
        return true;
    }
    return Fail(state, waitError);
}

// Reads the immediate answer of an overlapped ReadFile or WriteFile: true when the request
// completed at once or the system holds it (then pending).
bool Started(BOOL completed, bool& pending) {
    pending = !completed && GetLastError() == ERROR_IO_PENDING;
    return completed || pending;
}

// One bounded transfer on the exchange event: start issues the ReadFile or WriteFile on the
// OVERLAPPED given; a request left pending is finished within the bound or cancelled.
template <typename Start>
bool TransferReport(Win32HidHostState& state, HANDLE device, Start start) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = ExchangeEvent(state);
    if (overlapped.hEvent == nullptr) {
        return Fail(state);
    }
    bool pending = false;
    if (!Started(start(overlapped), pending)) {
        return Fail(state);
    }
    return !pending || FinishPending(state, device, overlapped);
}

// Cancels a posted read that no exchange will collect and waits until the system has let go of
// its buffer. Keeps the last error: the failure that made the read unwanted is the one to report.
void DropPostedRead(Win32HidHostState& state) {
    Win32HidHostState::PostedRead& posted = state.postedRead;
    if (posted.pending) {
        DWORD transferred = 0;
        CancelIoEx(ToHandle(posted.device), &posted.overlapped);
        GetOverlappedResult(ToHandle(posted.device), &posted.overlapped, &transferred, TRUE);
    }
    posted = {};
}

void PostReadReport(void* context, HostHandle device, std::uint8_t* report, std::uint32_t length) {
    Win32HidHostState& state = StateOf(context);
    DropPostedRead(state);
    Win32HidHostState::PostedRead& posted = state.postedRead;
    posted.device = device;
    posted.report = report;
    posted.length = length;
    posted.overlapped.hEvent = PostedReadEvent(state);
    if (posted.overlapped.hEvent == nullptr) {
        posted.error = GetLastError();
        return;
    }
    if (Started(ReadFile(ToHandle(device), report, length, nullptr, &posted.overlapped),
                posted.pending)) {
        posted.done = !posted.pending;
    } else {
        posted.error = GetLastError();
    }
}

bool WriteReport(void* context, HostHandle device, const std::uint8_t* report,
                 std::uint32_t length) {
    Win32HidHostState& state = StateOf(context);
    // The byte count is not compared with the length: with report IDs Wine reports one less.
    const bool written = TransferReport(state, ToHandle(device), [&](OVERLAPPED& overlapped) {
        return WriteFile(ToHandle(device), report, length, nullptr, &overlapped);
    });
    if (!written) {
        DropPostedRead(state); // no reply will come for a request that did not leave
    }
    return written;
}

bool ReadReport(void* context, HostHandle device, std::uint8_t* report, std::uint32_t length) {
    Win32HidHostState& state = StateOf(context);
    Win32HidHostState::PostedRead& posted = state.postedRead;
    if (posted.device == device && posted.report == report && posted.length == length) {
        // The system completes the request in the posted record itself, so it is finished there.
        bool read = posted.done;
        if (posted.pending) {
            read = FinishPending(state, ToHandle(device), posted.overlapped);
        } else if (!posted.done) {
            Fail(state, posted.error);
        }
        posted = {};
        return read;
    }
    DropPostedRead(state);
    return TransferReport(state, ToHandle(device), [&](OVERLAPPED& overlapped) {
        return ReadFile(ToHandle(device), report, length, nullptr, &overlapped);
    });
}

void CloseInterface(void* context, HostHandle device) {
    Win32HidHostState& state = StateOf(context);
    if (state.postedRead.device == device) {
        DropPostedRead(state);
    }
    if (device != invalidHostHandle && !CloseHandle(ToHandle(device))) {
        Fail(state);
    }
}

std::uint32_t GetLastSystemError(void* context) {
    return StateOf(context).lastError;
}

} // namespace

HidHost MakeWin32HidHost(Win32HidHostState& state) {
    HidD_GetHidGuid(&state.hidGuid);
    ExchangeEvent(state);
    PostedReadEvent(state);
    HidHost host{};
    host.context = &state;
    host.GetInterfaceList = GetInterfaceList;
    host.EnumerateInterface = EnumerateInterface;
    host.QueryInterfaceDetailSize = QueryInterfaceDetailSize;
    host.FetchInterfaceDetail = FetchInterfaceDetail;
    host.DestroyInterfaceList = DestroyInterfaceList;
    host.OpenInterface = OpenInterface;
    host.GetAttributes = GetAttributes;
    host.GetPreparsedData = GetPreparsedData;
    host.GetCaps = GetCaps;
    host.FreePreparsedData = FreePreparsedData;
    host.WriteReport = WriteReport;
    host.ReadReport = ReadReport;
    host.PostReadReport = PostReadReport;
    host.CloseInterface = CloseInterface;
    host.GetLastSystemError = GetLastSystemError;
    return host;
}
