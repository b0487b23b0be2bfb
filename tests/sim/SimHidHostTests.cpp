#include "sim/SimHidHost.h"
#include "tests/sim/SimRequests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct HostFixture : ::testing::Test {
    std::unique_ptr<SimUnit> unit = MakeUnit();
    VirtualClock clock;
    SimHidHostState state;
    std::uint32_t delivered = 0; // the byte count of the last read
    HidHost* host = nullptr;

    void SetUp() override {
        InitVirtualClock(clock);
        state.clock = &clock;
        InitSimHidHost(state);
        host = &state.host;
    }

    SimInterface Foreign(std::u16string path, std::uint16_t vendor = 0x845E) {
        SimInterface i;
        i.path = std::move(path);
        i.vendorId = vendor;
        i.productId = 1;
        return i;
    }

    // The path of list entry index, fetched as discovery does it.
    std::u16string PathAt(HostList list, std::uint32_t index) {
        const std::uint32_t size = host->QueryInterfaceDetailSize(host->context, list, index);
        std::vector<std::uint16_t> buffer((size + 1) / 2);
        const char16_t* path =
            host->FetchInterfaceDetail(host->context, list, index, buffer.data(), size);
        return path != nullptr ? std::u16string(path) : u"(none)";
    }

    HostHandle OpenUnit() {
        state.interfaces.push_back(MakeUnitInterface(*unit, u"\\\\?\\hid#unit"));
        return host->OpenInterface(host->context, u"\\\\?\\hid#unit");
    }
};

TEST_F(HostFixture, ListHoldsThePresentInterfacesInOrder) {
    auto gone = MakeUnit();
    gone->unplugged = true;
    state.interfaces.push_back(Foreign(u"a"));
    state.interfaces.push_back(MakeUnitInterface(*unit, u"b"));
    state.interfaces.push_back(Foreign(u"c"));
    state.interfaces.back().present = false;
    state.interfaces.push_back(MakeUnitInterface(*gone, u"d"));
    state.interfaces.push_back(Foreign(u"e"));

    const HostList list = host->GetInterfaceList(host->context);
    ASSERT_NE(list, invalidHostList);
    std::vector<std::u16string> paths;
    for (std::uint32_t i = 0; host->EnumerateInterface(host->context, list, i); ++i) {
        paths.push_back(PathAt(list, i));
    }
    EXPECT_EQ(paths, (std::vector<std::u16string>{u"a", u"b", u"e"}));
    EXPECT_EQ(state.lastError, SimSystemErrorNoMoreItems);
    EXPECT_EQ(state.openLists, 1u);
    host->DestroyInterfaceList(host->context, list);
    host->DestroyInterfaceList(host->context, list);
    EXPECT_EQ(state.openLists, 0u);
    EXPECT_EQ(state.badListDestroys, 1u);
    EXPECT_FALSE(host->EnumerateInterface(host->context, list, 0)) << "destroyed list";

    state.listFails = true;
    EXPECT_EQ(host->GetInterfaceList(host->context), invalidHostList);
    EXPECT_EQ(state.openLists, 0u);
}

TEST_F(HostFixture, DetailFetchChecksTheBufferLikeSetupApi) {
    state.interfaces.push_back(Foreign(u"\\\\?\\hid#vid_845e"));
    state.interfaces.push_back(Foreign(u"zero"));
    state.interfaces.back().detailSizeZero = true;
    state.interfaces.push_back(Foreign(u"fails"));
    state.interfaces.back().detailFails = true;
    const HostList list = host->GetInterfaceList(host->context);

    const std::uint32_t size = host->QueryInterfaceDetailSize(host->context, list, 0);
    EXPECT_EQ(size, 4u + 2u * (16u + 1u));
    std::vector<std::uint16_t> buffer(size / 2 + 1, 0xAAAA);
    EXPECT_EQ(host->FetchInterfaceDetail(host->context, list, 0, buffer.data(), size - 1), nullptr);
    EXPECT_EQ(state.lastError, SimSystemErrorInsufficientBuffer);
    EXPECT_EQ(host->FetchInterfaceDetail(host->context, list, 0, nullptr, size), nullptr);
    const char16_t* path = host->FetchInterfaceDetail(host->context, list, 0, buffer.data(), size);
    ASSERT_NE(path, nullptr);
    const auto* begin = reinterpret_cast<const unsigned char*>(buffer.data());
    const auto* at = reinterpret_cast<const unsigned char*>(path);
    EXPECT_TRUE(at > begin && at < begin + size) << "the path lies inside the caller's buffer";
    EXPECT_EQ(std::u16string(path), u"\\\\?\\hid#vid_845e");
    EXPECT_EQ(buffer[size / 2], 0xAAAA) << "nothing written past the buffer";

    EXPECT_EQ(host->QueryInterfaceDetailSize(host->context, list, 1), 0u);
    EXPECT_NE(host->QueryInterfaceDetailSize(host->context, list, 2), 0u);
    EXPECT_EQ(PathAt(list, 2), u"(none)");
    host->DestroyInterfaceList(host->context, list);
}

