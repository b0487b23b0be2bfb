// The portable parts of the simulated unit's Windows driver and controller: the HID report
// descriptor the driver hands to the class driver, the option words the controller reads, and the
// pace it reads from a unit's log.
#include "sim/wine/SimPace.h"
#include "sim/wine/SimReportDescriptor.h"
#include "sim/wine/SimUnitOptions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// What a HID parser makes of the descriptor: per main item, its report ID and its byte count
// (report size times report count), plus whether the collection is closed again.
struct ParsedReport {
    std::uint8_t mainTag; // 0x80 input, 0x90 output
    std::uint32_t reportId;
    std::uint32_t bytes;
};

struct ParsedDescriptor {
    bool wellFormed = true;
    std::uint32_t usagePage = 0;
    int openCollections = 0;
    std::vector<ParsedReport> reports;
};

ParsedDescriptor Parse(const std::uint8_t* data, std::size_t length) {
    ParsedDescriptor parsed;
    std::uint32_t reportId = 0, reportSize = 0, reportCount = 0;
    std::size_t i = 0;
    while (i < length) {
        std::uint8_t prefix = data[i++];
        std::size_t size = prefix & 3;
        if (size == 3) {
            size = 4;
        }
        if (i + size > length) {
            parsed.wellFormed = false;
            return parsed;
        }
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < size; ++b) {
            value |= static_cast<std::uint32_t>(data[i + b]) << (8 * b);
        }
        i += size;
        switch (prefix & 0xFC) {
        case 0x04:
            parsed.usagePage = value;
            break;
        case 0x84:
            reportId = value;
            break;
        case 0x74:
            reportSize = value;
            break;
        case 0x94:
            reportCount = value;
            break;
        case 0xA0:
            ++parsed.openCollections;
            break;
        case 0xC0:
            --parsed.openCollections;
            break;
        case 0x80:
        case 0x90:
            parsed.reports.push_back(
                {static_cast<std::uint8_t>(prefix & 0xFC), reportId, reportSize * reportCount / 8});
            break;
        default:
            break;
        }
    }
    return parsed;
}

TEST(SimReportDescriptor, GivesTheReportLengthsTheCapabilitiesReport) {
    struct Case {
        std::uint32_t input, output;
    };
    const Case cases[] = {{60, 60}, {2, 2}, {65, 33}, {256, 257}, {300, 1024}, {65536, 60}};
    for (const Case& c : cases) {
        std::uint8_t buffer[SimReportDescriptorCapacity];
        std::size_t length = SimBuildReportDescriptor(buffer, sizeof buffer, c.input, c.output);
        ASSERT_GT(length, 0u) << c.input << "/" << c.output;
        ParsedDescriptor parsed = Parse(buffer, length);
        ASSERT_TRUE(parsed.wellFormed);
        EXPECT_EQ(parsed.usagePage, 0xFF00u);
        EXPECT_EQ(parsed.openCollections, 0);
        ASSERT_EQ(parsed.reports.size(), 2u);
        EXPECT_EQ(parsed.reports[0].mainTag, 0x80);
        EXPECT_EQ(parsed.reports[0].reportId, SimInputReportId);
        EXPECT_EQ(parsed.reports[0].bytes + 1, c.input); // the ID byte counts in the length
        EXPECT_EQ(parsed.reports[1].mainTag, 0x90);
        EXPECT_EQ(parsed.reports[1].reportId, SimOutputReportId);
        EXPECT_EQ(parsed.reports[1].bytes + 1, c.output);
    }
}

