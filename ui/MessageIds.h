#pragma once
// Identifiers of the message catalogue (resources/messages.def holds the texts).
#include <cstdint>

enum MessageId : std::uint16_t {
    MessageReadyNotice = 40000,
    MessageInstructions = 40001,
    MessageUpdateFailedCaption = 40002,
    MessageAddressFailed = 40008,
    MessageBlockFailed = 40009,
    MessageLibraryMissing = 40010,
    MessageRegistrationFailed = 40011,
    MessageApplicationErrorCaption = 40012,
    MessageWrongModeNotice = 40015,
    MessageNoControllerNotice = 40016,
    MessageNoUnitNotice = 40017,
    MessageUnitRemovedNotice = 40020,
    MessageUnitGone = 40022,
    MessageVersionQuestion = 40023,
    MessageVersionQuestionCaption = 40025,
    MessageLockFailed = 40026,
    MessageUnprotectFailed = 40027,
    MessageEraseFailed = 40028,
    MessageProgressTitle = 40029,
    MessageUpdateFailedNotice = 40030,
    MessageUpdateDoneNotice = 40032,
    MessageIncompatibleCaption = 40033,
    MessageIncompatibleFormat = 40034,
    MessageIncompatibleNotice = 40035,
    MessageErrorCodeFormat = 40036,
    MessageSuspendedDuringUpdate = 40037,
    MessageRunningInOtherSession = 40038,
};

// Every text is fetched into a caller-owned buffer of this many UTF-16 units, terminator included.
inline constexpr std::uint32_t MessageBufferSize = 2048;