TEST_F(HostFixture, OpenCloseAndTheStepsBetweenAreTracked) {
    state.interfaces.push_back(Foreign(u"locked"));
    state.interfaces.back().openFails = true;
    state.interfaces.push_back(MakeUnitInterface(*unit, u"\\\\?\\HID#Unit"));
    state.interfaces.push_back(Foreign(u"noattr"));
    state.interfaces.back().attributesFail = true;

    EXPECT_EQ(host->OpenInterface(host->context, u"locked"), invalidHostHandle);
    EXPECT_EQ(state.lastError, SimSystemErrorFileNotFound);
    EXPECT_EQ(host->OpenInterface(host->context, u"nowhere"), invalidHostHandle);
    const HostHandle first = host->OpenInterface(host->context, u"\\\\?\\hid#unit");
    const HostHandle second = host->OpenInterface(host->context, u"\\\\?\\HID#UNIT");
    const HostHandle third = host->OpenInterface(host->context, u"noattr");
    ASSERT_NE(first, invalidHostHandle);
    EXPECT_NE(first, second);
    EXPECT_EQ(state.openHandles, 3u);
    EXPECT_EQ(state.opened.size(), 3u);
    EXPECT_EQ(state.opened[0], u"\\\\?\\HID#Unit");

    std::uint16_t vendor = 0, product = 0;
    EXPECT_TRUE(host->GetAttributes(host->context, first, &vendor, &product));
    EXPECT_EQ(vendor, unit->config.vendorId);
    EXPECT_EQ(product, unit->config.productId);
    EXPECT_FALSE(host->GetAttributes(host->context, third, &vendor, &product));
    EXPECT_EQ(state.lastError, SimSystemErrorGenFailure);

    host->CloseInterface(host->context, second);
    host->CloseInterface(host->context, second);
    host->CloseInterface(host->context, 4711);
    EXPECT_EQ(state.openHandles, 2u);
    EXPECT_EQ(state.badCloses, 2u);
    EXPECT_FALSE(host->GetAttributes(host->context, second, &vendor, &product));
    EXPECT_EQ(state.lastError, SimSystemErrorInvalidHandle);
    host->CloseInterface(host->context, first);
    host->CloseInterface(host->context, third);
    EXPECT_EQ(state.openHandles, 0u);

    const std::vector<std::string> expected = {
        "open 0",        "open ?",        "open 1",   "open 1",   "open 2",
        "attributes h1", "attributes h3", "close h2", "close h2", "close h4711",
        "attributes h2", "close h1",      "close h3"};
    EXPECT_EQ(state.calls, expected);
}

TEST_F(HostFixture, CapabilitiesComeFromTheUnitOrTheForeignRecord) {
    SimUnitConfig config;
    config.inputReportLength = 65;
    config.outputReportLength = 33;
    SimResetUnit(*unit, config);
    const HostHandle h = OpenUnit();
    state.interfaces.push_back(Foreign(u"f"));
    state.interfaces.back().inputReportLength = 9;
    state.interfaces.back().capsStatus = 0xC0110001;

    HostPreparsed preparsed = 0;
    ASSERT_TRUE(host->GetPreparsedData(host->context, h, &preparsed));
    HidCapabilities caps{};
    EXPECT_EQ(host->GetCaps(host->context, preparsed, &caps), HidStatusSuccess);
    EXPECT_EQ(caps.inputReportByteLength, 65);
    EXPECT_EQ(caps.outputReportByteLength, 33);
    EXPECT_EQ(state.openPreparsed, 1u);
    host->FreePreparsedData(host->context, preparsed);
    host->FreePreparsedData(host->context, preparsed);
    EXPECT_EQ(state.openPreparsed, 0u);
    EXPECT_EQ(state.badPreparsedFrees, 1u);
    EXPECT_NE(host->GetCaps(host->context, preparsed, &caps), HidStatusSuccess) << "freed";

    const HostHandle f = host->OpenInterface(host->context, u"f");
    ASSERT_TRUE(host->GetPreparsedData(host->context, f, &preparsed));
    EXPECT_EQ(host->GetCaps(host->context, preparsed, &caps), 0xC0110001u);
    host->FreePreparsedData(host->context, preparsed);
    state.interfaces.back().preparsedFails = true;
    EXPECT_FALSE(host->GetPreparsedData(host->context, f, &preparsed));
    EXPECT_EQ(state.openPreparsed, 0u);
}

