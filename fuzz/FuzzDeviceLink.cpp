// libFuzzer target for the device link: a HID host whose interfaces, attributes, capabilities,
// failures and reply bytes all come from the input drives discovery, identification,
// classification and every command. The host touches every byte the link hands it, so a length
// beyond a buffer is caught by AddressSanitizer; invariants of the record are checked directly.
#include "device/Commands.h"
#include "device/Discovery.h"
#include "device/Identification.h"
#include "device/Results.h"
#include "device/UnitConnection.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct FuzzHost {
    FuzzedDataProvider* data = nullptr;
    std::uint32_t interfaceCount = 0;
    std::int32_t openHandles = 0;
    std::int32_t openLists = 0;
    std::int32_t openPreparsed = 0;
    HostHandle nextHandle = 100;
    std::uint32_t lastWriteLength = 0;
    std::uint8_t lastCommand = 0;
    std::uint32_t pauses = 0;
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

FuzzHost& HostOf(void* context) {
    return *static_cast<FuzzHost*>(context);
}

bool Chance(FuzzHost& host, std::uint8_t failOneIn) {
    return host.data->ConsumeIntegralInRange<std::uint8_t>(0, failOneIn - 1) == 0;
}

// Now and then the reply bytes that steer identification get the values of a well-behaved unit,
// so that the deep paths (controller ready, supported type) are reached early.
void ShapeReply(FuzzHost& h, std::uint8_t* report) {
    const std::uint8_t shape = h.data->ConsumeIntegral<std::uint8_t>();
    if ((shape & 0x01) != 0) {
        report[1] = (shape & 0x02) != 0 ? ErrorMarker : 0x00;
    }
    if ((shape & 0x04) != 0) {
        report[3] = (shape >> 3) & 1;
    }
    if ((shape & 0x10) != 0 && h.lastCommand == CommandIdentify) {
        report[3] = 0;
        report[4] = ControllerReadyState;
        report[5] = 0;
    }
    if ((shape & 0x20) != 0 && h.lastCommand == CommandReadControllerType) {
        const std::uint32_t code =
            SupportedControllerType ^ ((shape & 0x40) != 0 ? 1u << (shape & 7) : 0);
        for (int i = 0; i < 4; ++i) {
            report[4 + i] = static_cast<std::uint8_t>(code >> (8 * i));
        }
    }
}

const char16_t foreignPath[] = u"\\\\?\\hid#outside#buffer";

