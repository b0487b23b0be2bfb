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
    return FindUnitType(vendorId, productId) != nullptr;
}

char16_t FoldAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c;
}

int HexDigit(char16_t c) {
    c = FoldAsciiLetter(c);
    return c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
}

// The four hex digits after marker at the start of text, or none.
std::optional<std::uint16_t> HexIdAfter(std::u16string_view text, std::u16string_view marker) {
    if (text.size() < marker.size() + 4) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < marker.size(); ++i) {
        if (FoldAsciiLetter(text[i]) != marker[i]) {
            return std::nullopt;
        }
    }
    std::uint16_t id = 0;
    for (std::size_t i = marker.size(); i < marker.size() + 4; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) {
            return std::nullopt;
        }
        id = static_cast<std::uint16_t>(id * 16 + digit);
    }
    return id;
}

// What the path of a USB collection says of its device ("...#vid_21b8&pid_0001..."), in any
// case; none for paths of other buses, which do not say it this way.
struct IdsInPath {
    std::uint16_t vendorId;
    std::uint16_t productId;
};
std::optional<IdsInPath> ReadIdsInPath(std::u16string_view path) {
    for (std::size_t at = 0; at < path.size(); ++at) {
        const std::u16string_view rest = path.substr(at);
        const std::optional<std::uint16_t> vendorId = HexIdAfter(rest, u"vid_");
        const std::optional<std::uint16_t> productId =
            vendorId ? HexIdAfter(rest.substr(8), u"&pid_") : std::nullopt;
        if (productId) {
            return IdsInPath{*vendorId, *productId};
        }
    }
    return std::nullopt;
}

// Whether the collection at path is one of the units, asked without opening it where its path
// tells, else through a handle without read or write access: other vendors' devices are never
// opened for use, and some take long to open at all.
bool IsUnitCollection(const HidHost& host, const std::u16string& path) {
    if (const std::optional<IdsInPath> ids = ReadIdsInPath(path)) {
        return IsUnitProduct(ids->vendorId, ids->productId);
    }
    if (host.OpenInterfaceToQuery == nullptr) {
        return false;
    }
    const HostHandle query = host.OpenInterfaceToQuery(host.context, path.c_str());
    if (query == invalidHostHandle) {
        return false;
    }
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    const bool unit = host.GetAttributes(host.context, query, &vendorId, &productId) &&
                      IsUnitProduct(vendorId, productId);
    host.CloseInterface(host.context, query);
    return unit;
}

// The device path of the interface just enumerated, or none when its detail cannot be had.
std::optional<std::u16string> InterfacePath(const HidHost& host, HostList list,
                                            std::uint32_t index) {
    const std::uint32_t detailBytes = host.QueryInterfaceDetailSize(host.context, list, index);
    if (detailBytes == 0) {
        return std::nullopt;
    }
    const DetailBuffer detail = AllocateDetailBuffer(detailBytes);
    if (!detail.words) {
        return std::nullopt;
    }
    const char16_t* fetched =
        host.FetchInterfaceDetail(host.context, list, index, detail.words.get(), detail.bytes);
    if (fetched == nullptr) {
        return std::nullopt;
    }
    return PathInBuffer(detail, fetched);
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
        std::optional<std::u16string> path = InterfacePath(host, list, index);
        if (!path || !IsUnitCollection(host, *path)) {
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
        // What the unit sent before this opening (to another program) is no reply of ours.
        FlushUnitInput(unit);
        const std::int32_t identified = IdentifyUnit(unit);
        unit.identified = identified == ResultSuccess;
        return identified;
    }
}

bool SameDevicePath(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (FoldAsciiLetter(*a) != FoldAsciiLetter(*b)) {
            return false;
        }
        if (*a == u'\0') {
            return true;
        }
    }
}

bool IsUnitInterfaceListed(const UnitConnection& unit) {
    if (!unit.devicePath || unit.host == nullptr) {
        return false;
    }
    const HidHost& host = *unit.host;
    const HostList list = host.GetInterfaceList(host.context);
    if (list == invalidHostList) {
        return true;
    }
    bool listed = false;
    for (std::uint32_t index = 0; !listed && host.EnumerateInterface(host.context, list, index);
         ++index) {
        const std::optional<std::u16string> path = InterfacePath(host, list, index);
        listed = path && SameDevicePath(path->c_str(), unit.devicePath->c_str());
    }
    host.DestroyInterfaceList(host.context, list);
    return listed;
}

void FlushUnitInput(UnitConnection& unit) {
    if (IsUnitOpen(unit) && unit.host != nullptr && unit.host->FlushQueue != nullptr) {
        unit.host->FlushQueue(unit.host->context, unit.device);
    }
}
