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

using Bytes = std::vector<std::uint8_t>;

// What one command run gave back: its result and whatever it wrote to its output.
struct CommandOutcome {
    std::int32_t result;
    Bytes output;
};

using CommandRun = std::function<CommandOutcome(UnitConnection&)>;

// Outputs start filled with 0xEE, so an untouched destination is visible.
template <std::size_t N>
CommandRun Into(std::int32_t (*command)(UnitConnection&, std::span<std::uint8_t, N>)) {
    return [command](UnitConnection& unit) {
        std::array<std::uint8_t, N> destination;
        destination.fill(0xEE);
        const std::int32_t result = command(unit, destination);
        return CommandOutcome{result, {destination.begin(), destination.end()}};
    };
}

const std::array<std::uint8_t, 56> blockSource = [] {
    std::array<std::uint8_t, 56> bytes{};
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0x10});
    return bytes;
}();

// WriteBlock's output is the low byte of wordsQueued (0xAA untouched).
CommandRun Block(std::uint32_t words) {
    return [words](UnitConnection& unit) {
        std::uint32_t queued = 0xAA;
        const std::int32_t result = WriteBlock(unit, blockSource.data(), words, queued);
        return CommandOutcome{result, {static_cast<std::uint8_t>(queued)}};
    };
}

CommandRun Flag(std::int32_t (*command)(UnitConnection&, bool), bool flag) {
    return [command, flag](UnitConnection& unit) {
        return CommandOutcome{command(unit, flag), {}};
    };
}

// SetWriteAddress's output is the address it gave back, little-endian (EE EE EE EE untouched).
CommandRun Address(bool wanted) {
    return [wanted](UnitConnection& unit) {
        std::uint32_t address = 0xEEEEEEEE;
        const std::int32_t result = SetWriteAddress(unit, wanted ? &address : nullptr);
        Bytes bytes(wanted ? 4 : 0);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(address >> (8 * i));
        }
        return CommandOutcome{result, bytes};
    };
}

const CommandRun identify = Into<16>(Identify);
const CommandRun readMemory = Into<12>(ReadMemory);
const CommandRun readInfo = Into<32>(ReadControllerInfo);
const CommandRun readType = Into<40>(ReadControllerType);
const CommandRun erase = [](UnitConnection& unit) {
    return CommandOutcome{EraseFirmware(unit), {}};
};

struct NamedCommand {
    const char* name;
    std::uint8_t code;
    CommandRun run;
};

const std::vector<NamedCommand> allCommands = {
    {"Identify", 0x08, identify},
    {"ReadMemory", 0x0A, readMemory},
    {"SetSystemLock", 0x0B, Flag(SetSystemLock, true)},
    {"WriteBlock", 0x1B, Block(12)},
    {"ReadControllerInfo", 0x1D, readInfo},
    {"EraseFirmware", 0x1E, erase},
    {"SetWriteAddress", 0x1F, Address(true)},
    {"SetWriteProtection", 0x20, Flag(SetWriteProtection, false)},
    {"ReadControllerType", 0x22, readType},
};

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

Bytes Request60(std::initializer_list<std::uint8_t> named) {
    Bytes bytes(60, 0);
    std::copy(named.begin(), named.end(), bytes.begin());
    return bytes;
}

