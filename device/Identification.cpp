#include "device/Identification.h"

#include "device/ByteOrder.h"
#include "device/Commands.h"
#include "device/ExchangeBuffers.h"
#include "device/Results.h"

#include <array>

namespace {

// The report lengths from the HID capabilities; the preparsed data is released on every path.
// Lengths too short for the commands' named bytes refuse the unit and stay 0.
std::int32_t ReadReportLengths(UnitConnection& unit) {
    const HidHost& host = *unit.host;
    HostPreparsed preparsed = 0;
    if (!host.GetPreparsedData(host.context, unit.device, &preparsed)) {
        return ResultRefused;
    }
    HidCapabilities caps{};
    const std::uint32_t status = host.GetCaps(host.context, preparsed, &caps);
    host.FreePreparsedData(host.context, preparsed);
    if (status != HidStatusSuccess || caps.outputReportByteLength < MinOutputReportLength ||
        caps.inputReportByteLength < MinInputReportLength) {
        return ResultRefused;
    }
    unit.outputReportLength = caps.outputReportByteLength;
    unit.inputReportLength = caps.inputReportByteLength;
    PrepareExchangeBuffers(unit);
    return ResultSuccess;
}

std::int32_t IdentifyBootMode(UnitConnection& unit, const std::array<std::uint8_t, 16>& reply) {
    unit.unitBootInfo.bootInfoByte1 = reply[4];
    unit.unitBootInfo.bootInfoHalf = LoadLittle16(&reply[5]);
    unit.unitBootInfo.bootInfoWord1 = LoadLittle32(&reply[7]);
    unit.unitBootInfo.bootInfoWord2 = LoadLittle32(&reply[11]);
    unit.unitBootInfo.bootInfoByte2 = reply[15];
    std::array<std::uint8_t, 12> memory{};
    if (const std::int32_t result = ReadMemory(unit, memory); result != ResultSuccess) {
        return result;
    }
    unit.unitFirmwareVersion = LoadLittle32(&memory[4]);
    unit.unitInfoWord = LoadLittle32(&memory[8]);
    return ResultSuccess;
}

std::int32_t IdentifyNormalMode(UnitConnection& unit, const std::array<std::uint8_t, 16>& reply) {
    unit.controllerState = LoadLittle16(&reply[4]);
    unit.controllerStateDetail = LoadLittle16(&reply[6]);
    unit.unitFirmwareVersion = LoadLittle32(&reply[8]);
    unit.unitInfoWord = LoadLittle32(&reply[12]);
    if (unit.controllerState != ControllerReadyState) {
        return ResultSuccess;
    }
    if (const std::int32_t result = ReadControllerInfo(unit, unit.controllerInfo);
        result != ResultSuccess) {
        return result;
    }
    return ReadControllerType(unit, unit.controllerType);
}

} // namespace

std::int32_t IdentifyUnit(UnitConnection& unit) {
    if (!IsUnitOpen(unit) || !unit.devicePath || unit.host == nullptr) {
        return ResultRefused;
    }
    if (const std::int32_t result = ReadReportLengths(unit); result != ResultSuccess) {
        return result;
    }
    std::array<std::uint8_t, 16> reply{};
    if (const std::int32_t result = Identify(unit, reply); result != ResultSuccess) {
        return result;
    }
    // The reply is taken as it comes, error marker or not.
    unit.unitInBootloader = reply[3];
    if (unit.unitInBootloader != 0) {
        return IdentifyBootMode(unit, reply);
    }
    return IdentifyNormalMode(unit, reply);
}

DeviceStatus ClassifyDevice(std::int32_t discoverResult, const UnitConnection& unit) {
    if (discoverResult != ResultSuccess) {
        return DeviceStatus::NoUnit;
    }
    if (unit.unitInBootloader != 0) {
        return DeviceStatus::WrongMode;
    }
    if (unit.controllerState != ControllerReadyState) {
        return DeviceStatus::NoController;
    }
    if (GetControllerTypeCode(unit) != SupportedControllerType) {
        return DeviceStatus::Incompatible;
    }
    return DeviceStatus::Ready;
}

bool IsUnitReady(const UnitConnection& unit) {
    return IsUnitOpen(unit) && unit.identified &&
           ClassifyDevice(ResultSuccess, unit) == DeviceStatus::Ready;
}
