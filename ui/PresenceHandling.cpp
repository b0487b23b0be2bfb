#include "ui/PresenceHandling.h"

#include "device/Discovery.h"
#include "device/Identification.h"
#include "device/Results.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/NoticeWindow.h"
#include "ui/Product.h"
#include "ui/TextFormat.h"
#include "ui/VersionPanel.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char16_t paragraphBreak[] = u"\r\n\r\n";

void EnableUpdate(AppState& app, bool enable) {
    app.dialog->EnableControl(app.dialog->context, ControlUpdate, enable);
}

void LoadMessage(AppState& app, std::uint16_t id, char16_t (&buffer)[MessageBufferSize]) {
    buffer[0] = u'\0';
    app.dialog->LoadMessageText(app.dialog->context, id, buffer, MessageBufferSize);
}

// The status text, a paragraph break, then the numbered instructions appended to the window.
void ShowStatusNotice(AppState& app, std::uint16_t id) {
    char16_t status[MessageBufferSize];
    LoadMessage(app, id, status);
    AppendText(status, MessageBufferSize, paragraphBreak);
    SetNoticeText(app, status, false);
    LoadMessage(app, MessageInstructions, status);
    SetNoticeText(app, status, true);
}

void ShowReadyNotice(AppState& app) {
    char16_t text[MessageBufferSize];
    LoadMessage(app, MessageReadyNotice, text);
    SetNoticeText(app, text, false);
}

// Modal: device events that come while it is open are noted and handled at the hold's end.
void ShowIncompatibleBox(AppState& app) {
    char16_t status[MessageBufferSize];
    char16_t second[MessageBufferSize];
    LoadMessage(app, MessageIncompatibleFormat, second);
    FormatText(status, MessageBufferSize, second, {TextArgument(SupportedModelName)});
    LoadMessage(app, MessageIncompatibleCaption, second);
    app.dialog->ShowMessageBox(app.dialog->context, status, second, BoxOk | BoxIconInformation);
}

// Every status but Ready closes the unit again and explains what to do.
void ReportUnusableUnit(AppState& app, DeviceStatus status) {
    EnableUpdate(app, false);
    CloseUnit(app.unit);
    switch (status) {
    case DeviceStatus::NoUnit:
        ShowStatusNotice(app, MessageNoUnitNotice);
        break;
    case DeviceStatus::WrongMode:
        ShowStatusNotice(app, MessageWrongModeNotice);
        break;
    case DeviceStatus::NoController:
        ShowStatusNotice(app, MessageNoControllerNotice);
        break;
    case DeviceStatus::Incompatible:
        ShowIncompatibleBox(app);
        ShowStatusNotice(app, MessageIncompatibleNotice);
        break;
    case DeviceStatus::Ready:
        break;
    }
}

// The interface path of a device-interface event, read only within the record's own size: any
// program can send a WM_DEVICECHANGE, so a record too short for a path, or whose path has no
// terminator inside it, is taken for a device of another kind.
std::optional<std::u16string> ReadInterfacePath(const void* eventData) {
    const auto* raw = static_cast<const unsigned char*>(eventData);
    constexpr std::size_t nameOffset = offsetof(DeviceInterfaceEvent, name);
    std::uint32_t size = 0;
    std::memcpy(&size, raw + offsetof(DeviceInterfaceEvent, size), sizeof size);
    if (size < nameOffset + sizeof(char16_t)) {
        return std::nullopt;
    }
    std::uint32_t type = 0;
    std::memcpy(&type, raw + offsetof(DeviceInterfaceEvent, deviceType), sizeof type);
    if (type != DeviceTypeInterface) {
        return std::nullopt;
    }
    std::u16string path;
    const std::size_t units = (size - nameOffset) / sizeof(char16_t);
    for (std::size_t i = 0; i < units; ++i) {
        char16_t unit = 0;
        std::memcpy(&unit, raw + nameOffset + i * sizeof unit, sizeof unit);
        if (unit == u'\0') {
            return path;
        }
        path.push_back(unit);
    }
    return std::nullopt;
}

bool IsOpenUnitPath(const AppState& app, const std::u16string& path) {
    return IsUnitOpen(app.unit) &&
           SameDevicePath(app.unit.devicePath ? app.unit.devicePath->c_str() : u"", path.c_str());
}

