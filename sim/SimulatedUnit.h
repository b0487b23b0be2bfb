#pragma once
// A model of the programming unit and the controller behind it, speaking the report protocol byte
// for byte. The core uses no exceptions and no heap, so that the same code can run inside a small
// Windows driver: everything lives in the SimUnit record.
//
// Strict like the device: Identify, ReadMemory and SetSystemLock are the unit's own and work in
// any mode; the other six reach the controller and are refused (SimErrorNoController) in boot mode
// or with a controller state other than 3. Length bytes, confirmation codes, the fixed arguments
// and the flags (0 or 1) are checked; bytes the protocol leaves unassigned are not. EraseFirmware
// needs the write protection off; WriteBlock needs it off, the system lock set and an erase before
// it. An erase leaves the controller without firmware version (0xFFFF); switching the protection on
// again after blocks were written makes it report flashedFirmwareVersion.
#include <cstdint>

inline constexpr std::uint32_t SimFlashCapacity = 128 * 1024;
inline constexpr std::uint32_t SimLogCapacity = 4096;
inline constexpr std::uint32_t SimMaxReportLength = 64;  // bytes of each request kept in the log
inline constexpr std::uint32_t SimReportCapacity = 1024; // longest report the model handles

// The unit's own error codes, in bytes 4-7 of an error reply (byte 1 = 0xFF). All fit in 16 bits,
// so the commands whose code is 16 bits wide carry them whole.
inline constexpr std::uint32_t SimErrorMalformed = 0x0E01;       // length byte or argument wrong
inline constexpr std::uint32_t SimErrorBadConfirmation = 0x0E02; // confirmation code wrong
inline constexpr std::uint32_t SimErrorBadAddress = 0x0E03;      // ReadMemory address wrong
inline constexpr std::uint32_t SimErrorWriteProtected = 0x0E04;  // flash still write-protected
inline constexpr std::uint32_t SimErrorNotErased = 0x0E05;       // WriteBlock before any erase
inline constexpr std::uint32_t SimErrorNotLocked = 0x0E06;       // WriteBlock without system lock
inline constexpr std::uint32_t SimErrorNoController = 0x0E07; // boot mode, or controller state != 3
inline constexpr std::uint32_t SimErrorFlashFull = 0x0E08;    // WriteBlock past the flash's end
inline constexpr std::uint32_t SimErrorUnknownCommand = 0x0E09;

inline constexpr std::uint32_t SimMemoryAddress = 0x0801FC00; // the one address ReadMemory reads
inline constexpr std::uint32_t SimConfirmationCode = 0x6B2D9E47;
// What SetWriteAddress answers in reply bytes 4-7: where the controller's firmware starts.
inline constexpr std::uint32_t SimFirmwareBaseAddress = 0x08004000;
inline constexpr std::uint32_t SimControllerInfoBytes = 32;
inline constexpr std::uint32_t SimControllerTypeBytes = 40;

enum class SimFaultKind : std::uint8_t {
    None,
    WriteFails, // the output report is not taken
    ReadFails,  // the input report cannot be read
    ErrorReply, // reply byte 1 = 0xFF with errorCode in bytes 4-7 (16-bit commands: 4-5)
    WrongEcho,  // reply byte 3 differs from the flag sent
    NoAnswer,   // the request is taken, but no reply ever comes
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::None;
    std::uint32_t errorCode = 0;
    // 0: every request of the command; n: only its n-th request (1-based).
    std::uint32_t occurrence = 0;
};

struct SimUnitConfig {
    std::uint16_t vendorId = 0x21B8;
    std::uint16_t productId = 1;
    std::uint16_t inputReportLength = 60; // HID capabilities, report ID counted
    std::uint16_t outputReportLength = 60;
    bool bootMode = false;
    std::uint16_t controllerState = 3;
    std::uint16_t controllerStateDetail = 0;
    std::uint32_t unitFirmwareVersion = 0x00020100;
    std::uint32_t unitInfoWord = 0;
    // Boot mode: Identify bytes 4-15, and the first word of the unit's memory at 0x0801FC00
    // (its next two words are unitFirmwareVersion and unitInfoWord).
    std::uint8_t bootInfoByte1 = 0;
    std::uint16_t bootInfoHalf = 0;
    std::uint32_t bootInfoWord1 = 0;
    std::uint32_t bootInfoWord2 = 0;
    std::uint8_t bootInfoByte2 = 0;
    std::uint32_t bootMemoryWord = 0;
    std::uint32_t controllerTypeCode = 0x0C0C80A0;
    std::uint32_t controllerBootloaderVersion = 0x00000102;
    std::uint16_t controllerFirmwareVersion = 0x0407; // 0xFFFF: none
    // What the controller reports once a firmware has been written and protected again (an
    // erase alone leaves it at 0xFFFF).
    std::uint16_t flashedFirmwareVersion = 0x0408;
    std::uint32_t replyDelayMilliseconds = 0;
    // Under Wine: the driver completes a write only once the HID class driver has taken the
    // reply into its handles' queues, so that a read posted after the write cannot miss it.
    // Off, the driver shows the class driver's race to the host as a real unit would.
    bool holdWriteUntilDelivered = true;
    SimFault faults[256]; // by command code
    // The n-th exchange (1-based, counted by written requests) finds the unit unplugged, and so
    // does everything after it; 0: never.
    std::uint32_t unplugAtExchange = 0;
};

