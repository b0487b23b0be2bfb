#pragma once
// A whole update set-up for the tests: a simulated unit on a simulated HID host, a virtual clock,
// the fake main dialog, and one timeline of requests, pauses, timer-precision changes and boxes.
#include "sim/SimHidHost.h"
#include "sim/SimulatedUnit.h"
#include "sim/VirtualClock.h"
#include "tests/support/FakeDialog.h"
#include "ui/AppState.h"
#include "update/FirmwareImage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct UpdateRig {
    std::unique_ptr<SimUnit> sim = std::make_unique<SimUnit>();
    SimHidHostState hid;
    VirtualClock virtualClock;
    FakeDialog dialog;
    AppState app;

    // "send 0B flag 1", "send 1E", "send 1B words 12", "pause 20", "precise on", "precise off",
    // "box <caption>"; requests are taken from the unit's log as they happen.
    std::vector<std::string> timeline;
    std::uint32_t loggedRequests = 0;     // requests of the unit's log already in the timeline
    std::uint32_t firstUpdateRequest = 0; // the unit's log index where the update began
    Clock timelineClock{};
    // Runs after each pause of the update, with its index (0 for the first), as the dialog's
    // thread looking at its queue would handle what other threads send meanwhile.
    std::function<void(std::uint32_t pauseIndex)> afterPause;
};

// Builds the rig around a unit with the given configuration and discovers it (the unit is open
// and identified afterwards, as when "Update" can be clicked). With connect false the unit is
// present but the record stays in its no-device state.
std::unique_ptr<UpdateRig> MakeUpdateRig(const SimUnitConfig& config, bool connect = true);

// Brings the timeline up to date with the unit's log.
void SyncTimeline(UpdateRig& rig);

// The requests sent since the rig was connected.
std::vector<const SimRequestRecord*> UpdateRequests(const UpdateRig& rig);

// The events of the timeline that start with prefix.
std::vector<std::string> TimelineEvents(const UpdateRig& rig, const std::string& prefix);

// A deterministic image of size bytes that differs from one seed to the next.
std::vector<std::uint8_t> MakeTestImage(std::uint32_t size, std::uint32_t seed);

// RunUpdateWith reads the test image through this loader.
void SetTestImage(const std::vector<std::uint8_t>* image);
FirmwareImage LoadTestImage();

std::u16string CatalogueText(std::uint16_t id);
