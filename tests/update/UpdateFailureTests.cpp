// Runs that stop: the version question, no unit, each preparing command and a block failing, and
// the failure report itself.
#include "tests/update/UpdateRig.h"

#include "device/Commands.h"
#include "device/Discovery.h"
#include "tests/support/DeviceEvent.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/PresenceHandling.h"
#include "update/UpdateProcedure.h"
#include "update/UpdateSteps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// The box, notice, panel, button and unit after a failed run.
void ExpectFailureReported(const UpdateRig& rig, std::uint16_t messageId,
                           const std::u16string& codeLine) {
    ASSERT_FALSE(rig.dialog.boxes.empty());
    const FakeBox& box = rig.dialog.boxes.back();
    const std::u16string expectedText =
        codeLine.empty() ? CatalogueText(messageId) : CatalogueText(messageId) + u"\r\n" + codeLine;
    EXPECT_EQ(ToUtf8(box.text), ToUtf8(expectedText));
    EXPECT_EQ(box.caption, u"Update fehlgeschlagen!");
    EXPECT_EQ(box.style, 0x10u);
    EXPECT_EQ(rig.dialog.controls.at(ControlNotice).text, CatalogueText(MessageUpdateFailedNotice));
    EXPECT_FALSE(rig.dialog.controls.at(ControlUpdate).enabled);
    EXPECT_EQ(rig.dialog.controls.at(ControlControllerVersion).text, u"0.0.0");
    EXPECT_FALSE(IsUnitOpen(rig.app.unit));
    EXPECT_EQ(rig.hid.openHandles, 0u);
    EXPECT_EQ(rig.virtualClock.preciseTimingDepth, 0);
    // The notice comes after the box is closed.
    const std::vector<std::string>& log = rig.dialog.log;
    const auto boxLine = std::find(log.begin(), log.end(), "box Update fehlgeschlagen!");
    EXPECT_NE(std::find(boxLine, log.end(), "text " + std::to_string(ControlNotice)), log.end());
}

TEST(UpdateGuard, AsksBeforeOverwritingAnEqualOrNewerFirmware) {
    struct Case {
        std::uint16_t installed;
        bool asked;
        std::int32_t answer; // given when asked
        bool runs;
    };
    const Case cases[] = {
        {0x0407, false, AnswerYes, true}, {0x0000, false, AnswerYes, true},
        {0xFFFF, false, AnswerYes, true}, {0x0408, true, AnswerYes, true},
        {0x0409, true, AnswerYes, true},  {0x0500, true, AnswerYes, true},
        {0x0408, true, AnswerNo, false},  {0x0500, true, AnswerNo, false},
        {0x0409, true, 0, false}, // the box could not be shown
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("installed " + std::to_string(c.installed) + ", answer " +
                     std::to_string(c.answer));
        SimUnitConfig config;
        config.controllerFirmwareVersion = c.installed;
        auto rig = MakeUpdateRig(config);
        ASSERT_EQ(GetControllerFirmwareVersion(rig->app.unit), c.installed);
        rig->dialog.boxAnswers = {c.answer};
        rig->dialog.controls[ControlUpdate].enabled = true;
        rig->dialog.controls[ControlNotice].text = u"before";
        const std::vector<std::string> logBefore = rig->dialog.log;
        const std::vector<std::uint8_t> image = MakeTestImage(96, 2);
        SetTestImage(&image);

        RunUpdateWith(rig->app, LoadTestImage);

        if (c.asked) {
            ASSERT_GE(rig->dialog.boxes.size(), 1u);
            const FakeBox& question = rig->dialog.boxes[0];
            EXPECT_EQ(question.caption, u"Neuere Firmware gefunden");
            EXPECT_EQ(question.text, CatalogueText(MessageVersionQuestion));
            EXPECT_EQ(question.style, 0x34u);
        }
        EXPECT_EQ(rig->dialog.boxes.size(), c.asked ? 1u : 0u);
        if (c.runs) {
            EXPECT_EQ(rig->sim->flashHighWater, image.size());
            EXPECT_EQ(rig->dialog.controls.at(ControlNotice).text,
                      CatalogueText(MessageUpdateDoneNotice));
        } else {
            // Declined: nothing sent, nothing changed.
            EXPECT_TRUE(UpdateRequests(*rig).empty());
            EXPECT_TRUE(rig->dialog.controls.at(ControlUpdate).enabled);
            EXPECT_EQ(rig->dialog.controls.at(ControlNotice).text, u"before");
            std::vector<std::string> expectedLog = logBefore;
            expectedLog.push_back("box Neuere Firmware gefunden");
            EXPECT_EQ(rig->dialog.log, expectedLog);
            EXPECT_TRUE(IsUnitOpen(rig->app.unit));
            EXPECT_EQ(rig->virtualClock.preciseTimingBegins, 0u);
            EXPECT_TRUE(rig->virtualClock.pauses.empty());
        }
    }
}

