// The model's C++ core behind the C functions the driver calls. Freestanding: no heap, no
// exceptions, no static constructors (the driver has no C runtime to run them).
#include "sim/wine/SimUnitGlue.h"

#include "sim/SimulatedUnit.h"
#include "sim/wine/SimControl.h"
#include "sim/wine/SimReportDescriptor.h"

#include <new>

// The HAL's performance counter (LARGE_INTEGERs in and out), the clock that the host's
// QueryPerformanceCounter reads.
extern "C" __declspec(dllimport) long long KeQueryPerformanceCounter(long long* frequency);

namespace {

alignas(SimUnit) unsigned char unitStorage[SIM_SLOT_COUNT][sizeof(SimUnit)];

SimUnit& Unit(int slot) {
    return *reinterpret_cast<SimUnit*>(unitStorage[slot]);
}

std::uint64_t NowMicroseconds() {
    long long frequency = 0;
    const long long counter = KeQueryPerformanceCounter(&frequency);
    if (counter < 0 || frequency <= 0) {
        return 0;
    }
    const auto ticks = static_cast<std::uint64_t>(counter);
    const auto perSecond = static_cast<std::uint64_t>(frequency);
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

SimUnitConfig CopyConfig(const void* config) {
    SimUnitConfig copy{};
    if (config != nullptr) {
        __builtin_memcpy(&copy, config, sizeof copy);
    }
    return copy;
}

} // namespace

extern "C" {

unsigned int SimGlueUnitSize(void) {
    return sizeof(SimUnit);
}
unsigned int SimGlueConfigSize(void) {
    return sizeof(SimUnitConfig);
}
const void* SimGlueUnitBytes(int slot) {
    return unitStorage[slot];
}

void SimGlueReset(int slot, const void* config) {
    SimUnit* unit = new (unitStorage[slot]) SimUnit;
    SimResetUnit(*unit, CopyConfig(config));
}

int SimGlueSameConfig(int slot, const void* config) {
    return config != nullptr &&
           __builtin_memcmp(&Unit(slot).config, config, sizeof(SimUnitConfig)) == 0;
}

void SimGlueReplug(int slot) {
    SimReplugUnit(Unit(slot));
}

void SimGlueSetConfig(int slot, const void* config) {
    Unit(slot).config = CopyConfig(config);
}

int SimGlueWrite(int slot, const unsigned char* report, unsigned int length) {
    SimUnit& unit = Unit(slot);
    const std::uint64_t received = NowMicroseconds();
    const std::uint32_t index = unit.logCount;
    const int result = static_cast<int>(SimWriteReport(unit, report, length));
    // Every request is logged; its time lets the controller measure a host's pace.
    if (index < SimLogCapacity && unit.logCount > index) {
        unit.log[index].receivedMicroseconds = received;
    }
    return result;
}

int SimGlueRead(int slot, unsigned char* report, unsigned int length) {
    return static_cast<int>(SimReadReport(Unit(slot), report, length));
}

unsigned short SimGlueVendorId(int slot) {
    return Unit(slot).config.vendorId;
}
unsigned short SimGlueProductId(int slot) {
    return Unit(slot).config.productId;
}
unsigned short SimGlueInputLength(int slot) {
    return Unit(slot).config.inputReportLength;
}
unsigned short SimGlueOutputLength(int slot) {
    return Unit(slot).config.outputReportLength;
}
unsigned int SimGlueReplyDelay(int slot) {
    return Unit(slot).config.replyDelayMilliseconds;
}
int SimGlueHoldsWrites(int slot) {
    return Unit(slot).config.holdWriteUntilDelivered ? 1 : 0;
}

unsigned int SimGlueReportDescriptor(int slot, unsigned char* out, unsigned int capacity) {
    const SimUnitConfig& config = Unit(slot).config;
    return static_cast<unsigned int>(SimBuildReportDescriptor(
        out, capacity, config.inputReportLength, config.outputReportLength));
}

} // extern "C"

static_assert(static_cast<int>(SimIoResult::Done) == SimGlueDone);
static_assert(static_cast<int>(SimIoResult::Failed) == SimGlueFailed);
static_assert(static_cast<int>(SimIoResult::NoAnswer) == SimGlueNoAnswer);
static_assert(static_cast<int>(SimIoResult::Unplugged) == SimGlueUnplugged);
