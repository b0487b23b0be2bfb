// What identification reads from the unit, what it keeps, and how the situation is classified.
#include "device/Identification.h"
#include "device/Commands.h"
#include "device/Discovery.h"
#include "device/Results.h"
#include "tests/device/DeviceBench.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Commands = std::vector<std::uint8_t>;

SimUnitConfig BootConfig() {
    SimUnitConfig config = ReadyUnitConfig();
    config.bootMode = true;
    config.bootInfoByte1 = 0xB1;
    config.bootInfoHalf = 0xB2C3;
    config.bootInfoWord1 = 0xD4E5F607;
    config.bootInfoWord2 = 0x18293A4B;
    config.bootInfoByte2 = 0x5C;
    config.bootMemoryWord = 0x11111111;
    config.unitFirmwareVersion = 0x00010009;
    config.unitInfoWord = 0x77665544;
    return config;
}

// How far identification got: which groups of fields hold the unit's values.
enum Filled : unsigned {
    FilledLengths = 1,
    FilledMode = 2,   // unitInBootloader (and unitBootInfo in boot mode)
    FilledNormal = 4, // controllerState, detail, unit version, info word
    FilledBootMemory = 8,
    FilledInfo = 16,
    FilledType = 32,
};

void ExpectFilled(const UnitConnection& unit, const SimUnitConfig& config, unsigned filled) {
    EXPECT_EQ(unit.outputReportLength, (filled & FilledLengths) ? 60u : 0u);
    EXPECT_EQ(unit.inputReportLength, (filled & FilledLengths) ? 60u : 0u);
    EXPECT_EQ(unit.unitInBootloader != 0, (filled & FilledMode) && config.bootMode);
    const bool bootInfo = (filled & FilledMode) && config.bootMode;
    EXPECT_EQ(unit.unitBootInfo.bootInfoByte1, bootInfo ? config.bootInfoByte1 : 0);
    EXPECT_EQ(unit.unitBootInfo.bootInfoHalf, bootInfo ? config.bootInfoHalf : 0);
    EXPECT_EQ(unit.unitBootInfo.bootInfoWord1, bootInfo ? config.bootInfoWord1 : 0u);
    EXPECT_EQ(unit.unitBootInfo.bootInfoWord2, bootInfo ? config.bootInfoWord2 : 0u);
    EXPECT_EQ(unit.unitBootInfo.bootInfoByte2, bootInfo ? config.bootInfoByte2 : 0);
    const bool normal = filled & FilledNormal;
    EXPECT_EQ(unit.controllerState, normal ? config.controllerState : 0);
    EXPECT_EQ(unit.controllerStateDetail, normal ? config.controllerStateDetail : 0);
    const bool version = normal || (filled & FilledBootMemory);
    EXPECT_EQ(unit.unitFirmwareVersion, version ? config.unitFirmwareVersion : 0u);
    EXPECT_EQ(unit.unitInfoWord, version ? config.unitInfoWord : 0u);
    EXPECT_EQ(GetControllerFirmwareVersion(unit),
              (filled & FilledInfo) ? config.controllerFirmwareVersion : 0);
    if (!(filled & FilledInfo)) {
        EXPECT_EQ(unit.controllerInfo, (std::array<std::uint8_t, 32>{}));
    }
    EXPECT_EQ(GetControllerTypeCode(unit), (filled & FilledType) ? config.controllerTypeCode : 0u);
    EXPECT_EQ(GetControllerBootloaderVersion(unit),
              (filled & FilledType) ? config.controllerBootloaderVersion : 0u);
    if (!(filled & FilledType)) {
        EXPECT_EQ(unit.controllerType, (std::array<std::uint8_t, 40>{}));
    }
}

constexpr unsigned FilledReady =
    FilledLengths | FilledMode | FilledNormal | FilledInfo | FilledType;