// No unit open, or one open whose identification failed (its command can come from elsewhere).
TEST(UpdateFailure, NoUnitOpenSendsNothing) {
    for (const bool open : {false, true}) {
        SCOPED_TRACE(open ? "open, not identified" : "none open");
        SimUnitConfig config;
        config.faults[CommandReadControllerType] = {SimFaultKind::ErrorReply, 0x0E55};
        auto rig = MakeUpdateRig(config, open);
        ASSERT_EQ(IsUnitOpen(rig->app.unit), open);
        RunUpdate(rig->app);

        ExpectFailureReported(*rig, MessageUnitGone, u"");
        EXPECT_EQ(rig->dialog.boxes.size(), 1u);
        EXPECT_TRUE(UpdateRequests(*rig).empty());
        EXPECT_EQ(rig->virtualClock.preciseTimingBegins, 0u);
    }
}

// While the question is open its box handles device events. "Ja" then holds only for the
// connection it was asked under, still open and ready; otherwise the run reports the unit gone
// and sends nothing, and a unit found after the removal is looked for again.
TEST(UpdateGuard, YesAboutAUnitThatChangedMeanwhileSendsNothing) {
    const std::u16string unitPath = u"\\\\?\\hid#vid_21b8&pid_0001#1";
    const std::u16string otherPath = u"\\\\?\\hid#vid_21b8&pid_0001#2";
    enum class Change { Pulled, Replaced, BackUnidentified, BackReady, PathAlone };
    const struct {
        const char* name;
        Change change;
        bool openAfter; // a unit is open once the report is closed
        bool readyAfter;
    } rows[] = {
        {"pulled", Change::Pulled, false, false},
        {"pulled, another ready unit plugged in", Change::Replaced, true, true},
        {"pulled, back with the same handle and its type refused", Change::BackUnidentified, true,
         false},
        {"pulled, back ready with the same handle and path", Change::BackReady, true, true},
        {"the device path alone changed", Change::PathAlone, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SimUnitConfig config;
        config.controllerFirmwareVersion = 0x0408;
        auto rig = MakeUpdateRig(config);
        rig->hid.reuseHandles = true;
        auto other = std::make_unique<SimUnit>();
        SimResetUnit(*other, SimUnitConfig{});
        rig->dialog.boxAnswers = {AnswerYes};
        rig->dialog.whileBoxOpen = [&](const FakeBox& box) {
            if (box.caption != u"Neuere Firmware gefunden") {
                return;
            }
            if (row.change == Change::PathAlone) {
                rig->app.unit.devicePath = otherPath;
                return;
            }
            rig->hid.interfaces[0].present = false;
            HandleDeviceChange(rig->app, DeviceRemoveCompleteEvent,
                               DeviceEvent(DeviceTypeInterface, unitPath).Data());
            if (row.change == Change::Replaced) {
                rig->hid.interfaces.push_back(MakeUnitInterface(*other, otherPath));
            } else if (row.change == Change::BackUnidentified) {
                rig->sim->config.faults[CommandReadControllerType] = {SimFaultKind::ErrorReply,
                                                                      0x0E55};
                rig->hid.interfaces[0].present = true;
            } else if (row.change == Change::BackReady) {
                rig->hid.interfaces[0].present = true;
            }
            HandleDeviceChange(rig->app, DeviceArrivalEvent,
                               DeviceEvent(DeviceTypeInterface, otherPath).Data());
        };
        RunUpdate(rig->app);

        ASSERT_EQ(rig->dialog.boxes.size(), 2u);
        EXPECT_EQ(ToUtf8(rig->dialog.boxes[1].text), ToUtf8(CatalogueText(MessageUnitGone)));
        EXPECT_EQ(IsUnitOpen(rig->app.unit), row.openAfter);
        EXPECT_EQ(rig->hid.openHandles, row.openAfter ? 1u : 0u);
        EXPECT_EQ(rig->dialog.controls.at(ControlUpdate).enabled, row.readyAfter);
        EXPECT_EQ(
            ToUtf8(rig->dialog.controls.at(ControlNotice).text),
            ToUtf8(CatalogueText(row.readyAfter ? MessageReadyNotice : MessageUpdateFailedNotice)));
        for (const SimUnit* unit : {rig->sim.get(), other.get()}) {
            for (std::uint32_t i = 0; i < std::min(unit->logCount, SimLogCapacity); ++i) {
                const std::uint8_t command = unit->log[i].bytes[1];
                EXPECT_TRUE(command == CommandIdentify || command == CommandReadControllerInfo ||
                            command == CommandReadControllerType)
                    << "command " << int{command};
            }
        }
        EXPECT_EQ(rig->virtualClock.preciseTimingBegins, 0u);
        EXPECT_TRUE(rig->dialog.progressWindows.empty());
    }
}

// Each preparing step and a middle block, refused or failed in each way: the step's message with
// its code line, nothing sent after it (a transfer that failed first waits up to a second for a
// removal, which does not come here). The second value is the system error of the failed write
// or read, 0 when the unit refused (not what an earlier call left behind).
TEST(UpdateFailure, EachStepStopsTheRunWithItsMessageAndCodeLine) {
    const std::vector<std::string> toLock = {"precise on", "send 0B flag 1"};
    std::vector<std::string> toUnprotect = toLock;
    toUnprotect.insert(toUnprotect.end(), {"pause 20", "send 20 flag 0"});
    std::vector<std::string> toErase = toUnprotect;
    toErase.insert(toErase.end(), {"pause 20", "send 1E"});
    std::vector<std::string> toAddress = toErase;
    toAddress.insert(toAddress.end(), {"pause 1000", "pause 4000", "pause 20", "send 1F"});
    const auto then = [](std::vector<std::string> events, std::vector<std::string> more) {
        events.insert(events.end(), more.begin(), more.end());
        return events;
    };
    struct Case {
        const char* name;
        std::uint8_t command;
        SimFault fault;
        std::uint16_t messageId;
        const char16_t* codes; // the two values of the code line; null: no code line
        std::vector<std::string> timeline;
        // In the pause after the lock the record loses its output report length, so that the
        // next command is refused before anything is sent.
        bool spoiltAfterLock = false;
        bool reportQueued = false; // an error report waits in the unit's queue before the run
    };
    const std::vector<Case> cases = {
        // clang-format off
        {"lock not taken", 0x0B, {SimFaultKind::WriteFails, 0, 0}, MessageLockFailed, u"fffffffe-0x0000001f", then(toLock, {"pause 1000"})},
        {"lock not echoed", 0x0B, {SimFaultKind::WrongEcho, 0, 0}, MessageLockFailed, u"0000065b-0x00000000", toLock},
        {"lock refused, flag echoed", 0x0B, {SimFaultKind::ErrorReply, 0x1234, 0}, MessageLockFailed, u"00001234-0x00000000", toLock},
        {"lock refused with code 0", 0x0B, {SimFaultKind::ErrorReply, 0, 0}, MessageLockFailed, u"ff000000-0x00000000", toLock},
        {"unprotect refused", 0x20, {SimFaultKind::ErrorReply, 0x89ABCDEF, 0}, MessageUnprotectFailed, u"89abcdef-0x00000000", toUnprotect},
        {"unprotect refused with code 0", 0x20, {SimFaultKind::ErrorReply, 0, 0}, MessageUnprotectFailed, u"ff000000-0x00000000", toUnprotect},
        {"unprotect reply lost", 0x20, {SimFaultKind::ReadFails, 0, 0}, MessageUnprotectFailed, u"fffffffd-0x0000001f", then(toUnprotect, {"pause 1000"})},
        {"erase refused", 0x1E, {SimFaultKind::ErrorReply, 0x0E05, 0}, MessageEraseFailed, u"00000e05-0x00000000", then(toErase, {"pause 1000", "pause 4000"})},
        {"erase refused with code 0", 0x1E, {SimFaultKind::ErrorReply, 0, 0}, MessageEraseFailed, u"ff000000-0x00000000", then(toErase, {"pause 1000", "pause 4000"})},
        {"erase not taken", 0x1E, {SimFaultKind::WriteFails, 0, 0}, MessageEraseFailed, u"fffffffe-0x0000001f", then(toErase, {"pause 4000", "pause 1000"})},
        {"address refused with code 0", 0x1F, {SimFaultKind::ErrorReply, 0, 0}, MessageAddressFailed, u"ff000000-0x00000000", toAddress},
        {"address refused with code -1", 0x1F, {SimFaultKind::ErrorReply, 0xFFFFFFFF, 0}, MessageAddressFailed, u"ffffffff-0x00000000", toAddress},
        {"address not taken", 0x1F, {SimFaultKind::WriteFails, 0, 0}, MessageAddressFailed, u"fffffffe-0x0000001f", then(toAddress, {"pause 1000"})},
        {"block 3 refused with code 0", 0x1B, {SimFaultKind::ErrorReply, 0, 3}, MessageBlockFailed, u"ff000000-0x00000000", then(toAddress, {"pause 20", "send 1B words 12", "pause 20", "send 1B words 12", "pause 20", "send 1B words 12"})},
        {"block 2 reply lost", 0x1B, {SimFaultKind::ReadFails, 0, 2}, MessageBlockFailed, u"fffffffd-0x0000001f", then(toAddress, {"pause 20", "send 1B words 12", "pause 20", "send 1B words 12", "pause 1000"})},
        {"block 3 refused, a report queued before the run", 0x1B, {SimFaultKind::ErrorReply, 0, 3}, MessageBlockFailed, u"ff000000-0x00000000", then(toAddress, {"pause 20", "send 1B words 12", "pause 20", "send 1B words 12", "pause 20", "send 1B words 12"}), false, true},
        {"unprotect refused before it is sent, after the answered lock", 0x20, {}, MessageUnprotectFailed, nullptr, then(toLock, {"pause 20"}), true},
        // clang-format on
    };
    const std::vector<std::uint8_t> image = MakeTestImage(48 * 5, 3);
    SetTestImage(&image);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimUnitConfig config;
        config.faults[c.command] = c.fault;
        auto rig = MakeUpdateRig(config);
        rig->dialog.controls[ControlUpdate].enabled = true;
        // A failure of an earlier moment that must not show up in the code line.
        rig->hid.lastError = 0x4D2;
        if (c.reportQueued) {
            rig->hid.queuedReports.push_back({ReplyReportId, ErrorMarker, 0, 0, 0x55, 0x0E});
        }
        if (c.spoiltAfterLock) {
            rig->afterPause = [&](std::uint32_t pauseIndex) {
                rig->app.unit.outputReportLength = pauseIndex == 0 ? 0 : 60;
            };
        }
        RunUpdateWith(rig->app, LoadTestImage);

        EXPECT_EQ(rig->timeline, then(c.timeline, {"precise off", "box Update fehlgeschlagen!"}));
        ASSERT_EQ(rig->dialog.boxes.size(), 1u);
        ExpectFailureReported(*rig, c.messageId,
                              c.codes == nullptr
                                  ? u""
                                  : std::u16string(u"Das System meldet Fehlercode 0x") + c.codes);
        EXPECT_TRUE(rig->dialog.progressWindows.empty() || !rig->dialog.progressWindows[0].alive);
        // The writing has ended before the box shows.
        const std::vector<std::string>& log = rig->dialog.log;
        EXPECT_EQ(FilterLog(rig->dialog, "writing"),
                  (std::vector<std::string>{"writing on", "writing off"}));
        EXPECT_LT(std::find(log.begin(), log.end(), "writing off"),
                  std::find(log.begin(), log.end(), "box Update fehlgeschlagen!"));
    }
}

