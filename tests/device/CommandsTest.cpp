// The nine command exchanges: request bytes, reply judging, argument checks, failures, pauses.
#include "device/Commands.h"
#include "device/Discovery.h"
#include "device/Results.h"
#include "tests/device/DeviceBench.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <numeric>

namespace {

// What one command run gave back: its result and whatever it wrote to its output.
struct CommandOutcome {
    std::int32_t result;
    std::vector<std::uint8_t> output;
};

using CommandRun = std::function<CommandOutcome(UnitConnection&)>;

// Outputs start filled with 0xEE, so an untouched destination is visible.
template <std::size_t N>
CommandOutcome RunInto(UnitConnection& unit,
                       std::int32_t (*command)(UnitConnection&, std::span<std::uint8_t, N>)) {
    std::array<std::uint8_t, N> destination;
    destination.fill(0xEE);
    const std::int32_t result = command(unit, destination);
    return {result, {destination.begin(), destination.end()}};
}

const std::array<std::uint8_t, 56> blockSource = [] {
    std::array<std::uint8_t, 56> bytes{};
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0x10});
    return bytes;
}();

CommandOutcome RunWriteBlock(UnitConnection& unit, std::uint32_t words) {
    std::uint32_t queued = 0xAAAA;
    const std::int32_t result = WriteBlock(unit, blockSource.data(), words, queued);
    return {result, {static_cast<std::uint8_t>(queued)}};
}

CommandOutcome RunSetWriteAddress(UnitConnection& unit) {
    std::uint32_t address = 0xEEEEEEEE;
    const std::int32_t result = SetWriteAddress(unit, &address);
    std::vector<std::uint8_t> bytes(4);
    std::memcpy(bytes.data(), &address, 4);
    return {result, bytes};
}

struct NamedCommand {
    const char* name;
    std::uint8_t code;
    CommandRun run;
};

const std::vector<NamedCommand>& AllCommands() {
    static const std::vector<NamedCommand> commands = {
        {"Identify", 0x08, [](UnitConnection& u) { return RunInto<16>(u, Identify); }},
        {"ReadMemory", 0x0A, [](UnitConnection& u) { return RunInto<12>(u, ReadMemory); }},
        {"SetSystemLock", 0x0B,
         [](UnitConnection& u) {
             return CommandOutcome{SetSystemLock(u, true), {}};
         }},
        {"WriteBlock", 0x1B, [](UnitConnection& u) { return RunWriteBlock(u, 12); }},
        {"ReadControllerInfo", 0x1D,
         [](UnitConnection& u) { return RunInto<32>(u, ReadControllerInfo); }},
        {"EraseFirmware", 0x1E,
         [](UnitConnection& u) {
             return CommandOutcome{EraseFirmware(u), {}};
         }},
        {"SetWriteAddress", 0x1F, RunSetWriteAddress},
        {"SetWriteProtection", 0x20,
         [](UnitConnection& u) {
             return CommandOutcome{SetWriteProtection(u, false), {}};
         }},
        {"ReadControllerType", 0x22,
         [](UnitConnection& u) { return RunInto<40>(u, ReadControllerType); }},
    };
    return commands;
}

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        bench.PlugUnit(ReadyUnitConfig());
        ASSERT_EQ(DiscoverUnit(bench.record), ResultSuccess);
        identifyRequests = bench.RequestCount();
    }
    // The requests sent after discovery.
    std::uint32_t Sent() const { return bench.RequestCount() - identifyRequests; }

    DeviceBench bench;
    std::uint32_t identifyRequests = 0;
};

std::vector<std::uint8_t> Request60(std::initializer_list<std::uint8_t> named) {
    std::vector<std::uint8_t> bytes(60, 0);
    std::copy(named.begin(), named.end(), bytes.begin());
    return bytes;
}