TEST_F(HostFixture, ExchangesReachTheUnitAndTakeVirtualTime) {
    SimUnitConfig config;
    config.replyDelayMilliseconds = 7;
    config.faults[0x1D] = {SimFaultKind::NoAnswer, 0, 0};
    config.faults[0x0A] = {SimFaultKind::WriteFails, 0, 0};
    config.faults[0x22] = {SimFaultKind::ReadFails, 0, 0};
    SimResetUnit(*unit, config);
    const HostHandle h = OpenUnit();
    Report reply{};

    const Report identify = IdentifyRequest();
    ASSERT_TRUE(host->WriteReport(host->context, h, identify.data(), 60));
    ASSERT_TRUE(host->ReadReport(host->context, h, reply.data(), 60, &delivered));
    EXPECT_EQ(delivered, 60u);
    EXPECT_EQ(reply[1], 0x08);
    EXPECT_EQ(clock.now, 7u);
    EXPECT_TRUE(clock.pauses.empty()) << "reply time is not a pause of the program";

    const Report info = ControllerInfoRequest();
    ASSERT_TRUE(host->WriteReport(host->context, h, info.data(), 60));
    EXPECT_FALSE(host->ReadReport(host->context, h, reply.data(), 60, &delivered));
    EXPECT_EQ(state.lastError, SystemErrorTimeout);
    EXPECT_EQ(clock.now, 7u + ExchangeTimeoutMilliseconds);

    const Report memory = ReadMemoryRequest();
    EXPECT_FALSE(host->WriteReport(host->context, h, memory.data(), 60));
    EXPECT_EQ(state.lastError, SimSystemErrorGenFailure);
    const Report type = ControllerTypeRequest();
    ASSERT_TRUE(host->WriteReport(host->context, h, type.data(), 60));
    EXPECT_FALSE(host->ReadReport(host->context, h, reply.data(), 60, &delivered));
    EXPECT_EQ(state.lastError, SimSystemErrorGenFailure);

    EXPECT_FALSE(host->WriteReport(host->context, h, identify.data(), 59));
    EXPECT_EQ(state.lastError, SimSystemErrorInvalidUserBuffer);
    ASSERT_TRUE(host->WriteReport(host->context, h, identify.data(), 60));
    EXPECT_FALSE(host->ReadReport(host->context, h, reply.data(), 59, &delivered));
    EXPECT_EQ(state.lastError, SimSystemErrorInvalidUserBuffer);
    EXPECT_TRUE(host->ReadReport(host->context, h, reply.data(), 60, &delivered))
        << "reply still there";

    EXPECT_EQ(host->GetLastSystemError(host->context), SimSystemErrorInvalidUserBuffer);
    host->CloseInterface(host->context, h);
    EXPECT_FALSE(host->WriteReport(host->context, h, identify.data(), 60));
    EXPECT_EQ(state.lastError, SimSystemErrorInvalidHandle);
    EXPECT_EQ(unit->logCount, 6u) << "nothing reaches the unit through a closed handle";
}

