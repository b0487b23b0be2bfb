// The Windows HID host against the HID devices that Wine presents itself: its virtual mouse and
// keyboard (vendor 0x845E, products 1 and 2). Neither takes output reports nor sends input here.
#include "win32/HidHostWin32.h"
#include "device/Discovery.h"
#include "device/Results.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t WineVendorId = 0x845E;

struct PresentInterface {
    std::u16string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    HidCapabilities caps{};
};

std::vector<PresentInterface> ListPresent(const HidHost& host) {
    std::vector<PresentInterface> found;
    const HostList list = host.GetInterfaceList(host.context);
    EXPECT_NE(list, invalidHostList);
    for (std::uint32_t index = 0; host.EnumerateInterface(host.context, list, index); ++index) {
        std::vector<std::uint64_t> buffer(host.QueryInterfaceDetailSize(host.context, list, index));
        const auto bytes = static_cast<std::uint32_t>(buffer.size());
        const char16_t* path =
            host.FetchInterfaceDetail(host.context, list, index, buffer.data(), bytes);
        EXPECT_NE(path, nullptr) << "interface " << index;
        PresentInterface entry{path != nullptr ? path : u""};
        const HostHandle device = host.OpenInterface(host.context, entry.path.c_str());
        if (device != invalidHostHandle) {
            EXPECT_TRUE(
                host.GetAttributes(host.context, device, &entry.vendorId, &entry.productId));
            // Without read or write access the attributes are the same.
            const HostHandle query = host.OpenInterfaceToQuery(host.context, entry.path.c_str());
            std::uint16_t ids[2] = {};
            EXPECT_TRUE(host.GetAttributes(host.context, query, &ids[0], &ids[1]));
            EXPECT_TRUE(ids[0] == entry.vendorId && ids[1] == entry.productId);
            host.CloseInterface(host.context, query);
            HostPreparsed preparsed = 0;
            EXPECT_TRUE(host.GetPreparsedData(host.context, device, &preparsed));
            EXPECT_EQ(host.GetCaps(host.context, preparsed, &entry.caps), HidStatusSuccess);
            host.FreePreparsedData(host.context, preparsed);
            host.CloseInterface(host.context, device);
        }
        found.push_back(entry);
    }
    EXPECT_EQ(host.GetLastSystemError(host.context),
              static_cast<std::uint32_t>(ERROR_NO_MORE_ITEMS));
    host.DestroyInterfaceList(host.context, list);
    return found;
}

// The system hands out the lowest free handle slot, so the value of a fresh handle moves when a
// handle has been left open since the last look.
std::intptr_t NextHandleValue() {
    HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return reinterpret_cast<std::intptr_t>(probe);
}

struct Win32HidHostTest : testing::Test {
    Win32HidHostState state;
    HidHost host = MakeWin32HidHost(state);

    HostHandle OpenWineDevice(std::uint16_t productId) {
        for (const PresentInterface& present : ListPresent(host)) {
            if (present.vendorId == WineVendorId && present.productId == productId) {
                return host.OpenInterface(host.context, present.path.c_str());
            }
        }
        return invalidHostHandle;
    }
};

TEST_F(Win32HidHostTest, FindsOpensAndDescribesWinesDevices) {
    const std::vector<PresentInterface> present = ListPresent(host);
    for (std::uint16_t productId : {1, 2}) {
        bool seen = false;
        for (const PresentInterface& entry : present) {
            if (entry.vendorId == WineVendorId && entry.productId == productId) {
                seen = true;
                EXPECT_EQ(entry.path.rfind(u"\\\\?\\hid#", 0), 0u);
                EXPECT_GT(entry.caps.inputReportByteLength, 0u);
            }
        }
        EXPECT_TRUE(seen) << "Wine's HID device of product " << productId;
    }
}

TEST_F(Win32HidHostTest, DetailFetchStaysInsideTheBufferAndAddressesTheIndexGiven) {
    const std::vector<PresentInterface> present = ListPresent(host);
    ASSERT_GE(present.size(), 2u);
    const HostList list = host.GetInterfaceList(host.context);
    ASSERT_TRUE(host.EnumerateInterface(host.context, list, 0));
    const std::uint32_t needed = host.QueryInterfaceDetailSize(host.context, list, 0);
    std::vector<std::uint64_t> buffer(needed);
    for (std::uint32_t tooSmall : {0u, 4u, needed - 2}) {
        SCOPED_TRACE(tooSmall);
        EXPECT_EQ(host.FetchInterfaceDetail(host.context, list, 0, buffer.data(), tooSmall),
                  nullptr);
        EXPECT_EQ(host.GetLastSystemError(host.context),
                  static_cast<std::uint32_t>(ERROR_INSUFFICIENT_BUFFER));
    }
    // Index 1 was never enumerated in this list: the host must not answer with interface 0.
    const std::uint32_t neededOne = host.QueryInterfaceDetailSize(host.context, list, 1);
    std::vector<std::uint64_t> bufferOne(neededOne);
    const char16_t* path =
        host.FetchInterfaceDetail(host.context, list, 1, bufferOne.data(), neededOne);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::u16string(path), present[1].path);
    host.DestroyInterfaceList(host.context, list);
}