TEST(IdentificationTest, EachModeStateAndFailureFillsWhatItReachedAndClassifies) {
    const auto with = [](SimUnitConfig config, void (*change)(SimUnitConfig&)) {
        change(config);
        return config;
    };
    const auto fault = [](SimUnitConfig config, std::uint8_t code, SimFault f) {
        config.faults[code] = f;
        return config;
    };
    const SimUnitConfig ready = ReadyUnitConfig();
    const struct {
        const char* name;
        SimUnitConfig config;
        std::int32_t result;
        DeviceStatus status;
        Commands sent;
        unsigned filled;
    } cases[] = {
        // clang-format off
        {"ready", ready, 0, DeviceStatus::Ready, {0x08, 0x1D, 0x22}, FilledReady},
        {"merrowin ready", with(ready, [](SimUnitConfig& c) { c.productId = 2; }), 0, DeviceStatus::Ready, {0x08, 0x1D, 0x22}, FilledReady},
        {"no firmware on the controller", with(ready, [](SimUnitConfig& c) { c.controllerFirmwareVersion = 0xFFFF; }), 0, DeviceStatus::Ready, {0x08, 0x1D, 0x22}, FilledReady},
        {"controller state 2", with(ready, [](SimUnitConfig& c) { c.controllerState = 2; }), 0, DeviceStatus::NoController, {0x08}, FilledLengths | FilledMode | FilledNormal},
        {"controller state 0x0103", with(ready, [](SimUnitConfig& c) { c.controllerState = 0x0103; }), 0, DeviceStatus::NoController, {0x08}, FilledLengths | FilledMode | FilledNormal},
        {"controller state 0x0300", with(ready, [](SimUnitConfig& c) { c.controllerState = 0x0300; }), 0, DeviceStatus::NoController, {0x08}, FilledLengths | FilledMode | FilledNormal},
        {"type differs in one bit", with(ready, [](SimUnitConfig& c) { c.controllerTypeCode = 0x0C0C80A1; }), 0, DeviceStatus::Incompatible, {0x08, 0x1D, 0x22}, FilledReady},
        {"type differs in the top bit", with(ready, [](SimUnitConfig& c) { c.controllerTypeCode = 0x8C0C80A0; }), 0, DeviceStatus::Incompatible, {0x08, 0x1D, 0x22}, FilledReady},
        {"type 0", with(ready, [](SimUnitConfig& c) { c.controllerTypeCode = 0; }), 0, DeviceStatus::Incompatible, {0x08, 0x1D, 0x22}, FilledReady},
        {"boot mode", BootConfig(), 0, DeviceStatus::WrongMode, {0x08, 0x0A}, FilledLengths | FilledMode | FilledBootMemory},
        {"boot mode, memory read fails", fault(BootConfig(), 0x0A, {SimFaultKind::ReadFails, 0, 0}), ResultReadFailed, DeviceStatus::NoUnit, {0x08, 0x0A}, FilledLengths | FilledMode},
        {"boot mode, memory marked as error", fault(BootConfig(), 0x0A, {SimFaultKind::ErrorReply, 0x0102, 0}), 0, DeviceStatus::WrongMode, {0x08, 0x0A}, FilledLengths | FilledMode},
        {"identify write fails", fault(ready, 0x08, {SimFaultKind::WriteFails, 0, 0}), ResultWriteFailed, DeviceStatus::NoUnit, {0x08}, FilledLengths},
        {"identify read fails", fault(ready, 0x08, {SimFaultKind::ReadFails, 0, 0}), ResultReadFailed, DeviceStatus::NoUnit, {0x08}, FilledLengths},
        {"controller info refused", fault(ready, 0x1D, {SimFaultKind::ErrorReply, 0x4321, 0}), 0x4321, DeviceStatus::NoUnit, {0x08, 0x1D}, FilledLengths | FilledMode | FilledNormal},
        {"controller info refused with code 0", fault(ready, 0x1D, {SimFaultKind::ErrorReply, 0, 0}), ResultRefusedWithoutCode, DeviceStatus::NoUnit, {0x08, 0x1D}, FilledLengths | FilledMode | FilledNormal},
        {"controller on 4.9, info refused, 16-bit code 0", fault(with(ready, [](SimUnitConfig& c) { c.controllerFirmwareVersion = 0x0409; }), 0x1D, {SimFaultKind::ErrorReply, 0x00010000, 0}), ResultRefusedWithoutCode, DeviceStatus::NoUnit, {0x08, 0x1D}, FilledLengths | FilledMode | FilledNormal},
        {"controller info read fails", fault(ready, 0x1D, {SimFaultKind::ReadFails, 0, 0}), ResultReadFailed, DeviceStatus::NoUnit, {0x08, 0x1D}, FilledLengths | FilledMode | FilledNormal},
        {"controller type refused", fault(ready, 0x22, {SimFaultKind::ErrorReply, 0x0005, 0}), 5, DeviceStatus::NoUnit, {0x08, 0x1D, 0x22}, FilledLengths | FilledMode | FilledNormal | FilledInfo},
        {"controller type refused with code 0", fault(ready, 0x22, {SimFaultKind::ErrorReply, 0, 0}), ResultRefusedWithoutCode, DeviceStatus::NoUnit, {0x08, 0x1D, 0x22}, FilledLengths | FilledMode | FilledNormal | FilledInfo},
        {"controller type write fails", fault(ready, 0x22, {SimFaultKind::WriteFails, 0, 0}), ResultWriteFailed, DeviceStatus::NoUnit, {0x08, 0x1D, 0x22}, FilledLengths | FilledMode | FilledNormal | FilledInfo},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceBench bench;
        bench.PlugUnit(c.config);
        const std::int32_t result = DiscoverUnit(bench.record);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(ClassifyDevice(result, bench.record), c.status);
        EXPECT_EQ(bench.CommandsSent(), c.sent);
        EXPECT_EQ(bench.record.productId, c.config.productId);
        ExpectFilled(bench.record, c.config, c.filled);
        // Identification leaves the unit open whatever happened.
        EXPECT_TRUE(IsUnitOpen(bench.record));
    }
}

