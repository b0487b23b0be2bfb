#pragma once
// The programming units this program works with: one vendor, and per product id its name as the
// panel shows it. The finder, the panel and the tests read this one table.
#include <cstdint>

inline constexpr std::uint16_t UnitVendorId = 0x21B8;
inline constexpr std::uint16_t ProductTessavo = 1;
inline constexpr std::uint16_t ProductMerrowin = 2;

struct UnitType {
    std::uint16_t productId;
    const char16_t* name;
};

inline constexpr UnitType unitTypes[] = {
    {ProductTessavo, u"TESSAVO"},
    {ProductMerrowin, u"MERROWIN"},
};

// The unit type of these ids, or null for any other device.
inline const UnitType* FindUnitType(std::uint16_t vendorId, std::uint16_t productId) {
    if (vendorId != UnitVendorId) {
        return nullptr;
    }
    for (const UnitType& type : unitTypes) {
        if (type.productId == productId) {
            return &type;
        }
    }
    return nullptr;
}