struct SimRequestRecord {
    std::uint8_t bytes[SimMaxReportLength];
    std::uint32_t length; // as written
    bool taken;           // the unit took it (not refused by the platform, a fault or an unplug)
    // When it reached the unit, in microseconds of the host's performance counter; stamped by the
    // Windows driver, 0 elsewhere.
    std::uint64_t receivedMicroseconds;
};

enum class SimIoResult : std::uint8_t { Done, Failed, NoAnswer, Unplugged };

struct SimUnit {
    SimUnitConfig config;
    bool unplugged;
    bool systemLocked;
    bool writeProtected;
    std::uint32_t exchangeCount;
    std::uint32_t commandCounts[256];
    // The controller's flash as written: erase fills it with 0xFF, SetWriteAddress rewinds,
    // WriteBlock appends its words.
    std::uint8_t flash[SimFlashCapacity];
    std::uint32_t writePosition;
    std::uint32_t flashHighWater; // bytes written since the erase
    bool erased;
    std::uint16_t installedFirmwareVersion; // what ReadControllerInfo reports now
    std::uint8_t reply[SimReportCapacity];
    bool replyPending;
    bool replyUnreadable; // the pending reply is hit by a ReadFails fault
    SimRequestRecord log[SimLogCapacity];
    std::uint32_t logCount; // requests logged; later ones past the capacity are counted only
};

// Plugged in, unlocked, write-protected, flash not erased (it holds 0x00 bytes until the first
// erase), no reply pending, log and counts empty.
void SimResetUnit(SimUnit& unit, const SimUnitConfig& config);

// The unit pulled out and plugged in again: present, unlocked, write-protected, no reply pending,
// no further unplug planned. The controller keeps its flash and firmware version, the log and the
// counts go on.
void SimReplugUnit(SimUnit& unit);

// One output report from the host. Every call counts as an exchange and is logged. Failed: the
// length differs from the output report length (or exceeds SimReportCapacity), byte 0 is not the
// report ID 0x01, or a WriteFails fault; Unplugged from the unplug exchange on. A taken request is
// always answered by one pending reply (an error reply when the unit refuses it), except under a
// NoAnswer fault. ErrorReply faults refuse the request without acting on it; WrongEcho, ReadFails
// and NoAnswer faults act on it and spoil only the answer.
SimIoResult SimWriteReport(SimUnit& unit, const std::uint8_t* report, std::uint32_t length);

// One input report to the host (byte 0 the report ID 0x02), inputReportLength bytes; the rest of a
// longer buffer is left alone. Failed: buffer shorter than the input report length (the reply
// stays pending), or a ReadFails fault (the reply is lost). NoAnswer: no reply is pending.
//
// Replies: byte 1 = the command code when accepted, 0xFF when refused; byte 2 = the number of data
// bytes from byte 4 on; byte 3 = the echoed flag or the mode. An error reply has its code in
// bytes 4-7 and zeros behind; refusing SetSystemLock or SetWriteProtection, the unit puts the
// complement of the flag into byte 3, so that the echo never confirms a refused flag (an
// ErrorReply fault keeps the right echo instead, to show a host that judges the echo alone).
SimIoResult SimReadReport(SimUnit& unit, std::uint8_t* report, std::uint32_t length);

// The data blocks of ReadControllerInfo and ReadControllerType as the unit would send them now.
// Info: bytes 4-5 the installed firmware version; type: bytes 0-3 the type code, 4-7 the
// bootloader version; every other byte a fixed filler (SimFillerByte).
void SimControllerInfoBlock(const SimUnit& unit, std::uint8_t block[SimControllerInfoBytes]);
void SimControllerTypeBlock(const SimUnit& unit, std::uint8_t block[SimControllerTypeBytes]);
std::uint8_t SimFillerByte(std::uint32_t blockSalt, std::uint32_t index);
