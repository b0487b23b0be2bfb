// Finding, opening and closing the unit: enumeration order, skips, releases on every path.
#include "device/Discovery.h"
#include "device/Identification.h"
#include "device/Results.h"
#include "tests/device/DeviceBench.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::u16string foreignPath = u"\\\\?\\hid#vid_845e&pid_0001#1&0&0000#{4d1e55b2}";
const std::u16string secondPath = u"\\\\?\\hid#vid_21b8&pid_0002#9&0&0000#{4d1e55b2}";
// A path that names the unit's ids, and one of another bus that names none.
const std::u16string unitIdsPath = u"\\\\?\\HID#VID_21B8&PID_0001&Col02#5&0&0001#{4d1e55b2}";
const std::u16string noIdsPath = u"\\\\?\\hid#{00001124-0000-1000}_dev_vid&0221b8_pid&0003#8&0";

SimInterface Foreign(std::u16string path, std::uint16_t vendorId, std::uint16_t productId) {
    SimInterface foreign;
    foreign.path = std::move(path);
    foreign.vendorId = vendorId;
    foreign.productId = productId;
    return foreign;
}

// An interface of vendor 0x21B8, product 1 with one defect.
SimInterface Flagged(bool SimInterface::*defect, std::u16string path = unitIdsPath) {
    SimInterface blocker = Foreign(std::move(path), 0x21B8, 1);
    blocker.*defect = true;
    return blocker;
}

std::size_t CountCalls(const SimHidHostState& hid, const std::string& prefix) {
    return static_cast<std::size_t>(
        std::count_if(hid.calls.begin(), hid.calls.end(),
                      [&](const std::string& call) { return call.rfind(prefix, 0) == 0; }));
}

// Nothing of the platform is held except, when a unit is open, its one handle.
void ExpectReleased(const DeviceBench& bench) {
    EXPECT_EQ(bench.hid.openLists, 0u);
    EXPECT_EQ(bench.hid.openPreparsed, 0u);
    EXPECT_EQ(bench.hid.openHandles, IsUnitOpen(bench.record) ? 1u : 0u);
}

void ExpectNoDevice(const UnitConnection& unit) {
    EXPECT_FALSE(IsUnitOpen(unit));
    EXPECT_FALSE(unit.devicePath.has_value());
    EXPECT_EQ(unit.productId, 0);
    EXPECT_EQ(unit.outputReportLength, 0u);
    EXPECT_EQ(unit.inputReportLength, 0u);
    EXPECT_EQ(unit.unitInBootloader, 0);
    EXPECT_EQ(unit.unitFirmwareVersion, 0u);
    EXPECT_EQ(unit.controllerState, 0);
    EXPECT_EQ(unit.unitBootInfo.bootInfoWord1, 0u);
    EXPECT_EQ(GetControllerFirmwareVersion(unit), 0);
    EXPECT_EQ(GetControllerTypeCode(unit), 0u);
    EXPECT_EQ(GetControllerBootloaderVersion(unit), 0u);
}

TEST(DiscoveryTest, FirstMatchingUnitWinsAndLaterOnesAreNeverOpened) {
    for (const std::uint16_t firstProduct : {ProductTessavo, ProductMerrowin}) {
        SCOPED_TRACE(firstProduct);
        DeviceBench bench;
        SimUnitConfig config = ReadyUnitConfig();
        config.productId = firstProduct;
        bench.PlugUnit(config);
        auto second = std::make_unique<SimUnit>();
        SimUnitConfig secondConfig = ReadyUnitConfig();
        secondConfig.productId = ProductMerrowin;
        SimResetUnit(*second, secondConfig);
        bench.hid.interfaces.insert(bench.hid.interfaces.begin(), Foreign(foreignPath, 0x845E, 1));
        bench.hid.interfaces.push_back(MakeUnitInterface(*second, secondPath));

        EXPECT_EQ(DiscoverUnit(bench.record), ResultSuccess);
        EXPECT_EQ(bench.hid.opened, (std::vector<std::u16string>{unitPath}));
        EXPECT_EQ(bench.record.devicePath, unitPath);
        EXPECT_EQ(bench.record.productId, firstProduct);
        EXPECT_EQ(second->exchangeCount, 0u);
        EXPECT_EQ(CountCalls(bench.hid, "destroy"), 1u);
        ExpectReleased(bench);
    }
}

