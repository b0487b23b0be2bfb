#include "ui/PresenceHandling.h"

#include "device/Commands.h"
#include "device/Discovery.h"
#include "device/Results.h"
#include "sim/SimHidHost.h"
#include "sim/SimulatedUnit.h"
#include "sim/VirtualClock.h"
#include "tests/support/DeviceEvent.h"
#include "tests/support/FakeDialog.h"
#include "tests/support/MessageCatalogue.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

const std::u16string unitPath =
    u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::u16string otherUnitPath =
    u"\\\\?\\hid#vid_21b8&pid_0002#7&5a6b7c8d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::u16string keyboardPath =
    u"\\\\?\\hid#vid_845e&pid_0002#1&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// The version panel's refresh as one step: the order of its own calls is not what the user sees;
// its outcome is checked on the controls (PanelShows).
const Log panel = {"panel"};
const std::int32_t panelControls[] = {ControlUnitVersion,       ControlBootloaderVersion,
                                      ControlControllerVersion, ControlUnitLabel,
                                      ControlBootloaderLabel,   ControlControllerLabel};
const Log statusNotice = {"text 40004", "text 40004"};
const Log readyArrival = {"text 40004", "panel", "enable 1002 1"};

Log Join(std::initializer_list<Log> parts) {
    Log joined;
    for (const Log& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

bool IsPanelCall(const std::string& line) {
    const std::size_t idAt = line.find(' ');
    if (idAt == std::string::npos ||
        (line.rfind("text ", 0) != 0 && line.rfind("enable ", 0) != 0)) {
        return false;
    }
    const std::int32_t id = std::stoi(line.substr(idAt + 1));
    return std::find(std::begin(panelControls), std::end(panelControls), id) !=
           std::end(panelControls);
}

// The dialog's log with each run of panel calls folded into one "panel" step.
Log Steps(const Log& log) {
    Log steps;
    for (const std::string& line : log) {
        if (!IsPanelCall(line)) {
            steps.push_back(line);
        } else if (steps.empty() || steps.back() != panel[0]) {
            steps.push_back(panel[0]);
        }
    }
    return steps;
}

std::u16string Catalogue(std::uint16_t id) {
    return FindCatalogueText(id);
}

std::u16string StatusNoticeText(std::uint16_t id) {
    return Catalogue(id) + u"\r\n\r\n" + Catalogue(MessageInstructions);
}

// Closing the open unit's handle is written into the dialog's log, so that its place among the
// dialog's steps can be checked; discovery's closing of interfaces that do not match is not.
FakeDialog* closeLog = nullptr;
const UnitConnection* closeLogUnit = nullptr;
void (*simCloseInterface)(void*, HostHandle) = nullptr;
void LoggedCloseInterface(void* context, HostHandle device) {
    if (device == closeLogUnit->device) {
        closeLog->log.push_back("close");
    }
    simCloseInterface(context, device);
}

enum class Attached { NoUnit, WrongMode, NoController, Incompatible, Ready, IdentifyFails };

class Presence : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }

    // A fresh bus with only a foreign HID device on it, and a fresh dialog.
    void Reset() {
        units.clear();
        clock = VirtualClock{};
        InitVirtualClock(clock);
        hid = SimHidHostState{};
        hid.clock = &clock;
        InitSimHidHost(hid);
        simCloseInterface = hid.host.CloseInterface;
        hid.host.CloseInterface = LoggedCloseInterface;
        dialog = FakeDialog{};
        InitFakeDialog(dialog);
        closeLog = &dialog;
        app = AppState{};
        dialog.deliverDeviceEvents = [this] { HandleNotedDeviceEvents(app); };
        closeLogUnit = &app.unit;
        InitUnitConnection(app.unit, hid.host, clock.clock);
        app.dialog = &dialog.host;
        SimInterface keyboard;
        keyboard.path = keyboardPath;
        keyboard.vendorId = 0x845E;
        keyboard.productId = 2;
        hid.interfaces.push_back(keyboard);
    }

    void TearDown() override {
        closeLog = nullptr;
        closeLogUnit = nullptr;
    }

    // Plugs in a unit with the given situation behind it; none for NoUnit.
    SimUnit* Plug(Attached attached, const std::u16string& path = unitPath) {
        if (attached == Attached::NoUnit) {
            return nullptr;
        }
        units.push_back(std::make_unique<SimUnit>());
        SimUnit& unit = *units.back();
        SimUnitConfig config;
        config.unitFirmwareVersion = 0x00020100;
        config.controllerBootloaderVersion = 0x00000102;
        config.controllerFirmwareVersion = 0x0407;
        switch (attached) {
        case Attached::NoUnit:
            break;
        case Attached::WrongMode:
            config.bootMode = true;
            break;
        case Attached::NoController:
            config.controllerState = 2;
            break;
        case Attached::Incompatible:
            config.controllerTypeCode = 0x0C0C80A1;
            break;
        case Attached::Ready:
            break;
        case Attached::IdentifyFails:
            config.faults[CommandIdentify].kind = SimFaultKind::ReadFails;
            break;
        }
        SimResetUnit(unit, config);
        hid.interfaces.push_back(MakeUnitInterface(unit, path));
        return &unit;
    }

    void Unplug(const std::u16string& path) {
        for (SimInterface& interface : hid.interfaces) {
            if (interface.path == path) {
                interface.present = false;
            }
        }
    }

    bool Arrive(std::uint32_t deviceType = DeviceTypeInterface) {
        const DeviceEvent event(deviceType, keyboardPath);
        return HandleDeviceChange(app, DeviceArrivalEvent, event.Data());
    }

    bool Remove(const std::u16string& path, std::uint32_t deviceType = DeviceTypeInterface) {
        const DeviceEvent event(deviceType, path);
        return HandleDeviceChange(app, DeviceRemoveCompleteEvent, event.Data());
    }

    // Starts with nothing attached and forgets what the start did.
    void StartEmpty() {
        RunInitialPresenceCheck(app);
        Forget();
    }

    void Forget() {
        dialog.log.clear();
        dialog.boxes.clear();
        hid.calls.clear();
    }

    bool DiscoveryRan() const {
        for (const std::string& call : hid.calls) {
            if (call == "list") {
                return true;
            }
        }
        return false;
    }

    // Every control of the version panel enabled (a unit is shown) or every one disabled.
    bool PanelShows(bool enabled) {
        return std::all_of(std::begin(panelControls), std::end(panelControls),
                           [&](std::int32_t id) { return dialog.controls[id].enabled == enabled; });
    }

    std::u16string& Notice() { return dialog.controls[ControlNotice].text; }

    // The ready unit at otherUnitPath was found and is shown.
    void ExpectOtherUnitReady() {
        EXPECT_EQ(ToUtf8(Notice()), ToUtf8(Catalogue(MessageReadyNotice)));
        EXPECT_TRUE(IsUnitOpen(app.unit));
        EXPECT_EQ(*app.unit.devicePath, otherUnitPath);
    }
    bool UpdateEnabled() { return dialog.controls[ControlUpdate].enabled; }

    VirtualClock clock;
    SimHidHostState hid;
    std::vector<std::unique_ptr<SimUnit>> units;
    FakeDialog dialog;
    AppState app;
};

