#include "sim/SimulatedUnit.h"

#include <cstring>

// Plain code on purpose: no heap, no exceptions, no library beyond memcpy/memset, so that a
// kernel-mode driver can carry the same model.

namespace {

constexpr std::uint8_t RequestReportId = 0x01;
constexpr std::uint8_t ReplyReportId = 0x02;
constexpr std::uint8_t ErrorMarker = 0xFF;

constexpr std::uint8_t CodeIdentify = 0x08;
constexpr std::uint8_t CodeReadMemory = 0x0A;
constexpr std::uint8_t CodeSetSystemLock = 0x0B;
constexpr std::uint8_t CodeWriteBlock = 0x1B;
constexpr std::uint8_t CodeReadControllerInfo = 0x1D;
constexpr std::uint8_t CodeEraseFirmware = 0x1E;
constexpr std::uint8_t CodeSetWriteAddress = 0x1F;
constexpr std::uint8_t CodeSetWriteProtection = 0x20;
constexpr std::uint8_t CodeReadControllerType = 0x22;

constexpr std::uint32_t MaxBlockBytes = 56;
constexpr std::uint16_t ControllerReady = 3;
constexpr std::uint16_t NoFirmwareVersion = 0xFFFF;

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// A request as the unit sees it; bytes past its end read as absent.
struct Request {
    const std::uint8_t* bytes;
    std::uint32_t length;
};

bool Covers(const Request& r, std::uint32_t count) {
    return r.length >= count;
}

bool IsFlagCommand(std::uint8_t code) {
    return code == CodeSetSystemLock || code == CodeSetWriteProtection;
}

bool IsControllerCommand(std::uint8_t code) {
    switch (code) {
    case CodeWriteBlock:
    case CodeReadControllerInfo:
    case CodeEraseFirmware:
    case CodeSetWriteAddress:
    case CodeSetWriteProtection:
    case CodeReadControllerType:
        return true;
    default:
        return false;
    }
}

// Byte 3 of an accepted reply: the echoed flag or the mode.
std::uint8_t NormalByte3(const SimUnit& unit, const Request& r) {
    const std::uint8_t code = r.bytes[1];
    if (code == CodeIdentify) {
        return unit.config.bootMode ? 1 : 0;
    }
    if (IsFlagCommand(code) && Covers(r, 4)) {
        return r.bytes[3];
    }
    return 0;
}

void BeginReply(SimUnit& unit, std::uint8_t marker, std::uint8_t dataBytes, std::uint8_t byte3) {
    std::memset(unit.reply, 0, sizeof unit.reply);
    unit.reply[0] = ReplyReportId;
    unit.reply[1] = marker;
    unit.reply[2] = dataBytes;
    unit.reply[3] = byte3;
}

void ErrorReply(SimUnit& unit, std::uint32_t errorCode, std::uint8_t byte3) {
    BeginReply(unit, ErrorMarker, 4, byte3);
    Put32(unit.reply + 4, errorCode);
}

// The unit's own refusal: a flag command gets the complement of its flag back.
void Refuse(SimUnit& unit, const Request& r, std::uint32_t errorCode) {
    std::uint8_t byte3 = NormalByte3(unit, r);
    if (IsFlagCommand(r.bytes[1])) {
        byte3 = static_cast<std::uint8_t>(~(Covers(r, 4) ? r.bytes[3] : 0));
    }
    ErrorReply(unit, errorCode, byte3);
}

void Accept(SimUnit& unit, const Request& r, std::uint8_t dataBytes) {
    BeginReply(unit, r.bytes[1], dataBytes, NormalByte3(unit, r));
}

void DoIdentify(SimUnit& unit, const Request& r) {
    if (!Covers(r, 3) || r.bytes[2] != 0) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    const SimUnitConfig& c = unit.config;
    Accept(unit, r, 12);
    std::uint8_t* d = unit.reply + 4;
    if (c.bootMode) {
        d[0] = c.bootInfoByte1;
        Put16(d + 1, c.bootInfoHalf);
        Put32(d + 3, c.bootInfoWord1);
        Put32(d + 7, c.bootInfoWord2);
        d[11] = c.bootInfoByte2;
    } else {
        Put16(d, c.controllerState);
        Put16(d + 2, c.controllerStateDetail);
        Put32(d + 4, c.unitFirmwareVersion);
        Put32(d + 8, c.unitInfoWord);
    }
}

void DoReadMemory(SimUnit& unit, const Request& r) {
    if (!Covers(r, 8) || r.bytes[2] != 12) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    if (Get32(r.bytes + 4) != SimMemoryAddress) {
        Refuse(unit, r, SimErrorBadAddress);
        return;
    }
    Accept(unit, r, 12);
    Put32(unit.reply + 4, unit.config.bootMemoryWord);
    Put32(unit.reply + 8, unit.config.unitFirmwareVersion);
    Put32(unit.reply + 12, unit.config.unitInfoWord);
}

void DoSetSystemLock(SimUnit& unit, const Request& r) {
    if (!Covers(r, 4) || r.bytes[2] != 1 || r.bytes[3] > 1) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    unit.systemLocked = r.bytes[3] != 0;
    Accept(unit, r, 0);
}

void DoSetWriteProtection(SimUnit& unit, const Request& r) {
    if (!Covers(r, 4) || r.bytes[2] != 1 || r.bytes[3] > 1) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    const bool protect = r.bytes[3] != 0;
    // Protecting a freshly written firmware completes it: from now on the controller reports it.
    if (protect && !unit.writeProtected && unit.erased && unit.flashHighWater > 0) {
        unit.installedFirmwareVersion = unit.config.flashedFirmwareVersion;
    }
    unit.writeProtected = protect;
    Accept(unit, r, 0);
}

void DoEraseFirmware(SimUnit& unit, const Request& r) {
    if (!Covers(r, 8) || r.bytes[2] != 4) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    if (Get32(r.bytes + 4) != SimConfirmationCode) {
        Refuse(unit, r, SimErrorBadConfirmation);
        return;
    }
    if (unit.writeProtected) {
        Refuse(unit, r, SimErrorWriteProtected);
        return;
    }
    std::memset(unit.flash, 0xFF, sizeof unit.flash);
    unit.writePosition = 0;
    unit.flashHighWater = 0;
    unit.erased = true;
    unit.installedFirmwareVersion = NoFirmwareVersion;
    Accept(unit, r, 0);
}

void DoSetWriteAddress(SimUnit& unit, const Request& r) {
    if (!Covers(r, 12) || r.bytes[2] != 9 || r.bytes[3] != 1 || Get32(r.bytes + 4) != 0) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    if (Get32(r.bytes + 8) != SimConfirmationCode) {
        Refuse(unit, r, SimErrorBadConfirmation);
        return;
    }
    unit.writePosition = 0;
    Accept(unit, r, 4);
    Put32(unit.reply + 4, SimFirmwareBaseAddress);
}

void DoWriteBlock(SimUnit& unit, const Request& r) {
    if (!Covers(r, 3)) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    const std::uint32_t bytes = r.bytes[2];
    if (bytes % 4 != 0 || bytes > MaxBlockBytes || !Covers(r, 4 + bytes)) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    if (unit.writeProtected) {
        Refuse(unit, r, SimErrorWriteProtected);
        return;
    }
    if (!unit.systemLocked) {
        Refuse(unit, r, SimErrorNotLocked);
        return;
    }
    if (!unit.erased) {
        Refuse(unit, r, SimErrorNotErased);
        return;
    }
    if (bytes > SimFlashCapacity - unit.writePosition) {
        Refuse(unit, r, SimErrorFlashFull);
        return;
    }
    std::memcpy(unit.flash + unit.writePosition, r.bytes + 4, bytes);
    unit.writePosition += bytes;
    if (unit.writePosition > unit.flashHighWater) {
        unit.flashHighWater = unit.writePosition;
    }
    Accept(unit, r, 0);
}

void DoReadControllerInfo(SimUnit& unit, const Request& r) {
    if (!Covers(r, 12) || r.bytes[2] != 8 || Get32(r.bytes + 4) != SimControllerInfoBytes ||
        Get32(r.bytes + 8) != 0u - SimControllerInfoBytes) {
        Refuse(unit, r, SimErrorMalformed);
        return;
    }
    Accept(unit, r, SimControllerInfoBytes);
    SimControllerInfoBlock(unit, unit.reply + 4);
}

void DoReadControllerType(SimUnit& unit, const Request& r) {
    Accept(unit, r, SimControllerTypeBytes);
    SimControllerTypeBlock(unit, unit.reply + 4);
}

void Execute(SimUnit& unit, const Request& r) {
    const std::uint8_t code = r.bytes[1];
    if (IsControllerCommand(code) &&
        (unit.config.bootMode || unit.config.controllerState != ControllerReady)) {
        Refuse(unit, r, SimErrorNoController);
        return;
    }
    switch (code) {
    case CodeIdentify:
        DoIdentify(unit, r);
        break;
    case CodeReadMemory:
        DoReadMemory(unit, r);
        break;
    case CodeSetSystemLock:
        DoSetSystemLock(unit, r);
        break;
    case CodeWriteBlock:
        DoWriteBlock(unit, r);
        break;
    case CodeReadControllerInfo:
        DoReadControllerInfo(unit, r);
        break;
    case CodeEraseFirmware:
        DoEraseFirmware(unit, r);
        break;
    case CodeSetWriteAddress:
        DoSetWriteAddress(unit, r);
        break;
    case CodeSetWriteProtection:
        DoSetWriteProtection(unit, r);
        break;
    case CodeReadControllerType:
        DoReadControllerType(unit, r);
        break;
    default:
        Refuse(unit, r, SimErrorUnknownCommand);
        break;
    }
}

SimRequestRecord* LogRequest(SimUnit& unit, const std::uint8_t* report, std::uint32_t length) {
    const std::uint32_t index = unit.logCount++;
    if (index >= SimLogCapacity) {
        return nullptr;
    }
    SimRequestRecord& record = unit.log[index];
    std::memset(record.bytes, 0, sizeof record.bytes);
    if (report != nullptr) {
        std::memcpy(record.bytes, report,
                    length < SimMaxReportLength ? length : SimMaxReportLength);
    }
    record.length = length;
    record.taken = false;
    record.receivedMicroseconds = 0;
    return &record;
}

} // namespace