TEST_F(CommandsTest, EachCommandWritesItsRequestBytesAndZeroElsewhere) {
    std::vector<std::uint8_t> fullBlock = Request60({0x01, 0x1B, 0x38, 0x00});
    std::copy(blockSource.begin(), blockSource.end(), fullBlock.begin() + 4);
    const struct {
        const char* name;
        CommandRun run;
        std::vector<std::uint8_t> expected;
    } cases[] = {
        {"Identify", AllCommands()[0].run, Request60({0x01, 0x08, 0x00})},
        {"ReadMemory", AllCommands()[1].run,
         Request60({0x01, 0x0A, 0x0C, 0x00, 0x00, 0xFC, 0x01, 0x08})},
        {"SetSystemLock on",
         [](UnitConnection& u) {
             return CommandOutcome{SetSystemLock(u, true), {}};
         },
         Request60({0x01, 0x0B, 0x01, 0x01})},
        {"SetSystemLock off",
         [](UnitConnection& u) {
             return CommandOutcome{SetSystemLock(u, false), {}};
         },
         Request60({0x01, 0x0B, 0x01, 0x00})},
        {"WriteBlock 14 words", [](UnitConnection& u) { return RunWriteBlock(u, 14); }, fullBlock},
        {"WriteBlock 1 word", [](UnitConnection& u) { return RunWriteBlock(u, 1); },
         Request60({0x01, 0x1B, 0x04, 0x00, 0x10, 0x11, 0x12, 0x13})},
        {"WriteBlock 0 words", [](UnitConnection& u) { return RunWriteBlock(u, 0); },
         Request60({0x01, 0x1B, 0x00})},
        {"ReadControllerInfo", AllCommands()[4].run,
         Request60({0x01, 0x1D, 0x08, 0x00, 0x20, 0x00, 0x00, 0x00, 0xE0, 0xFF, 0xFF, 0xFF})},
        {"EraseFirmware", AllCommands()[5].run,
         Request60({0x01, 0x1E, 0x04, 0x00, 0x47, 0x9E, 0x2D, 0x6B})},
        {"SetWriteAddress", AllCommands()[6].run,
         Request60({0x01, 0x1F, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x47, 0x9E, 0x2D, 0x6B})},
        {"SetWriteProtection off", AllCommands()[7].run, Request60({0x01, 0x20, 0x01, 0x00})},
        {"SetWriteProtection on",
         [](UnitConnection& u) {
             return CommandOutcome{SetWriteProtection(u, true), {}};
         },
         Request60({0x01, 0x20, 0x01, 0x01})},
        {"ReadControllerType", AllCommands()[8].run, Request60({0x01, 0x22})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t before = bench.RequestCount();
        c.run(bench.record);
        ASSERT_EQ(bench.RequestCount(), before + 1);
        EXPECT_EQ(bench.unit->log[before].length, 60u);
        EXPECT_EQ(bench.Request(before), c.expected);
        // The read gets a zeroed buffer with the reply's report ID set.
        std::vector<std::uint8_t> cleanReply(60, 0);
        cleanReply[0] = 0x02;
        EXPECT_EQ(bench.replyBeforeRead, cleanReply);
    }
}

// Reply bytes as the unit might send them; bytes not listed are zero.
std::vector<std::uint8_t> Reply(std::initializer_list<std::uint8_t> leading) {
    std::vector<std::uint8_t> bytes(60, 0);
    std::copy(leading.begin(), leading.end(), bytes.begin());
    for (std::size_t i = leading.size(); i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(0x80 + i); // data behind the named bytes
    }
    return bytes;
}

std::vector<std::uint8_t> ReplySlice(const std::vector<std::uint8_t>& reply, std::size_t from,
                                     std::size_t count) {
    return {reply.begin() + static_cast<std::ptrdiff_t>(from),
            reply.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

TEST_F(CommandsTest, RepliesAreJudgedByMarkerEchoAndCodeWidth) {
    const std::vector<std::uint8_t> untouched32(32, 0xEE);
    const std::vector<std::uint8_t> untouched40(40, 0xEE);
    const std::vector<std::uint8_t> dataReply = Reply({0x02, 0x00, 0x00, 0x00});
    const std::vector<std::uint8_t> markedData = Reply({0x02, 0xFF, 0x00, 0x00});
    // Error replies: code bytes 4-7 = 34 12 08 80, byte 3 as given.
    const auto errorReply = [](std::uint8_t byte3) {
        return Reply({0x02, 0xFF, 0x00, byte3, 0x34, 0x12, 0x08, 0x80});
    };
    const std::int32_t code32 = static_cast<std::int32_t>(0x80081234u);
    const std::int32_t code16 = 0x1234;
    const auto lock = [](bool flag) {
        return [flag](UnitConnection& u) { return CommandOutcome{SetSystemLock(u, flag), {}}; };
    };
    const auto protect = [flag = false](UnitConnection& u) {
        return CommandOutcome{SetWriteProtection(u, flag), {}};
    };
    const auto protectOn = [](UnitConnection& u) {
        return CommandOutcome{SetWriteProtection(u, true), {}};
    };
    const auto addressNone = [](UnitConnection& u) {
        return CommandOutcome{SetWriteAddress(u, nullptr), {}};
    };
    const std::vector<std::uint8_t> keptAddress(4, 0xEE);
    const struct {
        const char* name;
        CommandRun run;
        std::vector<std::uint8_t> reply;
        std::int32_t expected;
        std::vector<std::uint8_t> output;
    } cases[] = {
        {"Identify ignores the marker", AllCommands()[0].run, markedData, 0,
         ReplySlice(markedData, 0, 16)},
        {"ReadMemory copies even a marked reply", AllCommands()[1].run, markedData, 0,
         ReplySlice(markedData, 4, 12)},
        {"SetSystemLock echo 1", lock(true), Reply({0x02, 0x0B, 0x00, 0x01}), 0, {}},
        {"SetSystemLock echo 0 for 1",
         lock(true),
         Reply({0x02, 0x0B, 0x00, 0x00}),
         ResultEchoMismatch,
         {}},
        {"SetSystemLock echo 2 for 1",
         lock(true),
         Reply({0x02, 0x0B, 0x00, 0x02}),
         ResultEchoMismatch,
         {}},
        {"SetSystemLock echo 0 for 0", lock(false), Reply({0x02, 0x0B, 0x00, 0x00}), 0, {}},
        {"SetSystemLock ignores the marker", lock(true), errorReply(0x01), 0, {}},
        {"SetSystemLock marked, wrong echo", lock(true), errorReply(0x00), ResultEchoMismatch, {}},
        {"SetWriteProtection echo", protect, Reply({0x02, 0x20, 0x00, 0x00}), 0, {}},
        {"SetWriteProtection wrong echo",
         protect,
         Reply({0x02, 0x20, 0x00, 0x01}),
         ResultEchoMismatch,
         {}},
        {"SetWriteProtection on, echo 2",
         protectOn,
         Reply({0x02, 0x20, 0x00, 0x02}),
         ResultEchoMismatch,
         {}},
        {"SetWriteProtection error beats echo", protect, errorReply(0x00), code32, {}},
        {"SetWriteProtection error code 0",
         protect,
         Reply({0x02, 0xFF, 0x00, 0x07, 0, 0, 0, 0}),
         0,
         {}},
        {"WriteBlock accepted", AllCommands()[3].run, dataReply, 0, {12}},
        {"WriteBlock marker 0xFE is no error", AllCommands()[3].run, Reply({0x02, 0xFE}), 0, {12}},
        {"WriteBlock 32-bit code", AllCommands()[3].run, errorReply(0), code32, {12}},
        {"EraseFirmware accepted", AllCommands()[5].run, dataReply, 0, {}},
        {"EraseFirmware 32-bit code", AllCommands()[5].run, errorReply(0), code32, {}},
        {"SetWriteAddress gives bytes 4-7",
         AllCommands()[6].run,
         Reply({0x02, 0x1F, 0, 0, 0x44, 0x33, 0x22, 0x11}),
         0,
         {0x44, 0x33, 0x22, 0x11}},
        {"SetWriteAddress error keeps address", AllCommands()[6].run, errorReply(0), code32,
         keptAddress},
        {"SetWriteAddress without address", addressNone, dataReply, 0, {}},
        {"ReadControllerInfo copies 4-35", AllCommands()[4].run, dataReply, 0,
         ReplySlice(dataReply, 4, 32)},
        {"ReadControllerInfo 16-bit code", AllCommands()[4].run, errorReply(0), code16,
         untouched32},
        {"ReadControllerInfo code 0 keeps destination", AllCommands()[4].run,
         Reply({0x02, 0xFF, 0, 0, 0, 0, 0x55, 0x66}), 0, untouched32},
        {"ReadControllerType copies 4-43", AllCommands()[8].run, dataReply, 0,
         ReplySlice(dataReply, 4, 40)},
        {"ReadControllerType 16-bit code", AllCommands()[8].run, errorReply(0), code16,
         untouched40},
        {"ReadControllerType code 0 keeps destination", AllCommands()[8].run,
         Reply({0x02, 0xFF, 0, 0, 0, 0, 0x01}), 0, untouched40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bench.patchReply = [&](std::uint8_t* report, std::uint32_t length) {
            ASSERT_GE(length, c.reply.size());
            std::memcpy(report, c.reply.data(), c.reply.size());
        };
        const CommandOutcome outcome = c.run(bench.record);
        EXPECT_EQ(outcome.result, c.expected);
        EXPECT_EQ(outcome.output, c.output);
    }
}

TEST_F(CommandsTest, FailedWriteOrReadGivesMinus2OrMinus3AndNoFurtherStep) {
    for (const NamedCommand& command : AllCommands()) {
        for (const SimFaultKind kind : {SimFaultKind::WriteFails, SimFaultKind::ReadFails}) {
            SCOPED_TRACE(std::string(command.name) +
                         (kind == SimFaultKind::WriteFails ? " write" : " read"));
            bench.unit->config.faults[command.code] = {kind, 0, 0};
            const std::size_t pausesBefore = bench.clock.pauses.size();
            bench.lastReadAt = 0xFFFF;
            const CommandOutcome outcome = command.run(bench.record);
            bench.unit->config.faults[command.code] = {};
            if (kind == SimFaultKind::WriteFails) {
                EXPECT_EQ(outcome.result, ResultWriteFailed);
                EXPECT_EQ(bench.lastReadAt, 0xFFFFu) << "read after a failed write";
                EXPECT_EQ(bench.clock.pauses.size(), pausesBefore) << "pause after a failed write";
            } else {
                EXPECT_EQ(outcome.result, ResultReadFailed);
            }
        }
    }
}

TEST_F(CommandsTest, DestinationsStayUnchangedWhenTheReadFails) {
    bench.unit->config.faults[CommandReadControllerInfo] = {SimFaultKind::ReadFails, 0, 0};
    bench.unit->config.faults[CommandReadMemory] = {SimFaultKind::ReadFails, 0, 0};
    EXPECT_EQ(AllCommands()[4].run(bench.record).output, std::vector<std::uint8_t>(32, 0xEE));
    EXPECT_EQ(AllCommands()[1].run(bench.record).output, std::vector<std::uint8_t>(12, 0xEE));
}

TEST(CommandsClosedTest, EveryCommandOnAClosedRecordIsRefusedWithoutTouchingTheHost) {
    DeviceBench bench;
    bench.PlugUnit(ReadyUnitConfig());
    for (const NamedCommand& command : AllCommands()) {
        SCOPED_TRACE(command.name);
        const CommandOutcome outcome = command.run(bench.record);
        EXPECT_EQ(outcome.result, ResultRefused);
    }
    std::uint32_t queued = 7;
    EXPECT_EQ(WriteBlock(bench.record, blockSource.data(), 15, queued), ResultRefused);
    EXPECT_EQ(queued, 7u);
    EXPECT_TRUE(bench.hid.calls.empty());
    EXPECT_TRUE(bench.clock.pauses.empty());
}

TEST_F(CommandsTest, WriteBlockRefusesMoreThan14WordsBeforeAnythingIsSent) {
    for (const std::uint32_t words : {15u, 16u, 0xFFFFFFFFu}) {
        std::uint32_t queued = 3;
        EXPECT_EQ(WriteBlock(bench.record, blockSource.data(), words, queued), ResultRefused);
        EXPECT_EQ(queued, 3u);
    }
    EXPECT_EQ(Sent(), 0u);
}

TEST_F(CommandsTest, WriteBlockQueuesTheWordCountEvenWhenTheWriteFails) {
    bench.unit->config.faults[CommandWriteBlock] = {SimFaultKind::WriteFails, 0, 0};
    std::uint32_t queued = 0;
    EXPECT_EQ(WriteBlock(bench.record, blockSource.data(), 9, queued), ResultWriteFailed);
    EXPECT_EQ(queued, 9u);
}

TEST_F(CommandsTest, WriteBlockOfZeroWordsStillExchanges) {
    std::uint32_t queued = 5;
    bench.clock.now = 10;
    bench.lastReadAt = 0;
    WriteBlock(bench.record, nullptr, 0, queued);
    EXPECT_EQ(queued, 0u);
    ASSERT_EQ(Sent(), 1u);
    EXPECT_EQ(bench.Request(identifyRequests), Request60({0x01, 0x1B, 0x00}));
    EXPECT_EQ(bench.lastReadAt, 10u) << "the reply was not read";
}

TEST_F(CommandsTest, EraseFirmwareReadsOnlyAfterItsPause) {
    ASSERT_EQ(SetWriteProtection(bench.record, false), ResultSuccess);
    bench.clock.now = 5000;
    bench.clock.pauses.clear();
    EXPECT_EQ(EraseFirmware(bench.record), ResultSuccess);
    EXPECT_EQ(bench.clock.pauses, std::vector<std::uint32_t>{1000});
    EXPECT_EQ(bench.lastWriteAt, 5000u);
    EXPECT_EQ(bench.lastReadAt, 6000u);
}

TEST_F(CommandsTest, NoOtherCommandPauses) {
    bench.clock.pauses.clear();
    for (const NamedCommand& command : AllCommands()) {
        if (command.code != CommandEraseFirmware) {
            command.run(bench.record);
        }
    }
    EXPECT_TRUE(bench.clock.pauses.empty());
}

} // namespace
