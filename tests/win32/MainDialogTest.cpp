// The real main dialog in this process: template 110 from this test's own resources, driven by
// MainDialogProc with the Windows HID host (Wine's own HID devices only, so no unit is found).
#include "win32/MainDialog.h"
#include "tests/win32/WindowCapture.h"
#include "ui/ControlIds.h"
#include "ui/MessageCatalogue.h"
#include "update/FirmwareImage.h"
#include "win32/ClockWin32.h"
#include "win32/DialogHostWin32.h"
#include "win32/HidHostWin32.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

Win32HidHostState hidState;
Win32ClockState clockState;
HidHost hidHost;
Clock clock;
DialogHost dialogHost;
HWND dialog = nullptr;

void PumpMessages() {
    MSG message;
    for (int round = 0; round < 20; ++round) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        Sleep(5);
    }
}

void Repaint() {
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpMessages();
}

std::wstring ControlText(int id) {
    wchar_t text[2048] = {};
    GetDlgItemTextW(dialog, id, text, 2048);
    return text;
}

RECT ClientRectOf(int id) {
    RECT rect{};
    const HWND control = GetDlgItem(dialog, id);
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Inside(const RECT& rect, int x, int y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

// The bounding box of the logo bitmap's non-key pixels, in bitmap pixels.
RECT LogoContentBox() {
    RECT box{LONG_MAX, LONG_MAX, -1, -1};
    const HBITMAP bitmap = LoadBitmapW(appInstance, MAKEINTRESOURCEW(LogoBitmapId));
    BITMAP size{};
    GetObjectW(bitmap, sizeof size, &size);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.bmWidth;
    info.bmiHeader.biHeight = -size.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.bmWidth) * size.bmHeight);
    const HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, size.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    for (int y = 0; y < size.bmHeight; ++y) {
        for (int x = 0; x < size.bmWidth; ++x) {
            if ((pixels[static_cast<std::size_t>(y) * size.bmWidth + x] & 0xFFFFFF) != 0x00FF00) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
    }
    return box;
}

// How many more GDI objects this process can make now; every object that leaks makes it one
// smaller. (GetGuiResources is not available under Wine: it always gives 0.)
std::size_t FreeGdiObjectSlots() {
    std::vector<HBRUSH> brushes;
    brushes.reserve(70000);
    while (brushes.size() < 200000) {
        const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
        if (brush == nullptr) {
            break;
        }
        brushes.push_back(brush);
    }
    for (const HBRUSH brush : brushes) {
        DeleteObject(brush);
    }
    return brushes.size();
}

std::wstring ArtefactPath(const wchar_t* name) {
    CreateDirectoryW(HALVERN_SCREENSHOT_DIR, nullptr);
    return std::wstring(HALVERN_SCREENSHOT_DIR) + L"\\" + name;
}

class MainDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitCommonControls();
        appInstance = GetModuleHandleW(nullptr);
        hidHost = MakeWin32HidHost(hidState);
        clock = MakeWin32Clock(clockState);
        dialogHost = MakeWin32DialogHost();
        InitUnitConnection(appState.unit, hidHost, clock);
        appState.dialog = &dialogHost;
        dialog = CreateDialogParamW(appInstance, MAKEINTRESOURCEW(MainDialogTemplateId), nullptr,
                                    MainDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << "template 110 did not make a dialog";
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        PumpMessages();
    }
    static void TearDownTestSuite() {
        if (dialog != nullptr) {
            ExitCleanup();
            DestroyWindow(dialog);
            dialog = nullptr;
        }
    }
};

TEST_F(MainDialogTest, ClassIconIsIconGroup123) {
    const auto icon = reinterpret_cast<HICON>(GetClassLongPtrW(dialog, GCLP_HICON));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon, LoadIconW(appInstance, MAKEINTRESOURCEW(AppIconId)));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, GetSystemMetrics(SM_CXICON));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

