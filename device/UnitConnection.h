#pragma once
// The one record of the open programming unit. It owns the unit's handle and the copy of its
// device path; CloseUnit releases both and is the only way they are released.
#include "platform/Clock.h"
#include "platform/HidHost.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Identification values that a unit in its own boot mode reports; kept, not used further.
struct UnitBootInfo {
    std::uint8_t bootInfoByte1 = 0;
    std::uint16_t bootInfoHalf = 0;
    std::uint32_t bootInfoWord1 = 0;
    std::uint32_t bootInfoWord2 = 0;
    std::uint8_t bootInfoByte2 = 0;
};

struct UnitConnection {
    HostHandle device = invalidHostHandle;
    std::optional<std::u16string> devicePath;
    std::uint32_t outputReportLength = 0; // bytes written for every request, report ID counted
    std::uint32_t inputReportLength = 0;  // bytes read for every reply, report ID counted
    std::uint8_t unitInBootloader = 0;
    std::uint32_t unitFirmwareVersion = 0;
    std::uint32_t unitInfoWord = 0;
    std::uint16_t controllerState = 0; // 3: a controller is attached and ready
    std::uint16_t controllerStateDetail = 0;
    UnitBootInfo unitBootInfo;
    std::array<std::uint8_t, 32> controllerInfo{}; // bytes 4-5: the controller's firmware version
    std::array<std::uint8_t, 40> controllerType{}; // bytes 0-3: type code; 4-7: bootloader version
    std::uint16_t productId = 0;

    // Exchange buffers, sized from the report lengths when the unit is identified (at least 60
    // bytes each), so that no exchange reads or writes beyond them.
    std::vector<std::uint8_t> requestBuffer;
    std::vector<std::uint8_t> replyBuffer;

    // What the latest exchange left for a failure report; cleared as every command starts. The
    // system error of the write or read that failed (0 when none failed, also when the unit
    // refused), and whether the unit answered, so that a code of 0xFFFFFFFF from the unit is told
    // apart from ResultRefused (nothing sent).
    std::uint32_t exchangeSystemError = 0;
    bool exchangeAnswered = false;

    // The platform this record talks through; set once at start, kept by CloseUnit.
    const HidHost* host = nullptr;
    const Clock* clock = nullptr;

    // Which opening of a unit the record holds: moved on by every CloseUnit (and so by every
    // DiscoverUnit), never reset. A unit pulled and plugged in again is a new connection whatever
    // handle value or path it gets, so an answer of the user belongs to the number it was asked
    // under.
    std::uint32_t connection = 0;
    // IdentifyUnit completed on this connection (DiscoverUnit returned 0).
    bool identified = false;
};

// 0xFFFF: the controller holds no firmware version.
inline constexpr std::uint16_t NoControllerFirmware = 0xFFFF;

// The controller's installed firmware version: bytes 4-5 of controllerInfo, little-endian.
std::uint16_t GetControllerFirmwareVersion(const UnitConnection& unit);
void SetControllerFirmwareVersion(UnitConnection& unit, std::uint16_t version);
// The controller's bootloader version: bytes 4-7 of controllerType, little-endian.
std::uint32_t GetControllerBootloaderVersion(const UnitConnection& unit);
// The controller type code: bytes 0-3 of controllerType, little-endian.
std::uint32_t GetControllerTypeCode(const UnitConnection& unit);

// Connects the record to the platform and puts it into its no-device state (program start).
void InitUnitConnection(UnitConnection& unit, const HidHost& host, const Clock& clock);

inline bool IsUnitOpen(const UnitConnection& unit) {
    return unit.device != invalidHostHandle;
}
