#pragma once
// The nine command exchanges with the programming unit: exactly one output report written, then
// exactly one input report read, no retry, no draining. Each returns a result code (Results.h).
#include "device/UnitConnection.h"

#include <cstdint>
#include <span>

inline constexpr std::uint8_t RequestReportId = 0x01;
inline constexpr std::uint8_t ReplyReportId = 0x02;
inline constexpr std::uint8_t ErrorMarker = 0xFF;
inline constexpr std::uint32_t EraseConfirmationCode = 0x6B2D9E47;
inline constexpr std::uint32_t UnitMemoryAddress = 0x0801FC00;
inline constexpr std::uint32_t EraseReplyWaitMilliseconds = 1000;
inline constexpr std::uint32_t MaxBlockWords = 14;

// The shortest report lengths that carry every command's named bytes: the longest request (a
// WriteBlock of 14 words) has 60 bytes, the longest reply (ReadControllerType) 44.
inline constexpr std::uint32_t MinOutputReportLength = 60;
inline constexpr std::uint32_t MinInputReportLength = 44;

enum CommandCode : std::uint8_t {
    CommandIdentify = 0x08,
    CommandReadMemory = 0x0A,
    CommandSetSystemLock = 0x0B,
    CommandWriteBlock = 0x1B,
    CommandReadControllerInfo = 0x1D,
    CommandEraseFirmware = 0x1E,
    CommandSetWriteAddress = 0x1F,
    CommandSetWriteProtection = 0x20,
    CommandReadControllerType = 0x22,
};

// Identify: the first 16 reply bytes, unjudged (IdentifyUnit reads them).
std::int32_t Identify(UnitConnection& unit, std::span<std::uint8_t, 16> reply);
std::int32_t ReadMemory(UnitConnection& unit, std::span<std::uint8_t, 12> destination);
std::int32_t SetSystemLock(UnitConnection& unit, bool flag);
std::int32_t WriteBlock(UnitConnection& unit, const std::uint8_t* source, std::uint32_t wordCount,
                        std::uint32_t& wordsQueued);
std::int32_t ReadControllerInfo(UnitConnection& unit, std::span<std::uint8_t, 32> destination);
std::int32_t EraseFirmware(UnitConnection& unit);
std::int32_t SetWriteAddress(UnitConnection& unit, std::uint32_t* addressReply);
std::int32_t SetWriteProtection(UnitConnection& unit, bool flag);
std::int32_t ReadControllerType(UnitConnection& unit, std::span<std::uint8_t, 40> destination);