void HandleArrival(AppState& app) {
    // While a unit is open, no arrival starts a discovery.
    if (IsUnitOpen(app.unit)) {
        return;
    }
    // A failed discovery changes nothing on screen; a unit that was found but could not be
    // identified stays open until it is removed.
    const std::int32_t result = DiscoverUnit(app.unit);
    if (result != ResultSuccess || IsCloseRequested(app.busy)) {
        return;
    }
    const DeviceStatus status = ClassifyDevice(result, app.unit);
    if (status == DeviceStatus::Ready) {
        ShowReadyNotice(app);
        RefreshVersionPanel(app);
        EnableUpdate(app, true);
        return;
    }
    ReportUnusableUnit(app, status);
}

// True when the removal ended the open unit: another may have been plugged in all along (its
// arrival came while this one was open), so the hold's end looks once more.
bool HandleRemoval(AppState& app, const std::u16string& removedPath) {
    if (!IsOpenUnitPath(app, removedPath)) {
        return false;
    }
    CloseUnit(app.unit);
    EnableUpdate(app, false);
    RefreshVersionPanel(app);
    ShowStatusNotice(app, MessageUnitRemovedNotice);
    return true;
}

// The next noted event; arrivals in a row find one and the same bus: one look serves them all.
HeldDeviceEvent TakeNextEvent(std::vector<HeldDeviceEvent>& held) {
    HeldDeviceEvent event = std::move(held.front());
    held.erase(held.begin());
    while (event.eventType == DeviceArrivalEvent && !held.empty() &&
           held.front().eventType == DeviceArrivalEvent) {
        held.erase(held.begin());
    }
    return event;
}

} // namespace

EventHold::EventHold(AppState& held) : app(held) {
    app.busy.activity = Busy::Looking;
    NoteStop(app.busy, StopReason::None);
}

EventHold::~EventHold() {
    BusyState& busy = app.busy;
    // A removal noted meanwhile may have ended the open unit already (a run's failure report
    // closes it): the look once more is owed all the same.
    bool lookAgain = lookForUnit || busy.stop == StopReason::UnitRemoved;
    while (!IsCloseRequested(busy)) {
        // Each event is handled as it would have been at this moment; a removal met during the
        // handling's own exchange is noted behind it and handled next, never in its middle.
        NoteStop(busy, StopReason::None);
        if (!busy.heldEvents.empty()) {
            const HeldDeviceEvent event = TakeNextEvent(busy.heldEvents);
            if (event.eventType == DeviceArrivalEvent) {
                HandleArrival(app);
            } else if (HandleRemoval(app, event.interfacePath)) {
                lookAgain = true;
            }
        } else if (lookAgain && !IsUnitOpen(app.unit)) {
            lookAgain = false;
            HandleArrival(app);
        } else {
            break;
        }
    }
    busy.heldEvents.clear();
    busy.activity = Busy::Idle;
}

void RunInitialPresenceCheck(AppState& app) {
    if (app.busy.activity != Busy::Starting) {
        return;
    }
    EventHold hold(app);
    const std::int32_t result = DiscoverUnit(app.unit);
    if (IsCloseRequested(app.busy)) {
        return;
    }
    const DeviceStatus status = ClassifyDevice(result, app.unit);
    if (status == DeviceStatus::Ready) {
        ShowReadyNotice(app);
        EnableUpdate(app, true);
    } else {
        ReportUnusableUnit(app, status);
    }
    RefreshVersionPanel(app);
}

bool HandleDeviceChange(AppState& app, std::uintptr_t eventType, const void* eventData) {
    if (eventType != DeviceArrivalEvent && eventType != DeviceRemoveCompleteEvent) {
        return false;
    }
    // Events of other device kinds (volumes, ports) carry no interface path.
    std::optional<std::u16string> path;
    if (eventData != nullptr) {
        path = ReadInterfacePath(eventData);
    }
    if (!path) {
        return true;
    }
    BusyState& busy = app.busy;
    const bool waiting = busy.activity == Busy::Looking || busy.activity == Busy::Writing;
    if (waiting && eventType == DeviceRemoveCompleteEvent && IsOpenUnitPath(app, *path)) {
        NoteStop(busy, StopReason::UnitRemoved);
    }
    busy.heldEvents.push_back({eventType, std::move(*path)});
    if (busy.activity == Busy::Idle && app.dialog->PostDeviceEvents != nullptr) {
        app.dialog->PostDeviceEvents(app.dialog->context);
    }
    return true;
}

void HandleNotedDeviceEvents(AppState& app) {
    if (app.busy.activity != Busy::Idle || app.busy.heldEvents.empty()) {
        return;
    }
    const EventHold hold(app); // its end handles them
}
