#include "tests/sim/SimRequests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

SimUnitConfig DistinctConfig() {
    SimUnitConfig c;
    c.controllerStateDetail = 0xA1B2;
    c.unitFirmwareVersion = 0x11223344;
    c.unitInfoWord = 0x55667788;
    c.bootInfoByte1 = 0x9A;
    c.bootInfoHalf = 0xBCDE;
    c.bootInfoWord1 = 0x01020304;
    c.bootInfoWord2 = 0x05060708;
    c.bootInfoByte2 = 0xEF;
    c.bootMemoryWord = 0xCAFEF00D;
    c.controllerTypeCode = 0x0C0C80A0;
    c.controllerBootloaderVersion = 0x00000102;
    c.controllerFirmwareVersion = 0x0406;
    return c;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> b) {
    return b;
}

void ExpectAt(const Report& reply, std::size_t at, const std::vector<std::uint8_t>& expected,
              const std::string& what) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(reply[at + i], expected[i]) << what << ", reply byte " << at + i;
    }
}

struct ReplyCase {
    const char* name;
    bool bootMode;
    std::function<void(SimUnit&)> before;
    Report request;
    std::vector<std::uint8_t> head; // bytes 0-3
    std::size_t dataAt;
    std::vector<std::uint8_t> data;
};

TEST(SimulatedUnit, AcceptedRequestsGetTheirReplyByteForByte) {
    const std::vector<ReplyCase> cases = {
        {"identify normal", false, nullptr, IdentifyRequest(), Bytes({2, 0x08, 12, 0}), 4,
         Bytes({3, 0, 0xB2, 0xA1, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55})},
        {"identify boot", true, nullptr, IdentifyRequest(), Bytes({2, 0x08, 12, 1}), 4,
         Bytes({0x9A, 0xDE, 0xBC, 4, 3, 2, 1, 8, 7, 6, 5, 0xEF})},
        {"read memory", true, nullptr, ReadMemoryRequest(), Bytes({2, 0x0A, 12, 0}), 4,
         Bytes({0x0D, 0xF0, 0xFE, 0xCA, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55})},
        {"lock on", false, nullptr, SystemLockRequest(1), Bytes({2, 0x0B, 0, 1}), 4, {}},
        {"lock off", false, nullptr, SystemLockRequest(0), Bytes({2, 0x0B, 0, 0}), 4, {}},
        {"protection off",
         false,
         nullptr,
         WriteProtectionRequest(0),
         Bytes({2, 0x20, 0, 0}),
         4,
         {}},
        {"protection on", false, nullptr, WriteProtectionRequest(1), Bytes({2, 0x20, 0, 1}), 4, {}},
        {"controller info", false, nullptr, ControllerInfoRequest(), Bytes({2, 0x1D, 32, 0}), 8,
         Bytes({0x06, 0x04})},
        {"controller type", false, nullptr, ControllerTypeRequest(), Bytes({2, 0x22, 40, 0}), 4,
         Bytes({0xA0, 0x80, 0x0C, 0x0C, 0x02, 0x01, 0, 0})},
        {"erase", false, [](SimUnit& u) { Send(u, WriteProtectionRequest(0)); }, EraseRequest(),
         Bytes({2, 0x1E, 0, 0}), 4, Bytes({0, 0, 0, 0})},
        {"write address", false, nullptr, WriteAddressRequest(), Bytes({2, 0x1F, 4, 0}), 4,
         Bytes({0x00, 0x40, 0x00, 0x08})},
        {"write block", false, PrepareForWriting, WriteBlockRequest(Report{}.data(), 14),
         Bytes({2, 0x1B, 0, 0}), 4, Bytes({0, 0, 0, 0})},
    };
    for (const auto& c : cases) {
        SimUnitConfig config = DistinctConfig();
        config.bootMode = c.bootMode;
        auto unit = MakeUnit(config);
        if (c.before) {
            c.before(*unit);
        }
        const Exchange e = Send(*unit, c.request);
        ASSERT_EQ(e.written, SimIoResult::Done) << c.name;
        ASSERT_EQ(e.read, SimIoResult::Done) << c.name;
        ExpectAt(e.reply, 0, c.head, c.name);
        ExpectAt(e.reply, c.dataAt, c.data, c.name);
    }
}

