#include "tests/update/UpdateRig.h"

#include "device/Discovery.h"
#include "tests/support/MessageCatalogue.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/PresenceHandling.h"

#include <algorithm>
#include <cstdio>

namespace {

const std::vector<std::uint8_t>* testImage = nullptr;

std::string Hex(std::uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
    return text;
}

std::string DescribeRequest(const SimRequestRecord& record) {
    const std::uint8_t command = record.bytes[1];
    std::string line = "send " + Hex(command);
    if (command == 0x0B || command == 0x20) {
        line += " flag " + std::to_string(record.bytes[3]);
    } else if (command == 0x1B) {
        line += " words " + std::to_string(record.bytes[2] / 4);
    }
    return line;
}

UpdateRig& Rig(void* context) {
    return *static_cast<UpdateRig*>(context);
}

void TimelinePause(void* context, std::uint32_t milliseconds) {
    UpdateRig& rig = Rig(context);
    SyncTimeline(rig);
    rig.timeline.push_back("pause " + std::to_string(milliseconds));
    rig.virtualClock.clock.Pause(&rig.virtualClock, milliseconds);
    if (rig.afterPause) {
        rig.afterPause(static_cast<std::uint32_t>(rig.virtualClock.pauses.size() - 1));
    }
}

void TimelinePreciseOn(void* context) {
    UpdateRig& rig = Rig(context);
    SyncTimeline(rig);
    rig.timeline.push_back("precise on");
    rig.virtualClock.clock.BeginPreciseTiming(&rig.virtualClock);
}

void TimelinePreciseOff(void* context) {
    UpdateRig& rig = Rig(context);
    SyncTimeline(rig);
    rig.timeline.push_back("precise off");
    rig.virtualClock.clock.EndPreciseTiming(&rig.virtualClock);
}

} // namespace

std::unique_ptr<UpdateRig> MakeUpdateRig(const SimUnitConfig& config, bool connect) {
    auto rig = std::make_unique<UpdateRig>();
    SimResetUnit(*rig->sim, config);
    InitVirtualClock(rig->virtualClock);
    InitSimHidHost(rig->hid);
    rig->hid.clock = &rig->virtualClock;
    rig->hid.interfaces.push_back(MakeUnitInterface(*rig->sim, u"\\\\?\\hid#vid_21b8&pid_0001#1"));
    rig->timelineClock = Clock{rig.get(), TimelinePause, TimelinePreciseOn, TimelinePreciseOff};
    InitFakeDialog(rig->dialog);
    rig->app.dialog = &rig->dialog.host;
    rig->app.busy.activity = Busy::Idle; // the first look is done
    rig->dialog.deliverDeviceEvents = [raw = rig.get()] { HandleNotedDeviceEvents(raw->app); };
    InitUnitConnection(rig->app.unit, rig->hid.host, rig->timelineClock);
    if (connect) {
        DiscoverUnit(rig->app.unit);
        // What the dialog shows for a ready unit, so that a notice appended to it shows.
        rig->dialog.controls[ControlNotice].text = CatalogueText(MessageReadyNotice);
    }
    rig->firstUpdateRequest = rig->sim->logCount;
    rig->loggedRequests = rig->sim->logCount;
    rig->timeline.clear();
    rig->virtualClock.pauses.clear();
    rig->dialog.whileBoxOpen = [raw = rig.get()](const FakeBox& box) {
        SyncTimeline(*raw);
        raw->timeline.push_back("box " + ToUtf8(box.caption));
    };
    return rig;
}

void SyncTimeline(UpdateRig& rig) {
    const std::uint32_t logged = std::min(rig.sim->logCount, SimLogCapacity);
    for (; rig.loggedRequests < logged; ++rig.loggedRequests) {
        rig.timeline.push_back(DescribeRequest(rig.sim->log[rig.loggedRequests]));
    }
}

std::vector<const SimRequestRecord*> UpdateRequests(const UpdateRig& rig) {
    std::vector<const SimRequestRecord*> requests;
    const std::uint32_t logged = std::min(rig.sim->logCount, SimLogCapacity);
    for (std::uint32_t i = rig.firstUpdateRequest; i < logged; ++i) {
        requests.push_back(&rig.sim->log[i]);
    }
    return requests;
}

std::vector<std::string> TimelineEvents(const UpdateRig& rig, const std::string& prefix) {
    std::vector<std::string> events;
    for (const std::string& event : rig.timeline) {
        if (event.rfind(prefix, 0) == 0) {
            events.push_back(event);
        }
    }
    return events;
}

std::vector<std::uint8_t> MakeTestImage(std::uint32_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> image(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

void SetTestImage(const std::vector<std::uint8_t>* image) {
    testImage = image;
}

FirmwareImage LoadTestImage() {
    if (testImage == nullptr) {
        return {nullptr, 0};
    }
    return {testImage->data(), static_cast<std::uint32_t>(testImage->size())};
}

std::u16string CatalogueText(std::uint16_t id) {
    const char16_t* text = FindCatalogueText(id);
    return text == nullptr ? std::u16string() : std::u16string(text);
}