struct StatusRow {
    const char* name;
    Attached attached;
    Log startLog;   // what the initial check does, in order
    Log arrivalLog; // what an arrival does when no unit was open, in order
    std::u16string notice;
    bool ready;
};

std::vector<StatusRow> StatusRows() {
    const Log box = {"box Regler inkompatibel"};
    const Log disable = {"enable 1002 0"};
    const Log closeUnit = {"close"};
    return {
        {"nothing attached",
         Attached::NoUnit,
         Join({disable, statusNotice, panel}),
         {},
         StatusNoticeText(MessageNoUnitNotice),
         false},
        {"unit in boot mode", Attached::WrongMode, Join({disable, closeUnit, statusNotice, panel}),
         Join({disable, closeUnit, statusNotice}), StatusNoticeText(MessageWrongModeNotice), false},
        {"no ready controller", Attached::NoController,
         Join({disable, closeUnit, statusNotice, panel}), Join({disable, closeUnit, statusNotice}),
         StatusNoticeText(MessageNoControllerNotice), false},
        {"incompatible controller", Attached::Incompatible,
         Join({disable, closeUnit, box, statusNotice, panel}),
         Join({disable, closeUnit, box, statusNotice}), StatusNoticeText(MessageIncompatibleNotice),
         false},
        {"ready", Attached::Ready, Join({{"text 40004", "enable 1002 1"}, panel}),
         Join({{"text 40004"}, panel, {"enable 1002 1"}}), Catalogue(MessageReadyNotice), true},
    };
}

