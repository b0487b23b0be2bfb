#pragma once
#include "ui/AppState.h"

#include <cstdint>

inline constexpr std::uint32_t VersionTextSize = 32;

// "4.8", "1.3.4": the top byte with a dot when it is nonzero, then bits 8-15, a dot, bits 0-7.
void FormatVersionText(std::uint32_t value, char16_t (&buffer)[VersionTextSize]);

// Rewrites the three version fields, the enabling of the six panel controls and, with a unit
// open, the product name in label 40010, from the unit record.
void RefreshVersionPanel(AppState& app);

// Row 3 (the controller's label and version) is drawn in red, COLORREF 0x000000FF. Under a
// high-contrast scheme every text must be in the scheme's colours: then the system's window-text
// colour, as given.
inline constexpr std::uint32_t ControllerRowRed = 0x000000FF;
std::uint32_t ChooseControllerRowColour(bool highContrast, std::uint32_t windowTextColour);
