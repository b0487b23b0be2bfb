#include "ui/VersionPanel.h"

#include "tests/support/FakeDialog.h"
#include "ui/ControlIds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string VersionText(std::uint32_t value) {
    char16_t buffer[VersionTextSize];
    FormatVersionText(value, buffer);
    return buffer;
}

TEST(FormatVersionText, ShowsTopByteOnlyWhenNonzeroAndNeverBits16To23) {
    const struct {
        std::uint32_t value;
        const char16_t* expected;
    } rows[] = {
        {0x00000000, u"0.0"},         {0x00000408, u"4.8"},       {0x01020304, u"1.3.4"},
        {0x0A000000, u"10.0.0"},      {0x00FF0000, u"0.0"},       {0x01000000, u"1.0.0"},
        {0xFFFFFFFF, u"255.255.255"}, {0x80FF7F01, u"128.127.1"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ToUtf8(VersionText(row.value)), ToUtf8(row.expected)) << std::hex << row.value;
    }
}

TEST(FormatVersionText, OverwritesWhatTheBufferHeldBefore) {
    char16_t buffer[VersionTextSize];
    FormatVersionText(0xFFFFFFFF, buffer);
    FormatVersionText(0x00000102, buffer);
    EXPECT_EQ(ToUtf8(buffer), "1.2");
}

// Row 3 is red in the normal scheme; under high contrast it takes the scheme's text colour.
TEST(ControllerRowColour, RedUnlessHighContrast) {
    const struct {
        bool highContrast;
        std::uint32_t windowText;
        std::uint32_t expected;
    } rows[] = {
        {false, 0x00000000, 0x000000FF},
        {false, 0x00FFFFFF, 0x000000FF},
        {true, 0x00FFFFFF, 0x00FFFFFF},
        {true, 0x00000000, 0x00000000},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChooseControllerRowColour(row.highContrast, row.windowText), row.expected)
            << row.highContrast << " " << std::hex << row.windowText;
    }
}

const std::int32_t panelControls[] = {ControlUnitVersion,       ControlBootloaderVersion,
                                      ControlControllerVersion, ControlUnitLabel,
                                      ControlBootloaderLabel,   ControlControllerLabel};

class VersionPanel : public ::testing::Test {
protected:
    void SetUp() override {
        InitFakeDialog(dialog);
        app.dialog = &dialog.host;
    }

    // An identified unit as discovery leaves it; the panel only reads the record.
    void OpenUnit(std::uint32_t unitVersion, std::uint32_t bootloaderVersion,
                  std::uint16_t controllerVersion, std::uint16_t productId) {
        app.unit.device = 7;
        app.unit.devicePath = u"\\\\?\\hid#vid_21b8&pid_0001";
        app.unit.unitFirmwareVersion = unitVersion;
        for (int i = 0; i < 4; ++i) {
            app.unit.controllerType[4 + i] =
                static_cast<std::uint8_t>(bootloaderVersion >> (8 * i));
        }
        app.unit.controllerInfo[4] = static_cast<std::uint8_t>(controllerVersion);
        app.unit.controllerInfo[5] = static_cast<std::uint8_t>(controllerVersion >> 8);
        app.unit.productId = productId;
    }

    void CloseUnitRecord() {
        app.unit.device = invalidHostHandle;
        app.unit.devicePath.reset();
    }

    std::string Text(std::int32_t id) { return ToUtf8(dialog.controls[id].text); }

    FakeDialog dialog;
    AppState app;
};

