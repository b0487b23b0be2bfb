#include "device/Commands.h"

#include "device/ByteOrder.h"
#include "device/ExchangeBuffers.h"
#include "device/Results.h"

#include <algorithm>
#include <cstring>

namespace {

// Every request and reply buffer holds at least this much, whatever the unit announces.
constexpr std::size_t BaseBufferBytes = 60;

constexpr std::uint32_t BlockPayloadOffset = 4;

// Each exchange starts from a zero-filled request; unassigned bytes go out as zero.
std::uint8_t* BeginRequest(UnitConnection& unit, CommandCode code) {
    std::fill(unit.requestBuffer.begin(), unit.requestBuffer.end(), std::uint8_t{0});
    std::uint8_t* request = unit.requestBuffer.data();
    request[0] = RequestReportId;
    request[1] = code;
    return request;
}

// An open unit whose buffers fit its report lengths; anything else is refused before a byte is
// built. Every command starts here, so what an earlier exchange left is cleared first.
bool IsReadyForExchange(UnitConnection& unit) {
    unit.exchangeSystemError = 0;
    unit.exchangeAnswered = false;
    return IsUnitOpen(unit) && unit.host != nullptr && unit.clock != nullptr &&
           PrepareExchangeBuffers(unit);
}

// The system error of the host call that has just failed, kept for the failure report.
void KeepSystemError(UnitConnection& unit) {
    const HidHost& host = *unit.host;
    unit.exchangeSystemError =
        host.GetLastSystemError != nullptr ? host.GetLastSystemError(host.context) : 0;
}

// The reply bytes each command may look at: the marker, the echo and a 32-bit code (bytes 1-7),
// or its data. A read that delivers fewer is not judged: the rest is only zero fill.
constexpr std::uint32_t CodeReplyBytes = 8;
constexpr std::uint32_t IdentifyReplyBytes = 16;
constexpr std::uint32_t MemoryReplyBytes = 16;
constexpr std::uint32_t InfoReplyBytes = 36;
constexpr std::uint32_t TypeReplyBytes = 44;

// One output report written, then (after an optional pause) one input report read. The read is
// posted before the write where the host can, so that no reply arrives without a read waiting;
// a read that cannot be posted stops the command before its request leaves.
std::int32_t Exchange(UnitConnection& unit, std::uint32_t pauseBeforeRead,
                      std::uint32_t replyBytes) {
    const HidHost& host = *unit.host;
    std::fill(unit.replyBuffer.begin(), unit.replyBuffer.end(), std::uint8_t{0});
    unit.replyBuffer[0] = ReplyReportId;
    if (host.PostReadReport != nullptr &&
        !host.PostReadReport(host.context, unit.device, unit.replyBuffer.data(),
                             unit.inputReportLength)) {
        KeepSystemError(unit);
        return ResultReadFailed;
    }
    if (!host.WriteReport(host.context, unit.device, unit.requestBuffer.data(),
                          unit.outputReportLength)) {
        KeepSystemError(unit);
        return ResultWriteFailed;
    }
    if (pauseBeforeRead != 0) {
        unit.clock->Pause(unit.clock->context, pauseBeforeRead);
    }
    std::uint32_t delivered = 0;
    if (!host.ReadReport(host.context, unit.device, unit.replyBuffer.data(), unit.inputReportLength,
                         &delivered)) {
        KeepSystemError(unit);
        return ResultReadFailed;
    }
    if (delivered < replyBytes) {
        unit.exchangeSystemError = SystemErrorInvalidData;
        return ResultReadFailed;
    }
    unit.exchangeAnswered = true;
    return ResultSuccess;
}

bool IsErrorReply(const UnitConnection& unit) {
    return unit.replyBuffer[1] == ErrorMarker;
}

// An error reply always fails the command. The unit's code is passed on unchanged, its unsigned
// value taken as signed; a zero code would read as success and becomes ResultRefusedWithoutCode.
std::int32_t RefusalCode(std::uint32_t unitCode) {
    return unitCode == 0 ? ResultRefusedWithoutCode : static_cast<std::int32_t>(unitCode);
}

std::int32_t ErrorCode32(const UnitConnection& unit) {
    return RefusalCode(LoadLittle32(unit.replyBuffer.data() + 4));
}

std::int32_t ErrorCode16(const UnitConnection& unit) {
    return RefusalCode(LoadLittle16(unit.replyBuffer.data() + 4));
}

std::int32_t JudgeEcho(const UnitConnection& unit, std::uint8_t flagSent) {
    return unit.replyBuffer[3] == flagSent ? ResultSuccess : ResultEchoMismatch;
}

// The flag commands: byte 2 = 1, byte 3 = the flag. An error reply is a refusal whatever it
// echoes; otherwise the echo in reply byte 3 must match.
std::int32_t SendFlag(UnitConnection& unit, CommandCode code, bool flag) {
    if (!IsReadyForExchange(unit)) {
        return ResultRefused;
    }
    const std::uint8_t flagByte = flag ? 1 : 0;
    std::uint8_t* request = BeginRequest(unit, code);
    request[2] = 0x01;
    request[3] = flagByte;
    if (const std::int32_t result = Exchange(unit, 0, CodeReplyBytes); result != ResultSuccess) {
        return result;
    }
    if (IsErrorReply(unit)) {
        return ErrorCode32(unit);
    }
    return JudgeEcho(unit, flagByte);
}

} // namespace