TEST(SimulatedUnit, DataBlocksCarryFillerAroundTheirFields) {
    auto unit = MakeUnit(DistinctConfig());
    const Exchange info = Send(*unit, ControllerInfoRequest());
    const Exchange type = Send(*unit, ControllerTypeRequest());
    std::uint8_t expectedInfo[SimControllerInfoBytes];
    std::uint8_t expectedType[SimControllerTypeBytes];
    SimControllerInfoBlock(*unit, expectedInfo);
    SimControllerTypeBlock(*unit, expectedType);
    EXPECT_EQ(0, std::memcmp(info.reply.data() + 4, expectedInfo, sizeof expectedInfo));
    EXPECT_EQ(0, std::memcmp(type.reply.data() + 4, expectedType, sizeof expectedType));
    // Filler is neither all zero nor all 0xFF, so a host copying the wrong bytes shows up.
    EXPECT_NE(info.reply[4], info.reply[5]);
    EXPECT_NE(type.reply[4 + 8], type.reply[4 + 9]);
    EXPECT_EQ(type.reply[4 + 40], 0) << "nothing behind the 40-byte block";
}

struct RefusalCase {
    const char* name;
    SimUnitConfig config;
    std::function<void(SimUnit&)> before;
    Report request;
    std::uint32_t errorCode;
};

Report With(Report r, std::size_t at, std::uint8_t value) {
    r[at] = value;
    return r;
}

