#pragma once
// The main dialog's controls and the program's resources by the names the C++ uses; the numbers
// are those of resources/ResourceIds.h, which the resource scripts include as well.
#include "resources/ResourceIds.h"

#include <cstdint>

enum ControlId : std::int32_t {
    ControlQuit = 2, // IDCANCEL: "Beenden", Escape and the close box
    ControlUpdate = IDC_UPDATE,
    ControlNotice = IDC_NOTICE,
    ControlVersionGroup = IDC_VERSION_GROUP,
    ControlUnitLabel = IDC_UNIT_LABEL,
    ControlBootloaderLabel = IDC_BOOTLOADER_LABEL,
    ControlControllerLabel = IDC_CONTROLLER_LABEL,
    ControlUnitVersion = IDC_UNIT_VERSION,
    ControlBootloaderVersion = IDC_BOOTLOADER_VERSION,
    ControlControllerVersion = IDC_CONTROLLER_VERSION,
};

enum ResourceId : std::uint16_t {
    MainDialogTemplateId = IDD_MAIN,
    LogoBitmapId = IDB_LOGO,
    AppIconId = IDI_APP,
};