TEST_F(Presence, InitialCheckForEveryStatus) {
    for (const StatusRow& row : StatusRows()) {
        SCOPED_TRACE(row.name);
        Reset();
        Plug(row.attached);
        RunInitialPresenceCheck(app);
        EXPECT_EQ(Steps(dialog.log), row.startLog);
        EXPECT_EQ(ToUtf8(Notice()), ToUtf8(row.notice));
        EXPECT_EQ(UpdateEnabled(), row.ready);
        EXPECT_EQ(IsUnitOpen(app.unit), row.ready);
        EXPECT_EQ(hid.openHandles, row.ready ? 1u : 0u);
        EXPECT_EQ(dialog.controls[ControlUnitVersion].text, row.ready ? u"2.1" : u"0.0.0");
        EXPECT_EQ(dialog.controls[ControlControllerVersion].text, row.ready ? u"4.7" : u"0.0.0");
        EXPECT_EQ(dialog.controls[ControlUnitLabel].text, row.ready ? u"TESSAVO" : u"Firmware 1:");
        EXPECT_TRUE(PanelShows(row.ready));
    }
}

TEST_F(Presence, ArrivalForEveryStatus) {
    for (const StatusRow& row : StatusRows()) {
        SCOPED_TRACE(row.name);
        Reset();
        StartEmpty();
        const std::u16string before = Notice();
        Plug(row.attached);
        EXPECT_TRUE(Arrive());
        EXPECT_TRUE(DiscoveryRan());
        EXPECT_EQ(Steps(dialog.log), row.arrivalLog);
        // A discovery that finds nothing leaves the earlier notice in place.
        EXPECT_EQ(ToUtf8(Notice()), ToUtf8(row.attached == Attached::NoUnit ? before : row.notice));
        EXPECT_EQ(UpdateEnabled(), row.ready);
        EXPECT_EQ(IsUnitOpen(app.unit), row.ready);
        EXPECT_EQ(hid.openHandles, row.ready ? 1u : 0u);
        EXPECT_TRUE(PanelShows(row.ready));
    }
}

TEST_F(Presence, IncompatibleBoxNamesTheSupportedModel) {
    Plug(Attached::Incompatible);
    RunInitialPresenceCheck(app);
    ASSERT_EQ(dialog.boxes.size(), 1u);
    const FakeBox& box = dialog.boxes[0];
    EXPECT_EQ(ToUtf8(box.caption), "Regler inkompatibel");
    EXPECT_EQ(box.style, 0x40u);
    const std::string expectedStart =
        "Mit diesem Updater läßt sich ausschließlich die Firmware von ORVALDA Reglern des Typs "
        "'HALVERN 160' aktualisieren.";
    EXPECT_EQ(ToUtf8(box.text).substr(0, expectedStart.size()), expectedStart);
    // The rest of the template follows unchanged.
    std::u16string expected = Catalogue(MessageIncompatibleFormat);
    const std::size_t at = expected.find(u"%s");
    ASSERT_NE(at, std::u16string::npos);
    expected.replace(at, 2, u"HALVERN 160");
    EXPECT_EQ(ToUtf8(box.text), ToUtf8(expected));
}