TEST(SimulatedUnit, MalformedOrUntimelyRequestsAreRefusedWithTheirErrorCode) {
    SimUnitConfig ready;
    SimUnitConfig boot;
    boot.bootMode = true;
    SimUnitConfig notReady;
    notReady.controllerState = 0x0103;
    const auto unprotect = [](SimUnit& u) { Send(u, WriteProtectionRequest(0)); };
    const auto unprotectAndErase = [](SimUnit& u) {
        Send(u, WriteProtectionRequest(0));
        Send(u, EraseRequest());
    };
    const auto lockAndErase = [](SimUnit& u) {
        Send(u, SystemLockRequest(1));
        Send(u, WriteProtectionRequest(0));
        Send(u, EraseRequest());
        Send(u, WriteProtectionRequest(1));
    };
    const auto lockAndUnprotect = [](SimUnit& u) {
        Send(u, SystemLockRequest(1));
        Send(u, WriteProtectionRequest(0));
    };
    const std::uint8_t data[56] = {};
    const std::vector<RefusalCase> cases = {
        {"identify length byte", ready, nullptr, With(IdentifyRequest(), 2, 1), SimErrorMalformed},
        {"read memory length byte", ready, nullptr, With(ReadMemoryRequest(), 2, 16),
         SimErrorMalformed},
        {"read memory address", ready, nullptr, With(ReadMemoryRequest(), 4, 0x04),
         SimErrorBadAddress},
        {"lock flag 2", ready, nullptr, SystemLockRequest(2), SimErrorMalformed},
        {"lock length byte", ready, nullptr, With(SystemLockRequest(1), 2, 0), SimErrorMalformed},
        {"protection flag 2", ready, nullptr, WriteProtectionRequest(2), SimErrorMalformed},
        {"info size", ready, nullptr, With(ControllerInfoRequest(), 4, 0x21), SimErrorMalformed},
        {"info negated size", ready, nullptr, With(ControllerInfoRequest(), 8, 0xE1),
         SimErrorMalformed},
        {"info length byte", ready, nullptr, With(ControllerInfoRequest(), 2, 12),
         SimErrorMalformed},
        {"erase confirmation", ready, unprotect, With(EraseRequest(), 7, 0x6A),
         SimErrorBadConfirmation},
        {"erase length byte", ready, unprotect, With(EraseRequest(), 2, 8), SimErrorMalformed},
        {"erase while protected", ready, nullptr, EraseRequest(), SimErrorWriteProtected},
        {"address byte 3", ready, nullptr, With(WriteAddressRequest(), 3, 0), SimErrorMalformed},
        {"address not 0", ready, nullptr, With(WriteAddressRequest(), 5, 1), SimErrorMalformed},
        {"address confirmation", ready, nullptr, With(WriteAddressRequest(), 8, 0),
         SimErrorBadConfirmation},
        {"block of 57 bytes", ready, PrepareForWriting, With(WriteBlockRequest(data, 14), 2, 57),
         SimErrorMalformed},
        {"block of 60 bytes", ready, PrepareForWriting, With(WriteBlockRequest(data, 14), 2, 60),
         SimErrorMalformed},
        {"block of 6 bytes", ready, PrepareForWriting, With(WriteBlockRequest(data, 1), 2, 6),
         SimErrorMalformed},
        {"block while protected", ready, lockAndErase, WriteBlockRequest(data, 12),
         SimErrorWriteProtected},
        {"block without lock", ready, unprotectAndErase, WriteBlockRequest(data, 12),
         SimErrorNotLocked},
        {"block before erase", ready, lockAndUnprotect, WriteBlockRequest(data, 12),
         SimErrorNotErased},
        {"unknown command", ready, nullptr, Frame(0x55, 0), SimErrorUnknownCommand},
        {"boot: info", boot, nullptr, ControllerInfoRequest(), SimErrorNoController},
        {"boot: type", boot, nullptr, ControllerTypeRequest(), SimErrorNoController},
        {"boot: protection", boot, nullptr, WriteProtectionRequest(0), SimErrorNoController},
        {"boot: erase", boot, nullptr, EraseRequest(), SimErrorNoController},
        {"boot: address", boot, nullptr, WriteAddressRequest(), SimErrorNoController},
        {"boot: block", boot, nullptr, WriteBlockRequest(data, 12), SimErrorNoController},
        {"state 0x0103: info", notReady, nullptr, ControllerInfoRequest(), SimErrorNoController},
        {"state 0x0103: type", notReady, nullptr, ControllerTypeRequest(), SimErrorNoController},
    };
    for (const auto& c : cases) {
        auto unit = MakeUnit(c.config);
        if (c.before) {
            c.before(*unit);
        }
        const std::uint32_t highWater = unit->flashHighWater;
        const bool locked = unit->systemLocked;
        const bool protectedFlash = unit->writeProtected;
        const Exchange e = Send(*unit, c.request);
        ASSERT_EQ(e.read, SimIoResult::Done) << c.name;
        EXPECT_EQ(e.reply[0], 0x02) << c.name;
        EXPECT_EQ(e.reply[1], 0xFF) << c.name;
        EXPECT_EQ(Get32Le(e.reply.data() + 4), c.errorCode) << c.name;
        EXPECT_EQ(e.reply[8], 0) << c.name;
        // A refusal changes nothing.
        EXPECT_EQ(unit->flashHighWater, highWater) << c.name;
        EXPECT_EQ(unit->systemLocked, locked) << c.name;
        EXPECT_EQ(unit->writeProtected, protectedFlash) << c.name;
        const std::uint8_t code = c.request[1];
        if (code == 0x0B || code == 0x20) {
            EXPECT_NE(e.reply[3], c.request[3]) << c.name << ": a refused flag is never echoed";
        }
    }
}

TEST(SimulatedUnit, UnitCommandsWorkInBootModeAndWithoutController) {
    for (const bool bootMode : {true, false}) {
        SimUnitConfig config;
        config.bootMode = bootMode;
        config.controllerState = 2;
        auto unit = MakeUnit(config);
        for (const Report& r : {IdentifyRequest(), ReadMemoryRequest(), SystemLockRequest(1)}) {
            EXPECT_EQ(Send(*unit, r).reply[1], r[1]) << "boot " << bootMode << " code " << +r[1];
        }
        EXPECT_TRUE(unit->systemLocked);
    }
}

struct FaultCase {
    SimFaultKind kind;
    std::uint32_t errorCode;
    SimIoResult written;
    SimIoResult read;
    bool acted; // the unit switched its write protection off
};