TEST_F(VersionPanel, OpenUnitRowsFollowTheirOwnRules) {
    const struct {
        std::uint32_t unitVersion;
        std::uint32_t bootloaderVersion;
        std::uint16_t controllerVersion;
        std::uint16_t productId;
        const char* unitText;
        const char* bootloaderText;
        const char* controllerText;
        const char* label;
    } rows[] = {
        // A zero low byte shifts the unit's version down by one byte; the other rows never shift.
        {0x00040800, 0x00000102, 0x0408, 1, "4.8", "1.2", "4.8", "TESSAVO"},
        {0x00000408, 0x05000102, 0xFFFF, 2, "4.8", "5.1.2", "----------", "MERROWIN"},
        {0x01020304, 0x00010000, 0x0000, 2, "1.3.4", "0.0", "0.0", "MERROWIN"},
        {0x0A000000, 0x0A000000, 0x00FF, 1, "0.0", "10.0.0", "0.255", "TESSAVO"},
        // The shift brings in zeros, also with the top bit set.
        // A product id of no known unit is not named after one.
        {0x80000000, 0x00000100, 0xFFFE, 3, "0.0", "1.0", "255.254", "Programmiereinheit"},
        {0x12345600, 0xFFFFFFFF, 0x0100, 0, "52.86", "255.255.255", "1.0", "Programmiereinheit"},
        {0x01020300, 0x00000000, 0x0A0B, 1, "2.3", "0.0", "10.11", "TESSAVO"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.unitText);
        OpenUnit(row.unitVersion, row.bootloaderVersion, row.controllerVersion, row.productId);
        RefreshVersionPanel(app);
        EXPECT_EQ(Text(ControlUnitVersion), row.unitText);
        EXPECT_EQ(Text(ControlBootloaderVersion), row.bootloaderText);
        EXPECT_EQ(Text(ControlControllerVersion), row.controllerText);
        EXPECT_EQ(Text(ControlUnitLabel), row.label);
        // The other two labels belong to the dialog's start.
        EXPECT_EQ(Text(ControlBootloaderLabel), "Firmware 2:");
        EXPECT_EQ(Text(ControlControllerLabel), "Firmware 3:");
    }
}

TEST_F(VersionPanel, OpenUnitEnablesTheSixControlsAndFillsTheFields) {
    for (const std::int32_t id : panelControls) {
        dialog.controls[id].enabled = false;
    }
    OpenUnit(0x00000408, 0x00000102, 0x0407, 1);
    RefreshVersionPanel(app);
    for (const std::int32_t id : panelControls) {
        EXPECT_TRUE(dialog.controls[id].enabled) << id;
    }
    EXPECT_EQ(Text(ControlUnitVersion), "4.8");
    EXPECT_EQ(Text(ControlBootloaderVersion), "1.2");
    EXPECT_EQ(Text(ControlControllerVersion), "4.7");
    EXPECT_EQ(Text(ControlUnitLabel), "TESSAVO");
    // Nothing outside the panel is touched.
    EXPECT_TRUE(FilterLog(dialog, "text 40004").empty());
    EXPECT_TRUE(FilterLog(dialog, "enable 1002").empty());
}

TEST_F(VersionPanel, NoUnitShowsZerosAndDisablesTheSixControls) {
    RefreshVersionPanel(app);
    for (const std::int32_t id : {40013, 40014, 40015}) {
        EXPECT_EQ(Text(id), "0.0.0") << id;
    }
    for (const std::int32_t id : panelControls) {
        EXPECT_FALSE(dialog.controls[id].enabled) << id;
    }
    // The record's zero values are not shown as versions, and the label is left alone.
    EXPECT_EQ(Text(ControlUnitLabel), "Firmware 1:");
    EXPECT_TRUE(FilterLog(dialog, "text 40004").empty());
    EXPECT_TRUE(FilterLog(dialog, "enable 1002").empty());
}

TEST_F(VersionPanel, ProductNameStaysAfterTheUnitIsGoneAndIsReplacedByTheNextUnit) {
    OpenUnit(0x00000408, 0x00000102, 0x0407, 2);
    RefreshVersionPanel(app);
    CloseUnitRecord();
    RefreshVersionPanel(app);
    EXPECT_EQ(Text(ControlUnitLabel), "MERROWIN");
    EXPECT_EQ(Text(ControlUnitVersion), "0.0.0");
    EXPECT_EQ(Text(ControlControllerVersion), "0.0.0");

    OpenUnit(0x00000408, 0x00000102, 0x0407, 1);
    RefreshVersionPanel(app);
    EXPECT_EQ(Text(ControlUnitLabel), "TESSAVO");
    EXPECT_EQ(Text(ControlControllerVersion), "4.7");
    EXPECT_TRUE(dialog.controls[ControlControllerLabel].enabled);
}

} // namespace
