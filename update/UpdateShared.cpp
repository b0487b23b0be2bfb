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

PauseDeadline StartPauseUpdate(const AppState& app, std::uint32_t milliseconds) {
    const Clock* clock = app.unit.clock;
    if (clock != nullptr && clock->StartPause != nullptr && clock->FinishPause != nullptr) {
        return clock->StartPause(clock->context, milliseconds);
    }
    return milliseconds; // the whole pause, taken when it is finished
}

void FinishPauseUpdate(const AppState& app, PauseDeadline deadline) {
    const Clock* clock = app.unit.clock;
    if (clock != nullptr && clock->StartPause != nullptr && clock->FinishPause != nullptr) {
        clock->FinishPause(clock->context, deadline);
    } else {
        PauseUpdate(app, static_cast<std::uint32_t>(deadline));
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
    if (app.busy.stop == StopReason::UnitRemoved ||
        app.unit.exchangeSystemError == SystemErrorDeviceNotConnected ||
        !IsUnitInterfaceListed(app.unit)) {
        return true;
    }
    PauseUpdate(app, RemovalNoticeMilliseconds);
    return app.busy.stop == StopReason::UnitRemoved || !IsUnitInterfaceListed(app.unit);
}

UpdateFailure CommandFailure(const AppState& app, std::uint16_t messageId, std::int32_t result) {
    // A unit that answered, even with a refusal, is still there.
    const bool transferFailed = result == ResultWriteFailed || result == ResultReadFailed;
    const bool gone =
        app.busy.stop == StopReason::UnitRemoved || (transferFailed && IsConnectionGone(app));
    const std::uint16_t shown = app.busy.stop == StopReason::SystemSuspending
                                    ? std::uint16_t{MessageSuspendedDuringUpdate}
                                : gone ? std::uint16_t{MessageUnitGone}
                                       : messageId;
    return CommandFailure(app.unit, shown, result);
}

bool StopsForLostUnit(const AppState& app, UpdateFailure& failure) {
    switch (app.busy.stop) {
    case StopReason::SystemSuspending:
        failure = {MessageSuspendedDuringUpdate, NoCodeToShow, 0};
        return true;
    case StopReason::UnitRemoved:
        failure = {MessageUnitGone, NoCodeToShow, 0};
        return true;
    case StopReason::None:
    case StopReason::CloseRequested: // refused while a run writes
        return false;
    }
    return false;
}

void LoadMessage(const AppState& app, std::uint16_t messageId, char16_t* buffer) {
    app.dialog->LoadMessageText(app.dialog->context, messageId, buffer, MessageBufferSize);
}