TEST(SimulatedUnit, FaultsHitTheChosenOccurrenceOfTheirCommandOnly) {
    const std::vector<FaultCase> cases = {
        {SimFaultKind::WriteFails, 0, SimIoResult::Failed, SimIoResult::NoAnswer, false},
        {SimFaultKind::ReadFails, 0, SimIoResult::Done, SimIoResult::Failed, true},
        {SimFaultKind::ErrorReply, 0, SimIoResult::Done, SimIoResult::Done, false},
        {SimFaultKind::ErrorReply, 0x80001234, SimIoResult::Done, SimIoResult::Done, false},
        {SimFaultKind::WrongEcho, 0, SimIoResult::Done, SimIoResult::Done, true},
        {SimFaultKind::NoAnswer, 0, SimIoResult::Done, SimIoResult::NoAnswer, true},
    };
    for (const auto& c : cases) {
        for (const std::uint32_t occurrence : {0u, 2u}) {
            const std::string name = "kind " + std::to_string(static_cast<int>(c.kind)) +
                                     " occurrence " + std::to_string(occurrence);
            SimUnitConfig config;
            config.faults[0x20] = {c.kind, c.errorCode, occurrence};
            auto unit = MakeUnit(config);
            for (std::uint32_t n = 1; n <= 3; ++n) {
                unit->writeProtected = true;
                const Exchange e = Send(*unit, WriteProtectionRequest(0));
                const bool hit = occurrence == 0 || occurrence == n;
                // Another command is never touched by the fault.
                EXPECT_EQ(Send(*unit, SystemLockRequest(1)).reply[3], 1) << name;
                if (!hit) {
                    EXPECT_EQ(e.written, SimIoResult::Done) << name << " n " << n;
                    EXPECT_EQ(e.reply[1], 0x20) << name << " n " << n;
                    EXPECT_FALSE(unit->writeProtected) << name << " n " << n;
                    continue;
                }
                EXPECT_EQ(e.written, c.written) << name << " n " << n;
                EXPECT_EQ(e.read, c.read) << name << " n " << n;
                EXPECT_EQ(unit->writeProtected, !c.acted) << name << " n " << n;
                EXPECT_EQ(unit->log[unit->logCount - 2].taken, c.written == SimIoResult::Done)
                    << name;
                if (c.kind == SimFaultKind::ErrorReply) {
                    EXPECT_EQ(e.reply[1], 0xFF) << name;
                    EXPECT_EQ(Get32Le(e.reply.data() + 4), c.errorCode) << name;
                    EXPECT_EQ(e.reply[3], 0) << name << ": the echo stays right";
                }
                if (c.kind == SimFaultKind::WrongEcho) {
                    EXPECT_EQ(e.reply[1], 0x20) << name;
                    EXPECT_NE(e.reply[3], 0) << name;
                }
            }
            EXPECT_EQ(unit->commandCounts[0x20], 3u) << name;
        }
    }
}

TEST(SimulatedUnit, UnplugAtAnExchangeEndsEverythingAfterIt) {
    SimUnitConfig config;
    config.unplugAtExchange = 3;
    auto unit = MakeUnit(config);
    EXPECT_EQ(Send(*unit, IdentifyRequest()).read, SimIoResult::Done);
    // A write whose reply is never read still counts as an exchange.
    Report request = SystemLockRequest(1);
    EXPECT_EQ(SimWriteReport(*unit, request.data(), 60), SimIoResult::Done);
    const Exchange third = Send(*unit, IdentifyRequest());
    EXPECT_EQ(third.written, SimIoResult::Unplugged);
    EXPECT_EQ(third.read, SimIoResult::Unplugged);
    EXPECT_TRUE(unit->unplugged);
    EXPECT_EQ(Send(*unit, IdentifyRequest()).written, SimIoResult::Unplugged);
    EXPECT_EQ(unit->exchangeCount, 4u);
    EXPECT_EQ(unit->commandCounts[0x08], 1u);
    EXPECT_FALSE(unit->log[2].taken);

    // Plugged in again: unlocked, and the unplug does not come back.
    SimReplugUnit(*unit);
    EXPECT_FALSE(unit->systemLocked);
    EXPECT_EQ(Send(*unit, IdentifyRequest()).reply[1], 0x08);
    EXPECT_EQ(Send(*unit, IdentifyRequest()).reply[1], 0x08);
}

