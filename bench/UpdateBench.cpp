// Figures of a full update of the carried image against the simulated unit, without reply delay:
// (a) in virtual time, the program's CPU time per update and per block, the heap allocations
// while the blocks are written and the repaints of the progress bar; (b) with real pauses, the
// wall time against the pause floor.
#include "device/Discovery.h"
#include "sim/SimHidHost.h"
#include "sim/SimulatedUnit.h"
#include "sim/VirtualClock.h"
#include "tests/support/MessageCatalogue.h"
#include "ui/AppState.h"
#include "update/FirmwareImage.h"
#include "update/UpdateProcedure.h"
#ifdef _WIN32
#include "win32/ClockWin32.h"
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <thread>

// Every heap allocation of the process is counted. (GCC takes the free() of a replaced operator
// delete for a mismatch with the operator new it pairs with.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
std::uint64_t allocationCount = 0;
} // namespace

void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace {

// The unit's side of the exchanges straight into the model, without the simulated host's record
// of calls, so that the figures are the program's own.
struct BenchHost {
    SimUnit* unit = nullptr;
    HidHost host{};
};

bool WriteDirect(void* context, HostHandle, const std::uint8_t* report, std::uint32_t length) {
    return SimWriteReport(*static_cast<BenchHost*>(context)->unit, report, length) ==
           SimIoResult::Done;
}
bool ReadDirect(void* context, HostHandle, std::uint8_t* report, std::uint32_t length,
                std::uint32_t* delivered) {
    *delivered = length;
    return SimReadReport(*static_cast<BenchHost*>(context)->unit, report, length) ==
           SimIoResult::Done;
}
std::uint32_t NoSystemError(void*) {
    return 0;
}
void CloseNothing(void*, HostHandle) {}

// A dialog without windows that notes when the progress window comes and goes.
struct BenchDialog {
    std::uint64_t allocationsAtCreate = 0;
    std::uint64_t allocationsAtDestroy = 0;
    std::uint32_t positions = 0; // bar positions set, each a repaint of the progress window
    std::uint32_t boxes = 0;
    DialogHost host{};
};

BenchDialog& Dialog(void* context) {
    return *static_cast<BenchDialog*>(context);
}

void InitBenchDialog(BenchDialog& dialog) {
    dialog.host.context = &dialog;
    dialog.host.LoadMessageText = [](void*, std::uint16_t id, char16_t* buffer,
                                     std::uint32_t size) { LoadCatalogueText(id, buffer, size); };
    dialog.host.SetControlText = [](void*, std::int32_t, const char16_t*) {};
    dialog.host.GetControlTextLength = [](void*, std::int32_t) -> std::uint32_t { return 0; };
    dialog.host.GetControlText = [](void*, std::int32_t, char16_t* buffer, std::uint32_t size) {
        if (size != 0) {
            buffer[0] = u'\0';
        }
    };
    dialog.host.EnableControl = [](void*, std::int32_t, bool) {};
    dialog.host.ShowMessageBox = [](void* context, const char16_t*, const char16_t*,
                                    std::uint32_t) -> std::int32_t {
        ++Dialog(context).boxes;
        return AnswerYes;
    };
    dialog.host.GetDialogWindow = [](void*) -> HostWindow { return 1; };
    dialog.host.GetDialogRect = [](void*) { return WindowRect{200, 100, 662, 496}; };
    dialog.host.GetDialogDpi = [](void*) -> std::int32_t { return 96; };
    dialog.host.CreateProgressWindow = [](void* context, const char16_t*, std::int32_t,
                                          std::int32_t, std::int32_t, std::int32_t) -> HostWindow {
        Dialog(context).allocationsAtCreate = allocationCount;
        return 100;
    };
    dialog.host.SetProgressPosition = [](void* context, HostWindow, std::uint32_t) {
        ++Dialog(context).positions;
    };
    dialog.host.DestroyWindow = [](void* context, HostWindow) {
        Dialog(context).allocationsAtDestroy = allocationCount;
    };
    dialog.host.RaiseWindow = [](void*, HostWindow) {};
    dialog.host.ShowWindowNormal = [](void*, HostWindow) {};
    dialog.host.GetForegroundWindow = [](void*) -> HostWindow { return 1; };
}

// Virtual pauses only add up; real ones go to the platform's clock and are timed.
struct PauseTotal {
    std::uint64_t milliseconds = 0;
    std::uint32_t count = 0;
    const Clock* platform = nullptr; // real pauses only
    double sleptSeconds = 0;         // how long the real pauses took
};

PauseTotal& Total(void* context) {
    return *static_cast<PauseTotal*>(context);
}

void PauseVirtually(void* context, std::uint32_t milliseconds) {
    Total(context).milliseconds += milliseconds;
    ++Total(context).count;
}

void PauseReally(void* context, std::uint32_t milliseconds) {
    PauseVirtually(context, milliseconds);
    const Clock& platform = *Total(context).platform;
    const auto start = std::chrono::steady_clock::now();
    platform.Pause(platform.context, milliseconds);
    Total(context).sleptSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BeginPrecision(void* context) {
    if (const Clock* platform = Total(context).platform) {
        platform->BeginPreciseTiming(platform->context);
    }
}

void EndPrecision(void* context) {
    if (const Clock* platform = Total(context).platform) {
        platform->EndPreciseTiming(platform->context);
    }
}

// Under Windows the program's own clock: Sleep, with the 1 ms timer resolution during the run.
#ifdef _WIN32
Win32ClockState win32ClockState;
const Clock realClock = MakeWin32Clock(win32ClockState);
constexpr const char* RealClockName = "Sleep with timeBeginPeriod(1)";
#else
// The portable real clock.
void SleepFor(void*, std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
void NoPrecision(void*) {}

const Clock realClock{nullptr, SleepFor, NoPrecision, NoPrecision};
constexpr const char* RealClockName = "std::this_thread::sleep_for";
#endif

struct Bench {
    std::unique_ptr<SimUnit> unit = std::make_unique<SimUnit>();
    SimHidHostState hid;
    VirtualClock discoveryClock;
    BenchHost direct;
    BenchDialog dialog;
    PauseTotal pauses;
    Clock clock{};
    AppState app;
};

// The unit found and identified through the simulated host, then spoken to directly.
bool Connect(Bench& bench, const Clock* platform) {
    SimResetUnit(*bench.unit, SimUnitConfig{});
    InitVirtualClock(bench.discoveryClock);
    InitSimHidHost(bench.hid);
    bench.hid.clock = &bench.discoveryClock;
    bench.hid.interfaces.push_back(MakeUnitInterface(*bench.unit, u"\\\\?\\hid#vid_21b8&pid_0001"));
    InitBenchDialog(bench.dialog);
    bench.app.dialog = &bench.dialog.host;
    InitUnitConnection(bench.app.unit, bench.hid.host, bench.discoveryClock.clock);
    if (DiscoverUnit(bench.app.unit) != 0) {
        return false;
    }
    bench.direct.unit = bench.unit.get();
    bench.direct.host = bench.hid.host;
    bench.direct.host.context = &bench.direct;
    bench.direct.host.WriteReport = WriteDirect;
    bench.direct.host.ReadReport = ReadDirect;
    bench.direct.host.GetLastSystemError = NoSystemError;
    bench.direct.host.CloseInterface = CloseNothing;
    bench.pauses.platform = platform;
    bench.clock = Clock{&bench.pauses, platform != nullptr ? PauseReally : PauseVirtually,
                        BeginPrecision, EndPrecision};
    bench.app.unit.host = &bench.direct.host;
    bench.app.unit.clock = &bench.clock;
    return true;
}

// One update on a freshly reset unit; false when it did not complete.
bool RunOnce(Bench& bench, const FirmwareImage& image) {
    SimResetUnit(*bench.unit, SimUnitConfig{});
    SetControllerFirmwareVersion(bench.app.unit, 0x0407);
    bench.dialog.boxes = 0;
    bench.dialog.positions = 0;
    RunUpdate(bench.app);
    return bench.dialog.boxes == 0 && bench.unit->flashHighWater == image.size &&
           std::memcmp(bench.unit->flash, image.data, image.size) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool realTime = !(argc > 1 && std::strcmp(argv[1], "--virtual-only") == 0);
    const FirmwareImage image = LoadFirmwareImage();
    const std::uint32_t blocks = (image.size + BlockBytes - 1) / BlockBytes;
    std::printf("carried image: %u bytes, %u blocks\n", static_cast<unsigned>(image.size),
                static_cast<unsigned>(blocks));

    auto bench = std::make_unique<Bench>();
    if (!Connect(*bench, nullptr) || !RunOnce(*bench, image)) {
        std::printf("the update did not complete against the simulated unit\n");
        return 1;
    }
    const std::uint64_t pauseFloor = bench->pauses.milliseconds;
    const std::uint64_t loopAllocations =
        bench->dialog.allocationsAtDestroy - bench->dialog.allocationsAtCreate;

    constexpr int Runs = 50;
    const std::uint64_t allocationsBefore = allocationCount;
    const std::clock_t cpuStart = std::clock();
    const auto wallStart = std::chrono::steady_clock::now();
    for (int run = 0; run < Runs; ++run) {
        if (!RunOnce(*bench, image)) {
            std::printf("run %d did not complete\n", run);
            return 1;
        }
    }
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double perUpdateMs = cpuSeconds * 1000.0 / Runs;
    std::printf("(a) virtual time, %d updates: CPU %.3f ms per update, %.3f us per block "
                "(wall %.3f ms per update)\n",
                Runs, perUpdateMs, perUpdateMs * 1000.0 / blocks, wallSeconds * 1000.0 / Runs);
    std::printf("    heap allocations during the block loop: %llu (goal: none); during a whole "
                "update: %.1f\n",
                static_cast<unsigned long long>(loopAllocations),
                static_cast<double>(allocationCount - allocationsBefore) / Runs);
    std::printf("    pauses per update: %u, %llu ms in all\n",
                static_cast<unsigned>(bench->pauses.count / (Runs + 1)),
                static_cast<unsigned long long>(pauseFloor));
    std::printf("    bar repaints per update: %u for %u blocks (goal: at most 101)\n",
                static_cast<unsigned>(bench->dialog.positions), static_cast<unsigned>(blocks));
    if (!realTime) {
        return 0;
    }

    auto real = std::make_unique<Bench>();
    if (!Connect(*real, &realClock)) {
        std::printf("the simulated unit was not found\n");
        return 1;
    }
    const auto realStart = std::chrono::steady_clock::now();
    const bool completed = RunOnce(*real, image);
    const double realSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    std::printf(
        "(b) real pauses (%s): wall %.3f s, pause floor %.3f s, ratio %.4f (goal: <= 1.01)%s\n",
        RealClockName, realSeconds, static_cast<double>(pauseFloor) / 1000.0,
        realSeconds * 1000.0 / static_cast<double>(pauseFloor),
        completed ? "" : ", the update did not complete");
    const PauseTotal& slept = real->pauses;
    std::printf("    of which in pauses %.3f s (%.3f ms over the asked time per pause, %u pauses), "
                "outside pauses %.1f ms\n",
                slept.sleptSeconds,
                (slept.sleptSeconds * 1000.0 - static_cast<double>(slept.milliseconds)) /
                    slept.count,
                static_cast<unsigned>(slept.count), (realSeconds - slept.sleptSeconds) * 1000.0);
    return completed ? 0 : 1;
}
