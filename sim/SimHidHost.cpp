#include "sim/SimHidHost.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr HostList FirstListValue = 1000;
constexpr HostPreparsed FirstPreparsedValue = 5000;
// SP_DEVICE_INTERFACE_DETAIL_DATA_W on 64-bit Windows: a 32-bit cbSize of 8, then the path.
constexpr std::uint32_t DetailPathOffset = 4;
constexpr std::uint32_t DetailCbSize = 8;

SimHidHostState& StateOf(void* context) {
    return *static_cast<SimHidHostState*>(context);
}

// One line of the calls log; a number, when given, follows the verb ("h" for a handle).
void Record(SimHidHostState& s, const char* verb, const char* prefix = nullptr,
            long long number = 0) {
    char line[64];
    if (prefix == nullptr) {
        std::snprintf(line, sizeof line, "%s", verb);
    } else {
        std::snprintf(line, sizeof line, "%s %s%lld", verb, prefix, number);
    }
    s.calls.emplace_back(line);
}

bool Fail(SimHidHostState& s, std::uint32_t error) {
    s.lastError = error;
    return false;
}

bool IsPresent(const SimInterface& i) {
    return i.present && (i.unit == nullptr || !i.unit->unplugged);
}

char16_t FoldCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

bool SamePath(const std::u16string& a, const char16_t* b) {
    std::size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0 || FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return b[i] == 0;
}

SimListRecord* FindList(SimHidHostState& s, HostList list) {
    for (auto& record : s.lists) {
        if (record.list == list && record.live) {
            return &record;
        }
    }
    return nullptr;
}

// The interface behind a list entry, or null past the end of the list.
SimInterface* ListMember(SimHidHostState& s, HostList list, std::uint32_t index) {
    SimListRecord* record = FindList(s, list);
    if (record == nullptr || index >= record->members.size()) {
        return nullptr;
    }
    return &s.interfaces[record->members[index]];
}

SimHandleRecord* FindOpenHandle(SimHidHostState& s, HostHandle handle) {
    for (auto& record : s.handles) {
        if (record.handle == handle && record.open) {
            return &record;
        }
    }
    return nullptr;
}

SimPreparsedRecord* FindPreparsed(SimHidHostState& s, HostPreparsed preparsed) {
    for (auto& record : s.preparsedData) {
        if (record.preparsed == preparsed && record.live) {
            return &record;
        }
    }
    return nullptr;
}

std::uint32_t DetailBytes(const SimInterface& i) {
    return DetailPathOffset + static_cast<std::uint32_t>((i.path.size() + 1) * sizeof(char16_t));
}

HostList GetInterfaceList(void* context) {
    auto& s = StateOf(context);
    Record(s, "list");
    if (s.listFails) {
        s.lastError = SimSystemErrorGenFailure;
        return invalidHostList;
    }
    SimListRecord record{FirstListValue + static_cast<HostList>(s.lists.size()), {}, true};
    for (std::size_t i = 0; i < s.interfaces.size(); ++i) {
        if (IsPresent(s.interfaces[i])) {
            record.members.push_back(i);
        }
    }
    s.lists.push_back(record);
    ++s.openLists;
    return record.list;
}

bool EnumerateInterface(void* context, HostList list, std::uint32_t index) {
    auto& s = StateOf(context);
    Record(s, "enum", "", index);
    if (FindList(s, list) == nullptr) {
        return Fail(s, SimSystemErrorInvalidHandle);
    }
    if (ListMember(s, list, index) == nullptr) {
        return Fail(s, SimSystemErrorNoMoreItems);
    }
    return true;
}

std::uint32_t QueryInterfaceDetailSize(void* context, HostList list, std::uint32_t index) {
    auto& s = StateOf(context);
    Record(s, "size", "", index);
    const SimInterface* i = ListMember(s, list, index);
    if (i == nullptr) {
        s.lastError = SimSystemErrorNoMoreItems;
        return 0;
    }
    // The size query fails by design: without a buffer SetupAPI reports the buffer too small.
    s.lastError = SimSystemErrorInsufficientBuffer;
    return i->detailSizeZero ? 0 : DetailBytes(*i);
}

