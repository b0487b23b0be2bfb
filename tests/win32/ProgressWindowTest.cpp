// The dialog operations on real windows: the progress window, control texts and enabling, the
// z-order, with a plain top-level window standing in for the main dialog.
#include "platform/DialogHost.h"
#include "tests/support/MessageCatalogue.h"
#include "win32/AppGlobals.h"
#include "win32/DialogHostWin32.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>

namespace {

constexpr int editId = 40004;
constexpr int buttonId = 1002;

class DialogHostWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        InitCommonControls();
        appInstance = GetModuleHandleW(nullptr);
        owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 137, 91,
                                461, 397, nullptr, nullptr, appInstance, nullptr);
        ASSERT_NE(owner, nullptr);
        CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 5, 5, 200, 100,
                        owner, reinterpret_cast<HMENU>(static_cast<INT_PTR>(editId)), appInstance,
                        nullptr);
        CreateWindowExW(0, L"BUTTON", L"Update", WS_CHILD | WS_VISIBLE, 5, 120, 80, 24, owner,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttonId)), appInstance,
                        nullptr);
        mainDialog = owner;
        host = MakeWin32DialogHost();
    }
    void TearDown() override {
        DestroyWindow(owner);
        mainDialog = nullptr;
    }
    HWND owner = nullptr;
    DialogHost host{};
};

HWND AsWindow(HostWindow window) {
    return reinterpret_cast<HWND>(window);
}

TEST_F(DialogHostWin32Test, ProgressWindowIsAnOwnedTopLevelSmoothBarWithTheGivenPlace) {
    const WindowRect dialogRect = host.GetDialogRect(host.context);
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    EXPECT_EQ(dialogRect.left, ownerRect.left);
    EXPECT_EQ(dialogRect.top, ownerRect.top);
    EXPECT_EQ(dialogRect.right, ownerRect.right);
    EXPECT_EQ(dialogRect.bottom, ownerRect.bottom);

    // Centred as the update centres it: integer halves of the odd-sized owner.
    const int x = dialogRect.left + (dialogRect.right - dialogRect.left) / 2 - 200;
    const int y = dialogRect.top + (dialogRect.bottom - dialogRect.top) / 2 - 25;
    const HostWindow progress = host.CreateProgressWindow(
        host.context, u"Firmware wird geschrieben, bitte warten...", x, y, 400, 50);
    ASSERT_NE(progress, 0u);
    const HWND window = AsWindow(progress);

    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    EXPECT_STREQ(className, L"msctls_progress32");
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    EXPECT_STREQ(title, L"Firmware wird geschrieben, bitte warten...");

    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, x);
    EXPECT_EQ(rect.top, y);
    EXPECT_EQ(rect.right - rect.left, 400);
    EXPECT_EQ(rect.bottom - rect.top, 50);

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_EQ(style & WS_CHILD, 0);
    EXPECT_EQ(style & WS_POPUP, 0);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION); // overlapped: a title bar that shows the text
    EXPECT_NE(style & WS_VISIBLE, 0);
    EXPECT_NE(style & PBS_SMOOTH, 0);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    EXPECT_EQ(GetWindow(window, GW_OWNER), owner);
    EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());

    // The default range 0 to 100.
    EXPECT_EQ(SendMessageW(window, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageW(window, PBM_GETRANGE, FALSE, 0), 100);

    host.DestroyWindow(host.context, progress);
    EXPECT_FALSE(IsWindow(window));
}

// Every position change is on screen at once: the bar is repainted before the call returns,
// since the update runs no message loop that would paint it later.
TEST_F(DialogHostWin32Test, ProgressPositionIsSetAndPaintedAtOnce) {
    const HostWindow progress =
        host.CreateProgressWindow(host.context, u"Fortschritt", 100, 100, 400, 50);
    ASSERT_NE(progress, 0u);
    const HWND window = AsWindow(progress);
    UpdateWindow(window);
    for (const std::uint32_t position : {0u, 1u, 37u, 99u, 100u}) {
        SCOPED_TRACE(position);
        host.SetProgressPosition(host.context, progress, position);
        EXPECT_EQ(SendMessageW(window, PBM_GETPOS, 0, 0), static_cast<LRESULT>(position));
        RECT pending{};
        EXPECT_FALSE(GetUpdateRect(window, &pending, FALSE))
            << "still to be painted: " << pending.left << "," << pending.top << " - "
            << pending.right << "," << pending.bottom;
    }
    host.DestroyWindow(host.context, progress);
}

