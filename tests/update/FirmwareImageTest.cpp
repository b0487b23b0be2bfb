#include "update/FirmwareImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// The image file the build was configured with (HALVERN_FIRMWARE_IMAGE).
std::vector<std::uint8_t> ReadImageFile() {
    std::ifstream file(HALVERN_TEST_IMAGE_PATH, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(FirmwareImage, EqualsTheConfiguredFileByteForByte) {
    const std::vector<std::uint8_t> file = ReadImageFile();
    ASSERT_FALSE(file.empty()) << "cannot read " << HALVERN_TEST_IMAGE_PATH;
    const FirmwareImage image = LoadFirmwareImage();
    ASSERT_NE(image.data, nullptr);
    ASSERT_EQ(image.size, file.size());
    EXPECT_EQ(image.size, CarriedFirmwareSize);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), image.data));
}

TEST(FirmwareImage, RepeatedLoadsGiveTheSameView) {
    const FirmwareImage first = LoadFirmwareImage();
    const FirmwareImage second = LoadFirmwareImage();
    EXPECT_EQ(first.data, second.data);
    EXPECT_EQ(first.size, second.size);
}

TEST(FirmwareImage, DividesIntoWholeWordBlocks) {
    const FirmwareImage image = LoadFirmwareImage();
    ASSERT_GT(image.size, 0u);
    EXPECT_EQ(image.size % 4, 0u);
    const std::uint32_t blocks = (image.size + BlockBytes - 1) / BlockBytes;
    const std::uint32_t lastOffset = (blocks - 1) * BlockBytes;
    const std::uint32_t lastBytes = image.size - lastOffset;
    EXPECT_GT(lastBytes, 0u);
    EXPECT_LE(lastBytes, BlockBytes);
    EXPECT_EQ(BlockBytes, BlockWords * 4);
    if (image.size == 83312) {
        // The release image: 1,735 full blocks and a 1,736th of 32 bytes, 83,280 to 83,311.
        EXPECT_EQ(blocks, 1736u);
        EXPECT_EQ(lastOffset, 83280u);
        EXPECT_EQ(lastOffset + lastBytes - 1, 83311u);
    }
}

TEST(FirmwareImage, IsStoredWordAligned) {
    const FirmwareImage image = LoadFirmwareImage();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(image.data) % 4, 0u);
}

} // namespace