TEST(IdentificationTest, BootModeIgnoresTheNormalModeBytes) {
    DeviceBench bench;
    bench.PlugUnit(BootConfig());
    // Boot mode bytes 4-5 read as controller state 3; they are boot information there.
    bench.patchReply = [](std::uint8_t* report, std::uint32_t) {
        if (report[3] != 0 && report[1] != 0xFF) {
            report[4] = 0x03;
            report[5] = 0x00;
        }
    };
    const std::int32_t result = DiscoverUnit(bench.record);
    EXPECT_EQ(result, ResultSuccess);
    EXPECT_EQ(bench.record.controllerState, 0);
    EXPECT_EQ(ClassifyDevice(result, bench.record), DeviceStatus::WrongMode);
}

TEST(IdentificationTest, AnIdentifyReplyMarkedAsErrorIsTakenLikeAnyOther) {
    DeviceBench bench;
    bench.PlugUnit(ReadyUnitConfig());
    bool first = true;
    bench.patchReply = [&](std::uint8_t* report, std::uint32_t) {
        if (first) {
            report[1] = 0xFF;
        }
        first = false;
    };
    const std::int32_t result = DiscoverUnit(bench.record);
    EXPECT_EQ(result, ResultSuccess);
    EXPECT_EQ(ClassifyDevice(result, bench.record), DeviceStatus::Ready);
    EXPECT_EQ(bench.record.unitFirmwareVersion, ReadyUnitConfig().unitFirmwareVersion);
}

