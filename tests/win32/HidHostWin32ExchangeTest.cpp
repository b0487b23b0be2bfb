// The bounded exchanges of the Windows HID host over a message pipe opened for overlapped I/O:
// the far end plays the unit and decides when (or whether) a report moves, which Wine's own HID
// devices cannot do.
#include "win32/HidHostWin32.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using Report = std::array<std::uint8_t, 8>;

struct PipeUnit {
    HANDLE unitEnd = INVALID_HANDLE_VALUE; // synchronous, used by the test as the unit
    HANDLE hostEnd = INVALID_HANDLE_VALUE; // overlapped, as the host opens the unit

    explicit PipeUnit(DWORD bufferBytes) {
        static int serial = 0;
        const std::wstring name = L"\\\\.\\pipe\\halvern-exchange-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++serial);
        unitEnd = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                   bufferBytes, bufferBytes, 0, nullptr);
        hostEnd = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    }
    PipeUnit(const PipeUnit&) = delete;
    PipeUnit& operator=(const PipeUnit&) = delete;
    ~PipeUnit() {
        CloseUnitEnd();
        CloseHandle(hostEnd);
    }
    void CloseUnitEnd() {
        if (unitEnd != INVALID_HANDLE_VALUE) {
            CloseHandle(unitEnd);
            unitEnd = INVALID_HANDLE_VALUE;
        }
    }
    HostHandle Host() const { return reinterpret_cast<HostHandle>(hostEnd); }
    bool Send(const Report& report) const {
        DWORD written = 0;
        return WriteFile(unitEnd, report.data(), report.size(), &written, nullptr) != FALSE;
    }
    Report Receive() const {
        Report report{};
        DWORD read = 0;
        ReadFile(unitEnd, report.data(), report.size(), &read, nullptr);
        return report;
    }
};

struct ExchangeTest : testing::Test {
    Win32HidHostState state;
    HidHost host = MakeWin32HidHost(state);
    std::uint32_t delivered = 0; // the byte count of the last read
    const Report answer{0x02, 0x00, 0x00, 0x01, 0x47, 0x9E, 0x2D, 0x6B};
    const Report request{0x01, 0x1E, 0x04, 0x00, 0x47, 0x9E, 0x2D, 0x6B};
};

TEST_F(ExchangeTest, ReplyReadWhetherItIsWaitingOrArrivesWithinTheBound) {
    for (DWORD delayMilliseconds : {0u, 60u}) {
        SCOPED_TRACE(delayMilliseconds);
        PipeUnit unit(64);
        ASSERT_NE(unit.hostEnd, INVALID_HANDLE_VALUE);
        state.exchangeTimeoutMilliseconds = 5000;
        ASSERT_TRUE(host.WriteReport(host.context, unit.Host(), request.data(), request.size()));
        EXPECT_EQ(unit.Receive(), request);
        std::thread replier([&] {
            Sleep(delayMilliseconds);
            unit.Send(answer);
        });
        Report reply{};
        EXPECT_TRUE(
            host.ReadReport(host.context, unit.Host(), reply.data(), reply.size(), &delivered));
        replier.join();
        EXPECT_EQ(reply, answer);
        EXPECT_EQ(delivered, answer.size());
    }
}

// The read posted ahead of the write takes the reply however early or late it comes: at once
// (the unit answers while the write is still being completed), before the read is collected (as
// during the erase's wait), or later within the bound.
TEST_F(ExchangeTest, PostedReadTakesTheReplyWheneverItComes) {
    enum class When { WhileWriting, BeforeCollecting, LateWithinBound };
    for (When when : {When::WhileWriting, When::BeforeCollecting, When::LateWithinBound}) {
        SCOPED_TRACE(static_cast<int>(when));
        PipeUnit unit(64);
        ASSERT_NE(unit.hostEnd, INVALID_HANDLE_VALUE);
        state.exchangeTimeoutMilliseconds = 5000;
        Report reply{};
        host.PostReadReport(host.context, unit.Host(), reply.data(), reply.size());
        HANDLE sent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread replier([&] {
            const Report received = unit.Receive();
            if (when == When::LateWithinBound) {
                Sleep(60);
            }
            unit.Send(received == request ? answer : Report{});
            SetEvent(sent);
        });
        ASSERT_TRUE(host.WriteReport(host.context, unit.Host(), request.data(), request.size()));
        if (when == When::BeforeCollecting) {
            WaitForSingleObject(sent, 5000);
            // Taken into the host's own transfer; the caller's buffer gets it when collected.
            EXPECT_EQ(WaitForSingleObject(state.readTransfer->event.handle, 5000), WAIT_OBJECT_0)
                << "the posted read was not waiting";
            EXPECT_EQ(reply, Report{});
        }
        EXPECT_TRUE(
            host.ReadReport(host.context, unit.Host(), reply.data(), reply.size(), &delivered));
        replier.join();
        CloseHandle(sent);
        EXPECT_EQ(reply, answer);
    }
}

