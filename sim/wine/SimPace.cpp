#include "sim/wine/SimPace.h"

#include <algorithm>

namespace {

constexpr std::uint8_t SetSystemLockCode = 0x0B;
constexpr std::uint8_t WriteBlockCode = 0x1B;
constexpr std::uint8_t EraseFirmwareCode = 0x1E;
constexpr std::uint8_t SetWriteAddressCode = 0x1F;

bool IsLock(const SimRequestRecord& record, std::uint8_t flag) {
    return record.bytes[1] == SetSystemLockCode && record.bytes[3] == flag;
}

std::uint64_t Gap(std::uint64_t from, std::uint64_t to) {
    return to > from ? to - from : 0;
}

// The time from one request to another; 0 when either is missing.
std::uint64_t Phase(const SimRequestRecord* from, const SimRequestRecord* to) {
    return from != nullptr && to != nullptr
               ? Gap(from->receivedMicroseconds, to->receivedMicroseconds)
               : 0;
}

// The upper median, so that the figure is always one gap that occurred.
std::uint64_t Median(std::vector<std::uint64_t> values) {
    if (values.empty()) {
        return 0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

std::vector<SimUpdatePace> MeasureUpdatePaces(const SimRequestRecord* log, std::uint32_t count) {
    std::vector<SimUpdatePace> paces;
    std::uint32_t i = 0;
    while (i < count) {
        if (!IsLock(log[i], 1)) {
            ++i;
            continue;
        }
        SimUpdatePace pace;
        pace.firstRequest = i;
        std::vector<std::uint64_t> gaps;
        const SimRequestRecord* previousBlock = nullptr;
        const SimRequestRecord* firstBlock = nullptr;
        const SimRequestRecord* erase = nullptr;
        const SimRequestRecord* address = nullptr;
        std::uint32_t j = i + 1;
        for (; j < count && !IsLock(log[j], 0) && !IsLock(log[j], 1); ++j) {
            const std::uint8_t code = log[j].bytes[1];
            if (code == EraseFirmwareCode && erase == nullptr) {
                erase = &log[j];
            } else if (code == SetWriteAddressCode && address == nullptr) {
                address = &log[j];
            }
            if (code != WriteBlockCode) {
                continue;
            }
            ++pace.blocks;
            firstBlock = firstBlock == nullptr ? &log[j] : firstBlock;
            if (previousBlock != nullptr) {
                gaps.push_back(
                    Gap(previousBlock->receivedMicroseconds, log[j].receivedMicroseconds));
            }
            previousBlock = &log[j];
        }
        if (j < count && IsLock(log[j], 0)) {
            pace.lastRequest = j;
            pace.lockToUnlockMicroseconds =
                Gap(log[i].receivedMicroseconds, log[j].receivedMicroseconds);
            pace.medianBlockGapMicroseconds = Median(std::move(gaps));
            pace.lockToEraseMicroseconds = Phase(&log[i], erase);
            pace.eraseToAddressMicroseconds = Phase(erase, address);
            pace.addressToFirstBlockMicroseconds = Phase(address, firstBlock);
            pace.blocksMicroseconds = Phase(firstBlock, previousBlock);
            pace.lastBlockToUnlockMicroseconds = Phase(previousBlock, &log[j]);
            paces.push_back(pace);
            ++j;
        }
        i = j;
    }
    return paces;
}