HidHost MakeFuzzHidHost(FuzzHost& state) {
    HidHost host{};
    host.context = &state;
    host.GetInterfaceList = [](void* c) -> HostList {
        FuzzHost& h = HostOf(c);
        if (Chance(h, 16)) {
            return invalidHostList;
        }
        ++h.openLists;
        return 7;
    };
    host.EnumerateInterface = [](void* c, HostList list, std::uint32_t index) {
        Require(list == 7);
        return index < HostOf(c).interfaceCount;
    };
    host.QueryInterfaceDetailSize = [](void* c, HostList, std::uint32_t) -> std::uint32_t {
        return HostOf(c).data->ConsumeIntegralInRange<std::uint32_t>(0, 160);
    };
    host.FetchInterfaceDetail = [](void* c, HostList, std::uint32_t, void* buffer,
                                   std::uint32_t bytes) -> const char16_t* {
        FuzzHost& h = HostOf(c);
        const std::uint8_t kind = h.data->ConsumeIntegralInRange<std::uint8_t>(0, 3);
        if (kind == 0) {
            return nullptr;
        }
        if (kind == 1) {
            return foreignPath;
        }
        // A size field, then path characters filling as much of the buffer as the input says,
        // terminated or not.
        auto* bytesOut = static_cast<std::uint8_t*>(buffer);
        std::memset(bytesOut, 0x41, bytes);
        if (bytes < 4 + sizeof(char16_t)) {
            return nullptr;
        }
        const std::uint32_t room = (bytes - 4) / sizeof(char16_t);
        const std::uint32_t length = h.data->ConsumeIntegralInRange<std::uint32_t>(0, room);
        auto* path = reinterpret_cast<char16_t*>(bytesOut + 4);
        if (length < room) {
            path[length] = u'\0';
        }
        return path;
    };
    host.DestroyInterfaceList = [](void* c, HostList list) {
        Require(list == 7);
        --HostOf(c).openLists;
    };
    host.OpenInterface = [](void* c, const char16_t* path) -> HostHandle {
        FuzzHost& h = HostOf(c);
        Require(path != nullptr);
        volatile std::size_t length = std::char_traits<char16_t>::length(path);
        (void)length;
        if (Chance(h, 8)) {
            return invalidHostHandle;
        }
        ++h.openHandles;
        return h.nextHandle++;
    };
    host.GetAttributes = [](void* c, HostHandle, std::uint16_t* vendorId,
                            std::uint16_t* productId) {
        FuzzHost& h = HostOf(c);
        if (Chance(h, 16)) {
            return false;
        }
        *vendorId = h.data->ConsumeBool() ? UnitVendorId : h.data->ConsumeIntegral<std::uint16_t>();
        *productId = h.data->ConsumeIntegralInRange<std::uint16_t>(0, 3);
        return true;
    };
    host.GetPreparsedData = [](void* c, HostHandle, HostPreparsed* preparsed) {
        FuzzHost& h = HostOf(c);
        if (Chance(h, 16)) {
            return false;
        }
        ++h.openPreparsed;
        *preparsed = 0x5000;
        return true;
    };
    host.GetCaps = [](void* c, HostPreparsed preparsed, HidCapabilities* caps) -> std::uint32_t {
        FuzzHost& h = HostOf(c);
        Require(preparsed == 0x5000);
        if (Chance(h, 16)) {
            return 0xC0110001;
        }
        // Mostly lengths near the limits, now and then any 16-bit value.
        const bool wide = Chance(h, 8);
        caps->inputReportByteLength = wide ? h.data->ConsumeIntegral<std::uint16_t>()
                                           : h.data->ConsumeIntegralInRange<std::uint16_t>(0, 80);
        caps->outputReportByteLength = wide ? h.data->ConsumeIntegral<std::uint16_t>()
                                            : h.data->ConsumeIntegralInRange<std::uint16_t>(0, 80);
        return HidStatusSuccess;
    };
    host.FreePreparsedData = [](void* c, HostPreparsed preparsed) {
        Require(preparsed == 0x5000);
        --HostOf(c).openPreparsed;
    };
    host.WriteReport = [](void* c, HostHandle device, const std::uint8_t* report,
                          std::uint32_t length) {
        FuzzHost& h = HostOf(c);
        Require(device >= 100 && device < h.nextHandle);
        Require(length >= MinOutputReportLength && report[0] == RequestReportId);
        volatile std::uint8_t sum = 0;
        for (std::uint32_t i = 0; i < length; ++i) {
            sum = static_cast<std::uint8_t>(sum + report[i]);
        }
        h.lastWriteLength = length;
        h.lastCommand = report[1];
        return !Chance(h, 32);
    };
    host.ReadReport = [](void* c, HostHandle, std::uint8_t* report, std::uint32_t length,
                         std::uint32_t* delivered) {
        FuzzHost& h = HostOf(c);
        Require(length >= MinInputReportLength && report[0] == ReplyReportId);
        if (Chance(h, 32)) {
            return false;
        }
        const std::vector<std::uint8_t> bytes = h.data->ConsumeBytes<std::uint8_t>(length);
        if (!bytes.empty()) {
            std::memcpy(report, bytes.data(), bytes.size());
        }
        std::memset(report + bytes.size(), 0, length - bytes.size());
        ShapeReply(h, report);
        // Now and then a short count, as a broken stack might give.
        *delivered = Chance(h, 32) ? static_cast<std::uint32_t>(bytes.size()) : length;
        return true;
    };
    host.CloseInterface = [](void* c, HostHandle device) {
        FuzzHost& h = HostOf(c);
        Require(device >= 100 && device < h.nextHandle);
        --h.openHandles;
    };
    host.GetLastSystemError = [](void*) -> std::uint32_t { return 0; };
    return host;
}

Clock MakeFuzzClock(FuzzHost& state) {
    Clock clock{};
    clock.context = &state;
    clock.Pause = [](void* c, std::uint32_t) { ++HostOf(c).pauses; };
    clock.BeginPreciseTiming = [](void*) {};
    clock.EndPreciseTiming = [](void*) {};
    return clock;
}

