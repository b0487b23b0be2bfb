#include "update/UpdateShared.h"

#include "device/Results.h"
#include "ui/MessageIds.h"
#include "update/UpdateProcedure.h"
#include "update/UpdateSteps.h"

void PauseUpdate(const AppState& app, std::uint32_t milliseconds) {
    const Clock* clock = app.unit.clock;
    if (clock != nullptr && clock->Pause != nullptr) {
        clock->Pause(clock->context, milliseconds);
    }
}

void MarkPauseStart(const AppState& app) {
    const Clock* clock = app.unit.clock;
    if (clock != nullptr && clock->MarkPauseStart != nullptr) {
        clock->MarkPauseStart(clock->context);
    }
}

UpdateFailure CommandFailure(const UnitConnection& unit, std::uint16_t messageId,
                             std::int32_t result) {
    UpdateFailure failure{messageId, result, unit.exchangeSystemError};
    if (result == ResultRefused && !unit.exchangeAnswered) {
        failure.result = NoCodeToShow;
    }
    return failure;
}

UpdateFailure CommandFailure(const AppState& app, std::uint16_t messageId, std::int32_t result) {
    // The system may fail the transfer before the removal's notice reaches the dialog.
    const bool gone =
        app.openUnitRemoved || app.unit.exchangeSystemError == SystemErrorDeviceNotConnected;
    return CommandFailure(app.unit, gone ? std::uint16_t{MessageUnitGone} : messageId, result);
}

bool StopsForRemovedUnit(const AppState& app, UpdateFailure& failure) {
    if (!app.openUnitRemoved) {
        return false;
    }
    failure = {MessageUnitGone, NoCodeToShow, 0};
    return true;
}

void LoadMessage(const AppState& app, std::uint16_t messageId, char16_t* buffer) {
    app.dialog->LoadMessageText(app.dialog->context, messageId, buffer, MessageBufferSize);
}
