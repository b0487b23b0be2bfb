#include "update/UpdateShared.h"

#include "device/Discovery.h"
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

bool IsConnectionGone(const AppState& app) {
    if (app.openUnitRemoved || app.unit.exchangeSystemError == SystemErrorDeviceNotConnected ||
        !IsUnitInterfaceListed(app.unit)) {
        return true;
    }
    PauseUpdate(app, RemovalNoticeMilliseconds);
    return app.openUnitRemoved || !IsUnitInterfaceListed(app.unit);
}

UpdateFailure CommandFailure(const AppState& app, std::uint16_t messageId, std::int32_t result) {
    // A unit that answered, even with a refusal, is still there.
    const bool transferFailed = result == ResultWriteFailed || result == ResultReadFailed;
    const bool gone = app.openUnitRemoved || (transferFailed && IsConnectionGone(app));
    const std::uint16_t shown = app.systemSuspending ? std::uint16_t{MessageSuspendedDuringUpdate}
                                : gone               ? std::uint16_t{MessageUnitGone}
                                                     : messageId;
    return CommandFailure(app.unit, shown, result);
}

bool StopsForLostUnit(const AppState& app, UpdateFailure& failure) {
    if (app.systemSuspending) {
        failure = {MessageSuspendedDuringUpdate, NoCodeToShow, 0};
        return true;
    }
    if (app.openUnitRemoved) {
        failure = {MessageUnitGone, NoCodeToShow, 0};
        return true;
    }
    return false;
}

void LoadMessage(const AppState& app, std::uint16_t messageId, char16_t* buffer) {
    app.dialog->LoadMessageText(app.dialog->context, messageId, buffer, MessageBufferSize);
}