TEST_F(Win32HidHostTest, FailedCallsKeepTheirOwnSystemError) {
    EXPECT_EQ(host.OpenInterface(host.context, u"\\\\?\\hid#vid_21b8&pid_0001#gone"),
              invalidHostHandle);
    EXPECT_NE(host.GetLastSystemError(host.context), 0u);
    HidCapabilities caps{};
    EXPECT_NE(host.GetCaps(host.context, 0, &caps), HidStatusSuccess);

    const HostHandle mouse = OpenWineDevice(1);
    ASSERT_NE(mouse, invalidHostHandle);
    const std::uint8_t report[2] = {0x01, 0x08}; // the mouse takes no output report
    EXPECT_FALSE(host.WriteReport(host.context, mouse, report, sizeof(report)));
    const std::uint32_t writeError = host.GetLastSystemError(host.context);
    EXPECT_NE(writeError, 0u);
    EXPECT_NE(writeError, SystemErrorTimeout);
    SetLastError(ERROR_SUCCESS); // what any dialog call in between may do
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    EXPECT_TRUE(host.GetAttributes(host.context, mouse, &vendorId, &productId));
    EXPECT_EQ(host.GetLastSystemError(host.context), writeError);
    host.CloseInterface(host.context, mouse);
}

TEST_F(Win32HidHostTest, ReadWithoutInputTimesOutCancelledAndLeavesTheBufferAlone) {
    state.exchangeTimeoutMilliseconds = 150;
    for (std::uint16_t productId : {1, 2}) {
        SCOPED_TRACE(productId);
        const HostHandle device = OpenWineDevice(productId);
        ASSERT_NE(device, invalidHostHandle);
        std::vector<std::uint8_t> reply(64, 0xA5);
        std::uint32_t delivered = 0;
        std::intptr_t handleBefore = 0;
        for (int round = 0; round < 4; ++round) {
            // Taken after the first round: the process's first output may open handles of its own.
            handleBefore = round == 1 ? NextHandleValue() : handleBefore;
            LARGE_INTEGER start, end, frequency;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&start);
            EXPECT_FALSE(host.ReadReport(host.context, device, reply.data(), 14, &delivered));
            QueryPerformanceCounter(&end);
            EXPECT_EQ(host.GetLastSystemError(host.context), SystemErrorTimeout);
            // The event is signalled only when the cancelled read has really completed, so
            // that the system no longer writes into the buffer.
            EXPECT_EQ(WaitForSingleObject(state.readTransfer->event.handle, 0), WAIT_OBJECT_0);
            std::printf(
                "product %u read %d: gave up after %.1f ms (bound 150 ms)\n", productId, round,
                1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
        }
        // A write after the time-outs gets the device's own answer (it takes no output report).
        EXPECT_FALSE(host.WriteReport(host.context, device, reply.data(), 2));
        EXPECT_NE(host.GetLastSystemError(host.context), SystemErrorTimeout);
        Sleep(50);
        EXPECT_EQ(reply, std::vector<std::uint8_t>(64, 0xA5));
        EXPECT_EQ(NextHandleValue(), handleBefore) << "an exchange left a handle open";
        host.CloseInterface(host.context, device);
    }
}

// Counts what DiscoverUnit opens and releases through the Windows host.
struct CountingHost {
    HidHost inner;
    int lists = 0, openHandles = 0, opened = 0, preparsed = 0;
    std::vector<std::uint16_t> vendorsSeen;
};
CountingHost* counting = nullptr;

HidHost MakeCountingHost(CountingHost& counts) {
    counting = &counts;
    HidHost host = counts.inner;
    host.GetInterfaceList = [](void* c) {
        const HostList list = counting->inner.GetInterfaceList(c);
        counting->lists += list != invalidHostList;
        return list;
    };
    host.DestroyInterfaceList = [](void* c, HostList list) {
        --counting->lists;
        counting->inner.DestroyInterfaceList(c, list);
    };
    host.OpenInterface = [](void* c, const char16_t* path) {
        const HostHandle device = counting->inner.OpenInterface(c, path);
        counting->openHandles += device != invalidHostHandle;
        counting->opened += device != invalidHostHandle;
        return device;
    };
    host.CloseInterface = [](void* c, HostHandle device) {
        --counting->openHandles;
        counting->inner.CloseInterface(c, device);
    };
    host.GetAttributes = [](void* c, HostHandle d, std::uint16_t* vendorId,
                            std::uint16_t* productId) {
        const bool read = counting->inner.GetAttributes(c, d, vendorId, productId);
        counting->vendorsSeen.push_back(read ? *vendorId : 0);
        return read;
    };
    return host;
}

TEST_F(Win32HidHostTest, DiscoveryRejectsWinesDevicesAndLeavesNothingOpen) {
    for (const PresentInterface& present : ListPresent(host)) {
        ASSERT_NE(present.vendorId, UnitVendorId) << "a unit is plugged into this test prefix";
    }
    CountingHost counts;
    counts.inner = host;
    const HidHost countingHost = MakeCountingHost(counts);
    const Clock clock{nullptr, [](void*, std::uint32_t) {}, [](void*) {}, [](void*) {}};
    UnitConnection unit;
    InitUnitConnection(unit, countingHost, clock);
    const std::intptr_t handleBefore = NextHandleValue();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(DiscoverUnit(unit), ResultNoUnitFound);
        EXPECT_FALSE(IsUnitOpen(unit));
        EXPECT_FALSE(unit.devicePath.has_value());
        EXPECT_EQ(unit.productId, 0u);
    }
    EXPECT_EQ(counts.lists, 0);
    EXPECT_EQ(counts.openHandles, 0);
    // The paths of Wine's devices name their ids: neither is opened, nor asked for attributes.
    EXPECT_EQ(counts.opened, 0);
    EXPECT_TRUE(counts.vendorsSeen.empty());
    EXPECT_EQ(NextHandleValue(), handleBefore) << "discovery left a handle open";
}

TEST(NextHandleValue, MovesWhileAHandleIsLeftOpen) {
    const std::intptr_t before = NextHandleValue();
    HANDLE leaked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(NextHandleValue(), before);
    CloseHandle(leaked);
    EXPECT_EQ(NextHandleValue(), before);
}

} // namespace
