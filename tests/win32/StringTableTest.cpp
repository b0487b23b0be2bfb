// The string table and the image resource of the program, read with the calls the program uses,
// against the portable catalogue and the generated array.
#include "tests/support/MessageCatalogue.h"
#include "ui/MessageIds.h"
#include "update/EmbeddedFirmwareImage.h"
#include "update/FirmwareImage.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

std::u16string ToU16(const wchar_t* text) {
    std::u16string result;
    for (; *text != L'\0'; ++text) {
        result.push_back(static_cast<char16_t>(*text));
    }
    return result;
}

TEST(StringTable, EveryTextEqualsThePortableTable) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    const HINSTANCE module = GetModuleHandleW(nullptr);
    for (const CatalogueEntry& entry : GetCatalogueEntries()) {
        std::vector<wchar_t> buffer(MessageBufferSize, L'#');
        const int length = LoadStringW(module, entry.id, buffer.data(), MessageBufferSize);
        EXPECT_EQ(ToU16(buffer.data()), std::u16string(entry.text)) << entry.id;
        EXPECT_EQ(static_cast<std::size_t>(length), std::u16string(entry.text).size()) << entry.id;
    }
}

TEST(StringTable, IsGermanGermany) {
    // Strings are stored in blocks of 16 identifiers; every block in use must be German (1031).
    const HMODULE module = GetModuleHandleW(nullptr);
    EXPECT_EQ(german, 1031);
    for (const CatalogueEntry& entry : GetCatalogueEntries()) {
        const HRSRC block =
            FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(entry.id / 16 + 1), german);
        EXPECT_NE(block, nullptr) << entry.id;
    }
}

TEST(StringTable, CutsLikeThePortableLoad) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    for (std::uint16_t id : {MessageInstructions, MessageProgressTitle, MessageErrorCodeFormat}) {
        const std::size_t full = std::u16string(FindCatalogueText(id)).size();
        for (std::uint32_t size : {2u, 3u, 17u, static_cast<std::uint32_t>(full),
                                   static_cast<std::uint32_t>(full + 1)}) {
            std::vector<wchar_t> system(size, L'#');
            std::vector<char16_t> portable(size, u'#');
            LoadStringW(module, id, system.data(), static_cast<int>(size));
            LoadCatalogueText(id, portable.data(), size);
            EXPECT_EQ(ToU16(system.data()), std::u16string(portable.data()))
                << id << " in " << size;
        }
    }
}

TEST(ImageResource, IsGermanRcData119) {
    const HMODULE module = GetModuleHandleW(nullptr);
    EXPECT_NE(FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(FirmwareImageResourceId), german),
              nullptr);
}

TEST(ImageResource, EqualsTheEmbeddedArray) {
    const FirmwareImage resource = LoadFirmwareImage();
    const FirmwareImage array = GetEmbeddedFirmwareImage();
    ASSERT_NE(resource.data, nullptr);
    ASSERT_EQ(resource.size, array.size);
    EXPECT_NE(resource.data, array.data); // really the resource, not the array
    EXPECT_TRUE(std::equal(array.data, array.data + array.size, resource.data));
}

} // namespace
