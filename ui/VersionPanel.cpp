#include "ui/VersionPanel.h"

#include "device/UnitConnection.h"
#include "device/UnitTypes.h"
#include "ui/ControlIds.h"
#include "ui/TextFormat.h"

namespace {

// Enabling always walks the panel in this order: the three value fields, then the three labels.
constexpr std::int32_t panelControls[] = {
    ControlUnitVersion, ControlBootloaderVersion, ControlControllerVersion,
    ControlUnitLabel,   ControlBootloaderLabel,   ControlControllerLabel,
};

constexpr char16_t emptyVersionText[] = u"0.0.0";
constexpr char16_t noFirmwareText[] = u"----------";
// The row's label where the open unit is of no known type.
constexpr char16_t unitLabel[] = u"Programmiereinheit";

void EnablePanel(const DialogHost& dialog, bool enable) {
    for (const std::int32_t id : panelControls) {
        dialog.EnableControl(dialog.context, id, enable);
    }
}

void SetVersionField(const DialogHost& dialog, std::int32_t controlId, std::uint32_t value) {
    char16_t text[VersionTextSize];
    FormatVersionText(value, text);
    dialog.SetControlText(dialog.context, controlId, text);
}

} // namespace

void FormatVersionText(std::uint32_t value, char16_t (&buffer)[VersionTextSize]) {
    buffer[0] = u'\0';
    std::size_t length = 0;
    const std::uint32_t top = value >> 24;
    if (top != 0) {
        const std::int32_t written =
            FormatText(buffer, VersionTextSize, u"%u.", {NumberArgument(top)});
        if (written > 0) {
            length = static_cast<std::size_t>(written);
        }
    }
    // Bits 16-23 are never shown.
    FormatText(buffer + length, VersionTextSize - length, u"%u.%u",
               {NumberArgument((value >> 8) & 0xFF), NumberArgument(value & 0xFF)});
}

void RefreshVersionPanel(AppState& app) {
    const DialogHost& dialog = *app.dialog;
    const UnitConnection& unit = app.unit;

    if (!IsUnitOpen(unit)) {
        // The unit label keeps whatever name it showed last.
        dialog.SetControlText(dialog.context, ControlUnitVersion, emptyVersionText);
        dialog.SetControlText(dialog.context, ControlBootloaderVersion, emptyVersionText);
        dialog.SetControlText(dialog.context, ControlControllerVersion, emptyVersionText);
        EnablePanel(dialog, false);
        return;
    }

    EnablePanel(dialog, true);

    // A zero low byte means the unit's version sits one byte higher: 0x00040800 is 4.8.
    std::uint32_t unitVersion = unit.unitFirmwareVersion;
    if ((unitVersion & 0xFF) == 0) {
        unitVersion >>= 8;
    }
    SetVersionField(dialog, ControlUnitVersion, unitVersion);

    SetVersionField(dialog, ControlBootloaderVersion, GetControllerBootloaderVersion(unit));

    const std::uint16_t controllerVersion = GetControllerFirmwareVersion(unit);
    if (controllerVersion == NoControllerFirmware) {
        dialog.SetControlText(dialog.context, ControlControllerVersion, noFirmwareText);
    } else {
        SetVersionField(dialog, ControlControllerVersion, controllerVersion);
    }

    const UnitType* type = FindUnitType(UnitVendorId, unit.productId);
    dialog.SetControlText(dialog.context, ControlUnitLabel, type ? type->name : unitLabel);
}

std::uint32_t ChooseControllerRowColour(bool highContrast, std::uint32_t windowTextColour) {
    return highContrast ? windowTextColour : ControllerRowRed;
}