std::uint8_t SimFillerByte(std::uint32_t blockSalt, std::uint32_t index) {
    return static_cast<std::uint8_t>(0x5A + blockSalt * 13 + index * 37);
}

void SimControllerInfoBlock(const SimUnit& unit, std::uint8_t block[SimControllerInfoBytes]) {
    for (std::uint32_t i = 0; i < SimControllerInfoBytes; ++i) {
        block[i] = SimFillerByte(CodeReadControllerInfo, i);
    }
    Put16(block + 4, unit.installedFirmwareVersion);
}

void SimControllerTypeBlock(const SimUnit& unit, std::uint8_t block[SimControllerTypeBytes]) {
    for (std::uint32_t i = 0; i < SimControllerTypeBytes; ++i) {
        block[i] = SimFillerByte(CodeReadControllerType, i);
    }
    Put32(block, unit.config.controllerTypeCode);
    Put32(block + 4, unit.config.controllerBootloaderVersion);
}

void SimResetUnit(SimUnit& unit, const SimUnitConfig& config) {
    unit.config = config;
    unit.unplugged = false;
    unit.systemLocked = false;
    unit.writeProtected = true;
    unit.exchangeCount = 0;
    std::memset(unit.commandCounts, 0, sizeof unit.commandCounts);
    std::memset(unit.flash, 0, sizeof unit.flash);
    unit.writePosition = 0;
    unit.flashHighWater = 0;
    unit.erased = false;
    unit.installedFirmwareVersion = config.controllerFirmwareVersion;
    std::memset(unit.reply, 0, sizeof unit.reply);
    unit.replyPending = false;
    unit.replyUnreadable = false;
    unit.logCount = 0;
}

