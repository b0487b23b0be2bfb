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

char16_t FoldAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c;
}

// Equal when both agree unit by unit after folding A-Z to a-z; no other letter is folded.
bool DevicePathsEqual(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (FoldAsciiLetter(*a) != FoldAsciiLetter(*b)) {
            return false;
        }
        if (*a == u'\0') {
            return true;
        }
    }
}

std::uint32_t EventDeviceType(const void* eventData) {
    std::uint32_t type = 0;
    std::memcpy(&type,
                static_cast<const unsigned char*>(eventData) +
                    offsetof(DeviceInterfaceEvent, deviceType),
                sizeof type);
    return type;
}

const char16_t* EventInterfacePath(const void* eventData) {
    return reinterpret_cast<const char16_t*>(static_cast<const unsigned char*>(eventData) +
                                             offsetof(DeviceInterfaceEvent, name));
}

void HandleArrival(AppState& app) {
    // While a unit is open, no arrival starts a discovery.
    if (IsUnitOpen(app.unit)) {
        return;
    }
    // A failed discovery changes nothing on screen; a unit that was found but could not be
    // identified stays open until it is removed.
    const std::int32_t result = DiscoverUnit(app.unit);
    if (result != ResultSuccess) {
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

void HandleRemoval(AppState& app, const char16_t* removedPath) {
    if (!IsUnitOpen(app.unit)) {
        return;
    }
    const char16_t* openPath = app.unit.devicePath ? app.unit.devicePath->c_str() : u"";
    if (!DevicePathsEqual(openPath, removedPath)) {
        return;
    }
    CloseUnit(app.unit);
    EnableUpdate(app, false);
    RefreshVersionPanel(app);
    ShowStatusNotice(app, MessageUnitRemovedNotice);
}

} // namespace

void RunInitialPresenceCheck(AppState& app) {
    const std::int32_t result = DiscoverUnit(app.unit);
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
    if (eventData == nullptr || EventDeviceType(eventData) != DeviceTypeInterface) {
        return true;
    }
    if (app.holdDeviceEvents) {
        app.heldDeviceEvents.push_back({eventType, EventInterfacePath(eventData)});
    } else if (eventType == DeviceArrivalEvent) {
        HandleArrival(app);
    } else {
        HandleRemoval(app, EventInterfacePath(eventData));
    }
    return true;
}

void HandleHeldDeviceEvents(AppState& app) {
    app.holdDeviceEvents = false;
    std::vector<HeldDeviceEvent> held;
    held.swap(app.heldDeviceEvents);
    for (const HeldDeviceEvent& event : held) {
        if (event.eventType == DeviceArrivalEvent) {
            HandleArrival(app);
        } else {
            HandleRemoval(app, event.interfacePath.c_str());
        }
    }
}
