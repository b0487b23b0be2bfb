#pragma once
// The main dialog's controls and the program's resources by the names the C++ uses; the numbers
// are those of resources/ResourceIds.h, which the resource scripts include as well.
#include "resources/ResourceIds.h"

#include <cstdint>

inline constexpr std::int32_t ControlQuit = 2; // IDCANCEL: "Beenden", Escape and the close box
inline constexpr std::int32_t ControlUpdate = IDC_UPDATE;
inline constexpr std::int32_t ControlNotice = IDC_NOTICE;
inline constexpr std::int32_t ControlVersionGroup = IDC_VERSION_GROUP;
inline constexpr std::int32_t ControlUnitLabel = IDC_UNIT_LABEL;
inline constexpr std::int32_t ControlBootloaderLabel = IDC_BOOTLOADER_LABEL;
inline constexpr std::int32_t ControlControllerLabel = IDC_CONTROLLER_LABEL;
inline constexpr std::int32_t ControlUnitVersion = IDC_UNIT_VERSION;
inline constexpr std::int32_t ControlBootloaderVersion = IDC_BOOTLOADER_VERSION;
inline constexpr std::int32_t ControlControllerVersion = IDC_CONTROLLER_VERSION;

inline constexpr std::uint16_t MainDialogTemplateId = IDD_MAIN;
inline constexpr std::uint16_t LogoBitmapId = IDB_LOGO;
inline constexpr std::uint16_t AppIconId = IDI_APP;
