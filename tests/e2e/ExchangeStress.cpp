// Paced exchanges with the plugged unit through the program's own device link and Windows HID
// host, as an update paces them: Identify, a 20 ms pause, again, with a longer pause now and
// then. Counts the replies that never reached a read (the exchange timed out).
//
//   HalvernExchangeStress posted|after <exchanges> [bound ms]
//
// "posted" is the program as it ships: each read is posted before its request is written.
// "after" reads only once the write has completed, as a minimal synchronous client does; a reply
// that arrives in between can be lost in Wine's HID class driver.
// Prints the lines "exchanges=<done>", "lost=<timed out>" and "failed=<other failures>"; exit code
// 0 when no reply was lost and nothing failed, 1 otherwise, 2 for wrong arguments.
#include "device/Commands.h"
#include "device/Discovery.h"
#include "device/Results.h"
#include "win32/ClockWin32.h"
#include "win32/HidHostWin32.h"

#include <array>
#include <cstdio>
#include <cwchar>
#include <memory>

namespace {

constexpr std::uint32_t PauseMilliseconds = 20;
// Every LongPauseEvery-th exchange is followed by a longer pause, of a length that varies.
constexpr std::uint32_t LongPauseEvery = 97;

int Usage() {
    std::fprintf(stderr, "usage: HalvernExchangeStress posted|after <exchanges> [bound ms]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return Usage();
    }
    const bool posted = std::wcscmp(argv[1], L"posted") == 0;
    if (!posted && std::wcscmp(argv[1], L"after") != 0) {
        return Usage();
    }
    const long exchanges = std::wcstol(argv[2], nullptr, 10);
    const long bound = argc > 3 ? std::wcstol(argv[3], nullptr, 10) : 1000;
    if (exchanges <= 0 || bound <= 0) {
        return Usage();
    }

    auto hidState = std::make_unique<Win32HidHostState>();
    hidState->exchangeTimeoutMilliseconds = static_cast<std::uint32_t>(bound);
    HidHost host = MakeWin32HidHost(*hidState);
    if (!posted) {
        host.PostReadReport = nullptr;
    }
    Win32ClockState clockState;
    Clock clock = MakeWin32Clock(clockState);
    UnitConnection unit;
    InitUnitConnection(unit, host, clock);
    if (const std::int32_t found = DiscoverUnit(unit); found != ResultSuccess) {
        std::fprintf(stderr, "HalvernExchangeStress: no unit (%d)\n", found);
        CloseUnit(unit);
        return 1;
    }

    clock.BeginPreciseTiming(clock.context);
    long done = 0, lost = 0, failed = 0;
    for (long i = 1; i <= exchanges; ++i) {
        std::array<std::uint8_t, 16> reply{};
        const std::int32_t result = Identify(unit, reply);
        ++done;
        if (result == ResultReadFailed &&
            host.GetLastSystemError(host.context) == SystemErrorTimeout) {
            ++lost;
        } else if (result != ResultSuccess) {
            ++failed;
        }
        std::uint32_t pause = PauseMilliseconds;
        if (i % LongPauseEvery == 0) {
            pause += 50 + static_cast<std::uint32_t>(i % 7) * 30;
        }
        clock.Pause(clock.context, pause);
    }
    clock.EndPreciseTiming(clock.context);
    CloseUnit(unit);
    std::printf("exchanges=%ld\nlost=%ld\nfailed=%ld\n", done, lost, failed);
    return lost == 0 && failed == 0 ? 0 : 1;
}
