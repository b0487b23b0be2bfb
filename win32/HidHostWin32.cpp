#include "win32/HidHostWin32.h"

#include "win32/SystemLibraries.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

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

// No read or write access: the attributes can be read, and a device of another vendor is not
// opened for use (nor kept from another program that opens it exclusively).
HostHandle OpenInterfaceToQuery(void* context, const char16_t* devicePath) {
    Win32HidHostState& state = StateOf(context);
    HANDLE device =
        CreateFileW(reinterpret_cast<const wchar_t*>(devicePath), 0,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        Fail(state);
        return invalidHostHandle;
    }
    return FromHandle(device);
}

bool FlushQueue(void* context, HostHandle device) {
    return systemCalls.hidFlushQueue(ToHandle(device)) != FALSE || Fail(StateOf(context));
}

bool GetAttributes(void* context, HostHandle device, std::uint16_t* vendorId,
                   std::uint16_t* productId) {
    Win32HidHostState& state = StateOf(context);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!systemCalls.hidGetAttributes(ToHandle(device), &attributes)) {
        return Fail(state);
    }
    *vendorId = attributes.VendorID;
    *productId = attributes.ProductID;
    return true;
}

bool GetPreparsedData(void* context, HostHandle device, HostPreparsed* preparsed) {
    Win32HidHostState& state = StateOf(context);
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!systemCalls.hidGetPreparsedData(ToHandle(device), &data)) {
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
        systemCalls.hidpGetCaps(reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsed), &hidCaps);
    if (status == HIDP_STATUS_SUCCESS) {
        caps->inputReportByteLength = hidCaps.InputReportByteLength;
        caps->outputReportByteLength = hidCaps.OutputReportByteLength;
    }
    return static_cast<std::uint32_t>(status);
}

void FreePreparsedData(void*, HostPreparsed preparsed) {
    if (preparsed != 0) {
        systemCalls.hidFreePreparsedData(reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsed));
    }
}

using TransferSlot = std::unique_ptr<Win32HidTransfer>;

// Frees the abandoned transfers that the system has completed since.
void ReapAbandoned(Win32HidHostState& state) {
    std::erase_if(state.abandoned, [](const TransferSlot& transfer) {
        return WaitForSingleObject(transfer->event.handle, 0) == WAIT_OBJECT_0;
    });
}

// The transfer of slot, made anew when the last one was abandoned, set up for a request of
// length bytes; null when its event cannot be had.
Win32HidTransfer* PrepareTransfer(Win32HidHostState& state, TransferSlot& slot,
                                  std::uint32_t length) {
    if (slot == nullptr) {
        ReapAbandoned(state);
        auto transfer = std::make_unique<Win32HidTransfer>();
        transfer->event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (transfer->event.handle == nullptr) {
            return nullptr;
        }
        slot = std::move(transfer);
    }
    slot->overlapped = {};
    slot->overlapped.hEvent = slot->event.handle;
    if (slot->bytes.size() < length) {
        slot->bytes.resize(length);
    }
    return slot.get();
}

// Cancels the pending request of slot and waits, within the cancel bound, until the system has
// let go of it. True when it completed with success after all. A transfer that the system still
// holds is abandoned: it may yet write into it.
bool CancelTransfer(Win32HidHostState& state, HANDLE device, TransferSlot& slot,
                    DWORD& transferred) {
    state.cancelIo(device, &slot->overlapped);
    if (WaitForSingleObject(slot->overlapped.hEvent, state.cancelTimeoutMilliseconds) !=
        WAIT_OBJECT_0) {
        state.abandoned.push_back(std::move(slot));
        return false;
    }
    return GetOverlappedResult(device, &slot->overlapped, &transferred, FALSE) != FALSE;
}

// WaitForTransfer's result when the look between two slices asked to give the request up.
constexpr DWORD waitStopped = 0xFFFFFFFEu;

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
        if (!state.whileWaiting()) {
            return waitStopped;
        }
    }
}