TEST(UpdateFailure, BlockFailingInTheMiddleStopsEverything) {
    SimUnitConfig config;
    config.faults[0x1B] = {SimFaultKind::ErrorReply, 0, 700};
    auto rig = MakeUpdateRig(config);
    bool progressAliveAtBox = true;
    rig->dialog.whileBoxOpen = [&](const FakeBox&) {
        SyncTimeline(*rig);
        rig->timeline.push_back("box");
        progressAliveAtBox = rig->dialog.progressWindows.at(0).alive;
    };
    RunUpdate(rig->app);

    EXPECT_FALSE(progressAliveAtBox);
    ExpectFailureReported(*rig, MessageBlockFailed,
                          u"Das System meldet Fehlercode 0xff000000-0x00000000");
    const std::vector<std::string> sends = TimelineEvents(*rig, "send");
    ASSERT_EQ(sends.size(), 4u + 700u);
    EXPECT_EQ(sends.back(), "send 1B words 12");
    // After the failed block: no pause, the timer restored, the box, and nothing else.
    const std::vector<std::string> tail(rig->timeline.end() - 3, rig->timeline.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"send 1B words 12", "precise off", "box"}));
    const std::vector<std::uint32_t>& positions = rig->dialog.progressWindows[0].positions;
    // 0, then each share up to the 40 % that the 699 accepted blocks reached.
    ASSERT_EQ(positions.size(), 41u);
    EXPECT_EQ(positions.back(), 40u);
    EXPECT_EQ(rig->sim->flashHighWater, 699u * 48u);
}