TEST_F(CommandsTest, EachCommandWritesItsRequestBytesAndZeroElsewhere) {
    Bytes fullBlock = Request60({0x01, 0x1B, 0x38, 0x00});
    std::copy(blockSource.begin(), blockSource.end(), fullBlock.begin() + 4);
    Bytes cleanReply(60, 0);
    cleanReply[0] = 0x02;
    const struct {
        const char* name;
        CommandRun run;
        Bytes expected;
    } cases[] = {
        // clang-format off
        {"Identify", identify, Request60({0x01, 0x08, 0x00})},
        {"ReadMemory", readMemory, Request60({0x01, 0x0A, 0x0C, 0x00, 0x00, 0xFC, 0x01, 0x08})},
        {"SetSystemLock on", Flag(SetSystemLock, true), Request60({0x01, 0x0B, 0x01, 0x01})},
        {"SetSystemLock off", Flag(SetSystemLock, false), Request60({0x01, 0x0B, 0x01, 0x00})},
        {"WriteBlock 14 words", Block(14), fullBlock},
        {"WriteBlock 1 word", Block(1), Request60({0x01, 0x1B, 0x04, 0x00, 0x10, 0x11, 0x12, 0x13})},
        {"WriteBlock 0 words", Block(0), Request60({0x01, 0x1B, 0x00})},
        {"ReadControllerInfo", readInfo, Request60({0x01, 0x1D, 0x08, 0x00, 0x20, 0x00, 0x00, 0x00, 0xE0, 0xFF, 0xFF, 0xFF})},
        {"EraseFirmware", erase, Request60({0x01, 0x1E, 0x04, 0x00, 0x47, 0x9E, 0x2D, 0x6B})},
        {"SetWriteAddress", Address(true), Request60({0x01, 0x1F, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x47, 0x9E, 0x2D, 0x6B})},
        {"SetWriteProtection off", Flag(SetWriteProtection, false), Request60({0x01, 0x20, 0x01, 0x00})},
        {"SetWriteProtection on", Flag(SetWriteProtection, true), Request60({0x01, 0x20, 0x01, 0x01})},
        {"ReadControllerType", readType, Request60({0x01, 0x22})},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t before = bench.RequestCount();
        c.run(bench.record);
        ASSERT_EQ(bench.RequestCount(), before + 1);
        EXPECT_EQ(bench.unit->log[before].length, 60u);
        EXPECT_EQ(bench.Request(before), c.expected);
        // The read gets a zeroed buffer with the reply's report ID set.
        EXPECT_EQ(bench.replyBeforeRead, cleanReply);
    }
}

// A host that loses every reply arriving while no read waits (Wine's HID class driver at its
// worst): each command still gets its answer, since its read is posted before its request.
TEST_F(CommandsTest, EveryCommandPostsItsReadBeforeItsRequest) {
    bench.hid.repliesNeedPostedRead = true;
    // In the order of an update, which the unit needs for the erase and the block.
    const NamedCommand inOrder[] = {
        {"Identify", 0x08, identify},
        {"ReadMemory", 0x0A, readMemory},
        {"ReadControllerInfo", 0x1D, readInfo},
        {"ReadControllerType", 0x22, readType},
        {"SetSystemLock", 0x0B, Flag(SetSystemLock, true)},
        {"SetWriteProtection", 0x20, Flag(SetWriteProtection, false)},
        {"EraseFirmware", 0x1E, erase},
        {"SetWriteAddress", 0x1F, Address(true)},
        {"WriteBlock", 0x1B, Block(12)},
    };
    for (const NamedCommand& command : inOrder) {
        SCOPED_TRACE(command.name);
        EXPECT_EQ(command.run(bench.record).result, ResultSuccess);
    }
    EXPECT_EQ(bench.hid.repliesLost, 0u);
}

// Reply bytes as the unit might send them: the leading bytes given, distinct data behind them.
Bytes Reply(std::initializer_list<std::uint8_t> leading) {
    Bytes bytes(60, 0);
    std::copy(leading.begin(), leading.end(), bytes.begin());
    for (std::size_t i = leading.size(); i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(0x80 + i);
    }
    return bytes;
}

Bytes Slice(const Bytes& reply, std::ptrdiff_t from, std::ptrdiff_t count) {
    return {reply.begin() + from, reply.begin() + from + count};
}