TEST_F(Presence, StartWithAnUnidentifiableUnitClosesItAndReportsNoUnit) {
    Plug(Attached::IdentifyFails);
    RunInitialPresenceCheck(app);
    EXPECT_EQ(Steps(dialog.log), Join({{"enable 1002 0", "close"}, statusNotice, panel}));
    EXPECT_EQ(ToUtf8(Notice()), ToUtf8(StatusNoticeText(MessageNoUnitNotice)));
    EXPECT_FALSE(IsUnitOpen(app.unit));
    EXPECT_EQ(hid.openHandles, 0u);
}

TEST_F(Presence, UnidentifiedUnitStaysOpenUntilItsRemoval) {
    StartEmpty();
    const std::u16string before = Notice();
    Plug(Attached::IdentifyFails);
    EXPECT_TRUE(Arrive());
    EXPECT_TRUE(dialog.log.empty());
    EXPECT_EQ(Notice(), before);
    EXPECT_TRUE(IsUnitOpen(app.unit));
    EXPECT_EQ(hid.openHandles, 1u);

    // Later arrivals are ignored, even of a unit that would be ready.
    Plug(Attached::Ready, otherUnitPath);
    Forget();
    EXPECT_TRUE(Arrive());
    EXPECT_FALSE(DiscoveryRan());
    EXPECT_TRUE(dialog.log.empty());

    // Another interface goes away: nothing happens.
    EXPECT_TRUE(Remove(keyboardPath));
    EXPECT_TRUE(dialog.log.empty());
    EXPECT_TRUE(IsUnitOpen(app.unit));

    // Its removal closes it, and the ready unit still plugged in is found as on its arrival.
    Unplug(unitPath);
    EXPECT_TRUE(Remove(unitPath));
    EXPECT_EQ(Steps(dialog.log),
              Join({{"close", "enable 1002 0"}, panel, statusNotice, readyArrival}));
    ExpectOtherUnitReady();
    EXPECT_EQ(hid.openHandles, 1u);
}

TEST_F(Presence, RemovalOfTheReadyUnit) {
    Plug(Attached::Ready);
    RunInitialPresenceCheck(app);
    ASSERT_TRUE(UpdateEnabled());
    Forget();
    Unplug(unitPath);
    EXPECT_TRUE(Remove(unitPath));
    EXPECT_EQ(Steps(dialog.log), Join({{"close", "enable 1002 0"}, panel, statusNotice}));
    EXPECT_EQ(ToUtf8(Notice()), ToUtf8(StatusNoticeText(MessageUnitRemovedNotice)));
    EXPECT_FALSE(UpdateEnabled());
    EXPECT_FALSE(IsUnitOpen(app.unit));
    EXPECT_EQ(hid.openHandles, 0u);
    // The product name of the unit that was there stays.
    EXPECT_EQ(dialog.controls[ControlUnitLabel].text, u"TESSAVO");

    // A second removal event for the same path, or one without a path, finds nothing open.
    Forget();
    EXPECT_TRUE(Remove(unitPath));
    EXPECT_TRUE(Remove(u""));
    EXPECT_TRUE(dialog.log.empty());
}

