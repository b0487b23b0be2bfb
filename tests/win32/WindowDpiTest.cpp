// The window DPI and metrics for the logo: looked up in user32 at run time, 96 DPI and the plain
// metrics where the system lacks the per-window functions.
#include "win32/WindowDpi.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// What the fake user32 offers; the fakes are plain functions, so they read it from here.
struct FakeUser32 {
    bool hasGetDpiForWindow;
    bool hasMetricsForDpi;
    UINT windowDpi;
};
FakeUser32 fake{};

UINT WINAPI FakeGetDpiForWindow(HWND) {
    return fake.windowDpi;
}

// A value that tells which metric at which DPI was asked for.
int WINAPI FakeGetSystemMetricsForDpi(int index, UINT dpi) {
    return index * 1000 + static_cast<int>(dpi);
}

FARPROC FakeLookup(const char* name) {
    if (fake.hasGetDpiForWindow && std::strcmp(name, "GetDpiForWindow") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FakeGetDpiForWindow));
    }
    if (fake.hasMetricsForDpi && std::strcmp(name, "GetSystemMetricsForDpi") == 0) {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FakeGetSystemMetricsForDpi));
    }
    return nullptr;
}

TEST(WindowDpi, PerWindowMetricsWhereTheSystemHasThemOtherwise96Dpi) {
    const int plainFrame = GetSystemMetrics(SM_CXDLGFRAME);
    const int plainCaption = GetSystemMetrics(SM_CYCAPTION);
    const struct {
        FakeUser32 user32;
        WindowDpi expected;
    } rows[] = {
        {{true, true, 144}, {144, SM_CXDLGFRAME * 1000 + 144, SM_CYCAPTION * 1000 + 144}},
        {{true, true, 192}, {192, SM_CXDLGFRAME * 1000 + 192, SM_CYCAPTION * 1000 + 192}},
        {{true, true, 96}, {96, SM_CXDLGFRAME * 1000 + 96, SM_CYCAPTION * 1000 + 96}},
        {{false, false, 144}, {96, plainFrame, plainCaption}}, // before Windows 10 1607
        {{true, false, 144}, {96, plainFrame, plainCaption}},
        {{false, true, 144}, {96, plainFrame, plainCaption}},
        {{true, true, 0}, {96, plainFrame, plainCaption}}, // no DPI for this window
    };
    for (const auto& row : rows) {
        fake = row.user32;
        const WindowDpi read = ReadWindowDpi(GetDesktopWindow(), FakeLookup);
        SCOPED_TRACE(testing::Message() << "row with window DPI " << row.user32.windowDpi);
        EXPECT_EQ(read.dpi, row.expected.dpi);
        EXPECT_EQ(read.frameWidth, row.expected.frameWidth);
        EXPECT_EQ(read.captionHeight, row.expected.captionHeight);
    }
}

// Through the real user32 at 96 DPI: exactly the numbers of the plain metrics.
TEST(WindowDpi, At96DpiTheRealMetricsAreThePlainOnes) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    const WindowDpi read = ReadWindowDpi(window);
    DestroyWindow(window);
    ASSERT_EQ(read.dpi, 96) << "the test prefix runs at 96 DPI";
    EXPECT_EQ(read.frameWidth, GetSystemMetrics(SM_CXDLGFRAME));
    EXPECT_EQ(read.captionHeight, GetSystemMetrics(SM_CYCAPTION));
}

} // namespace
