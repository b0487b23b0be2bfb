#pragma once
// Identifiers of the message catalogue (resources/messages.def holds the texts).
#include <cstdint>

inline constexpr std::uint16_t MessageReadyNotice = 40000;
inline constexpr std::uint16_t MessageInstructions = 40001;
inline constexpr std::uint16_t MessageUpdateFailedCaption = 40002;
inline constexpr std::uint16_t MessageAddressFailed = 40008;
inline constexpr std::uint16_t MessageBlockFailed = 40009;
inline constexpr std::uint16_t MessageRegistrationFailed = 40011;
inline constexpr std::uint16_t MessageApplicationErrorCaption = 40012;
inline constexpr std::uint16_t MessageWrongModeNotice = 40015;
inline constexpr std::uint16_t MessageNoControllerNotice = 40016;
inline constexpr std::uint16_t MessageNoUnitNotice = 40017;
inline constexpr std::uint16_t MessageUnitRemovedNotice = 40020;
inline constexpr std::uint16_t MessageUnitGone = 40022;
inline constexpr std::uint16_t MessageVersionQuestion = 40023;
inline constexpr std::uint16_t MessageVersionQuestionCaption = 40025;
inline constexpr std::uint16_t MessageLockFailed = 40026;
inline constexpr std::uint16_t MessageUnprotectFailed = 40027;
inline constexpr std::uint16_t MessageEraseFailed = 40028;
inline constexpr std::uint16_t MessageProgressTitle = 40029;
inline constexpr std::uint16_t MessageUpdateFailedNotice = 40030;
inline constexpr std::uint16_t MessageUpdateDoneNotice = 40032;
inline constexpr std::uint16_t MessageIncompatibleCaption = 40033;
inline constexpr std::uint16_t MessageIncompatibleFormat = 40034;
inline constexpr std::uint16_t MessageIncompatibleNotice = 40035;
inline constexpr std::uint16_t MessageErrorCodeFormat = 40036;

// Every text is fetched into a caller-owned buffer of this many UTF-16 units, terminator included.
inline constexpr std::uint32_t MessageBufferSize = 2048;