TEST(SimReportDescriptor, RefusesLengthsWithoutDataAndBuffersTooSmall) {
    std::uint8_t buffer[SimReportDescriptorCapacity];
    EXPECT_EQ(SimBuildReportDescriptor(buffer, sizeof buffer, 1, 60), 0u);
    EXPECT_EQ(SimBuildReportDescriptor(buffer, sizeof buffer, 60, 0), 0u);
    EXPECT_EQ(SimBuildReportDescriptor(buffer, sizeof buffer, 65537, 60), 0u);
    std::size_t full = SimBuildReportDescriptor(buffer, sizeof buffer, 60, 60);
    ASSERT_GT(full, 0u);
    std::uint8_t guarded[SimReportDescriptorCapacity + 1];
    guarded[full - 1] = 0xAA;
    EXPECT_EQ(SimBuildReportDescriptor(guarded, full - 1, 60, 60), 0u);
    EXPECT_EQ(guarded[full - 1], 0xAA) << "wrote past the given capacity";
    EXPECT_EQ(SimBuildReportDescriptor(guarded, full, 60, 60), full);
}

TEST(SimUnitOptions, SetsTheNamedFields) {
    auto config = std::make_unique<SimUnitConfig>();
    const char* words[] = {"vid=0x1234",
                           "pid=2",
                           "in=65",
                           "out=0x21",
                           "boot=yes",
                           "state=0x0102",
                           "detail=7",
                           "unitfw=0x00030201",
                           "ctype=17",
                           "cfw=0xFFFF",
                           "delay=250",
                           "racefix=0",
                           "unplugat=40",
                           "cboot=0x103",
                           "flashedfw=0x0409",
                           "bootmemory=0xDEADBEEF"};
    for (const char* word : words) {
        EXPECT_EQ(ApplyUnitOption(*config, word), "") << word;
    }
    EXPECT_EQ(config->vendorId, 0x1234);
    EXPECT_EQ(config->productId, 2);
    EXPECT_EQ(config->inputReportLength, 65);
    EXPECT_EQ(config->outputReportLength, 0x21);
    EXPECT_TRUE(config->bootMode);
    EXPECT_EQ(config->controllerState, 0x0102);
    EXPECT_EQ(config->controllerStateDetail, 7);
    EXPECT_EQ(config->unitFirmwareVersion, 0x00030201u);
    EXPECT_EQ(config->controllerTypeCode, 17u);
    EXPECT_EQ(config->controllerFirmwareVersion, 0xFFFF);
    EXPECT_EQ(config->replyDelayMilliseconds, 250u);
    EXPECT_FALSE(config->holdWriteUntilDelivered);
    EXPECT_EQ(config->unplugAtExchange, 40u);
    EXPECT_EQ(config->controllerBootloaderVersion, 0x103u);
    EXPECT_EQ(config->flashedFirmwareVersion, 0x0409);
    EXPECT_EQ(config->bootMemoryWord, 0xDEADBEEFu);
    EXPECT_EQ(UnitNodeName(*config), "VID_1234&PID_0002");
}

TEST(SimUnitOptions, ReadsFaultsByCommand) {
    auto config = std::make_unique<SimUnitConfig>();
    EXPECT_EQ(ApplyUnitOption(*config, "fault=0x1E:error:0x1234"), "");
    EXPECT_EQ(ApplyUnitOption(*config, "fault=27:noanswer:0:3"), "");
    EXPECT_EQ(config->faults[0x1E].kind, SimFaultKind::ErrorReply);
    EXPECT_EQ(config->faults[0x1E].errorCode, 0x1234u);
    EXPECT_EQ(config->faults[0x1E].occurrence, 0u);
    EXPECT_EQ(config->faults[27].kind, SimFaultKind::NoAnswer);
    EXPECT_EQ(config->faults[27].occurrence, 3u);
    EXPECT_EQ(ApplyUnitOption(*config, "fault=0x1E:none"), "");
    EXPECT_EQ(config->faults[0x1E].kind, SimFaultKind::None);
}

TEST(SimUnitOptions, RefusesBadWordsAndLeavesTheFieldAlone) {
    const char* bad[] = {"pid=0x10000",
                         "vid=",
                         "vid=12x",
                         "in=1",
                         "out=1025",
                         "boot=maybe",
                         "fault=0x100:error",
                         "fault=0x1E",
                         "fault=0x1E:explode",
                         "fault=0x1E:error:1:2:3",
                         "colour=red",
                         "novalue",
                         "=5",
                         "delay=99999999999"};
    for (const char* word : bad) {
        auto config = std::make_unique<SimUnitConfig>();
        std::string message = ApplyUnitOption(*config, word);
        EXPECT_NE(message, "") << word;
        EXPECT_NE(message.find(word), std::string::npos) << message;
        EXPECT_EQ(config->productId, 1);
        EXPECT_EQ(config->inputReportLength, 60);
        EXPECT_EQ(config->outputReportLength, 60);
        EXPECT_EQ(config->faults[0x1E].kind, SimFaultKind::None);
    }
}