TEST_F(CommandsTest, RepliesAreJudgedByMarkerEchoAndCodeWidth) {
    const Bytes data = Reply({0x02, 0x00, 0x00, 0x00});
    const Bytes markedData = Reply({0x02, 0xFF, 0x00, 0x00});
    const std::int32_t mismatch = ResultEchoMismatch;
    const std::int32_t read = ResultReadFailed;
    const CommandRun lockOn = Flag(SetSystemLock, true);
    const CommandRun protectOff = Flag(SetWriteProtection, false);
    const struct {
        const char* name;
        CommandRun run;
        Bytes reply;
        std::int32_t expected;
        Bytes output;
    } cases[] = {
        // clang-format off
        {"Identify ignores the marker", identify, markedData, 0, Slice(markedData, 0, 16)},
        {"ReadMemory copies even a marked reply", readMemory, markedData, 0, Slice(markedData, 4, 12)},
        {"SetSystemLock echo 1", lockOn, Reply({0x02, 0x0B, 0x00, 0x01}), 0, {}},
        {"SetSystemLock echo 0 for 1", lockOn, Reply({0x02, 0x0B, 0x00, 0x00}), mismatch, {}},
        {"SetSystemLock echo 2 for 1", lockOn, Reply({0x02, 0x0B, 0x00, 0x02}), mismatch, {}},
        {"SetSystemLock echo 0 for 0", Flag(SetSystemLock, false), Reply({0x02, 0x0B, 0x00, 0x00}), 0, {}},
        {"SetWriteProtection echo", protectOff, Reply({0x02, 0x20, 0x00, 0x00}), 0, {}},
        {"SetWriteProtection wrong echo", protectOff, Reply({0x02, 0x20, 0x00, 0x01}), mismatch, {}},
        {"SetWriteProtection on, echo 2", Flag(SetWriteProtection, true), Reply({0x02, 0x20, 0x00, 0x02}), mismatch, {}},
        {"WriteBlock accepted", Block(12), data, 0, {12}},
        {"WriteBlock marker 0xFE is no error", Block(12), Reply({0x02, 0xFE}), 0, {12}},
        {"EraseFirmware accepted", erase, data, 0, {}},
        {"SetWriteAddress gives bytes 4-7", Address(true), Reply({0x02, 0x1F, 0, 0, 0x44, 0x33, 0x22, 0x11}), 0, {0x44, 0x33, 0x22, 0x11}},
        {"SetWriteAddress without address", Address(false), data, 0, {}},
        {"ReadControllerInfo copies 4-35", readInfo, data, 0, Slice(data, 4, 32)},
        {"ReadControllerType copies 4-43", readType, data, 0, Slice(data, 4, 40)},
        {"SetWriteProtection error reply: the marker before the echo", protectOff, Reply({0x02, 0xFF, 0x00, 0x01, 0x34, 0x12, 0x00, 0x00}), 0x1234, {}},
        // A reply shorter than the bytes looked at is not judged on the zero fill behind it.
        {"SetWriteProtection echo in 3 bytes", protectOff, Bytes{0x02, 0x20, 0x00}, read, {}},
        {"WriteBlock on the report ID alone", Block(12), Bytes{0x02}, read, {12}},
        {"ReadControllerType 1 byte short", readType, Slice(data, 0, 43), read, Bytes(40, 0xEE)},
        {"ReadControllerInfo 1 byte short", readInfo, Slice(data, 0, 35), read, Bytes(32, 0xEE)},
        {"Identify 1 byte short", identify, Slice(data, 0, 15), read, Bytes(16, 0xEE)},
        {"ReadMemory 1 byte short", readMemory, Slice(data, 0, 15), read, Bytes(12, 0xEE)},
        {"SetWriteProtection echo in exactly 8 bytes", protectOff, Slice(Reply({0x02, 0x20, 0x00, 0x00}), 0, 8), 0, {}},
        {"ReadControllerInfo needs bytes 0-35 only", readInfo, Slice(data, 0, 36), 0, Slice(data, 4, 32)},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bench.patchReply = [&](std::uint8_t* report, std::uint32_t length) {
            ASSERT_GE(length, c.reply.size());
            std::memset(report, 0, length);
            std::memcpy(report, c.reply.data(), c.reply.size());
        };
        bench.delivered = static_cast<std::uint32_t>(c.reply.size());
        const CommandOutcome outcome = c.run(bench.record);
        EXPECT_EQ(outcome.result, c.expected);
        EXPECT_EQ(outcome.output, c.output);
        if (c.expected == read) {
            EXPECT_EQ(bench.record.exchangeSystemError, SystemErrorInvalidData);
        }
    }
}