void SimReplugUnit(SimUnit& unit) {
    unit.unplugged = false;
    unit.config.unplugAtExchange = 0;
    unit.systemLocked = false;
    unit.writeProtected = true;
    unit.replyPending = false;
    unit.replyUnreadable = false;
}

SimIoResult SimWriteReport(SimUnit& unit, const std::uint8_t* report, std::uint32_t length) {
    ++unit.exchangeCount;
    SimRequestRecord* record = LogRequest(unit, report, length);
    if (unit.config.unplugAtExchange != 0 && unit.exchangeCount >= unit.config.unplugAtExchange) {
        unit.unplugged = true;
    }
    if (unit.unplugged) {
        unit.replyPending = false;
        return SimIoResult::Unplugged;
    }
    // What the platform refuses before the unit sees anything.
    if (report == nullptr || length != unit.config.outputReportLength ||
        length > SimReportCapacity || length < 2 || report[0] != RequestReportId) {
        return SimIoResult::Failed;
    }

    const std::uint8_t code = report[1];
    const std::uint32_t count = ++unit.commandCounts[code];
    const SimFault& fault = unit.config.faults[code];
    const bool faulted =
        fault.kind != SimFaultKind::None && (fault.occurrence == 0 || fault.occurrence == count);
    const SimFaultKind kind = faulted ? fault.kind : SimFaultKind::None;
    if (kind == SimFaultKind::WriteFails) {
        return SimIoResult::Failed;
    }
    if (record != nullptr) {
        record->taken = true;
    }

    const Request request{report, length};
    if (kind == SimFaultKind::ErrorReply) {
        ErrorReply(unit, fault.errorCode, NormalByte3(unit, request));
    } else {
        Execute(unit, request);
    }
    if (kind == SimFaultKind::WrongEcho) {
        unit.reply[3] = static_cast<std::uint8_t>(~unit.reply[3]);
    }
    unit.replyPending = kind != SimFaultKind::NoAnswer;
    unit.replyUnreadable = kind == SimFaultKind::ReadFails;
    return SimIoResult::Done;
}

SimIoResult SimReadReport(SimUnit& unit, std::uint8_t* report, std::uint32_t length) {
    if (unit.unplugged) {
        return SimIoResult::Unplugged;
    }
    const std::uint32_t replyLength = unit.config.inputReportLength;
    if (report == nullptr || length < replyLength) {
        return SimIoResult::Failed;
    }
    if (!unit.replyPending) {
        return SimIoResult::NoAnswer;
    }
    unit.replyPending = false;
    if (unit.replyUnreadable) {
        unit.replyUnreadable = false;
        return SimIoResult::Failed;
    }
    const std::uint32_t copied = replyLength < SimReportCapacity ? replyLength : SimReportCapacity;
    std::memcpy(report, unit.reply, copied);
    std::memset(report + copied, 0, replyLength - copied);
    return SimIoResult::Done;
}