// A request log written as "<command><flag> <microseconds>" words: L1 lock on, L0 lock off,
// B block, P protection, E erase, A address; the pace of each update found in it.
TEST(SimPace, MeasuresEachUpdateFromLockToUnlock) {
    struct Update {
        std::uint32_t first, last, blocks;
        std::uint64_t lockToUnlock, medianGap;
        std::vector<std::uint64_t> phases = {}; // checked when given
    };
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::uint64_t>> log;
        std::vector<Update> updates;
    };
    const Case cases[] = {
        {"one update, the middle gap of three",
         {{"I", 10},
          {"L1", 100},
          {"P0", 120},
          {"E", 150},
          {"A", 180},
          {"B", 200},
          {"B", 221},
          {"B", 241},
          {"B", 300},
          {"P1", 310},
          {"L0", 330}},
         {{1, 10, 4, 230, 21, {50, 30, 20, 100, 30}}}},
        {"two updates, identification between them",
         {{"L1", 1000},
          {"B", 1100},
          {"L0", 1500},
          {"I", 1600},
          {"L1", 2000},
          {"B", 2010},
          {"B", 2040},
          {"L0", 2600}},
         {{0, 2, 1, 500, 0}, {4, 7, 2, 600, 30}}},
        {"a lock never released, then a complete update",
         {{"L1", 100}, {"B", 120}, {"I", 200}, {"L1", 300}, {"B", 320}, {"L0", 400}},
         {{3, 5, 1, 100, 0}}},
        {"no lock at all", {{"I", 1}, {"B", 2}, {"L0", 3}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SimRequestRecord> log(c.log.size());
        for (std::size_t i = 0; i < c.log.size(); ++i) {
            const std::string word = c.log[i].first;
            const std::uint8_t command = word[0] == 'L'   ? 0x0B
                                         : word[0] == 'P' ? 0x20
                                         : word[0] == 'B' ? 0x1B
                                         : word[0] == 'E' ? 0x1E
                                         : word[0] == 'A' ? 0x1F
                                                          : 0x08;
            log[i].bytes[0] = 0x01;
            log[i].bytes[1] = command;
            log[i].bytes[3] = word.size() > 1 && word[1] == '1' ? 1 : 0;
            log[i].receivedMicroseconds = c.log[i].second;
        }
        const std::vector<SimUpdatePace> paces =
            MeasureUpdatePaces(log.data(), static_cast<std::uint32_t>(log.size()));
        ASSERT_EQ(paces.size(), c.updates.size());
        for (std::size_t u = 0; u < paces.size(); ++u) {
            EXPECT_EQ(paces[u].firstRequest, c.updates[u].first) << "update " << u;
            EXPECT_EQ(paces[u].lastRequest, c.updates[u].last) << "update " << u;
            EXPECT_EQ(paces[u].blocks, c.updates[u].blocks) << "update " << u;
            EXPECT_EQ(paces[u].lockToUnlockMicroseconds, c.updates[u].lockToUnlock)
                << "update " << u;
            EXPECT_EQ(paces[u].medianBlockGapMicroseconds, c.updates[u].medianGap)
                << "update " << u;
            if (!c.updates[u].phases.empty()) {
                const SimUpdatePace& pace = paces[u];
                EXPECT_EQ(c.updates[u].phases,
                          (std::vector<std::uint64_t>{
                              pace.lockToEraseMicroseconds, pace.eraseToAddressMicroseconds,
                              pace.addressToFirstBlockMicroseconds, pace.blocksMicroseconds,
                              pace.lastBlockToUnlockMicroseconds}));
            }
        }
    }
}

} // namespace
