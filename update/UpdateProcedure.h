#pragma once
// "Update": writes the carried image to the controller, from the version guard to the report.
#include "ui/AppState.h"

#include <cstdint>

inline constexpr std::uint32_t CommandPauseMilliseconds = 20;
inline constexpr std::uint32_t EraseSettleMilliseconds = 4000;
inline constexpr std::int32_t ProgressWindowWidth = 400;
inline constexpr std::int32_t ProgressWindowHeight = 50;

void RunUpdate(AppState& app);

// Closes the unit, disables "Update", empties the panel, shows the failure box (with the error
// code line unless resultCode is -1) and then notice 40030.
void ReportUpdateFailure(AppState& app, const char16_t* message, const char16_t* caption,
                         std::int32_t resultCode, std::uint32_t systemError);