// Arrivals and removals during the run are only noted: the unit is not touched between two
// commands, both buttons stay disabled, and each event is handled once the outcome is shown. A
// noted removal of the open unit stops the run before its next command and names the cause.
TEST(UpdateFailure, DeviceEventsDuringTheRunAreHandledAfterIt) {
    const std::u16string unitPath = u"\\\\?\\hid#vid_21b8&pid_0001#1";
    const std::u16string otherPath = u"\\\\?\\hid#vid_21b8&pid_0001#2";
    const std::u16string gone = CatalogueText(MessageUnitGone);
    const std::u16string failedNotice = CatalogueText(MessageUpdateFailedNotice);
    const std::u16string removedNotice =
        CatalogueText(MessageUnitRemovedNotice) + u"\r\n\r\n" + CatalogueText(MessageInstructions);
    struct Case {
        const char* name;
        std::uint32_t atPause; // 2: the erase's own wait, 3: its settle time, 8: after block 3 of
                               // 5, 10: after the last
        std::uint32_t atRead;  // else: during the read of this request (0: none)
        bool plugOther;        // another ready unit is plugged in after the pull
        std::u16string box;    // empty: the run succeeds
        std::u16string notice;
        bool unitOpen;
        std::uint32_t requests;          // sent to the unit by the run
        bool notified = true;            // the removal's notice reaches the dialog
        std::uint32_t blockNotTaken = 0; // else: this block's write fails with 31 and the
                                         // removal comes 200 ms later
        bool suspends = false;           // the PC goes to sleep instead of the pull
        bool otherBefore = false;        // another ready unit is plugged in before the run
        bool foreignPulled = false;      // another device is pulled, not the unit
    };
    const std::vector<Case> cases = {
        {"pulled during the erase's own wait", 2, 0, false,
         gone + u"\r\nDas System meldet Fehlercode 0xfffffffd-0x0000048f", failedNotice, false, 3},
        {"pulled during the erase's settle time", 3, 0, false, gone, failedNotice, false, 3},
        {"pulled between two blocks", 8, 0, false, gone, failedNotice, false, 7},
        {"pulled while a block waits for its reply", 0, 6, false,
         gone + u"\r\nDas System meldet Fehlercode 0xfffffffd-0x0000048f", failedNotice, false, 6},
        {"pulled, the read fails before the notice comes", 0, 6, false,
         gone + u"\r\nDas System meldet Fehlercode 0xfffffffd-0x0000048f", failedNotice, false, 6,
         false},
        {"block 3 not taken (31), the removal 200 ms later", 0, 0, false,
         gone + u"\r\nDas System meldet Fehlercode 0xfffffffe-0x0000001f", failedNotice, false, 7,
         true, 3},
        {"the PC goes to sleep between two blocks", 8, 0, false,
         CatalogueText(MessageSuspendedDuringUpdate), failedNotice, false, 7, true, 0, true},
        {"pulled, then another unit plugged in", 8, 0, true, gone,
         CatalogueText(MessageReadyNotice), true, 7},
        {"a second ready unit plugged in before the run, the first pulled between two blocks", 8, 0,
         false, gone, CatalogueText(MessageReadyNotice), true, 7, true, 0, false, true},
        {"another device pulled between two blocks", 8, 0, false, u"",
         CatalogueText(MessageUpdateDoneNotice), true, 11, true, 0, false, false, true},
        {"pulled after the last block", 10, 0, false, u"", removedNotice, false, 9},
        {"pulled after the last block, another unit plugged in", 10, 0, true, u"",
         CatalogueText(MessageReadyNotice), true, 9},
    };
    const std::vector<std::uint8_t> image = MakeTestImage(48 * 5, 4);
    SetTestImage(&image);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto rig = MakeUpdateRig(SimUnitConfig{});
        auto other = std::make_unique<SimUnit>();
        SimResetUnit(*other, SimUnitConfig{});
        rig->dialog.controls[ControlUpdate].enabled = true;
        bool buttonsDisabled = false;
        bool unitKeptOpen = false;
        if (c.otherBefore) {
            // Its arrival comes while the first unit is open, and so finds nothing to do.
            rig->hid.interfaces.push_back(MakeUnitInterface(*other, otherPath));
            HandleDeviceChange(rig->app, DeviceArrivalEvent,
                               DeviceEvent(DeviceTypeInterface, otherPath).Data());
            ASSERT_EQ(*rig->app.unit.devicePath, unitPath);
        }
        const auto pull = [&] {
            if (c.foreignPulled) {
                HandleDeviceChange(rig->app, DeviceRemoveCompleteEvent,
                                   DeviceEvent(DeviceTypeInterface, otherPath).Data());
                return;
            }
            rig->hid.interfaces[0].present = c.suspends;
            if (c.suspends) {
                NoteStop(rig->app.busy, StopReason::SystemSuspending);
            }
            if (c.notified && !c.suspends) {
                HandleDeviceChange(rig->app, DeviceRemoveCompleteEvent,
                                   DeviceEvent(DeviceTypeInterface, unitPath).Data());
            }
            if (c.plugOther) {
                rig->hid.interfaces.push_back(MakeUnitInterface(*other, otherPath));
                HandleDeviceChange(rig->app, DeviceArrivalEvent,
                                   DeviceEvent(DeviceTypeInterface, otherPath).Data());
            }
            buttonsDisabled = !rig->dialog.controls.at(ControlUpdate).enabled &&
                              !rig->dialog.controls.at(ControlQuit).enabled;
            unitKeptOpen = IsUnitOpen(rig->app.unit) && other->logCount == 0;
        };
        if (c.blockNotTaken != 0) {
            rig->sim->config.faults[CommandWriteBlock] = {SimFaultKind::WriteFails, 0,
                                                          c.blockNotTaken};
        }
        std::uint64_t failedAt = 0; // the end of the pause before the failed write
        rig->afterPause = [&](std::uint32_t pauseIndex) {
            if (c.blockNotTaken == 0 && c.atRead == 0 && pauseIndex == c.atPause) {
                pull();
            } else if (c.blockNotTaken != 0 && rig->hid.interfaces[0].present) {
                if (rig->sim->commandCounts[CommandWriteBlock] < c.blockNotTaken) {
                    failedAt = rig->virtualClock.now;
                } else if (rig->virtualClock.now >= failedAt + 200) {
                    pull();
                }
            }
        };
        rig->hid.whileReading = [&] {
            if (c.atRead != 0 && rig->sim->logCount == rig->firstUpdateRequest + c.atRead) {
                pull();
            }
        };
        RunUpdateWith(rig->app, LoadTestImage);

        EXPECT_TRUE(buttonsDisabled || c.foreignPulled);
        EXPECT_TRUE(unitKeptOpen || c.foreignPulled);
        EXPECT_EQ(UpdateRequests(*rig).size(), c.requests);
        if (c.box.empty()) {
            EXPECT_TRUE(rig->dialog.boxes.empty());
        } else {
            ASSERT_EQ(rig->dialog.boxes.size(), 1u);
            EXPECT_EQ(ToUtf8(rig->dialog.boxes[0].text), ToUtf8(c.box));
        }
        EXPECT_EQ(ToUtf8(rig->dialog.controls.at(ControlNotice).text), ToUtf8(c.notice));
        EXPECT_EQ(IsUnitOpen(rig->app.unit), c.unitOpen);
        EXPECT_EQ(rig->dialog.controls.at(ControlUpdate).enabled,
                  c.notice == CatalogueText(MessageReadyNotice));
        for (const FakeProgressWindow& window : rig->dialog.progressWindows) {
            EXPECT_FALSE(window.alive);
        }
        EXPECT_TRUE(rig->dialog.controls.at(ControlQuit).enabled);
        // After every handling the program is idle and no reason to stop is left: the next
        // update runs whole.
        EXPECT_TRUE(rig->app.busy.heldEvents.empty());
        EXPECT_EQ(rig->app.busy.activity, Busy::Idle);
        EXPECT_EQ(rig->app.busy.stop, StopReason::None);
    }
}

