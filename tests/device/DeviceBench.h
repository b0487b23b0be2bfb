#pragma once
// A simulated programming unit on a simulated HID bus, a virtual clock and the record, wired
// together the way the program wires them; plus hooks around single host calls for the corner
// cases the model does not produce by itself.
#include "device/UnitConnection.h"
#include "sim/SimHidHost.h"
#include "sim/SimulatedUnit.h"
#include "sim/VirtualClock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline const std::u16string unitPath = u"\\\\?\\hid#vid_21b8&pid_0001#7&1a2b3c4d&0&0000#{4d1e55b2}";

struct DeviceBench {
    VirtualClock clock;
    std::unique_ptr<SimUnit> unit = std::make_unique<SimUnit>();
    SimHidHostState hid;
    UnitConnection record;

    // Runs after the simulated read, before the link judges the reply: may rewrite it.
    std::function<void(std::uint8_t* report, std::uint32_t length)> patchReply;
    // When set, the byte count that the read reports instead of the host's.
    std::optional<std::uint32_t> delivered;
    // Virtual times of the last write and the last read.
    std::uint64_t lastWriteAt = 0;
    std::uint64_t lastReadAt = 0;
    // The reply buffer as the link handed it to the last read.
    std::vector<std::uint8_t> replyBeforeRead;

    DeviceBench();
    DeviceBench(const DeviceBench&) = delete;
    DeviceBench& operator=(const DeviceBench&) = delete;
    ~DeviceBench();

    // Resets the unit with the configuration and makes it the only interface on the bus.
    void PlugUnit(const SimUnitConfig& config);

    // The requests written so far, as logged by the unit (first bytes only).
    std::uint32_t RequestCount() const { return unit->logCount; }
    std::vector<std::uint8_t> Request(std::uint32_t index) const;
    // The command codes of every request, in order.
    std::vector<std::uint8_t> CommandsSent() const;
};

// A configuration of a normal unit with a ready, supported controller.
SimUnitConfig ReadyUnitConfig();