// Marker 0xFF fails each of the seven commands that look at it, whatever its code and its echo
// say; a code that reads 0 in its width becomes ResultRefusedWithoutCode. Outputs stay untouched.
TEST_F(CommandsTest, AnErrorReplyIsAlwaysARefusal) {
    const struct {
        const char* name;
        CommandRun run;
        std::uint8_t echo; // the flag sent, echoed correctly in every reply
        bool code16;
        Bytes untouched;
    } commands[] = {
        {"SetSystemLock", Flag(SetSystemLock, true), 1, false, {}},
        {"SetWriteProtection", Flag(SetWriteProtection, false), 0, false, {}},
        {"WriteBlock", Block(12), 0, false, {12}},
        {"EraseFirmware", erase, 0, false, {}},
        {"SetWriteAddress", Address(true), 0, false, Bytes(4, 0xEE)},
        {"ReadControllerInfo", readInfo, 0, true, Bytes(32, 0xEE)},
        {"ReadControllerType", readType, 0, true, Bytes(40, 0xEE)},
    };
    const std::int32_t withoutCode = ResultRefusedWithoutCode;
    const struct {
        const char* name;
        std::uint32_t code; // reply bytes 4-7
        std::int32_t expected32;
        std::int32_t expected16;
    } codes[] = {
        {"code 0x80081234", 0x80081234, static_cast<std::int32_t>(0x80081234u), 0x1234},
        {"code 0", 0, withoutCode, withoutCode},
        {"code 0x00010000", 0x00010000, 0x00010000, withoutCode},
        {"code 0x8001", 0x8001, 0x8001, 0x8001},
        {"code 0xFFFFFFFF", 0xFFFFFFFF, -1, 0xFFFF},
    };
    for (const auto& command : commands) {
        for (const auto& code : codes) {
            SCOPED_TRACE(std::string(command.name) + ", " + code.name);
            bench.patchReply = [&](std::uint8_t* report, std::uint32_t) {
                report[1] = 0xFF;
                report[3] = command.echo;
                for (int i = 0; i < 4; ++i) {
                    report[4 + i] = static_cast<std::uint8_t>(code.code >> (8 * i));
                }
            };
            const CommandOutcome outcome = command.run(bench.record);
            EXPECT_EQ(outcome.result, command.code16 ? code.expected16 : code.expected32);
            EXPECT_EQ(outcome.output, command.untouched);
        }
        // The same reply accepted: the marker alone decides.
        SCOPED_TRACE(std::string(command.name) + " accepted");
        bench.patchReply = [&](std::uint8_t* report, std::uint32_t) {
            report[1] = 0x00;
            report[3] = command.echo;
        };
        EXPECT_EQ(command.run(bench.record).result, ResultSuccess);
    }
}

