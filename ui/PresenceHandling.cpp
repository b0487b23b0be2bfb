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

// Modal: device events may be handled while the box is open.
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
    if (result != ResultSuccess || app.closeRequested) {
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

void HandleRemoval(AppState& app, const std::u16string& removedPath) {
    if (!IsOpenUnitPath(app, removedPath)) {
        return;
    }
    CloseUnit(app.unit);
    EnableUpdate(app, false);
    RefreshVersionPanel(app);
    ShowStatusNotice(app, MessageUnitRemovedNotice);
    // Another unit may have been plugged in all along (its arrival came while this one was
    // open): look once more, as its arrival would have.
    HandleArrival(app);
}

void HandleEvent(AppState& app, const HeldDeviceEvent& event) {
    if (event.eventType == DeviceArrivalEvent) {
        HandleArrival(app);
    } else {
        HandleRemoval(app, event.interfacePath);
    }
}

} // namespace

void RunInitialPresenceCheck(AppState& app) {
    app.holdDeviceEvents = true;
    const std::int32_t result = DiscoverUnit(app.unit);
    if (!app.closeRequested) {
        const DeviceStatus status = ClassifyDevice(result, app.unit);
        if (status == DeviceStatus::Ready) {
            ShowReadyNotice(app);
            EnableUpdate(app, true);
        } else {
            ReportUnusableUnit(app, status);
        }
        RefreshVersionPanel(app);
    }
    HandleHeldDeviceEvents(app);
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
    HeldDeviceEvent event{eventType, std::move(*path)};
    if (app.holdDeviceEvents) {
        if (eventType == DeviceRemoveCompleteEvent && IsOpenUnitPath(app, event.interfacePath)) {
            app.openUnitRemoved = true;
        }
        app.heldDeviceEvents.push_back(std::move(event));
        return true;
    }
    app.holdDeviceEvents = true;
    HandleEvent(app, event);
    HandleHeldDeviceEvents(app);
    return true;
}

void HandleHeldDeviceEvents(AppState& app) {
    // Events noted while the held ones are handled wait their turn behind them.
    app.holdDeviceEvents = true;
    std::vector<HeldDeviceEvent>& held = app.heldDeviceEvents;
    while (!held.empty() && !app.closeRequested) {
        const HeldDeviceEvent event = std::move(held.front());
        held.erase(held.begin());
        // Arrivals in a row find one and the same bus: one look serves them all.
        while (event.eventType == DeviceArrivalEvent && !held.empty() &&
               held.front().eventType == DeviceArrivalEvent) {
            held.erase(held.begin());
        }
        app.openUnitRemoved = false;
        HandleEvent(app, event);
    }
    held.clear();
    app.openUnitRemoved = false;
    app.holdDeviceEvents = false;
}