TEST(SimulatedUnit, ReplugKeepsTheWrittenFirmware) {
    auto unit = MakeUnit();
    PrepareForWriting(*unit);
    const std::uint8_t data[48] = {0x42};
    Send(*unit, WriteBlockRequest(data, 12));
    Send(*unit, WriteProtectionRequest(1));
    SimReplugUnit(*unit);
    EXPECT_EQ(unit->flash[0], 0x42);
    const Exchange info = Send(*unit, ControllerInfoRequest());
    EXPECT_EQ(info.reply[8] | info.reply[9] << 8, unit->config.flashedFirmwareVersion);
    EXPECT_EQ(Send(*unit, WriteBlockRequest(data, 12)).reply[1], 0xFF) << "protected again";
}

TEST(SimulatedUnit, ReportLengthsAreThoseOfTheConfiguredCapabilities) {
    SimUnitConfig config;
    config.inputReportLength = 65;
    auto unit = MakeUnit(config);
    const Report identify = IdentifyRequest();
    std::vector<std::uint8_t> request(identify.begin(), identify.end());
    for (const std::uint32_t wrong : {59u, 61u}) {
        request.resize(wrong);
        EXPECT_EQ(SimWriteReport(*unit, request.data(), wrong), SimIoResult::Failed) << wrong;
    }
    request.resize(60);
    request[0] = 0x02;
    EXPECT_EQ(SimWriteReport(*unit, request.data(), 60), SimIoResult::Failed) << "report ID";
    request[0] = 0x01;
    EXPECT_EQ(unit->commandCounts[0x08], 0u) << "refused by the platform, unseen by the unit";
    ASSERT_EQ(SimWriteReport(*unit, request.data(), 60), SimIoResult::Done);

    std::vector<std::uint8_t> reply(70, 0xEE);
    EXPECT_EQ(SimReadReport(*unit, reply.data(), 60), SimIoResult::Failed) << "short buffer";
    ASSERT_EQ(SimReadReport(*unit, reply.data(), 70), SimIoResult::Done) << "reply kept";
    EXPECT_EQ(reply[1], 0x08);
    EXPECT_EQ(reply[64], 0);
    EXPECT_EQ(reply[65], 0xEE) << "nothing beyond the input report length";
    EXPECT_EQ(SimReadReport(*unit, reply.data(), 70), SimIoResult::NoAnswer) << "read once";

    SimUnitConfig huge;
    huge.outputReportLength = SimReportCapacity + 1;
    auto hugeUnit = MakeUnit(huge);
    std::vector<std::uint8_t> big(SimReportCapacity + 1);
    big[0] = 1;
    big[1] = 0x08;
    EXPECT_EQ(SimWriteReport(*hugeUnit, big.data(), SimReportCapacity + 1), SimIoResult::Failed);
    EXPECT_EQ(hugeUnit->log[0].length, SimReportCapacity + 1);
}

TEST(SimulatedUnit, ShortReportsCarryOnlyWhatFits) {
    SimUnitConfig config;
    config.outputReportLength = 8;
    config.inputReportLength = 20;
    auto unit = MakeUnit(config);
    const Report info = ControllerInfoRequest();
    ASSERT_EQ(SimWriteReport(*unit, info.data(), 8), SimIoResult::Done);
    std::uint8_t reply[20];
    ASSERT_EQ(SimReadReport(*unit, reply, 20), SimIoResult::Done);
    EXPECT_EQ(reply[1], 0xFF) << "arguments cut off by the short report";
    EXPECT_EQ(Get32Le(reply + 4), SimErrorMalformed);
    const Report type = ControllerTypeRequest();
    ASSERT_EQ(SimWriteReport(*unit, type.data(), 8), SimIoResult::Done);
    ASSERT_EQ(SimReadReport(*unit, reply, 20), SimIoResult::Done);
    EXPECT_EQ(reply[1], 0x22);
}

