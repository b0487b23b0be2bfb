#pragma once
// A model of the programming unit and the controller behind it, speaking the report protocol byte
// for byte. The core uses no exceptions and no heap, so that the same code can run inside a small
// Windows driver: everything lives in the SimUnit record.
#include <cstdint>

inline constexpr std::uint32_t SimFlashCapacity = 128 * 1024;
inline constexpr std::uint32_t SimLogCapacity = 4096;
inline constexpr std::uint32_t SimMaxReportLength = 64; // bytes of each request kept in the log
inline constexpr std::uint32_t SimReportCapacity = 1024; // longest report the model handles

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
    std::uint32_t replyDelayMilliseconds = 0;
    SimFault faults[256]; // by command code
    // The n-th exchange (1-based, counted by written requests) finds the unit unplugged, and so
    // does everything after it; 0: never.
    std::uint32_t unplugAtExchange = 0;
};

struct SimRequestRecord {
    std::uint8_t bytes[SimMaxReportLength];
    std::uint32_t length; // as written
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
    std::uint8_t reply[SimReportCapacity];
    bool replyPending;
    SimRequestRecord log[SimLogCapacity];
    std::uint32_t logCount; // requests logged; later ones past the capacity are counted only
};

void SimResetUnit(SimUnit& unit, const SimUnitConfig& config);
// One output report from the host.
SimIoResult SimWriteReport(SimUnit& unit, const std::uint8_t* report, std::uint32_t length);
// One input report to the host (byte 0 the report ID 0x02).
SimIoResult SimReadReport(SimUnit& unit, std::uint8_t* report, std::uint32_t length);