// WM_CTLCOLORSTATIC: red text on a transparent background with the system's face brush for the
// controller row, nothing for every other control.
TEST_F(MainDialogTest, OnlyTheControllerRowIsColouredRed) {
    const int controls[] = {ControlUnitLabel,
                            ControlBootloaderLabel,
                            ControlControllerLabel,
                            ControlUnitVersion,
                            ControlBootloaderVersion,
                            ControlControllerVersion,
                            ControlVersionGroup,
                            ControlNotice,
                            ControlQuit,
                            ControlUpdate};
    const HDC screen = GetDC(nullptr);
    const HDC context = CreateCompatibleDC(screen);
    for (const int id : controls) {
        SetTextColor(context, RGB(1, 2, 3));
        SetBkMode(context, OPAQUE);
        // The procedure itself: for what it leaves unhandled the dialog manager picks colours.
        const INT_PTR result =
            MainDialogProc(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context),
                           reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        const bool red = id == ControlControllerLabel || id == ControlControllerVersion;
        SCOPED_TRACE(id);
        if (red) {
            EXPECT_EQ(result, reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE)));
            EXPECT_EQ(GetTextColor(context), RGB(255, 0, 0));
            EXPECT_EQ(GetBkMode(context), TRANSPARENT);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(GetTextColor(context), RGB(1, 2, 3));
            EXPECT_EQ(GetBkMode(context), OPAQUE);
        }
    }
    DeleteDC(context);
    ReleaseDC(nullptr, screen);
}

// On screen: with the panel enabled (as with a unit open), red text pixels appear in the two
// red controls and nowhere else.
TEST_F(MainDialogTest, RedTextPixelsOnlyInTheControllerRow) {
    const int panel[] = {ControlUnitLabel,   ControlBootloaderLabel,   ControlControllerLabel,
                         ControlUnitVersion, ControlBootloaderVersion, ControlControllerVersion};
    std::vector<BOOL> wasEnabled;
    for (const int id : panel) {
        wasEnabled.push_back(IsWindowEnabled(GetDlgItem(dialog, id)));
        EnableWindow(GetDlgItem(dialog, id), TRUE);
    }
    Repaint();
    const Capture capture = CaptureClient(dialog);
    SaveCapture(capture, ArtefactPath(L"main-dialog-panel-enabled.bmp"));
    for (std::size_t i = 0; i < std::size(panel); ++i) {
        EnableWindow(GetDlgItem(dialog, panel[i]), wasEnabled[i]);
    }
    Repaint();

    ASSERT_GT(capture.width, 0);
    const RECT label = ClientRectOf(ControlControllerLabel);
    const RECT version = ClientRectOf(ControlControllerVersion);
    int redInside = 0;
    int redOutside = 0;
    for (int y = 0; y < capture.height; ++y) {
        for (int x = 0; x < capture.width; ++x) {
            const std::uint32_t pixel = capture.At(x, y);
            // Pure text red; the logo's red (200, 16, 46) stays below this.
            if (RedOf(pixel) >= 230 && GreenOf(pixel) <= 60 && BlueOf(pixel) <= 60) {
                (Inside(label, x, y) || Inside(version, x, y) ? redInside : redOutside) += 1;
            }
        }
    }
    std::printf("red text pixels: %d in the controller row, %d elsewhere\n", redInside, redOutside);
    EXPECT_GT(redInside, 20);
    EXPECT_EQ(redOutside, 0);
}

