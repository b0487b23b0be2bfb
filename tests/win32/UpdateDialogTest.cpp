// "Update" on the real dialog, in this process, against the simulated unit in virtual time: the
// progress window that the Win32 dialog operations make, as the update sees it between blocks.
#include "sim/SimHidHost.h"
#include "sim/SimulatedUnit.h"
#include "sim/VirtualClock.h"
#include "tests/support/MessageCatalogue.h"
#include "ui/ControlIds.h"
#include "update/FirmwareImage.h"
#include "win32/DialogHostWin32.h"
#include "win32/MainDialog.h"
#include "win32/WritingRun.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring FromCatalogue(std::uint16_t id) {
    return reinterpret_cast<const wchar_t*>(FindCatalogueText(id));
}

std::wstring ControlText(HWND dialog, int id) {
    wchar_t text[2048] = {};
    GetDlgItemTextW(dialog, id, text, 2048);
    return text;
}

// The virtual clock, looking at the progress window at every pause of the update.
struct WatchingClock {
    VirtualClock* virtualClock = nullptr;
    HWND progress = nullptr;
    RECT progressRect{};
    HWND progressOwner = nullptr;
    LONG progressStyle = 0;
    std::wstring progressTitle;
    std::vector<int> positions; // the bar's position at every pause while it exists
    int unpaintedPauses = 0;    // pauses at which the bar still had something to paint
    Clock clock{};
};

void WatchPause(void* context, std::uint32_t milliseconds) {
    auto& watch = *static_cast<WatchingClock*>(context);
    watch.virtualClock->clock.Pause(watch.virtualClock->clock.context, milliseconds);
    const HWND progress = FindWindowW(PROGRESS_CLASSW, nullptr);
    if (progress == nullptr) {
        return;
    }
    if (watch.progress == nullptr) {
        watch.progress = progress;
        GetWindowRect(progress, &watch.progressRect);
        watch.progressOwner = GetWindow(progress, GW_OWNER);
        watch.progressStyle = GetWindowLongW(progress, GWL_STYLE);
        wchar_t title[256] = {};
        GetWindowTextW(progress, title, 256);
        watch.progressTitle = title;
    }
    watch.positions.push_back(static_cast<int>(SendMessageW(progress, PBM_GETPOS, 0, 0)));
    if (GetUpdateRect(progress, nullptr, FALSE)) {
        ++watch.unpaintedPauses;
    }
}

std::vector<EXECUTION_STATE> executionStates;
EXECUTION_STATE WINAPI RecordExecutionState(EXECUTION_STATE flags) {
    executionStates.push_back(flags);
    return ES_CONTINUOUS;
}

void WatchBegin(void* context) {
    auto& watch = *static_cast<WatchingClock*>(context);
    watch.virtualClock->clock.BeginPreciseTiming(watch.virtualClock->clock.context);
}

void WatchEnd(void* context) {
    auto& watch = *static_cast<WatchingClock*>(context);
    watch.virtualClock->clock.EndPreciseTiming(watch.virtualClock->clock.context);
}

TEST(UpdateDialogTest, UpdateShowsACentredProgressWindowThatAdvancesAndEndsWithVersion48) {
    static SimUnit unit;
    SimResetUnit(unit, SimUnitConfig{});
    static VirtualClock virtualClock;
    InitVirtualClock(virtualClock);
    static SimHidHostState simHost;
    simHost.interfaces.push_back(MakeUnitInterface(unit, u"\\\\?\\hid#vid_21b8&pid_0001#sim#1"));
    simHost.clock = &virtualClock;
    InitSimHidHost(simHost);
    static WatchingClock watch;
    watch.virtualClock = &virtualClock;
    watch.clock = Clock{&watch, WatchPause, WatchBegin, WatchEnd};
    static const DialogHost dialogHost = MakeWin32DialogHost();

    InitCommonControls();
    appInstance = GetModuleHandleW(nullptr);
    InitUnitConnection(appState.unit, simHost.host, watch.clock);
    appState.dialog = &dialogHost;
    const HWND dialog = CreateDialogParamW(appInstance, MAKEINTRESOURCEW(MainDialogTemplateId),
                                           nullptr, MainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    // The first look at the unit runs from the dialog's queue.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }

    // The unit was found ready when the dialog started.
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(dialog, ControlUpdate)));
    EXPECT_EQ(ControlText(dialog, ControlNotice), FromCatalogue(40000));
    EXPECT_EQ(ControlText(dialog, ControlControllerVersion), L"4.7");

    setExecutionState = RecordExecutionState;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(ControlUpdate, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, ControlUpdate)));

    // The progress window: owned by the dialog, top-level, 400 x 50, centred on the dialog with
    // integer halves, titled with text 40029.
    ASSERT_NE(watch.progress, nullptr) << "no progress window during the update";
    RECT dialogRect{};
    GetWindowRect(dialog, &dialogRect);
    EXPECT_EQ(watch.progressRect.left,
              dialogRect.left + (dialogRect.right - dialogRect.left) / 2 - 200);
    EXPECT_EQ(watch.progressRect.top,
              dialogRect.top + (dialogRect.bottom - dialogRect.top) / 2 - 25);
    EXPECT_EQ(watch.progressRect.right - watch.progressRect.left, 400);
    EXPECT_EQ(watch.progressRect.bottom - watch.progressRect.top, 50);
    EXPECT_EQ(watch.progressOwner, dialog);
    EXPECT_EQ(watch.progressStyle & (WS_CHILD | WS_POPUP), 0);
    EXPECT_EQ(watch.progressTitle, FromCatalogue(40029));

    // Seen in the pause after the address (the window opens in it, at 0) and after every block:
    // never backwards, ending at 100, and always already painted.
    const std::uint32_t blocks = (CarriedFirmwareSize + BlockBytes - 1) / BlockBytes;
    ASSERT_EQ(watch.positions.size(), 1 + blocks);
    EXPECT_EQ(watch.positions.front(), 0);
    for (std::size_t i = 1; i < watch.positions.size(); ++i) {
        ASSERT_LE(watch.positions[i - 1], watch.positions[i]) << "after block " << i + 1;
    }
    EXPECT_EQ(watch.positions.back(), 100);
    EXPECT_EQ(watch.unpaintedPauses, 0);
    std::printf("%zu blocks watched, bar at %d after the first and %d after the last\n",
                watch.positions.size() - 1, watch.positions[1], watch.positions.back());

    // Completed: the window is gone, the controller holds the carried image.
    EXPECT_EQ(FindWindowW(PROGRESS_CLASSW, nullptr), nullptr);
    EXPECT_FALSE(IsWindow(watch.progress));
    EXPECT_EQ(ControlText(dialog, ControlNotice), FromCatalogue(40032));
    EXPECT_EQ(ControlText(dialog, ControlControllerVersion), L"4.8");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, ControlUpdate)));
    const FirmwareImage image = LoadFirmwareImage();
    ASSERT_EQ(image.size, CarriedFirmwareSize);
    EXPECT_EQ(std::memcmp(unit.flash, image.data, image.size), 0);
    EXPECT_EQ(virtualClock.preciseTimingDepth, 0);
    // Kept awake while the unit was written, allowed to sleep again since.
    EXPECT_EQ(executionStates,
              (std::vector<EXECUTION_STATE>{ES_CONTINUOUS | ES_SYSTEM_REQUIRED, ES_CONTINUOUS}));

    ExitCleanup();
    DestroyWindow(dialog);
}

} // namespace