TEST(UpdateFailure, AddressNotTakenShowsResultAndSystemError) {
    // A HID write that fails leaves ERROR_GEN_FAILURE (31) as the system error.
    SimUnitConfig config;
    config.faults[0x1F] = {SimFaultKind::WriteFails, 0, 0};
    auto rig = MakeUpdateRig(config);
    RunUpdate(rig->app);
    ExpectFailureReported(*rig, MessageAddressFailed,
                          u"Das System meldet Fehlercode 0xfffffffe-0x0000001f");
    EXPECT_EQ(ToUtf8(rig->dialog.boxes.at(0).text),
              "Die Speicheradresse, an welche die neue Firmware geschrieben wird, konnte nicht "
              "gesetzt werden. Das Update wird abgebrochen\r\nDas System meldet Fehlercode "
              "0xfffffffe-0x0000001f");
}

TEST(UpdateFailure, ReportComposesTextAndCodeLine) {
    struct Case {
        std::optional<std::int32_t> result;
        std::uint32_t systemError;
        std::u16string expected;
    };
    const std::u16string message = u"Schritt fehlgeschlagen.";
    const std::u16string line = u"\r\nDas System meldet Fehlercode 0x";
    const Case cases[] = {
        {-2, 31, message + line + u"fffffffe-0x0000001f"},
        {-3, 0, message + line + u"fffffffd-0x00000000"},
        {1627, 5, message + line + u"0000065b-0x00000005"},
        {0, 0xFFFFFFFF, message + line + u"00000000-0xffffffff"},
        {-1, 0, message + line + u"ffffffff-0x00000000"}, // the unit's code 0xFFFFFFFF
        {NoCodeToShow, 31, message},
    };
    for (const Case& c : cases) {
        auto rig = MakeUpdateRig(SimUnitConfig{});
        rig->dialog.controls[ControlUpdate].enabled = true;
        ReportUpdateFailure(rig->app, message.c_str(), u"Titel", c.result, c.systemError);

        ASSERT_EQ(rig->dialog.boxes.size(), 1u);
        EXPECT_EQ(ToUtf8(rig->dialog.boxes[0].text), ToUtf8(c.expected));
        EXPECT_EQ(rig->dialog.boxes[0].caption, u"Titel");
        EXPECT_EQ(rig->dialog.boxes[0].style, 0x10u);
        EXPECT_FALSE(IsUnitOpen(rig->app.unit));
        EXPECT_EQ(rig->hid.openHandles, 0u);
        // Button off and panel emptied before the box; the notice after it.
        const std::vector<std::string>& log = rig->dialog.log;
        const auto enable = std::find(log.begin(), log.end(), "enable 1002 0");
        const auto box = std::find(log.begin(), log.end(), "box Titel");
        const auto panel = std::find(log.begin(), log.end(), "text 40015");
        const auto notice = std::find(log.begin(), log.end(), "text 40004");
        EXPECT_LT(enable, panel);
        EXPECT_LT(panel, box);
        EXPECT_LT(box, notice);
        EXPECT_NE(notice, log.end());
    }
}

