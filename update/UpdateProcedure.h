#pragma once
// "Update": writes the carried image to the controller, from the version guard to the report.
#include "ui/AppState.h"

#include <cstdint>
#include <optional>

// After the lock, the opening of the flash and the erase's settle time.
inline constexpr std::uint32_t PreparePauseMilliseconds = 20;
inline constexpr std::uint32_t EraseSettleMilliseconds = 4000;
// After the write address, counted from its reply; the progress window opens inside it.
inline constexpr std::uint32_t AddressPauseMilliseconds = 20;
// After each block, counted from its reply; the bar's repaint lies inside it.
inline constexpr std::uint32_t BlockPauseMilliseconds = 20;
// The progress window at 96 DPI; scaled with the dialog's DPI above it.
inline constexpr std::int32_t ProgressWindowWidth = 400;
inline constexpr std::int32_t ProgressWindowHeight = 50;

void RunUpdate(AppState& app);

// A failure without a code to show: nothing reached the unit (no unit open, nothing to send).
inline constexpr std::optional<std::int32_t> NoCodeToShow = std::nullopt;

// Closes the unit, disables "Update", empties the panel, shows the failure box (with the error
// code line whenever there is a code, whatever its value) and then notice 40030.
void ReportUpdateFailure(AppState& app, const char16_t* message, const char16_t* caption,
                         std::optional<std::int32_t> resultCode, std::uint32_t systemError);