TEST(SimulatedUnit, FlashReassemblesWhatTheBlocksCarried) {
    // An image of 83,312 bytes, as many blocks of 48 as fit, and a shorter last one.
    std::vector<std::uint8_t> image(83312);
    std::uint32_t seed = 12345;
    for (auto& b : image) {
        seed = seed * 1103515245 + 12345;
        b = static_cast<std::uint8_t>(seed >> 16);
    }
    auto unit = MakeUnit();
    EXPECT_EQ(unit->flash[0], 0x00) << "not erased yet";
    PrepareForWriting(*unit);
    EXPECT_EQ(unit->flash[0], 0xFF) << "erased";
    for (std::size_t at = 0; at < image.size(); at += 48) {
        const std::size_t bytes = std::min<std::size_t>(48, image.size() - at);
        const auto words = static_cast<std::uint32_t>(bytes / 4);
        ASSERT_EQ(Send(*unit, WriteBlockRequest(image.data() + at, words)).reply[1], 0x1B) << at;
    }
    EXPECT_EQ(unit->flashHighWater, image.size());
    EXPECT_EQ(0, std::memcmp(unit->flash, image.data(), image.size()));
    EXPECT_EQ(unit->flash[image.size()], 0xFF);
    EXPECT_EQ(unit->commandCounts[0x1B], (image.size() + 47) / 48);

    // The version counts once the written firmware is protected again.
    EXPECT_EQ(Send(*unit, ControllerInfoRequest()).reply[8], 0xFF);
    Send(*unit, WriteProtectionRequest(1));
    const Exchange info = Send(*unit, ControllerInfoRequest());
    EXPECT_EQ(info.reply[8] | info.reply[9] << 8, unit->config.flashedFirmwareVersion);

    // Rewinding writes over the start again; a block of no words is accepted and writes nothing.
    Send(*unit, WriteProtectionRequest(0));
    Send(*unit, WriteAddressRequest());
    const std::uint8_t ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(Send(*unit, WriteBlockRequest(ones, 0)).reply[1], 0x1B);
    EXPECT_EQ(Send(*unit, WriteBlockRequest(ones, 2)).reply[1], 0x1B);
    EXPECT_EQ(unit->flash[7], 1);
    EXPECT_EQ(unit->flash[8], image[8]);
    EXPECT_EQ(unit->flashHighWater, image.size());
}

TEST(SimulatedUnit, FlashRefusesBlocksPastItsEnd) {
    auto unit = MakeUnit();
    PrepareForWriting(*unit);
    const std::uint8_t data[56] = {7};
    const std::uint32_t fullBlocks = SimFlashCapacity / 56;
    for (std::uint32_t i = 0; i < fullBlocks; ++i) {
        ASSERT_EQ(Send(*unit, WriteBlockRequest(data, 14)).reply[1], 0x1B) << i;
    }
    const std::uint32_t left = SimFlashCapacity - fullBlocks * 56;
    const Exchange over = Send(*unit, WriteBlockRequest(data, 14));
    EXPECT_EQ(over.reply[1], 0xFF);
    EXPECT_EQ(Get32Le(over.reply.data() + 4), SimErrorFlashFull);
    EXPECT_EQ(Send(*unit, WriteBlockRequest(data, left / 4)).reply[1], 0x1B);
    EXPECT_EQ(unit->writePosition, SimFlashCapacity);
}

TEST(SimulatedUnit, LogKeepsEveryRequestAsWrittenAndCountsPastItsCapacity) {
    auto unit = MakeUnit();
    Send(*unit, WriteProtectionRequest(0));
    ASSERT_EQ(unit->logCount, 1u);
    EXPECT_EQ(unit->log[0].length, 60u);
    EXPECT_TRUE(unit->log[0].taken);
    EXPECT_EQ(0, std::memcmp(unit->log[0].bytes, WriteProtectionRequest(0).data(), 60));
    for (std::uint32_t i = 1; i < SimLogCapacity + 10; ++i) {
        Send(*unit, IdentifyRequest());
    }
    EXPECT_EQ(unit->logCount, SimLogCapacity + 10);
    EXPECT_EQ(unit->log[SimLogCapacity - 1].bytes[1], 0x08);
    EXPECT_EQ(unit->commandCounts[0x08], SimLogCapacity + 9);
}

} // namespace