// Completes one overlapped request that the system has accepted (it returned ERROR_IO_PENDING):
// waits up to the bound; past it, or when the look says to stop, cancels the request. A request
// that completes in the meantime after all still counts: its report has left or arrived, and
// dropping it would put the next exchange out of step.
bool FinishPending(Win32HidHostState& state, HANDLE device, TransferSlot& slot,
                   DWORD& transferred) {
    OVERLAPPED& overlapped = slot->overlapped;
    const DWORD waited = WaitForTransfer(state, overlapped.hEvent);
    if (waited == WAIT_OBJECT_0) {
        if (!GetOverlappedResult(device, &overlapped, &transferred, FALSE)) {
            return Fail(state);
        }
        return true;
    }
    const DWORD waitError = waited == WAIT_FAILED   ? GetLastError()
                            : waited == waitStopped ? ERROR_OPERATION_ABORTED
                                                    : ERROR_TIMEOUT;
    if (CancelTransfer(state, device, slot, transferred)) {
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

// Cancels a posted read that no exchange will collect. Keeps the last error: the failure that
// made the read unwanted is the one to report.
void DropPostedRead(Win32HidHostState& state) {
    Win32HidHostState::PostedRead& posted = state.postedRead;
    if (posted.pending) {
        DWORD transferred = 0;
        CancelTransfer(state, ToHandle(posted.device), state.readTransfer, transferred);
    }
    posted = {};
}

bool PostReadReport(void* context, HostHandle device, std::uint8_t* report, std::uint32_t length) {
    Win32HidHostState& state = StateOf(context);
    DropPostedRead(state);
    Win32HidTransfer* transfer = PrepareTransfer(state, state.readTransfer, length);
    if (transfer == nullptr) {
        return Fail(state);
    }
    bool pending = false;
    if (!Started(ReadFile(ToHandle(device), transfer->bytes.data(), length, nullptr,
                          &transfer->overlapped),
                 pending)) {
        return Fail(state);
    }
    state.postedRead = {device, report, length, pending};
    return true;
}

// One output report through the write transfer, finished within the bound or cancelled.
bool SendReport(Win32HidHostState& state, HANDLE device, const std::uint8_t* report,
                std::uint32_t length) {
    Win32HidTransfer* transfer = PrepareTransfer(state, state.writeTransfer, length);
    if (transfer == nullptr) {
        return Fail(state);
    }
    std::memcpy(transfer->bytes.data(), report, length);
    bool pending = false;
    if (!Started(WriteFile(device, transfer->bytes.data(), length, nullptr, &transfer->overlapped),
                 pending)) {
        return Fail(state);
    }
    // The byte count is not compared with the length: with report IDs Wine reports one less.
    DWORD transferred = 0;
    return !pending || FinishPending(state, device, state.writeTransfer, transferred);
}

bool WriteReport(void* context, HostHandle device, const std::uint8_t* report,
                 std::uint32_t length) {
    Win32HidHostState& state = StateOf(context);
    const bool written = SendReport(state, ToHandle(device), report, length);
    if (!written) {
        DropPostedRead(state); // no reply will come for a request that did not leave
    }
    return written;
}

bool ReadReport(void* context, HostHandle device, std::uint8_t* report, std::uint32_t length,
                std::uint32_t* delivered) {
    Win32HidHostState& state = StateOf(context);
    *delivered = 0;
    const Win32HidHostState::PostedRead& waiting = state.postedRead;
    const bool posted =
        waiting.device == device && waiting.report == report && waiting.length == length;
    if (!posted && !PostReadReport(context, device, report, length)) {
        return false;
    }
    // The system completes the request in the read transfer: it is finished and copied out there.
    const bool pending = state.postedRead.pending;
    state.postedRead = {};
    const HANDLE handle = ToHandle(device);
    DWORD transferred = 0;
    if (pending) {
        if (!FinishPending(state, handle, state.readTransfer, transferred)) {
            return false;
        }
    } else if (!GetOverlappedResult(handle, &state.readTransfer->overlapped, &transferred, FALSE)) {
        return Fail(state);
    }
    *delivered = transferred < length ? transferred : length;
    std::memcpy(report, state.readTransfer->bytes.data(), *delivered);
    return true;
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

Win32HidHostState::~Win32HidHostState() {
    DropPostedRead(*this);
    ReapAbandoned(*this);
    for (TransferSlot& transfer : abandoned) {
        transfer.release(); // the system may still write into it
    }
}

HidHost MakeWin32HidHost(Win32HidHostState& state) {
    systemCalls.hidGetHidGuid(&state.hidGuid);
    // Made here once, so that exchanges open no handles of their own.
    for (TransferSlot* slot : {&state.writeTransfer, &state.readTransfer}) {
        if (*slot == nullptr) {
            PrepareTransfer(state, *slot, 0);
        }
    }
    HidHost host{};
    host.context = &state;
    host.GetInterfaceList = GetInterfaceList;
    host.EnumerateInterface = EnumerateInterface;
    host.QueryInterfaceDetailSize = QueryInterfaceDetailSize;
    host.FetchInterfaceDetail = FetchInterfaceDetail;
    host.DestroyInterfaceList = DestroyInterfaceList;
    host.OpenInterface = OpenInterface;
    host.OpenInterfaceToQuery = OpenInterfaceToQuery;
    host.FlushQueue = FlushQueue;
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