TEST_F(HostFixture, ForeignDevicesTakeWritesAndNeverAnswer) {
    state.interfaces.push_back(Foreign(u"mouse"));
    const HostHandle h = host->OpenInterface(host->context, u"mouse");
    const Report identify = IdentifyRequest();
    Report reply{};
    EXPECT_TRUE(host->WriteReport(host->context, h, identify.data(), 60));
    EXPECT_FALSE(host->ReadReport(host->context, h, reply.data(), 60, &delivered));
    EXPECT_EQ(state.lastError, SystemErrorTimeout);
    EXPECT_EQ(clock.now, ExchangeTimeoutMilliseconds);
    state.interfaces[0].present = false;
    EXPECT_FALSE(host->WriteReport(host->context, h, identify.data(), 60));
    EXPECT_EQ(state.lastError, SimSystemErrorDeviceNotConnected);
    host->CloseInterface(host->context, h);
}

TEST_F(HostFixture, UnpluggedUnitFailsItsHandleAndLeavesTheList) {
    SimUnitConfig config;
    config.unplugAtExchange = 2;
    SimResetUnit(*unit, config);
    const HostHandle h = OpenUnit();
    const Report identify = IdentifyRequest();
    Report reply{};
    ASSERT_TRUE(host->WriteReport(host->context, h, identify.data(), 60));
    ASSERT_TRUE(host->ReadReport(host->context, h, reply.data(), 60, &delivered));
    EXPECT_FALSE(host->WriteReport(host->context, h, identify.data(), 60));
    EXPECT_EQ(state.lastError, SimSystemErrorDeviceNotConnected);
    EXPECT_FALSE(host->ReadReport(host->context, h, reply.data(), 60, &delivered));
    EXPECT_EQ(state.lastError, SimSystemErrorDeviceNotConnected);
    std::uint16_t vendor = 0, product = 0;
    EXPECT_FALSE(host->GetAttributes(host->context, h, &vendor, &product));
    EXPECT_EQ(host->OpenInterface(host->context, u"\\\\?\\hid#unit"), invalidHostHandle);

    const HostList list = host->GetInterfaceList(host->context);
    EXPECT_FALSE(host->EnumerateInterface(host->context, list, 0));
    host->DestroyInterfaceList(host->context, list);
    host->CloseInterface(host->context, h);
    EXPECT_EQ(state.openHandles, 0u);
    EXPECT_EQ(state.badCloses, 0u);
}

TEST_F(HostFixture, WriteIsLoggedWithItsCommandCode) {
    const HostHandle h = OpenUnit();
    const Report lock = SystemLockRequest(1);
    host->WriteReport(host->context, h, lock.data(), 60);
    Report reply{};
    host->ReadReport(host->context, h, reply.data(), 60, &delivered);
    EXPECT_EQ(state.calls, (std::vector<std::string>{"open 0", "write h1 0B", "read h1"}));
}

TEST_F(HostFixture, ClockTraceShowsPausesBetweenTheExchanges) {
    clock.trace = &state.calls;
    const HostHandle h = OpenUnit();
    const Report lock = SystemLockRequest(1);
    Report reply{};
    clock.clock.BeginPreciseTiming(clock.clock.context);
    host->WriteReport(host->context, h, lock.data(), 60);
    clock.clock.Pause(clock.clock.context, 1000);
    host->ReadReport(host->context, h, reply.data(), 60, &delivered);
    clock.clock.Pause(clock.clock.context, 20);
    clock.clock.EndPreciseTiming(clock.clock.context);
    EXPECT_EQ(state.calls,
              (std::vector<std::string>{"open 0", "precise begin", "write h1 0B", "pause 1000",
                                        "read h1", "pause 20", "precise end"}));
}

TEST(VirtualClock, RecordsPausesAndAdvancesWithoutSleeping) {
    VirtualClock vc;
    InitVirtualClock(vc);
    vc.clock.BeginPreciseTiming(vc.clock.context);
    for (const std::uint32_t ms : {20u, 4000u, 0u, 1000u}) {
        vc.clock.Pause(vc.clock.context, ms);
    }
    EXPECT_EQ(vc.pauses, (std::vector<std::uint32_t>{20, 4000, 0, 1000}));
    EXPECT_EQ(vc.now, 5020u);
    EXPECT_EQ(vc.preciseTimingDepth, 1);
    vc.clock.EndPreciseTiming(vc.clock.context);
    vc.clock.BeginPreciseTiming(vc.clock.context);
    vc.clock.EndPreciseTiming(vc.clock.context);
    EXPECT_EQ(vc.preciseTimingDepth, 0);
    EXPECT_EQ(vc.preciseTimingBegins, 2u);
}

} // namespace