TEST_F(DialogHostWin32Test, ControlTextsAreSetReadAndCutToTheBuffer) {
    host.SetControlText(host.context, editId, u"Zeile eins\r\nZeile zwei");
    EXPECT_EQ(host.GetControlTextLength(host.context, editId), 22u);
    char16_t buffer[64] = {};
    host.GetControlText(host.context, editId, buffer, 64);
    EXPECT_EQ(std::u16string(buffer), u"Zeile eins\r\nZeile zwei");

    char16_t small[6];
    for (auto& unit : small) {
        unit = u'#';
    }
    host.GetControlText(host.context, editId, small, 6);
    EXPECT_EQ(std::u16string(small), u"Zeile"); // cut to five units and the terminator

    char16_t untouched[1] = {u'#'};
    host.GetControlText(host.context, editId, untouched, 0);
    EXPECT_EQ(untouched[0], u'#');

    host.SetControlText(host.context, editId, u"");
    EXPECT_EQ(host.GetControlTextLength(host.context, editId), 0u);
}

TEST_F(DialogHostWin32Test, EnableControlSwitchesTheControlByIdentifier) {
    host.EnableControl(host.context, buttonId, false);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(owner, buttonId)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(owner, editId)));
    host.EnableControl(host.context, buttonId, true);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(owner, buttonId)));
}

// The program's own string table, cut to the buffer as LoadStringW cuts.
TEST_F(DialogHostWin32Test, MessageTextsComeFromTheStringTableCutToTheBuffer) {
    char16_t buffer[2048];
    host.LoadMessageText(host.context, 40029, buffer, 2048);
    EXPECT_EQ(std::u16string(buffer), std::u16string(FindCatalogueText(40029)));
    host.LoadMessageText(host.context, 40001, buffer, 2048);
    EXPECT_EQ(std::u16string(buffer), std::u16string(FindCatalogueText(40001)));
    char16_t small[9];
    host.LoadMessageText(host.context, 40029, small, 9);
    EXPECT_EQ(std::u16string(small), u"Firmware");
}

TEST_F(DialogHostWin32Test, UnknownMessageTextIsEmptyAndZeroBufferIsLeftAlone) {
    char16_t buffer[16];
    buffer[0] = u'#';
    host.LoadMessageText(host.context, 1, buffer, 16); // no such text in this program
    EXPECT_EQ(buffer[0], u'\0');
    char16_t untouched[1] = {u'#'};
    host.LoadMessageText(host.context, 1, untouched, 0);
    EXPECT_EQ(untouched[0], u'#');
}

TEST_F(DialogHostWin32Test, RaiseAndShowBringTheWindowsToTheTop) {
    const HostWindow progress =
        host.CreateProgressWindow(host.context, u"Fortschritt", 100, 100, 400, 50);
    ASSERT_NE(progress, 0u);
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 100, 100, nullptr, nullptr, appInstance, nullptr);
    SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    host.RaiseWindow(host.context, host.GetDialogWindow(host.context));
    host.RaiseWindow(host.context, progress);
    host.ShowWindowNormal(host.context, progress);
    EXPECT_TRUE(IsWindowVisible(AsWindow(progress)));
    // The progress window is now above the other top-level window, and so is its owner.
    bool progressSeen = false;
    for (HWND window = GetTopWindow(nullptr); window != nullptr;
         window = GetWindow(window, GW_HWNDNEXT)) {
        if (window == AsWindow(progress)) {
            progressSeen = true;
        }
        if (window == other) {
            EXPECT_TRUE(progressSeen) << "the other window is still above the progress window";
            break;
        }
    }
    EXPECT_TRUE(progressSeen);
    DestroyWindow(other);
    host.DestroyWindow(host.context, progress);
}

} // namespace
