#pragma once
// A device-interface event record as the platform delivers it with WM_DEVICECHANGE.
#include "ui/PresenceHandling.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Header, class GUID, terminated path.
class DeviceEvent {
public:
    DeviceEvent(std::uint32_t deviceType, const std::u16string& path) {
        const std::size_t bytes = offsetof(DeviceInterfaceEvent, name) + 2 * (path.size() + 1);
        storage.assign((bytes + 3) / 4, 0);
        auto* raw = reinterpret_cast<unsigned char*>(storage.data());
        const std::uint32_t size = static_cast<std::uint32_t>(bytes);
        std::memcpy(raw + offsetof(DeviceInterfaceEvent, size), &size, 4);
        std::memcpy(raw + offsetof(DeviceInterfaceEvent, deviceType), &deviceType, 4);
        std::memcpy(raw + offsetof(DeviceInterfaceEvent, name), path.c_str(),
                    2 * (path.size() + 1));
    }
    const void* Data() const { return storage.data(); }

private:
    std::vector<std::uint32_t> storage;
};
