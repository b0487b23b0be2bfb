#pragma once
// A HID host over simulated interfaces: programming units (sim/SimulatedUnit.h) and foreign HID
// devices, with failures of every platform step, and a record of what was opened and released.
// Used by the native tests of every subsystem.
#include "platform/HidHost.h"
#include "sim/SimulatedUnit.h"
#include "sim/VirtualClock.h"

#include <cstdint>
#include <string>
#include <vector>

struct SimInterface {
    std::u16string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    SimUnit* unit = nullptr; // null: a foreign device; its reports go nowhere
    std::uint16_t inputReportLength = 60; // for foreign devices; a unit has its own
    std::uint16_t outputReportLength = 60;
    bool present = true;
    bool detailSizeZero = false;
    bool detailFails = false;
    bool openFails = false;
    bool attributesFail = false;
    bool preparsedFails = false;
    std::uint32_t capsStatus = HidStatusSuccess;
};

struct SimHidHostState {
    std::vector<SimInterface> interfaces;
    bool listFails = false;
    VirtualClock* clock = nullptr; // advanced by reply delays and exchange time-outs

    // What happened: one line per platform call, e.g. "list", "enum 0", "detail 0", "open 1",
    // "attributes h3", "close h3", "write h3 1B", "read h3", "destroy list".
    std::vector<std::string> calls;
    std::uint32_t openHandles = 0;      // opened and not yet closed
    std::uint32_t openLists = 0;        // obtained and not yet destroyed
    std::uint32_t openPreparsed = 0;    // obtained and not yet freed
    std::vector<std::u16string> opened; // paths, in the order opened
    std::uint32_t lastError = 0;
    HidHost host{};
};

// Wires state.host to state; the record must not move afterwards.
void InitSimHidHost(SimHidHostState& state);

// The interface record of a simulated unit with the given path (vendor and product from its
// configuration).
SimInterface MakeUnitInterface(SimUnit& unit, std::u16string path);