TEST_F(Presence, RemovalMatchesThePathFoldingOnlyAsciiLetters) {
    const std::u16string path =
        u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000@ä_[axz]#{4d1e55b2}";
    const struct {
        const char* name;
        std::u16string eventPath;
        bool isTheUnit;
    } rows[] = {
        {"same path", path, true},
        {"A-Z in upper case", u"\\\\?\\HID#VID_21B8&PID_0001#7&1F2E3D4C&0&0000@ä_[AXZ]#{4D1E55B2}",
         true},
        {"only z in upper case",
         u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000@ä_[axZ]#{4d1e55b2}", true},
        {"only a in upper case",
         u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000@ä_[Axz]#{4d1e55b2}", true},
        {"mixed case", u"\\\\?\\Hid#Vid_21b8&PID_0001#7&1f2e3d4C&0&0000@ä_[axz]#{4d1E55b2}", true},
        {"umlaut in upper case",
         u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000@Ä_[axz]#{4d1e55b2}", false},
        {"@ against `", u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000`ä_[axz]#{4d1e55b2}",
         false},
        {"[ against {", u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000@ä_{axz]#{4d1e55b2}",
         false},
        {"_ against DEL", u"\\\\?\\hid#vid_21b8&pid_0001#7&1f2e3d4c&0&0000@ä\u007f[axz]#{4d1e55b2}",
         false},
        {"one unit shorter", path.substr(0, path.size() - 1), false},
        {"one unit longer", path + u"0", false},
        {"empty", u"", false},
        {"another unit", otherUnitPath, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        Plug(Attached::Ready, path);
        RunInitialPresenceCheck(app);
        ASSERT_TRUE(IsUnitOpen(app.unit));
        Forget();
        Unplug(path);
        EXPECT_TRUE(Remove(row.eventPath));
        EXPECT_EQ(IsUnitOpen(app.unit), !row.isTheUnit);
        EXPECT_EQ(UpdateEnabled(), !row.isTheUnit);
        EXPECT_EQ(dialog.log.empty(), !row.isTheUnit);
    }
}

TEST_F(Presence, ArrivalWhileAUnitIsOpenStartsNoDiscovery) {
    Plug(Attached::Ready);
    RunInitialPresenceCheck(app);
    Plug(Attached::Incompatible, otherUnitPath);
    Forget();
    EXPECT_TRUE(Arrive());
    EXPECT_FALSE(DiscoveryRan());
    EXPECT_TRUE(dialog.log.empty());
    EXPECT_TRUE(IsUnitOpen(app.unit));
    EXPECT_EQ(*app.unit.devicePath, unitPath);
}

TEST_F(Presence, FindingLastsUntilTheUnitIsPluggedInAgain) {
    // The unit is closed after NoController; pulling it out changes nothing on screen, plugging
    // it in again looks anew.
    SimUnit* unit = Plug(Attached::NoController);
    RunInitialPresenceCheck(app);
    Forget();
    Unplug(unitPath);
    EXPECT_TRUE(Remove(unitPath));
    EXPECT_TRUE(dialog.log.empty());
    EXPECT_EQ(ToUtf8(Notice()), ToUtf8(StatusNoticeText(MessageNoControllerNotice)));

    SimUnitConfig config = unit->config;
    config.controllerState = 3;
    SimResetUnit(*unit, config);
    for (SimInterface& interface : hid.interfaces) {
        interface.present = true;
    }
    EXPECT_TRUE(Arrive());
    EXPECT_EQ(ToUtf8(Notice()), ToUtf8(Catalogue(MessageReadyNotice)));
    EXPECT_TRUE(UpdateEnabled());
}

TEST_F(Presence, EventsOfOtherTypesAreNotHandledAndOtherDeviceKindsAreIgnored) {
    Plug(Attached::Ready);
    // Not handled: nothing is read from the event data, which may be anything or nothing.
    for (const std::uintptr_t type :
         {0x0007u, 0x0018u, 0x8001u, 0x8002u, 0x8003u, 0x8005u, 0x8006u, 0x0000u, 0x7FFFu}) {
        EXPECT_FALSE(HandleDeviceChange(app, type, nullptr)) << std::hex << type;
        const DeviceEvent event(DeviceTypeInterface, unitPath);
        EXPECT_FALSE(HandleDeviceChange(app, type, event.Data())) << std::hex << type;
    }
    EXPECT_FALSE(DiscoveryRan());
    EXPECT_TRUE(dialog.log.empty());

    // Handled, but volumes, ports and the like are none of our business.
    for (const std::uint32_t deviceType : {0u, 1u, 2u, 3u, 4u, 6u}) {
        EXPECT_TRUE(Arrive(deviceType)) << deviceType;
    }
    EXPECT_FALSE(DiscoveryRan());
    EXPECT_TRUE(dialog.log.empty());

    RunInitialPresenceCheck(app);
    ASSERT_TRUE(IsUnitOpen(app.unit));
    Forget();
    for (const std::uint32_t deviceType : {0u, 1u, 2u, 3u, 4u, 6u}) {
        EXPECT_TRUE(Remove(unitPath, deviceType)) << deviceType;
    }
    EXPECT_TRUE(IsUnitOpen(app.unit));
    EXPECT_TRUE(dialog.log.empty());

    // An arrival or removal without event data is handled and changes nothing.
    EXPECT_TRUE(HandleDeviceChange(app, DeviceArrivalEvent, nullptr));
    EXPECT_TRUE(HandleDeviceChange(app, DeviceRemoveCompleteEvent, nullptr));
    EXPECT_TRUE(IsUnitOpen(app.unit));
    EXPECT_TRUE(dialog.log.empty());
}

TEST_F(Presence, EventsWhileTheIncompatibleBoxIsOpenAreHandledAfterItsNotice) {
    Plug(Attached::Incompatible);
    dialog.whileBoxOpen = [&](const FakeBox&) {
        // The unit was closed before the box: its removal finds nothing open. While the box is
        // open, the user plugs in a ready unit. Both wait until the handling has ended.
        Unplug(unitPath);
        EXPECT_TRUE(Remove(unitPath));
        Plug(Attached::Ready, otherUnitPath);
        EXPECT_TRUE(Arrive());
        EXPECT_FALSE(IsUnitOpen(app.unit));
    };
    RunInitialPresenceCheck(app);
    EXPECT_EQ(Steps(dialog.log), Join({{"enable 1002 0", "close", "box Regler inkompatibel"},
                                       statusNotice,
                                       panel,
                                       readyArrival}));
    ExpectOtherUnitReady();
}

// Events from the registration on wait for the first look, which runs once whoever asks again:
// an arrival before it starts no look of its own, and is handled at the first look's end.
TEST_F(Presence, EventsBeforeTheFirstLookWaitForIt) {
    Plug(Attached::Ready);
    EXPECT_TRUE(Arrive());
    EXPECT_FALSE(DiscoveryRan());
    EXPECT_TRUE(dialog.log.empty());
    RunInitialPresenceCheck(app);
    EXPECT_EQ(ToUtf8(Notice()), ToUtf8(Catalogue(MessageReadyNotice)));
    EXPECT_EQ(std::count(hid.calls.begin(), hid.calls.end(), "list"), 1);
    Forget();
    RunInitialPresenceCheck(app);
    EXPECT_FALSE(DiscoveryRan());
    EXPECT_TRUE(dialog.log.empty());
}

// A record is read only within its own size (any program can send one): a record too short for
// a path, or a path without its terminator inside the record, is none of ours.
TEST_F(Presence, DeviceEventRecordsAreReadWithinTheirSize) {
    Plug(Attached::Ready);
    RunInitialPresenceCheck(app);
    ASSERT_TRUE(IsUnitOpen(app.unit));
    const std::size_t nameAt = offsetof(DeviceInterfaceEvent, name);
    const std::size_t pathBytes = 2 * unitPath.size();
    for (const std::size_t size : {std::size_t{4}, nameAt, nameAt + 1, nameAt + pathBytes}) {
        SCOPED_TRACE(size);
        // Exactly size bytes: a read past them is caught by the sanitizers.
        std::vector<unsigned char> record(std::max(size, sizeof(std::uint32_t)));
        const std::uint32_t declared = static_cast<std::uint32_t>(size);
        std::memcpy(record.data(), &declared, 4);
        if (size >= nameAt) {
            std::memcpy(record.data() + 4, &DeviceTypeInterface, 4);
            std::memcpy(record.data() + nameAt, unitPath.data(),
                        std::min(size - nameAt, pathBytes));
        }
        Forget();
        EXPECT_TRUE(HandleDeviceChange(app, DeviceRemoveCompleteEvent, record.data()));
        EXPECT_TRUE(IsUnitOpen(app.unit));
        CloseUnit(app.unit); // an arrival meets no open unit
        Forget();
        EXPECT_TRUE(HandleDeviceChange(app, DeviceArrivalEvent, record.data()));
        EXPECT_TRUE(dialog.log.empty());
        EXPECT_FALSE(DiscoveryRan());
        ASSERT_EQ(DiscoverUnit(app.unit), ResultSuccess);
    }
    // Exactly as long as an empty name needs: an interface's arrival, which looks at the bus.
    CloseUnit(app.unit);
    Forget();
    std::vector<unsigned char> record(nameAt + sizeof(char16_t));
    const std::uint32_t declared = static_cast<std::uint32_t>(record.size());
    std::memcpy(record.data(), &declared, 4);
    std::memcpy(record.data() + 4, &DeviceTypeInterface, 4);
    EXPECT_TRUE(HandleDeviceChange(app, DeviceArrivalEvent, record.data()));
    EXPECT_TRUE(DiscoveryRan());
    EXPECT_TRUE(IsUnitOpen(app.unit));
}

// What the thread meets while it waits for the unit's reply, in the first look or in one that an
// arrival starts, is only noted: the exchange finishes with the record intact; then a removal is
// handled, arrivals in a row (a flapping cable) are one look at the bus, and after a close request
// nothing more happens.
TEST_F(Presence, EventsMetDuringAnExchangeWaitForItsEnd) {
    enum class Met { Removal, RemovalAndClose, Arrivals };
    const Met mets[] = {Met::Removal, Met::RemovalAndClose, Met::Arrivals};
    for (int run = 0; run < 6; ++run) {
        const Met met = mets[run % 3];
        const bool firstLook = run >= 3;
        SCOPED_TRACE(std::to_string(static_cast<int>(met)) + (firstLook ? " first look" : ""));
        Reset();
        if (!firstLook) {
            StartEmpty();
        }
        Plug(met == Met::Arrivals ? Attached::NoController : Attached::Ready);
        bool done = false;
        hid.whileReading = [&] {
            for (int i = 0; i < 30 && !done && met == Met::Arrivals; ++i) {
                EXPECT_TRUE(Arrive());
            }
            if (!done && met != Met::Arrivals) {
                Unplug(unitPath);
                EXPECT_TRUE(Remove(unitPath));
                if (met == Met::RemovalAndClose) {
                    NoteStop(app.busy, StopReason::CloseRequested);
                }
                EXPECT_TRUE(IsUnitOpen(app.unit));
            }
            done = true;
        };
        if (firstLook) {
            RunInitialPresenceCheck(app);
        } else {
            EXPECT_TRUE(Arrive());
        }
        EXPECT_TRUE(done);
        EXPECT_EQ(app.busy.activity, Busy::Idle);
        EXPECT_TRUE(app.busy.heldEvents.empty());
        if (met == Met::RemovalAndClose) {
            // The unit found stays as the exchange left it, for the dialog's cleanup to close.
            EXPECT_TRUE(dialog.log.empty());
            EXPECT_TRUE(IsUnitOpen(app.unit));
        } else if (met == Met::Removal) {
            // The first look's unit, cut off in its identification, counts as none there.
            EXPECT_EQ(ToUtf8(Notice()),
                      ToUtf8(StatusNoticeText(firstLook ? MessageNoUnitNotice
                                                        : MessageUnitRemovedNotice)));
            EXPECT_FALSE(IsUnitOpen(app.unit));
            EXPECT_EQ(hid.openHandles, 0u);
        } else {
            EXPECT_EQ(std::count(hid.calls.begin(), hid.calls.end(), "list"), 2);
            EXPECT_EQ(ToUtf8(Notice()), ToUtf8(StatusNoticeText(MessageNoControllerNotice)));
        }
    }
}

} // namespace