TEST(DiscoveryTest, DefectiveOrForeignInterfacesAreSkippedAndTheUnitBehindThemTaken) {
    const struct {
        const char* name;
        SimInterface blocker;
        bool opened;          // the blocker's path was opened for reading and writing
        bool attributesRead;  // its attributes were asked for
        bool fetched = true;  // its detail record was fetched
        bool queried = false; // opened without access, for its attributes
    } cases[] = {
        // clang-format off
        {"detail size 0", Flagged(&SimInterface::detailSizeZero), false, false, false},
        {"detail fetch fails", Flagged(&SimInterface::detailFails), false, false},
        {"open fails", Flagged(&SimInterface::openFails), false, false},
        {"attributes fail", Flagged(&SimInterface::attributesFail), true, true},
        {"vendor 0x21B8 product 3", Foreign(noIdsPath, 0x21B8, 3), false, true, true, true},
        {"vendor 0x21B8 product 0", Foreign(noIdsPath, 0x21B8, 0), false, true, true, true},
        {"other vendor product 1", Foreign(noIdsPath, 0x21B9, 1), false, true, true, true},
        {"other vendor product 2", Foreign(noIdsPath, 0x845E, 2), false, true, true, true},
        {"its path names other ids", Foreign(foreignPath, 0x845E, 1), false, false},
        {"its path names a unit's ids in capitals", Foreign(unitIdsPath, 0x845E, 1), true, true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceBench bench;
        bench.PlugUnit(ReadyUnitConfig());
        bench.hid.interfaces.insert(bench.hid.interfaces.begin(), c.blocker);

        EXPECT_EQ(DiscoverUnit(bench.record), ResultSuccess);
        EXPECT_EQ(bench.record.devicePath, unitPath);
        EXPECT_EQ(std::count(bench.hid.opened.begin(), bench.hid.opened.end(), c.blocker.path),
                  c.opened ? 1 : 0);
        EXPECT_EQ(CountCalls(bench.hid, "query"), c.queried ? 1u : 0u);
        EXPECT_EQ(CountCalls(bench.hid, "attributes"), c.attributesRead ? 2u : 1u);
        EXPECT_EQ(CountCalls(bench.hid, "close"), c.opened || c.queried ? 1u : 0u);
        EXPECT_EQ(CountCalls(bench.hid, "detail"), c.fetched ? 2u : 1u);
        ExpectReleased(bench);
    }
}

// The simulated fetch, with the terminator of interface 0's path overwritten: a host that hands
// back a path running to the end of the buffer.
HidHost simHostForFetch{};
const char16_t* FetchUnterminated(void* context, HostList list, std::uint32_t index, void* buffer,
                                  std::uint32_t bufferBytes) {
    const char16_t* path =
        simHostForFetch.FetchInterfaceDetail(context, list, index, buffer, bufferBytes);
    if (path != nullptr && index == 0) {
        static_cast<char16_t*>(buffer)[bufferBytes / sizeof(char16_t) - 1] = u'x';
    }
    return path;
}

TEST(DiscoveryTest, APathNotEndingInsideItsDetailBufferIsSkipped) {
    DeviceBench bench;
    bench.PlugUnit(ReadyUnitConfig());
    bench.hid.interfaces.insert(bench.hid.interfaces.begin(), Foreign(secondPath, 0x21B8, 2));
    simHostForFetch = bench.hid.host;
    bench.hid.host.FetchInterfaceDetail = FetchUnterminated;

    EXPECT_EQ(DiscoverUnit(bench.record), ResultSuccess);
    EXPECT_EQ(CountCalls(bench.hid, "open"), 1u) << "an unterminated path was opened";
    EXPECT_EQ(bench.record.devicePath, unitPath);
    ExpectReleased(bench);
}

TEST(DiscoveryTest, ListOrMatchMissingLeavesTheNoDeviceState) {
    const struct {
        const char* name;
        bool listFails;
        std::vector<SimInterface> interfaces;
        std::int32_t expected;
    } cases[] = {
        // clang-format off
        {"list fails", true, {Foreign(foreignPath, 0x21B8, 1)}, ResultRefused},
        {"empty bus", false, {}, ResultNoUnitFound},
        {"only foreign devices", false, {Foreign(foreignPath, 0x845E, 1), Foreign(secondPath, 0x21B8, 3)}, ResultNoUnitFound},
        {"the unit cannot be opened", false, {Flagged(&SimInterface::openFails, unitPath)}, ResultNoUnitFound},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceBench bench;
        bench.hid.listFails = c.listFails;
        bench.hid.interfaces = c.interfaces;
        EXPECT_EQ(DiscoverUnit(bench.record), c.expected);
        ExpectNoDevice(bench.record);
        ExpectReleased(bench);
        EXPECT_EQ(CountCalls(bench.hid, "destroy"), c.listFails ? 0u : 1u);
        EXPECT_EQ(ClassifyDevice(c.expected, bench.record), DeviceStatus::NoUnit);
    }
}

TEST(DiscoveryTest, AnOpenUnitIsClosedBeforeTheBusIsListed) {
    DeviceBench bench;
    bench.PlugUnit(ReadyUnitConfig());
    ASSERT_EQ(DiscoverUnit(bench.record), ResultSuccess);
    const HostHandle first = bench.record.device;
    bench.hid.calls.clear();

    EXPECT_EQ(DiscoverUnit(bench.record), ResultSuccess);
    ASSERT_GE(bench.hid.calls.size(), 2u);
    EXPECT_EQ(bench.hid.calls[0].rfind("close", 0), 0u) << bench.hid.calls[0];
    EXPECT_EQ(bench.hid.calls[1], "list");
    EXPECT_NE(bench.record.device, first);
    ExpectReleased(bench);

    // Gone from the bus: the old handle is closed all the same, and nothing is found.
    bench.hid.interfaces[0].present = false;
    EXPECT_EQ(DiscoverUnit(bench.record), ResultNoUnitFound);
    ExpectNoDevice(bench.record);
    ExpectReleased(bench);
}

TEST(DiscoveryTest, AUnitThatFailsIdentificationStaysOpenUntilClosed) {
    const struct {
        const char* name;
        void (*breakIt)(DeviceBench&);
        std::int32_t expected;
        std::uint32_t lengths;
    } cases[] = {
        {"no preparsed data", [](DeviceBench& b) { b.hid.interfaces[0].preparsedFails = true; },
         ResultRefused, 0},
        {"capabilities fail", [](DeviceBench& b) { b.hid.interfaces[0].capsStatus = 0xC0110001; },
         ResultRefused, 0},
        {"identify read fails",
         [](DeviceBench& b) {
             b.unit->config.faults[0x08] = {SimFaultKind::ReadFails, 0, 0};
         },
         ResultReadFailed, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceBench bench;
        bench.PlugUnit(ReadyUnitConfig());
        c.breakIt(bench);
        EXPECT_EQ(DiscoverUnit(bench.record), c.expected);
        EXPECT_TRUE(IsUnitOpen(bench.record));
        EXPECT_EQ(bench.record.devicePath, unitPath);
        EXPECT_EQ(bench.record.productId, 1);
        EXPECT_EQ(bench.record.outputReportLength, c.lengths);
        ExpectReleased(bench);

        CloseUnit(bench.record);
        ExpectNoDevice(bench.record);
        ExpectReleased(bench);
    }
}

TEST(DiscoveryTest, CloseUnitResetsEverythingOnceAndKeepsThePlatformWiring) {
    DeviceBench bench;
    SimUnitConfig config = ReadyUnitConfig();
    config.productId = ProductMerrowin;
    bench.PlugUnit(config);
    ASSERT_EQ(DiscoverUnit(bench.record), ResultSuccess);
    ASSERT_NE(GetControllerFirmwareVersion(bench.record), 0);
    const std::size_t callsBefore = bench.hid.calls.size();

    CloseUnit(bench.record);
    ExpectNoDevice(bench.record);
    EXPECT_EQ(bench.hid.calls.size(), callsBefore + 1);
    CloseUnit(bench.record);
    EXPECT_EQ(bench.hid.calls.size(), callsBefore + 1) << "a second close reached the host";
    ExpectNoDevice(bench.record);
    ExpectReleased(bench);

    EXPECT_EQ(DiscoverUnit(bench.record), ResultSuccess);
    EXPECT_EQ(bench.record.productId, ProductMerrowin);
}

} // namespace
