#pragma once
// The platform helpers that every part of "Update" uses: pauses through the clock and catalogue
// texts through the dialog. A unit of their own, so that the procedure, the block loop and the
// failure report call down into them and never back into each other.
#include "ui/AppState.h"

#include <cstdint>

// A pause through the unit's clock; a missing clock does nothing.
void PauseUpdate(const AppState& app, std::uint32_t milliseconds);
// A pause in two halves: what comes between them is taken from it. Where the clock cannot split
// a pause, the whole pause is taken when it is finished.
PauseDeadline StartPauseUpdate(const AppState& app, std::uint32_t milliseconds);
void FinishPauseUpdate(const AppState& app, PauseDeadline deadline);
// A catalogue text into a buffer of MessageBufferSize units.
void LoadMessage(const AppState& app, std::uint16_t messageId, char16_t* buffer);