TEST_F(CommandsTest, FailedWriteOrReadGivesMinus2OrMinus3AndNoFurtherStep) {
    const struct {
        const char* name;
        SimFaultKind kind;
        bool postFails; // the read cannot be posted: nothing may be written
    } failures[] = {
        {" write", SimFaultKind::WriteFails, false},
        {" read", SimFaultKind::ReadFails, false},
        {" read not posted", SimFaultKind::None, true},
    };
    for (const NamedCommand& command : allCommands) {
        for (const auto& failure : failures) {
            const bool writeFails = failure.kind == SimFaultKind::WriteFails;
            SCOPED_TRACE(std::string(command.name) + failure.name);
            bench.unit->config.faults[command.code] = {failure.kind, 0, 0};
            bench.hid.postReadFails = failure.postFails;
            const std::size_t pausesBefore = bench.clock.pauses.size();
            const std::uint32_t requestsBefore = bench.RequestCount();
            bench.lastReadAt = 0xFFFF;
            const CommandOutcome outcome = command.run(bench.record);
            bench.unit->config.faults[command.code] = {};
            bench.hid.postReadFails = false;
            EXPECT_EQ(outcome.result, writeFails ? ResultWriteFailed : ResultReadFailed);
            // Destinations keep what they held.
            EXPECT_EQ(outcome.output,
                      Bytes(outcome.output.size(), command.code == 0x1B ? 12 : 0xEE));
            if (writeFails || failure.postFails) {
                EXPECT_EQ(bench.lastReadAt, 0xFFFFu) << "read after a failed write";
                EXPECT_EQ(bench.clock.pauses.size(), pausesBefore) << "pause after a failed write";
            }
            if (failure.postFails) {
                EXPECT_EQ(bench.RequestCount(), requestsBefore) << "sent without a read posted";
            }
            // The failed call's system error is kept for the report, and cleared by the next
            // command, which fails no call (the host's own value stays).
            EXPECT_EQ(bench.record.exchangeSystemError, SimSystemErrorGenFailure);
            command.run(bench.record);
            EXPECT_EQ(bench.record.exchangeSystemError, 0u);
            EXPECT_EQ(bench.hid.lastError, SimSystemErrorGenFailure);
        }
    }
}

TEST(CommandsClosedTest, EveryCommandOnAClosedRecordIsRefusedWithoutTouchingTheHost) {
    DeviceBench bench;
    bench.PlugUnit(ReadyUnitConfig());
    for (const NamedCommand& command : allCommands) {
        SCOPED_TRACE(command.name);
        EXPECT_EQ(command.run(bench.record).result, ResultRefused);
    }
    EXPECT_EQ(Block(15)(bench.record).output, Bytes{0xAA});
    EXPECT_TRUE(bench.hid.calls.empty());
    EXPECT_TRUE(bench.clock.pauses.empty());
}

TEST_F(CommandsTest, WriteBlockRefusesMoreThan14WordsOrNoSourceBeforeAnythingIsSent) {
    for (const std::uint32_t words : {15u, 16u, 0xFFFFFFFFu}) {
        const CommandOutcome outcome = Block(words)(bench.record);
        EXPECT_EQ(outcome.result, ResultRefused);
        EXPECT_EQ(outcome.output, Bytes{0xAA});
    }
    std::uint32_t queued = 0xAA;
    EXPECT_EQ(WriteBlock(bench.record, nullptr, 1, queued), ResultRefused);
    EXPECT_EQ(queued, 0xAAu);
    EXPECT_EQ(Sent(), 0u);
}

TEST_F(CommandsTest, WriteBlockQueuesTheWordCountEvenWhenTheWriteFails) {
    bench.unit->config.faults[CommandWriteBlock] = {SimFaultKind::WriteFails, 0, 0};
    const CommandOutcome outcome = Block(9)(bench.record);
    EXPECT_EQ(outcome.result, ResultWriteFailed);
    EXPECT_EQ(outcome.output, Bytes{9});
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

TEST_F(CommandsTest, OnlyEraseFirmwarePausesAndReadsOnlyAfterThePause) {
    for (const NamedCommand& command : allCommands) {
        if (command.code != CommandEraseFirmware) {
            command.run(bench.record);
        }
    }
    EXPECT_TRUE(bench.clock.pauses.empty());

    ASSERT_EQ(SetWriteProtection(bench.record, false), ResultSuccess);
    bench.clock.now = 5000;
    EXPECT_EQ(EraseFirmware(bench.record), ResultSuccess);
    EXPECT_EQ(bench.clock.pauses, std::vector<std::uint32_t>{1000});
    EXPECT_EQ(bench.lastWriteAt, 5000u);
    EXPECT_EQ(bench.lastReadAt, 6000u);
}

} // namespace
