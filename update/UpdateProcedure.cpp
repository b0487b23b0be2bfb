// "Update": version guard, the preparing commands with their pauses, the blocks, completion.
#include "update/UpdateProcedure.h"

#include "device/Commands.h"
#include "device/Discovery.h"
#include "device/Identification.h"
#include "device/Results.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/NoticeWindow.h"
#include "ui/PresenceHandling.h"
#include "ui/VersionPanel.h"
#include "update/UpdateShared.h"
#include "update/UpdateSteps.h"

#include <optional>
#include <string>

namespace {

// The unit's firmware is as new as the carried one or newer; 0xFFFF means there is none.
bool NeedsConfirmation(std::uint16_t installed) {
    return installed >= CarriedFirmwareVersion && installed != NoControllerFirmware;
}

// What the question was about. The box's modal loop handles device events, so by the time it is
// answered the unit may be gone, or pulled and plugged in again (a new connection, perhaps with
// the same handle value and path, and not necessarily identified), or another unit may be open.
struct AskedUnit {
    std::uint32_t connection;
    std::optional<std::u16string> devicePath;
};

AskedUnit RememberUnit(const UnitConnection& unit) {
    return {unit.connection, unit.devicePath};
}

// The answer holds only for the connection it was asked under, still open and ready.
bool IsAskedUnit(const AskedUnit& asked, const UnitConnection& unit) {
    return unit.connection == asked.connection && unit.devicePath == asked.devicePath &&
           IsUnitReady(unit);
}

bool ConfirmOverwrite(const AppState& app) {
    char16_t caption[MessageBufferSize];
    char16_t text[MessageBufferSize];
    LoadMessage(app, MessageVersionQuestionCaption, caption);
    LoadMessage(app, MessageVersionQuestion, text);
    const DialogHost& dialog = *app.dialog;
    return dialog.ShowMessageBox(dialog.context, text, caption, BoxYesNo | BoxIconWarning) ==
           AnswerYes;
}

// The command failed, or succeeded after the open unit's removal was noted.
bool Failed(const AppState& app, std::int32_t result, std::uint16_t messageId,
            UpdateFailure& failure) {
    if (result == ResultSuccess) {
        return StopsForLostUnit(app, failure);
    }
    failure = CommandFailure(app, messageId, result);
    return true;
}

// A pause between two commands; false when the open unit's removal was noted by its end.
bool PausedAndGoOn(const AppState& app, std::uint32_t milliseconds, UpdateFailure& failure) {
    PauseUpdate(app, milliseconds);
    return !StopsForLostUnit(app, failure);
}

// Lock, open the flash, erase, set the address: each followed by its pause. The erase gets its
// settle time whatever it answered.
bool PrepareController(AppState& app, PauseDeadline& addressPause, UpdateFailure& failure) {
    if (Failed(app, SetSystemLock(app.unit, true), MessageLockFailed, failure) ||
        !PausedAndGoOn(app, PreparePauseMilliseconds, failure) ||
        Failed(app, SetWriteProtection(app.unit, false), MessageUnprotectFailed, failure) ||
        !PausedAndGoOn(app, PreparePauseMilliseconds, failure)) {
        return false;
    }
    const std::int32_t erased = EraseFirmware(app.unit);
    PauseUpdate(app, EraseSettleMilliseconds);
    std::uint32_t addressReply = 0; // by-product of SetWriteAddress, never read
    if (Failed(app, erased, MessageEraseFailed, failure) ||
        !PausedAndGoOn(app, PreparePauseMilliseconds, failure) ||
        Failed(app, SetWriteAddress(app.unit, &addressReply), MessageAddressFailed, failure)) {
        return false;
    }
    // Its pause is finished once the progress window is open (WriteImageBlocks).
    addressPause = StartPauseUpdate(app, AddressPauseMilliseconds);
    return true;
}

// Every block was accepted: protect and release without a pause, results not examined, since
// the firmware is complete either way.
void CompleteUpdate(AppState& app) {
    SetWriteProtection(app.unit, true);
    SetSystemLock(app.unit, false);
    SetControllerFirmwareVersion(app.unit, CarriedFirmwareVersion);
    const DialogHost& dialog = *app.dialog;
    dialog.EnableControl(dialog.context, ControlUpdate, false);
    RefreshVersionPanel(app);
    char16_t text[MessageBufferSize];
    LoadMessage(app, MessageUpdateDoneNotice, text);
    SetNoticeText(app, text, false);
}

void ReportFailure(AppState& app, const UpdateFailure& failure) {
    char16_t caption[MessageBufferSize];
    char16_t text[MessageBufferSize];
    LoadMessage(app, MessageUpdateFailedCaption, caption);
    LoadMessage(app, failure.messageId, text);
    ReportUpdateFailure(app, text, caption, failure.result, failure.systemError);
}

void BeginPreciseTiming(const AppState& app) {
    const Clock* clock = app.unit.clock;
    if (clock != nullptr && clock->BeginPreciseTiming != nullptr) {
        clock->BeginPreciseTiming(clock->context);
    }
}

void EndPreciseTiming(const AppState& app) {
    const Clock* clock = app.unit.clock;
    if (clock != nullptr && clock->EndPreciseTiming != nullptr) {
        clock->EndPreciseTiming(clock->context);
    }
}

// From the first command until the outcome is known, neither button can be used, and the dialog's
// thread keeps looking at its queue while it waits (device events are held by the run's hold).
void BeginWriting(AppState& app) {
    app.busy.activity = Busy::Writing;
    const DialogHost& dialog = *app.dialog;
    dialog.EnableControl(dialog.context, ControlUpdate, false);
    dialog.EnableControl(dialog.context, ControlQuit, false);
    if (dialog.BeginWriting != nullptr) {
        dialog.BeginWriting(dialog.context);
    }
}

// "Beenden" is usable again; "Update" stays as the run left it. Input given meanwhile is dropped.
void EndWriting(AppState& app) {
    app.busy.activity = Busy::Looking;
    const DialogHost& dialog = *app.dialog;
    dialog.EnableControl(dialog.context, ControlQuit, true);
    if (dialog.EndWriting != nullptr) {
        dialog.EndWriting(dialog.context);
    }
}

} // namespace