// Discovery either leaves nothing open, or exactly the one unit with its path.
void CheckAfterDiscovery(const FuzzHost& host, const UnitConnection& unit, std::int32_t result) {
    Require(host.openLists == 0 && host.openPreparsed == 0);
    if (result == ResultRefused && !IsUnitOpen(unit)) {
        Require(host.openHandles == 0 && !unit.devicePath);
        return;
    }
    if (result == ResultNoUnitFound) {
        Require(host.openHandles == 0 && !IsUnitOpen(unit) && !unit.devicePath);
        return;
    }
    Require(host.openHandles == 1 && IsUnitOpen(unit) && unit.devicePath.has_value());
    Require(FindUnitType(UnitVendorId, unit.productId) != nullptr);
    const DeviceStatus status = ClassifyDevice(result, unit);
    Require((result == ResultSuccess) == (status != DeviceStatus::NoUnit));
}

void RunEveryCommand(FuzzHost& host, UnitConnection& unit) {
    const bool usable = unit.outputReportLength != 0;
    const auto check = [&](std::int32_t result, std::uint8_t code) {
        if (!usable) {
            Require(result == ResultRefused);
        } else if (result != ResultRefused) {
            Require(host.lastCommand == code && host.lastWriteLength == unit.outputReportLength);
        }
    };
    std::array<std::uint8_t, 16> identifyReply{};
    check(Identify(unit, identifyReply), CommandIdentify);
    std::array<std::uint8_t, 12> memory{};
    check(ReadMemory(unit, memory), CommandReadMemory);
    check(SetSystemLock(unit, host.data->ConsumeBool()), CommandSetSystemLock);

    const std::uint32_t wordCount = host.data->ConsumeIntegralInRange<std::uint32_t>(0, 16);
    std::vector<std::uint8_t> source(4 * static_cast<std::size_t>(wordCount), 0x5A);
    std::uint32_t wordsQueued = 0xDEAD;
    const std::int32_t blockResult = WriteBlock(unit, source.data(), wordCount, wordsQueued);
    if (wordCount > MaxBlockWords) {
        Require(blockResult == ResultRefused && wordsQueued == 0xDEAD);
    } else {
        check(blockResult, CommandWriteBlock);
        Require(!usable || wordsQueued == wordCount);
    }

    std::array<std::uint8_t, 32> info{};
    check(ReadControllerInfo(unit, info), CommandReadControllerInfo);
    const std::uint32_t pausesBefore = host.pauses;
    const std::int32_t eraseResult = EraseFirmware(unit);
    check(eraseResult, CommandEraseFirmware);
    Require(eraseResult == ResultRefused || eraseResult == ResultWriteFailed ||
            host.pauses == pausesBefore + 1);
    std::uint32_t address = 0;
    check(SetWriteAddress(unit, host.data->ConsumeBool() ? &address : nullptr),
          CommandSetWriteAddress);
    check(SetWriteProtection(unit, host.data->ConsumeBool()), CommandSetWriteProtection);
    std::array<std::uint8_t, 40> type{};
    check(ReadControllerType(unit, type), CommandReadControllerType);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    FuzzHost state;
    state.data = &data;
    state.interfaceCount = data.ConsumeIntegralInRange<std::uint32_t>(0, 6);
    const HidHost host = MakeFuzzHidHost(state);
    const Clock clock = MakeFuzzClock(state);

    UnitConnection unit;
    InitUnitConnection(unit, host, clock);
    const std::int32_t result = DiscoverUnit(unit);
    CheckAfterDiscovery(state, unit, result);
    if (IsUnitOpen(unit)) {
        RunEveryCommand(state, unit);
    }
    CloseUnit(unit);
    Require(state.openHandles == 0 && !IsUnitOpen(unit) && GetControllerFirmwareVersion(unit) == 0);
    // Commands on the closed record are refused without touching the host.
    const std::uint8_t commandBefore = state.lastCommand;
    Require(EraseFirmware(unit) == ResultRefused && state.lastCommand == commandBefore);
    return 0;
}
