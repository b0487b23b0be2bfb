#pragma once
// Control identifiers of the main dialog (template 110).
#include <cstdint>

inline constexpr std::int32_t ControlQuit = 2; // IDCANCEL: "Beenden", Escape and the close box
inline constexpr std::int32_t ControlUpdate = 1002;
inline constexpr std::int32_t ControlNotice = 40004;
inline constexpr std::int32_t ControlVersionGroup = 40007;
inline constexpr std::int32_t ControlUnitLabel = 40010;
inline constexpr std::int32_t ControlBootloaderLabel = 1005;
inline constexpr std::int32_t ControlControllerLabel = 40011;
inline constexpr std::int32_t ControlUnitVersion = 40013;
inline constexpr std::int32_t ControlBootloaderVersion = 40014;
inline constexpr std::int32_t ControlControllerVersion = 40015;

inline constexpr std::uint16_t MainDialogTemplateId = 110;
inline constexpr std::uint16_t LogoBitmapId = 121;
inline constexpr std::uint16_t AppIconId = 123;