bool PrepareExchangeBuffers(UnitConnection& unit) {
    if (unit.outputReportLength < MinOutputReportLength ||
        unit.inputReportLength < MinInputReportLength) {
        return false;
    }
    const std::size_t requestBytes =
        std::max<std::size_t>(BaseBufferBytes, unit.outputReportLength);
    const std::size_t replyBytes = std::max<std::size_t>(BaseBufferBytes, unit.inputReportLength);
    if (unit.requestBuffer.size() < requestBytes) {
        unit.requestBuffer.resize(requestBytes, 0);
    }
    if (unit.replyBuffer.size() < replyBytes) {
        unit.replyBuffer.resize(replyBytes, 0);
    }
    return true;
}

std::int32_t Identify(UnitConnection& unit, std::span<std::uint8_t, 16> reply) {
    if (!IsReadyForExchange(unit)) {
        return ResultRefused;
    }
    std::uint8_t* request = BeginRequest(unit, CommandIdentify);
    request[2] = 0x00;
    if (const std::int32_t result = Exchange(unit, 0, IdentifyReplyBytes);
        result != ResultSuccess) {
        return result;
    }
    std::memcpy(reply.data(), unit.replyBuffer.data(), reply.size());
    return ResultSuccess;
}

std::int32_t ReadMemory(UnitConnection& unit, std::span<std::uint8_t, 12> destination) {
    if (!IsReadyForExchange(unit)) {
        return ResultRefused;
    }
    std::uint8_t* request = BeginRequest(unit, CommandReadMemory);
    request[2] = 0x0C;
    StoreLittle32(request + 4, UnitMemoryAddress);
    if (const std::int32_t result = Exchange(unit, 0, MemoryReplyBytes); result != ResultSuccess) {
        return result;
    }
    // The boot mode's memory read is taken as it comes: the marker is not looked at.
    std::memcpy(destination.data(), unit.replyBuffer.data() + 4, destination.size());
    return ResultSuccess;
}

std::int32_t SetSystemLock(UnitConnection& unit, bool flag) {
    return SendFlag(unit, CommandSetSystemLock, flag);
}

std::int32_t WriteBlock(UnitConnection& unit, const std::uint8_t* source, std::uint32_t wordCount,
                        std::uint32_t& wordsQueued) {
    if (!IsReadyForExchange(unit) || wordCount > MaxBlockWords ||
        (source == nullptr && wordCount != 0)) {
        return ResultRefused;
    }
    const std::uint32_t payloadBytes = 4 * wordCount;
    std::uint8_t* request = BeginRequest(unit, CommandWriteBlock);
    request[2] = static_cast<std::uint8_t>(payloadBytes);
    if (payloadBytes != 0) {
        std::memcpy(request + BlockPayloadOffset, source, payloadBytes);
    }
    wordsQueued = wordCount;
    if (const std::int32_t result = Exchange(unit, 0, CodeReplyBytes); result != ResultSuccess) {
        return result;
    }
    return IsErrorReply(unit) ? ErrorCode32(unit) : ResultSuccess;
}

std::int32_t ReadControllerInfo(UnitConnection& unit, std::span<std::uint8_t, 32> destination) {
    if (!IsReadyForExchange(unit)) {
        return ResultRefused;
    }
    std::uint8_t* request = BeginRequest(unit, CommandReadControllerInfo);
    request[2] = 0x08;
    // The size of the block asked for, then its two's-complement negation as a check.
    StoreLittle32(request + 4, 0x00000020);
    StoreLittle32(request + 8, 0xFFFFFFE0);
    if (const std::int32_t result = Exchange(unit, 0, InfoReplyBytes); result != ResultSuccess) {
        return result;
    }
    if (IsErrorReply(unit)) {
        return ErrorCode16(unit);
    }
    std::memcpy(destination.data(), unit.replyBuffer.data() + 4, destination.size());
    return ResultSuccess;
}

std::int32_t EraseFirmware(UnitConnection& unit) {
    if (!IsReadyForExchange(unit)) {
        return ResultRefused;
    }
    std::uint8_t* request = BeginRequest(unit, CommandEraseFirmware);
    request[2] = 0x04;
    StoreLittle32(request + 4, EraseConfirmationCode);
    // The unit answers only once the erase has started; read after a fixed pause.
    if (const std::int32_t result = Exchange(unit, EraseReplyWaitMilliseconds, CodeReplyBytes);
        result != ResultSuccess) {
        return result;
    }
    return IsErrorReply(unit) ? ErrorCode32(unit) : ResultSuccess;
}

std::int32_t SetWriteAddress(UnitConnection& unit, std::uint32_t* addressReply) {
    if (!IsReadyForExchange(unit)) {
        return ResultRefused;
    }
    std::uint8_t* request = BeginRequest(unit, CommandSetWriteAddress);
    request[2] = 0x09;
    request[3] = 0x01;
    StoreLittle32(request + 4, 0);
    StoreLittle32(request + 8, EraseConfirmationCode);
    if (const std::int32_t result = Exchange(unit, 0, CodeReplyBytes); result != ResultSuccess) {
        return result;
    }
    if (IsErrorReply(unit)) {
        return ErrorCode32(unit);
    }
    if (addressReply != nullptr) {
        *addressReply = LoadLittle32(unit.replyBuffer.data() + 4);
    }
    return ResultSuccess;
}

std::int32_t SetWriteProtection(UnitConnection& unit, bool flag) {
    return SendFlag(unit, CommandSetWriteProtection, flag);
}

std::int32_t ReadControllerType(UnitConnection& unit, std::span<std::uint8_t, 40> destination) {
    if (!IsReadyForExchange(unit)) {
        return ResultRefused;
    }
    BeginRequest(unit, CommandReadControllerType);
    if (const std::int32_t result = Exchange(unit, 0, TypeReplyBytes); result != ResultSuccess) {
        return result;
    }
    if (IsErrorReply(unit)) {
        return ErrorCode16(unit);
    }
    std::memcpy(destination.data(), unit.replyBuffer.data() + 4, destination.size());
    return ResultSuccess;
}