// A write given up drops the read posted for it: a reply that comes afterwards goes to the next
// read, never into the buffer of the abandoned exchange.
TEST_F(ExchangeTest, FailedWriteDropsItsPostedRead) {
    PipeUnit unit(8);
    state.exchangeTimeoutMilliseconds = 100;
    Report abandoned{};
    bool stalled = false;
    for (int i = 0; i < 2048 && !stalled; ++i) {
        host.PostReadReport(host.context, unit.Host(), abandoned.data(), abandoned.size());
        stalled = !host.WriteReport(host.context, unit.Host(), request.data(), request.size());
    }
    ASSERT_TRUE(stalled) << "the pipe never filled up";
    EXPECT_EQ(host.GetLastSystemError(host.context), SystemErrorTimeout);
    ASSERT_TRUE(unit.Send(answer));
    Report next{};
    state.exchangeTimeoutMilliseconds = 5000;
    EXPECT_TRUE(host.ReadReport(host.context, unit.Host(), next.data(), next.size(), &delivered));
    EXPECT_EQ(next, answer);
    EXPECT_EQ(abandoned, Report{});
}

// A read given up, past the bound or when a look between two slices says stop (the unit was
// pulled, the user closed the program): a reply that comes later goes to the next read.
TEST_F(ExchangeTest, ReplyAfterTheBoundGoesToTheNextReadNotTheAbandonedBuffer) {
    const struct {
        std::uint32_t bound;
        bool (*look)();
        std::uint32_t error;
    } rows[] = {{100, nullptr, SystemErrorTimeout},
                {60000, [] { return false; }, std::uint32_t{ERROR_OPERATION_ABORTED}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        PipeUnit unit(64);
        state.exchangeTimeoutMilliseconds = row.bound;
        state.waitSliceMilliseconds = 10;
        state.whileWaiting = row.look;
        Report abandoned{};
        EXPECT_FALSE(host.ReadReport(host.context, unit.Host(), abandoned.data(), abandoned.size(),
                                     &delivered));
        EXPECT_EQ(host.GetLastSystemError(host.context), row.error);
        state.whileWaiting = nullptr;
        ASSERT_TRUE(unit.Send(answer));
        Report next{};
        EXPECT_TRUE(
            host.ReadReport(host.context, unit.Host(), next.data(), next.size(), &delivered));
        EXPECT_EQ(next, answer);
        EXPECT_EQ(abandoned, Report{});
    }
}

// A driver that never lets go of a cancelled read: the read is given up after the two bounds
// and its transfer kept, so the reply that comes later lands there, never in the caller's buffer;
// closing the unit with a read posted returns after the bounds as well.
TEST_F(ExchangeTest, ReadTheDriverKeepsAfterItsCancelIsLeftWithItsOwnTransfer) {
    state.cancelIo = [](HANDLE, LPOVERLAPPED) -> BOOL { return TRUE; };
    state.exchangeTimeoutMilliseconds = 100;
    state.cancelTimeoutMilliseconds = 100;
    PipeUnit unit(64);
    const DWORD start = GetTickCount();
    Report abandoned{};
    EXPECT_FALSE(
        host.ReadReport(host.context, unit.Host(), abandoned.data(), abandoned.size(), &delivered));
    EXPECT_EQ(host.GetLastSystemError(host.context), SystemErrorTimeout);
    ASSERT_TRUE(unit.Send(answer));
    Report posted{};
    EXPECT_TRUE(host.PostReadReport(host.context, unit.Host(), posted.data(), posted.size()));
    host.CloseInterface(host.context, unit.Host());
    unit.hostEnd = INVALID_HANDLE_VALUE;
    std::printf("read given up and unit closed after %lu ms (bounds 100 + 100 ms each)\n",
                GetTickCount() - start);
    Sleep(50);
    EXPECT_EQ(abandoned, Report{});
    EXPECT_EQ(posted, Report{});
}

TEST_F(ExchangeTest, StalledWriteIsGivenUpAndTheNextOneGoesThrough) {
    PipeUnit unit(8);
    state.exchangeTimeoutMilliseconds = 100;
    // Nobody reads on the unit's side: the pipe fills up and a write has to wait.
    bool stalled = false;
    for (int i = 0; i < 2048 && !stalled; ++i) {
        stalled = !host.WriteReport(host.context, unit.Host(), request.data(), request.size());
    }
    ASSERT_TRUE(stalled) << "the pipe never filled up";
    EXPECT_EQ(host.GetLastSystemError(host.context), SystemErrorTimeout);
    // The unit catches up, down to the one report that comes after the stall.
    std::thread drainer([&] {
        for (int i = 0; i < 4096 && unit.Receive() != answer; ++i) {
        }
    });
    state.exchangeTimeoutMilliseconds = 5000;
    EXPECT_TRUE(host.WriteReport(host.context, unit.Host(), answer.data(), answer.size()));
    drainer.join();
}

TEST_F(ExchangeTest, UnitGoneFailsAtOnceWithTheSystemsReason) {
    PipeUnit unit(64);
    state.exchangeTimeoutMilliseconds = 5000;
    unit.CloseUnitEnd();
    Report reply{};
    EXPECT_FALSE(
        host.ReadReport(host.context, unit.Host(), reply.data(), reply.size(), &delivered));
    const std::uint32_t readError = host.GetLastSystemError(host.context);
    EXPECT_NE(readError, 0u);
    EXPECT_NE(readError, SystemErrorTimeout);
    EXPECT_FALSE(host.WriteReport(host.context, unit.Host(), request.data(), request.size()));
    EXPECT_NE(host.GetLastSystemError(host.context), SystemErrorTimeout);
}

} // namespace