const char16_t* FetchInterfaceDetail(void* context, HostList list, std::uint32_t index,
                                     void* buffer, std::uint32_t bufferBytes) {
    auto& s = StateOf(context);
    Record(s, "detail", "", index);
    const SimInterface* i = ListMember(s, list, index);
    if (i == nullptr) {
        s.lastError = SimSystemErrorNoMoreItems;
        return nullptr;
    }
    if (i->detailFails) {
        s.lastError = SimSystemErrorGenFailure;
        return nullptr;
    }
    if (buffer == nullptr || bufferBytes < DetailBytes(*i)) {
        s.lastError = SimSystemErrorInsufficientBuffer;
        return nullptr;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::memcpy(bytes, &DetailCbSize, sizeof DetailCbSize);
    std::memcpy(bytes + DetailPathOffset, i->path.c_str(), (i->path.size() + 1) * sizeof(char16_t));
    return reinterpret_cast<const char16_t*>(bytes + DetailPathOffset);
}

void DestroyInterfaceList(void* context, HostList list) {
    auto& s = StateOf(context);
    Record(s, "destroy list");
    SimListRecord* record = FindList(s, list);
    if (record == nullptr) {
        ++s.badListDestroys;
        return;
    }
    record->live = false;
    --s.openLists;
}

HostHandle Open(SimHidHostState& s, const char16_t* devicePath, const char* verb) {
    std::size_t found = s.interfaces.size();
    for (std::size_t i = 0; devicePath != nullptr && i < s.interfaces.size(); ++i) {
        if (SamePath(s.interfaces[i].path, devicePath)) {
            found = i;
            break;
        }
    }
    if (found < s.interfaces.size()) {
        Record(s, verb, "", static_cast<long long>(found));
    } else {
        Record(s, (std::string(verb) + " ?").c_str());
    }
    if (found == s.interfaces.size() || !IsPresent(s.interfaces[found]) ||
        s.interfaces[found].openFails) {
        s.lastError = SimSystemErrorFileNotFound;
        return invalidHostHandle;
    }
    HostHandle handle = static_cast<HostHandle>(s.handles.size()) + 1;
    if (s.reuseHandles) {
        handle = 1;
        while (FindOpenHandle(s, handle) != nullptr) {
            ++handle;
        }
    }
    s.handles.push_back({handle, found, true});
    ++s.openHandles;
    if (verb[0] == 'o') {
        s.opened.push_back(s.interfaces[found].path);
    }
    return handle;
}

HostHandle OpenInterface(void* context, const char16_t* devicePath) {
    return Open(StateOf(context), devicePath, "open");
}

HostHandle OpenInterfaceToQuery(void* context, const char16_t* devicePath) {
    return Open(StateOf(context), devicePath, "query");
}

bool FlushQueue(void* context, HostHandle device) {
    auto& s = StateOf(context);
    Record(s, "flush", "h", device);
    s.queuedReports.clear();
    return FindOpenHandle(s, device) != nullptr || Fail(s, SimSystemErrorInvalidHandle);
}

bool GetAttributes(void* context, HostHandle device, std::uint16_t* vendorId,
                   std::uint16_t* productId) {
    auto& s = StateOf(context);
    Record(s, "attributes", "h", device);
    const SimHandleRecord* h = FindOpenHandle(s, device);
    if (h == nullptr) {
        return Fail(s, SimSystemErrorInvalidHandle);
    }
    const SimInterface& i = s.interfaces[h->interfaceIndex];
    if (!IsPresent(i)) {
        return Fail(s, SimSystemErrorDeviceNotConnected);
    }
    if (i.attributesFail || vendorId == nullptr || productId == nullptr) {
        return Fail(s, SimSystemErrorGenFailure);
    }
    *vendorId = i.vendorId;
    *productId = i.productId;
    return true;
}

bool GetPreparsedData(void* context, HostHandle device, HostPreparsed* preparsed) {
    auto& s = StateOf(context);
    Record(s, "preparsed", "h", device);
    const SimHandleRecord* h = FindOpenHandle(s, device);
    if (h == nullptr) {
        return Fail(s, SimSystemErrorInvalidHandle);
    }
    const SimInterface& i = s.interfaces[h->interfaceIndex];
    if (!IsPresent(i)) {
        return Fail(s, SimSystemErrorDeviceNotConnected);
    }
    if (i.preparsedFails || preparsed == nullptr) {
        return Fail(s, SimSystemErrorGenFailure);
    }
    const HostPreparsed value = FirstPreparsedValue + s.preparsedData.size();
    s.preparsedData.push_back({value, h->interfaceIndex, true});
    ++s.openPreparsed;
    *preparsed = value;
    return true;
}

std::uint32_t GetCaps(void* context, HostPreparsed preparsed, HidCapabilities* caps) {
    auto& s = StateOf(context);
    Record(s, "caps");
    const SimPreparsedRecord* p = FindPreparsed(s, preparsed);
    if (p == nullptr || caps == nullptr) {
        return SimHidStatusInvalidPreparsedData;
    }
    const SimInterface& i = s.interfaces[p->interfaceIndex];
    if (i.capsStatus != HidStatusSuccess) {
        return i.capsStatus;
    }
    if (i.unit != nullptr) {
        caps->inputReportByteLength = i.unit->config.inputReportLength;
        caps->outputReportByteLength = i.unit->config.outputReportLength;
    } else {
        caps->inputReportByteLength = i.inputReportLength;
        caps->outputReportByteLength = i.outputReportLength;
    }
    return HidStatusSuccess;
}

void FreePreparsedData(void* context, HostPreparsed preparsed) {
    auto& s = StateOf(context);
    Record(s, "free preparsed");
    SimPreparsedRecord* p = FindPreparsed(s, preparsed);
    if (p == nullptr) {
        ++s.badPreparsedFrees;
        return;
    }
    p->live = false;
    --s.openPreparsed;
}

void AdvanceClock(SimHidHostState& s, std::uint32_t milliseconds) {
    if (s.clock != nullptr) {
        s.clock->now += milliseconds;
    }
}

bool WriteReport(void* context, HostHandle device, const std::uint8_t* report,
                 std::uint32_t length) {
    auto& s = StateOf(context);
    char line[64];
    std::snprintf(line, sizeof line, "write h%lld %02X", static_cast<long long>(device),
                  report != nullptr && length > 1 ? report[1] : 0);
    s.calls.emplace_back(line);
    const SimHandleRecord* h = FindOpenHandle(s, device);
    if (h == nullptr) {
        return Fail(s, SimSystemErrorInvalidHandle);
    }
    const SimInterface& i = s.interfaces[h->interfaceIndex];
    if (!i.present) {
        return Fail(s, SimSystemErrorDeviceNotConnected);
    }
    if (i.unit == nullptr) {
        return true; // a foreign device takes the report and ignores it
    }
    const bool readWaiting = s.postedReadDevice == device;
    switch (SimWriteReport(*i.unit, report, length)) {
    case SimIoResult::Done:
        if (s.repliesNeedPostedRead && !readWaiting) {
            std::uint8_t lost[SimReportCapacity];
            if (SimReadReport(*i.unit, lost, sizeof lost) == SimIoResult::Done) {
                ++s.repliesLost;
            }
        }
        return true;
    case SimIoResult::Unplugged:
        return Fail(s, SimSystemErrorDeviceNotConnected);
    case SimIoResult::NoAnswer:
    case SimIoResult::Failed:
        break;
    }
    return Fail(s, length != i.unit->config.outputReportLength ? SimSystemErrorInvalidUserBuffer
                                                               : SimSystemErrorGenFailure);
}

bool PostReadReport(void* context, HostHandle device, std::uint8_t*, std::uint32_t length) {
    auto& s = StateOf(context);
    s.postedReadLength = length;
    const SimHandleRecord* h = FindOpenHandle(s, device);
    if (h == nullptr || !IsPresent(s.interfaces[h->interfaceIndex])) {
        Record(s, "post read", "h", device);
        return Fail(s,
                    h == nullptr ? SimSystemErrorInvalidHandle : SimSystemErrorDeviceNotConnected);
    }
    if (s.postReadFails) {
        Record(s, "post read", "h", device);
        return Fail(s, SimSystemErrorGenFailure);
    }
    s.postedReadDevice = device;
    return true;
}

bool ReadReport(void* context, HostHandle device, std::uint8_t* report, std::uint32_t length,
                std::uint32_t* delivered) {
    auto& s = StateOf(context);
    Record(s, "read", "h", device);
    if (s.whileReading) {
        s.whileReading();
    }
    s.readLength = length;
    *delivered = 0;
    s.postedReadDevice = invalidHostHandle;
    const SimHandleRecord* h = FindOpenHandle(s, device);
    if (h == nullptr) {
        return Fail(s, SimSystemErrorInvalidHandle);
    }
    const SimInterface& i = s.interfaces[h->interfaceIndex];
    if (!i.present) {
        return Fail(s, SimSystemErrorDeviceNotConnected);
    }
    if (i.unit == nullptr) {
        AdvanceClock(s, ExchangeTimeoutMilliseconds);
        return Fail(s, SystemErrorTimeout);
    }
    const std::uint32_t expected = i.unit->config.inputReportLength;
    if (!s.queuedReports.empty()) {
        std::vector<std::uint8_t>& queued = s.queuedReports.front();
        queued.resize(expected);
        std::memcpy(report, queued.data(), std::min(expected, length));
        *delivered = expected;
        s.queuedReports.erase(s.queuedReports.begin());
        return true;
    }
    switch (SimReadReport(*i.unit, report, length)) {
    case SimIoResult::Done:
        AdvanceClock(s, i.unit->config.replyDelayMilliseconds);
        *delivered = expected;
        return true;
    case SimIoResult::Unplugged:
        return Fail(s, SimSystemErrorDeviceNotConnected);
    case SimIoResult::NoAnswer:
        AdvanceClock(s, ExchangeTimeoutMilliseconds);
        return Fail(s, SystemErrorTimeout);
    case SimIoResult::Failed:
        break;
    }
    if (report == nullptr || length < expected) {
        return Fail(s, SimSystemErrorInvalidUserBuffer);
    }
    AdvanceClock(s, i.unit->config.replyDelayMilliseconds);
    return Fail(s, SimSystemErrorGenFailure);
}

void CloseInterface(void* context, HostHandle device) {
    auto& s = StateOf(context);
    Record(s, "close", "h", device);
    SimHandleRecord* h = FindOpenHandle(s, device);
    if (h == nullptr) {
        ++s.badCloses;
        return;
    }
    h->open = false;
    --s.openHandles;
}

std::uint32_t GetLastSystemError(void* context) {
    auto& s = StateOf(context);
    Record(s, "last error");
    return s.lastError;
}

} // namespace