// The logo: 182 x 60 at its place right of the group box, its key colour never on screen, the
// face showing through around the wordmark.
TEST_F(MainDialogTest, LogoIsDrawnHalfSizeRightOfTheGroupWithTheKeyColourLeftOut) {
    Repaint();
    const Capture capture = CaptureClient(dialog);
    SaveCapture(capture, ArtefactPath(L"main-dialog.bmp"));
    ASSERT_GT(capture.width, 0);

    RECT dialogRect{};
    RECT groupRect{};
    GetWindowRect(dialog, &dialogRect);
    GetWindowRect(GetDlgItem(dialog, ControlVersionGroup), &groupRect);
    const int space = dialogRect.right - groupRect.right - 10;
    ASSERT_GE(space, 182) << "the dialog leaves less room than the logo's half size";
    const RECT logo{groupRect.right - (dialogRect.left + GetSystemMetrics(SM_CXDLGFRAME)) + 20,
                    groupRect.top - (dialogRect.top + GetSystemMetrics(SM_CYCAPTION)), 0, 0};
    const RECT expected{logo.left, logo.top, logo.left + 182, logo.top + 60};

    const std::uint32_t face = PixelOf(GetSysColor(COLOR_BTNFACE));
    const RECT group = ClientRectOf(ControlVersionGroup);
    RECT drawn{capture.width, capture.height, -1, -1};
    int keyPixels = 0;
    for (int y = 0; y < capture.height; ++y) {
        for (int x = 0; x < capture.width; ++x) {
            const std::uint32_t pixel = capture.At(x, y);
            if (pixel == 0x00FF00) {
                ++keyPixels;
            }
            // Everything that is not the face, right of the group box and above the notice.
            if (pixel != face && x >= group.right + 2 && y < group.bottom) {
                drawn.left = std::min<LONG>(drawn.left, x);
                drawn.top = std::min<LONG>(drawn.top, y);
                drawn.right = std::max<LONG>(drawn.right, x + 1);
                drawn.bottom = std::max<LONG>(drawn.bottom, y + 1);
            }
        }
    }
    std::printf("logo drawn within (%ld,%ld)-(%ld,%ld), expected inside (%ld,%ld)-(%ld,%ld)\n",
                drawn.left, drawn.top, drawn.right, drawn.bottom, expected.left, expected.top,
                expected.right, expected.bottom);
    EXPECT_EQ(keyPixels, 0);
    // The bitmap's drawn part, scaled from 365 x 122 to 182 x 60 and placed at the logo's place;
    // a pixel of slack for the rounding of the stretch.
    const RECT content = LogoContentBox();
    ASSERT_LT(content.left, content.right);
    const auto scaleX = [](LONG x) { return static_cast<LONG>(x * 182 / 365); };
    const auto scaleY = [](LONG y) { return static_cast<LONG>(y * 60 / 122); };
    EXPECT_NEAR(drawn.left, expected.left + scaleX(content.left), 2);
    EXPECT_NEAR(drawn.top, expected.top + scaleY(content.top), 2);
    EXPECT_NEAR(drawn.right, expected.left + scaleX(content.right), 2);
    EXPECT_NEAR(drawn.bottom, expected.top + scaleY(content.bottom), 2);
    EXPECT_LE(drawn.right, capture.width) << "the logo does not fit the dialog";
}

TEST_F(MainDialogTest, ThousandRepaintsLeaveNoGdiObjectsBehind) {
    for (int i = 0; i < 10; ++i) {
        Repaint(); // first paints may fill caches of the system
    }
    const std::size_t before = FreeGdiObjectSlots();
    for (int i = 0; i < 1000; ++i) {
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    const std::size_t after = FreeGdiObjectSlots();
    std::printf("free GDI object slots: %zu before, %zu after 1000 repaints\n", before, after);
    ASSERT_GT(before, 1000u);
    EXPECT_EQ(before, after);
}

// Moved to a monitor of another DPI: the whole face is to be painted anew (the logo changes size),
// and the dialog manager's own rescaling still runs (FALSE).
TEST_F(MainDialogTest, DpiChangeRepaintsTheWholeFace) {
    Repaint();
    RECT before{};
    ASSERT_FALSE(GetUpdateRect(dialog, &before, FALSE)) << "nothing left to paint after a repaint";
    RECT window{};
    GetWindowRect(dialog, &window);
    EXPECT_EQ(MainDialogProc(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144),
                             reinterpret_cast<LPARAM>(&window)),
              FALSE);
    RECT client{};
    RECT pending{};
    GetClientRect(dialog, &client);
    ASSERT_TRUE(GetUpdateRect(dialog, &pending, FALSE));
    EXPECT_TRUE(EqualRect(&pending, &client));
    Repaint();
}

// Only "Beenden" (IDCANCEL, also Escape and the close box) and "Update" are commands; any other
// identifier is not handled and changes nothing.
TEST_F(MainDialogTest, OtherCommandsAreNotHandledAndChangeNothing) {
    const std::wstring notice = ControlText(ControlNotice);
    const WPARAM commands[] = {IDOK,
                               0,
                               ControlNotice,
                               ControlVersionGroup,
                               ControlUnitLabel,
                               0xFFFF,
                               MAKEWPARAM(ControlNotice, EN_CHANGE)};
    for (const WPARAM command : commands) {
        SCOPED_TRACE(command);
        EXPECT_EQ(MainDialogProc(dialog, WM_COMMAND, command, 0), FALSE);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(ControlText(ControlNotice), notice);
        EXPECT_NE(deviceNotification, nullptr);
    }
}

