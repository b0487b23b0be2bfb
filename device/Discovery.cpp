#include "device/Discovery.h"

#include "device/Identification.h"
#include "device/Results.h"

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The detail record of one interface, in a buffer of exactly the size the host asked for, aligned
// for the record's leading size field.
struct DetailBuffer {
    std::unique_ptr<std::uint64_t[]> words;
    std::uint32_t bytes = 0;
};

DetailBuffer AllocateDetailBuffer(std::uint32_t bytes) {
    DetailBuffer buffer;
    const std::size_t wordCount = (static_cast<std::size_t>(bytes) + 7) / 8;
    buffer.words.reset(new (std::nothrow) std::uint64_t[wordCount]());
    if (buffer.words) {
        buffer.bytes = bytes;
    }
    return buffer;
}

// The device path the host placed in the buffer, taken only when it ends inside the buffer; a
// path elsewhere is the host's own, terminated string.
std::optional<std::u16string> PathInBuffer(const DetailBuffer& buffer, const char16_t* path) {
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.words.get());
    const auto end = begin + buffer.bytes;
    const auto at = reinterpret_cast<std::uintptr_t>(path);
    if (at < begin || at >= end) {
        return std::u16string(path);
    }
    const std::size_t room = static_cast<std::size_t>(end - at) / sizeof(char16_t);
    const std::u16string_view candidate(path, room);
    const std::size_t length = candidate.find(u'\0');
    if (length == std::u16string_view::npos) {
        return std::nullopt;
    }
    return std::u16string(candidate.substr(0, length));
}

bool IsUnitProduct(std::uint16_t vendorId, std::uint16_t productId) {
    return vendorId == UnitVendorId &&
           (productId == ProductTessavo || productId == ProductMerrowin);
}

} // namespace

void CloseUnit(UnitConnection& unit) {
    if (IsUnitOpen(unit) && unit.host != nullptr) {
        unit.host->CloseInterface(unit.host->context, unit.device);
    }
    const HidHost* host = unit.host;
    const Clock* clock = unit.clock;
    const std::uint32_t connection = unit.connection;
    unit = UnitConnection{};
    unit.host = host;
    unit.clock = clock;
    unit.connection = connection + 1;
}

std::int32_t DiscoverUnit(UnitConnection& unit) {
    CloseUnit(unit);
    if (unit.host == nullptr) {
        return ResultRefused;
    }
    const HidHost& host = *unit.host;
    const HostList list = host.GetInterfaceList(host.context);
    if (list == invalidHostList) {
        return ResultRefused;
    }
    for (std::uint32_t index = 0;; ++index) {
        if (!host.EnumerateInterface(host.context, list, index)) {
            host.DestroyInterfaceList(host.context, list);
            return ResultNoUnitFound;
        }
        const std::uint32_t detailBytes = host.QueryInterfaceDetailSize(host.context, list, index);
        if (detailBytes == 0) {
            continue;
        }
        // Released at the end of each pass, whichever way it ends.
        const DetailBuffer detail = AllocateDetailBuffer(detailBytes);
        if (!detail.words) {
            continue;
        }
        const char16_t* fetched =
            host.FetchInterfaceDetail(host.context, list, index, detail.words.get(), detail.bytes);
        if (fetched == nullptr) {
            continue;
        }
        std::optional<std::u16string> path = PathInBuffer(detail, fetched);
        if (!path) {
            continue;
        }
        const HostHandle device = host.OpenInterface(host.context, path->c_str());
        if (device == invalidHostHandle) {
            continue;
        }
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        if (!host.GetAttributes(host.context, device, &vendorId, &productId) ||
            !IsUnitProduct(vendorId, productId)) {
            host.CloseInterface(host.context, device);
            continue;
        }
        unit.productId = productId;
        unit.device = device;
        unit.devicePath = std::move(path);
        host.DestroyInterfaceList(host.context, list);
        const std::int32_t identified = IdentifyUnit(unit);
        unit.identified = identified == ResultSuccess;
        return identified;
    }
}
