#include "device/UnitConnection.h"

#include "device/ByteOrder.h"

std::uint16_t GetControllerFirmwareVersion(const UnitConnection& unit) {
    return LoadLittle16(unit.controllerInfo.data() + 4);
}

void SetControllerFirmwareVersion(UnitConnection& unit, std::uint16_t version) {
    StoreLittle16(unit.controllerInfo.data() + 4, version);
}

std::uint32_t GetControllerBootloaderVersion(const UnitConnection& unit) {
    return LoadLittle32(unit.controllerType.data() + 4);
}

std::uint32_t GetControllerTypeCode(const UnitConnection& unit) {
    return LoadLittle32(unit.controllerType.data());
}

void InitUnitConnection(UnitConnection& unit, const HidHost& host, const Clock& clock) {
    unit = UnitConnection{};
    unit.host = &host;
    unit.clock = &clock;
}