void RunUpdateWith(AppState& app, FirmwareImageLoader loadImage) {
    // Nothing is written to a unit that is not open, identified and ready: "Update" is enabled
    // only then, but its command can also come from elsewhere.
    if (!IsUnitReady(app.unit)) {
        ReportFailure(app, {MessageUnitGone, NoCodeToShow, 0});
        return;
    }
    if (NeedsConfirmation(GetControllerFirmwareVersion(app.unit))) {
        const AskedUnit asked = RememberUnit(app.unit);
        // Anything but Yes, or a close of the program meanwhile, leaves all as it is.
        if (!ConfirmOverwrite(app) || IsCloseRequested(app.busy)) {
            return;
        }
        // Yes about a unit that has gone, or come back, since: the report of a run that finds no
        // unit. It closes what is open; a unit found after a removal is looked for again.
        if (!IsAskedUnit(asked, app.unit)) {
            EventHold hold(app);
            hold.lookForUnit = app.unit.connection != asked.connection;
            ReportFailure(app, {MessageUnitGone, NoCodeToShow, 0});
            return;
        }
    }
    const FirmwareImage image = loadImage();
    if (image.data == nullptr || image.size == 0) {
        // Without an image nothing may be erased: stop before the first command.
        ReportFailure(app, {MessageBlockFailed, NoCodeToShow, 0});
        return;
    }

    // A report that came while the unit was idle (another program talking to it) would be taken
    // for the first reply and put every later one out of step.
    FlushUnitInput(app.unit);
    // Pauses of 20 ms must take 20 ms while the unit is being written. Arrivals and removals met
    // from here on are handled once the outcome is on screen, at the hold's end.
    BeginPreciseTiming(app);
    const EventHold hold(app);
    BeginWriting(app);
    UpdateFailure failure;
    PauseDeadline addressPause = 0;
    const bool written = PrepareController(app, addressPause, failure) &&
                         WriteImageBlocks(app, image, addressPause, failure);
    if (written) {
        CompleteUpdate(app);
    }
    EndPreciseTiming(app);
    EndWriting(app);
    if (!written) {
        ReportFailure(app, failure);
    }
}

void RunUpdate(AppState& app) {
    RunUpdateWith(app, LoadFirmwareImage);
}
