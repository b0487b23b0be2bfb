#pragma once
// The controller model that this updater serves, as the title and message 40034 name it.
inline constexpr char16_t SupportedModelName[] = u"HALVERN 160";
inline constexpr char16_t CaptionFormat[] = u"ORVALDA %s Firmware Updater %u.%u";
