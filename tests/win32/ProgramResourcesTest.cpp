// The resources of the shipping HalvernUpdater.exe, read from the file itself: dialog template
// 110 field by field, icon group 123, logo bitmap 121, the manifest and the version resource.
#include "FirmwareVersion.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN); // 1031
// The resource types by number (the RT_ names are narrow without UNICODE).
const LPCWSTR typeBitmap = MAKEINTRESOURCEW(2);
const LPCWSTR typeIcon = MAKEINTRESOURCEW(3);
const LPCWSTR typeDialog = MAKEINTRESOURCEW(5);
const LPCWSTR typeIconGroup = MAKEINTRESOURCEW(14);
const LPCWSTR typeManifest = MAKEINTRESOURCEW(24);

class ProgramResourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        program = LoadLibraryExW(HALVERN_UPDATER_EXE, nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite() {
        if (program != nullptr) {
            FreeLibrary(program);
        }
    }
    void SetUp() override { ASSERT_NE(program, nullptr) << "cannot open " << HALVERN_UPDATER_EXE; }

    // The bytes of one resource in the given language; empty when it is not there.
    static std::vector<std::uint8_t> Bytes(LPCWSTR type, WORD id, WORD language) {
        const HRSRC found = FindResourceExW(program, type, MAKEINTRESOURCEW(id), language);
        if (found == nullptr) {
            return {};
        }
        const auto* data =
            static_cast<const std::uint8_t*>(LockResource(LoadResource(program, found)));
        return {data, data + SizeofResource(program, found)};
    }
    static HMODULE program;
};
HMODULE ProgramResourcesTest::program = nullptr;

// Reads the packed fields of a dialog template in order.
struct TemplateReader {
    const std::vector<std::uint8_t>& bytes;
    std::size_t at = 0;
    bool overrun = false;

