#include "tests/device/DeviceBench.h"

namespace {

// The bench whose hooks are active; the test suites run one bench at a time.
DeviceBench* activeBench = nullptr;
HidHost simHost{};

bool HookedWrite(void* context, HostHandle device, const std::uint8_t* report,
                 std::uint32_t length) {
    activeBench->lastWriteAt = activeBench->clock.now;
    return simHost.WriteReport(context, device, report, length);
}

bool HookedRead(void* context, HostHandle device, std::uint8_t* report, std::uint32_t length,
                std::uint32_t* delivered) {
    activeBench->lastReadAt = activeBench->clock.now;
    activeBench->replyBeforeRead.assign(report, report + length);
    if (!simHost.ReadReport(context, device, report, length, delivered)) {
        return false;
    }
    if (activeBench->patchReply) {
        activeBench->patchReply(report, length);
    }
    *delivered = activeBench->delivered.value_or(*delivered);
    return true;
}

} // namespace

DeviceBench::DeviceBench() {
    InitVirtualClock(clock);
    InitSimHidHost(hid);
    hid.clock = &clock;
    simHost = hid.host;
    hid.host.WriteReport = HookedWrite;
    hid.host.ReadReport = HookedRead;
    activeBench = this;
    SimResetUnit(*unit, ReadyUnitConfig());
    InitUnitConnection(record, hid.host, clock.clock);
}

DeviceBench::~DeviceBench() {
    activeBench = nullptr;
}

void DeviceBench::PlugUnit(const SimUnitConfig& config) {
    SimResetUnit(*unit, config);
    hid.interfaces.clear();
    hid.interfaces.push_back(MakeUnitInterface(*unit, unitPath));
}

std::vector<std::uint8_t> DeviceBench::Request(std::uint32_t index) const {
    const SimRequestRecord& logged = unit->log[index];
    const std::uint32_t kept =
        logged.length < SimMaxReportLength ? logged.length : SimMaxReportLength;
    return {logged.bytes, logged.bytes + kept};
}

std::vector<std::uint8_t> DeviceBench::CommandsSent() const {
    std::vector<std::uint8_t> codes;
    for (std::uint32_t i = 0; i < unit->logCount && i < SimLogCapacity; ++i) {
        codes.push_back(unit->log[i].bytes[1]);
    }
    return codes;
}

SimUnitConfig ReadyUnitConfig() {
    SimUnitConfig config;
    config.controllerState = 3;
    config.controllerTypeCode = 0x0C0C80A0;
    config.unitFirmwareVersion = 0x00020105;
    config.unitInfoWord = 0x5A5A0001;
    config.controllerStateDetail = 0x0042;
    config.controllerFirmwareVersion = 0x0407;
    config.controllerBootloaderVersion = 0x00000102;
    return config;
}