TEST(IdentificationTest, ClassificationOnlyReadsAndTestsInOrder) {
    UnitConnection unit;
    unit.unitInBootloader = 1;
    unit.controllerState = 3;
    const std::uint8_t supported[4] = {0xA0, 0x80, 0x0C, 0x0C};
    std::memcpy(unit.controllerType.data(), supported, 4);
    EXPECT_EQ(ClassifyDevice(ResultNoUnitFound, unit), DeviceStatus::NoUnit);
    EXPECT_EQ(ClassifyDevice(1627, unit), DeviceStatus::NoUnit);
    EXPECT_EQ(ClassifyDevice(0, unit), DeviceStatus::WrongMode);
    unit.unitInBootloader = 0;
    EXPECT_EQ(ClassifyDevice(0, unit), DeviceStatus::Ready);
    unit.controllerState = 0;
    EXPECT_EQ(ClassifyDevice(0, unit), DeviceStatus::NoController);
    EXPECT_EQ(IsUnitOpen(unit), false);
}

TEST(IdentificationTest, IdentifyUnitRefusesARecordWithoutDeviceOrPath) {
    DeviceBench bench;
    bench.PlugUnit(ReadyUnitConfig());
    EXPECT_EQ(IdentifyUnit(bench.record), ResultRefused);
    bench.record.device = 5;
    EXPECT_EQ(IdentifyUnit(bench.record), ResultRefused); // a handle without a path
    EXPECT_TRUE(bench.hid.calls.empty());
    bench.record.device = invalidHostHandle;
}

TEST(IdentificationTest, ReportLengthsAboveSixtyAreUsedAndTooShortOnesRefused) {
    const struct {
        std::uint16_t input;
        std::uint16_t output;
        std::int32_t result;
    } cases[] = {
        {60, 60, 0},
        {64, 64, 0},
        {65, 65, 0},
        {44, 60, 0},
        {513, 1024, 0},
        {43, 60, ResultRefused},
        {60, 59, ResultRefused},
        {0, 0, ResultRefused},
        {65, 9, ResultRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.input << "/" << c.output);
        DeviceBench bench;
        SimUnitConfig config = ReadyUnitConfig();
        config.inputReportLength = c.input;
        config.outputReportLength = c.output;
        bench.PlugUnit(config);
        const std::int32_t result = DiscoverUnit(bench.record);
        EXPECT_EQ(result, c.result);
        if (c.result != ResultSuccess) {
            EXPECT_EQ(bench.record.inputReportLength, 0u);
            EXPECT_EQ(bench.record.outputReportLength, 0u);
            EXPECT_EQ(bench.RequestCount(), 0u);
            EXPECT_EQ(SetSystemLock(bench.record, true), ResultRefused);
            EXPECT_EQ(bench.RequestCount(), 0u);
            EXPECT_EQ(bench.hid.openPreparsed, 0u);
            continue;
        }
        EXPECT_EQ(bench.record.inputReportLength, c.input);
        EXPECT_EQ(bench.record.outputReportLength, c.output);
        EXPECT_EQ(ClassifyDevice(result, bench.record), DeviceStatus::Ready);
        EXPECT_EQ(GetControllerBootloaderVersion(bench.record), config.controllerBootloaderVersion);
        // Every request is written at the unit's length, zero behind the named bytes.
        std::uint32_t queued = 0;
        EXPECT_EQ(SetWriteProtection(bench.record, false), ResultSuccess);
        EXPECT_EQ(SetSystemLock(bench.record, true), ResultSuccess);
        EXPECT_EQ(EraseFirmware(bench.record), ResultSuccess);
        const std::uint8_t words[56] = {1, 2, 3, 4};
        EXPECT_EQ(WriteBlock(bench.record, words, 14, queued), ResultSuccess);
        // Every read asks for the input report's length.
        EXPECT_EQ(bench.hid.postedReadLength, c.input);
        EXPECT_EQ(bench.hid.readLength, c.input);
        for (std::uint32_t i = 0; i < bench.RequestCount(); ++i) {
            EXPECT_EQ(bench.unit->log[i].length, c.output);
            const std::vector<std::uint8_t> request = bench.Request(i);
            for (std::size_t at = 60; at < request.size(); ++at) {
                EXPECT_EQ(request[at], 0) << "request " << i << " byte " << at;
            }
        }
    }
}

} // namespace