    template <typename T> T Next() {
        T value{};
        if (at + sizeof(T) > bytes.size()) {
            overrun = true;
            return value;
        }
        std::memcpy(&value, bytes.data() + at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    std::wstring Text() {
        std::wstring text;
        for (wchar_t unit = Next<wchar_t>(); unit != 0 && !overrun; unit = Next<wchar_t>()) {
            text.push_back(unit);
        }
        return text;
    }
    // A name or an ordinal: "#128" for the ordinal 128.
    std::wstring NameOrOrdinal() {
        const auto first = Next<std::uint16_t>();
        if (first == 0xFFFF) {
            return L"#" + std::to_wstring(Next<std::uint16_t>());
        }
        if (first == 0) {
            return L"";
        }
        at -= 2;
        return Text();
    }
    void AlignToDword() { at = (at + 3) & ~std::size_t{3}; }
};

struct ExpectedControl {
    std::uint32_t id;
    const wchar_t* windowClass;
    const wchar_t* text;
    std::uint32_t style;
    std::uint32_t exStyle;
    short x, y, width, height;
};

// Template order: the tab order, and the order in which a screen reader reads the controls,
// naming each field by the text just before it. So every label stands directly before its field.
// The notice window is a tab stop (0x00010000) so that it can be scrolled with the keyboard.
const ExpectedControl expectedControls[] = {
    {2, L"#128", L"Beenden", 0x50030001, 0, 157, 199, 50, 14},
    {1002, L"#128", L"Update", 0x58010000, 0, 61, 199, 50, 14},
    {40007, L"#128", L"Installierte Firmware Versionen", 0x50020007, 0, 15, 10, 135, 57},
    {40010, L"#130", L"Firmware 1:", 0x50020000, 0, 22, 24, 67, 8},
    {40013, L"#130", L"0.00.00", 0x50020000, 0x1000, 90, 24, 50, 8},
    {1005, L"#130", L"Firmware 2:", 0x50020000, 0, 22, 37, 67, 8},
    {40014, L"#130", L"0.00.00", 0x50020000, 0x1000, 90, 37, 50, 8},
    {40011, L"#130", L"Firmware 3:", 0x50020000, 0, 22, 50, 67, 8},
    {40015, L"#130", L"0.00.00", 0x50020000, 0x1000, 90, 50, 50, 8},
    {0xFFFFFFFF, L"#130", L"Hinweisfenster:", 0x50020000, 0, 15, 79, 60, 8},
    {40004, L"#129", L"", 0x50A10844, 0, 15, 89, 271, 101},
};

TEST_F(ProgramResourcesTest, DialogTemplate110IsExactlyTheLayout) {
    const auto bytes = Bytes(typeDialog, 110, german);
    ASSERT_FALSE(bytes.empty()) << "no German dialog 110";
    TemplateReader read{bytes};
    EXPECT_EQ(read.Next<std::uint16_t>(), 1);      // dlgVer
    EXPECT_EQ(read.Next<std::uint16_t>(), 0xFFFF); // signature: extended template
    EXPECT_EQ(read.Next<std::uint32_t>(), 0u);     // help ID
    EXPECT_EQ(read.Next<std::uint32_t>(), 0u);     // extended style
    EXPECT_EQ(read.Next<std::uint32_t>(), 0x80C808C8u);
    const auto count = read.Next<std::uint16_t>();
    EXPECT_EQ(read.Next<std::int16_t>(), 0);
    EXPECT_EQ(read.Next<std::int16_t>(), 0);
    EXPECT_EQ(read.Next<std::int16_t>(), 300);
    EXPECT_EQ(read.Next<std::int16_t>(), 228);
    EXPECT_EQ(read.NameOrOrdinal(), L""); // no menu
    EXPECT_EQ(read.NameOrOrdinal(), L""); // no class of its own
    EXPECT_EQ(read.Text(), L"ORVALDA Firmware Updater");
    EXPECT_EQ(read.Next<std::uint16_t>(), 8); // point size
    EXPECT_EQ(read.Next<std::uint16_t>(), 0); // weight
    EXPECT_EQ(read.Next<std::uint8_t>(), 0);  // italic
    EXPECT_EQ(read.Next<std::uint8_t>(), 1);  // character set
    EXPECT_EQ(read.Text(), L"MS Shell Dlg");
    ASSERT_EQ(count, std::size(expectedControls));

    for (const ExpectedControl& expected : expectedControls) {
        SCOPED_TRACE(expected.id);
        read.AlignToDword();
        EXPECT_EQ(read.Next<std::uint32_t>(), 0u); // help ID
        EXPECT_EQ(read.Next<std::uint32_t>(), expected.exStyle);
        EXPECT_EQ(read.Next<std::uint32_t>(), expected.style);
        EXPECT_EQ(read.Next<std::int16_t>(), expected.x);
        EXPECT_EQ(read.Next<std::int16_t>(), expected.y);
        EXPECT_EQ(read.Next<std::int16_t>(), expected.width);
        EXPECT_EQ(read.Next<std::int16_t>(), expected.height);
        EXPECT_EQ(read.Next<std::uint32_t>(), expected.id);
        EXPECT_EQ(read.NameOrOrdinal(), expected.windowClass);
        EXPECT_EQ(read.NameOrOrdinal(), expected.text);
        const auto extra = read.Next<std::uint16_t>();
        EXPECT_EQ(extra, 0);
        read.at += extra;
    }
    EXPECT_FALSE(read.overrun);
    read.AlignToDword();
    EXPECT_GE(read.at, bytes.size() - 3);
}

TEST_F(ProgramResourcesTest, IconGroup123HoldsEightImagesWithAlphaInShippingOrder) {
    const auto group = Bytes(typeIconGroup, 123, german);
    ASSERT_GE(group.size(), 6u) << "no German icon group 123";
    TemplateReader read{group};
    EXPECT_EQ(read.Next<std::uint16_t>(), 0);
    EXPECT_EQ(read.Next<std::uint16_t>(), 1);
    const int order[] = {32, 16, 48, 32, 16, 48, 32, 16};
    ASSERT_EQ(read.Next<std::uint16_t>(), std::size(order));
    for (const int size : order) {
        SCOPED_TRACE(size);
        EXPECT_EQ(read.Next<std::uint8_t>(), size);
        EXPECT_EQ(read.Next<std::uint8_t>(), size);
        EXPECT_EQ(read.Next<std::uint8_t>(), 0); // colour count: true colour
        read.Next<std::uint8_t>();
        EXPECT_EQ(read.Next<std::uint16_t>(), 1);
        EXPECT_EQ(read.Next<std::uint16_t>(), 32);
        const auto length = read.Next<std::uint32_t>();
        const auto id = read.Next<std::uint16_t>();
        const auto image = Bytes(typeIcon, id, german);
        ASSERT_EQ(image.size(), length);
        BITMAPINFOHEADER header{};
        ASSERT_GE(image.size(), sizeof header);
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(header.biWidth, size);
        EXPECT_EQ(header.biHeight, 2 * size); // colour and mask
        EXPECT_EQ(header.biBitCount, 32);
        bool someTransparent = false;
        bool someOpaque = false;
        for (int pixel = 0; pixel < size * size; ++pixel) {
            const std::uint8_t alpha = image[sizeof header + 4 * pixel + 3];
            someTransparent = someTransparent || alpha == 0;
            someOpaque = someOpaque || alpha == 255;
        }
        EXPECT_TRUE(someTransparent && someOpaque) << "no real alpha channel";
    }
}

TEST_F(ProgramResourcesTest, LogoBitmap121Is365By122TrueColourBottomUp) {
    const auto bitmap = Bytes(typeBitmap, 121, german);
    BITMAPINFOHEADER header{};
    ASSERT_GE(bitmap.size(), sizeof header) << "no German bitmap 121";
    std::memcpy(&header, bitmap.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 365);
    EXPECT_EQ(header.biHeight, 122); // positive: rows bottom-up
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biXPelsPerMeter, 2835);
    EXPECT_EQ(header.biYPelsPerMeter, 2835);
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_EQ(bitmap.size(), 40u + 1096u * 122u);
    // The top-left pixel (last row stored) is the key colour.
    const std::size_t topLeft = 40 + 1096 * 121;
    EXPECT_EQ(bitmap[topLeft], 0);
    EXPECT_EQ(bitmap[topLeft + 1], 255);
    EXPECT_EQ(bitmap[topLeft + 2], 0);
}

TEST_F(ProgramResourcesTest, ManifestAsksForAsInvokerCommonControls6AndDpiAwareness) {
    const auto bytes = Bytes(typeManifest, 1, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(bytes.empty()) << "no manifest 1";
    const std::string manifest(bytes.begin(), bytes.end());
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
}

TEST_F(ProgramResourcesTest, VersionResourceNamesProductVersionAndDescription) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(HALVERN_UPDATER_EXE, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(HALVERN_UPDATER_EXE, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), CarriedFirmwareVersion >> 8);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), CarriedFirmwareVersion & 0xFF);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    const auto value = [&](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT units = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040704B0\\") + name;
        if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &units)) {
            return std::wstring();
        }
        return std::wstring(text);
    };
    const std::wstring version = std::to_wstring(CarriedFirmwareVersion >> 8) + L"." +
                                 std::to_wstring(CarriedFirmwareVersion & 0xFF);
    EXPECT_EQ(value(L"ProductVersion"), version);
    EXPECT_EQ(value(L"FileVersion"), version);
    EXPECT_EQ(value(L"ProductName"), L"ORVALDA HALVERN 160 Firmware Updater");
    EXPECT_EQ(value(L"FileDescription"), L"ORVALDA HALVERN 160 Firmware Updater");
    EXPECT_EQ(value(L"OriginalFilename"), L"HalvernUpdater.exe");
}

} // namespace