// The image loader of this test: each case sets the view it gives.
FirmwareImage brokenImage;
FirmwareImage LoadBrokenImage() {
    return brokenImage;
}

TEST(UpdateFailure, MissingImageErasesNothing) {
    static const std::uint8_t bytes[48] = {};
    for (const FirmwareImage image :
         {FirmwareImage{nullptr, 0}, FirmwareImage{bytes, 0}, FirmwareImage{nullptr, 48}}) {
        SCOPED_TRACE(std::to_string(image.size) + (image.data ? " bytes" : " bytes, no data"));
        auto rig = MakeUpdateRig(SimUnitConfig{});
        brokenImage = image;
        RunUpdateWith(rig->app, LoadBrokenImage);

        ExpectFailureReported(*rig, MessageBlockFailed, u"");
        EXPECT_TRUE(UpdateRequests(*rig).empty());
        EXPECT_EQ(rig->virtualClock.preciseTimingBegins, 0u);
    }
}

// A box text of exactly 2047 units (the longest that fits the buffer) keeps its code line.
TEST(UpdateFailure, CodeLineFitsUpToTheLastUnitOfTheBox) {
    const std::u16string line = u"Das System meldet Fehlercode 0x00000e05-0x00000000";
    for (const std::size_t total : {std::size_t{2047}, std::size_t{2048}}) {
        SCOPED_TRACE(total);
        const std::u16string message(total - 2 - line.size(), u'x');
        auto rig = MakeUpdateRig(SimUnitConfig{});
        ReportUpdateFailure(rig->app, message.c_str(), u"Titel", 0x0E05, 0);
        ASSERT_EQ(rig->dialog.boxes.size(), 1u);
        EXPECT_EQ(rig->dialog.boxes[0].text, total == 2047 ? message + u"\r\n" + line : message);
    }
}

} // namespace