TEST_F(MainDialogTest, DeviceEventsOtherThanArrivalAndRemovalAreNotHandled) {
    // DBT_DEVNODES_CHANGED and DBT_QUERYCHANGECONFIG carry no event data.
    EXPECT_EQ(MainDialogProc(dialog, WM_DEVICECHANGE, 0x0007, 0), FALSE);
    EXPECT_EQ(MainDialogProc(dialog, WM_DEVICECHANGE, 0x0017, 0), FALSE);
}

// The program sends the image from its own RCDATA 119, in place, not a copy built into the code.
TEST(ProgramImageTest, LoadFirmwareImageGivesResource119InPlace) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(FirmwareImageResourceId),
                                      MAKEINTRESOURCEW(10)); // RT_RCDATA
    ASSERT_NE(found, nullptr);
    const FirmwareImage image = LoadFirmwareImage();
    EXPECT_EQ(image.data, LockResource(LoadResource(module, found)));
    EXPECT_EQ(image.size, SizeofResource(module, found));
    EXPECT_EQ(image.size, CarriedFirmwareSize);
}

// What a watcher thread saw of the error box while the dialog's initialisation waited for it.
struct SeenBox {
    bool found = false;
    std::wstring text;
    HWND owner = nullptr;
    bool dialogVisible = true;
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM collected) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    wchar_t text[2048] = {};
    GetWindowTextW(child, text, 2048);
    if (lstrcmpiW(className, L"Static") == 0 && text[0] != L'\0') {
        *reinterpret_cast<std::wstring*>(collected) += text;
    }
    return TRUE;
}

// A failed registration for device events: the error box 40011 with caption 40012, owned by the
// dialog; then the dialog ends with 1 without ever being shown, and nothing is left registered
// or open.
TEST(RegistrationFailureTest, ErrorBoxThenTheDialogEndsWithOneUnseen) {
    appInstance = GetModuleHandleW(nullptr);
    hidHost = MakeWin32HidHost(hidState);
    clock = MakeWin32Clock(clockState);
    dialogHost = MakeWin32DialogHost();
    InitUnitConnection(appState.unit, hidHost, clock);
    appState.dialog = &dialogHost;
    registerDeviceEvents = [](HANDLE, LPVOID, DWORD) -> HDEVNOTIFY {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    };

    const std::wstring caption =
        reinterpret_cast<const wchar_t*>(FindCatalogueText(MessageApplicationErrorCaption));
    SeenBox seen;
    std::atomic<bool> dialogEnded{false};
    std::thread watcher([&] {
        for (int waited = 0; waited < 10000 && !seen.found; waited += 20) {
            const HWND box = FindWindowW(L"#32770", caption.c_str());
            if (box != nullptr && box != mainDialog) {
                seen.found = true;
                EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&seen.text));
                seen.owner = GetWindow(box, GW_OWNER);
                seen.dialogVisible = IsWindowVisible(mainDialog) != FALSE;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                break;
            }
            Sleep(20);
        }
        // Bounded: a dialog that goes on after the box (or shows none) is ended from here, so
        // that the test fails instead of hanging.
        for (int waited = 0; waited < 5000 && !dialogEnded; waited += 20) {
            Sleep(20);
        }
        if (!dialogEnded) {
            PostMessageW(mainDialog, WM_COMMAND, IDCANCEL, 0);
        }
    });
    const INT_PTR result = DialogBoxParamW(appInstance, MAKEINTRESOURCEW(MainDialogTemplateId),
                                           nullptr, MainDialogProc, 0);
    dialogEnded = true;
    watcher.join();
    registerDeviceEvents = RegisterDeviceNotificationW;

    ASSERT_TRUE(seen.found) << "no box captioned \"Fehler in der Anwendung\" within 10 s";
    EXPECT_EQ(seen.text,
              reinterpret_cast<const wchar_t*>(FindCatalogueText(MessageRegistrationFailed)));
    EXPECT_EQ(seen.owner, mainDialog);
    EXPECT_FALSE(seen.dialogVisible);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(deviceNotification, nullptr);
    EXPECT_FALSE(IsUnitOpen(appState.unit));
}

} // namespace