void InitSimHidHost(SimHidHostState& state) {
    HidHost& h = state.host;
    h.context = &state;
    h.GetInterfaceList = GetInterfaceList;
    h.EnumerateInterface = EnumerateInterface;
    h.QueryInterfaceDetailSize = QueryInterfaceDetailSize;
    h.FetchInterfaceDetail = FetchInterfaceDetail;
    h.DestroyInterfaceList = DestroyInterfaceList;
    h.OpenInterface = OpenInterface;
    h.OpenInterfaceToQuery = OpenInterfaceToQuery;
    h.FlushQueue = FlushQueue;
    h.GetAttributes = GetAttributes;
    h.GetPreparsedData = GetPreparsedData;
    h.GetCaps = GetCaps;
    h.FreePreparsedData = FreePreparsedData;
    h.WriteReport = WriteReport;
    h.ReadReport = ReadReport;
    h.PostReadReport = PostReadReport;
    h.CloseInterface = CloseInterface;
    h.GetLastSystemError = GetLastSystemError;
}

SimInterface MakeUnitInterface(SimUnit& unit, std::u16string path) {
    SimInterface i;
    i.path = std::move(path);
    i.vendorId = unit.config.vendorId;
    i.productId = unit.config.productId;
    i.unit = &unit;
    i.inputReportLength = unit.config.inputReportLength;
    i.outputReportLength = unit.config.outputReportLength;
    return i;
}
