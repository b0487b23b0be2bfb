// Drives the real HalvernUpdater.exe from outside, as a user would: it is started, its dialog is
// found by its caption, read, and ended by "Beenden", Escape or the close box. No unit is
// attached (Wine presents only its own mouse and keyboard). Every wait is bounded.
#include "tests/win32/WindowCapture.h"
#include "ui/ControlIds.h"
#include "ui/MessageCatalogue.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t caption[] = L"ORVALDA HALVERN 160 Firmware Updater 4.8";
constexpr DWORD startBoundMilliseconds = 30000;
constexpr DWORD endBoundMilliseconds = 15000;
constexpr UINT messageBoundMilliseconds = 5000;

std::wstring ArtefactPath(const wchar_t* name) {
    CreateDirectoryW(HALVERN_SCREENSHOT_DIR, nullptr);
    return std::wstring(HALVERN_SCREENSHOT_DIR) + L"\\" + name;
}

std::wstring FromCatalogue(std::uint16_t id) {
    const char16_t* text = FindCatalogueText(id);
    return text == nullptr ? std::wstring() : std::wstring(reinterpret_cast<const wchar_t*>(text));
}

// One run of the program; ends it by force if a test leaves it running.
struct RunningProgram {
    PROCESS_INFORMATION process{};
    HWND dialog = nullptr;

    RunningProgram() {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = std::wstring(L"\"") + HALVERN_UPDATER_EXE + L"\"";
        if (!CreateProcessW(HALVERN_UPDATER_EXE, commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, &startup, &process)) {
            return;
        }
        // Bounded: the dialog appears once its initialisation and first look at the bus are done.
        for (DWORD waited = 0; waited < startBoundMilliseconds; waited += 50) {
            dialog = FindWindowW(L"#32770", caption);
            if (dialog != nullptr && IsWindowVisible(dialog)) {
                return;
            }
            if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
                return; // ended early
            }
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    ~RunningProgram() {
        if (process.hProcess != nullptr) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 99);
                WaitForSingleObject(process.hProcess, endBoundMilliseconds);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }

    bool Started() const { return process.hProcess != nullptr && dialog != nullptr; }

    // Waits (bounded) for the end; the exit code, or a negative value when it did not end.
    long long WaitForExitCode() const {
        if (WaitForSingleObject(process.hProcess, endBoundMilliseconds) != WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    bool StillRunningAfter(DWORD milliseconds) const {
        return WaitForSingleObject(process.hProcess, milliseconds) == WAIT_TIMEOUT;
    }

    // WM_GETTEXT across processes, bounded.
    std::wstring Text(HWND window) const {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                                 messageBoundMilliseconds, &length)) {
            return L"<no answer>";
        }
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, messageBoundMilliseconds, &copied);
        text.resize(copied);
        return text;
    }
    std::wstring ControlText(int id) const { return Text(GetDlgItem(dialog, id)); }
};

TEST(AppDriverTest, StartWithoutUnitShowsCaptionLabelsVersionsAndTheNoUnitNotice) {
    RunningProgram program;
    ASSERT_TRUE(program.Started()) << "no visible dialog \"ORVALDA HALVERN 160 Firmware Updater "
                                      "4.8\" within 30 s";

    EXPECT_EQ(program.Text(program.dialog), caption);
    EXPECT_EQ(program.ControlText(ControlUnitLabel), L"Programmiereinheit");
    EXPECT_EQ(program.ControlText(ControlBootloaderLabel), L"Regler-Bootloader");
    EXPECT_EQ(program.ControlText(ControlControllerLabel), L"Regler");
    for (const int id : {ControlUnitVersion, ControlBootloaderVersion, ControlControllerVersion}) {
        EXPECT_EQ(program.ControlText(id), L"0.0.0") << "version field " << id;
    }
    const std::wstring noUnit = FromCatalogue(40017);
    ASSERT_FALSE(noUnit.empty());
    EXPECT_EQ(program.ControlText(ControlNotice), noUnit + L"\r\n\r\n" + FromCatalogue(40001));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(program.dialog, ControlUpdate)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(program.dialog, ControlQuit)));

    // The keyboard focus is on the first tab stop, "Beenden".
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    ASSERT_TRUE(GetGUIThreadInfo(program.process.dwThreadId, &thread));
    EXPECT_EQ(thread.hwndFocus, GetDlgItem(program.dialog, ControlQuit));

    RECT rect{};
    GetWindowRect(program.dialog, &rect);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // Centred in the work area (DS_CENTER), to a pixel.
    EXPECT_NEAR((rect.left + rect.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, (work.top + work.bottom) / 2, 1);
    const Capture screen = CaptureScreen(rect);
    EXPECT_TRUE(SaveCapture(screen, ArtefactPath(L"HalvernUpdater-no-unit.bmp")));

    PostMessageW(program.dialog, WM_COMMAND, MAKEWPARAM(ControlQuit, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(program.dialog, ControlQuit)));
    EXPECT_EQ(program.WaitForExitCode(), 0);
}

// "Beenden", Escape and the close box all end the program with exit code 0.
TEST(AppDriverTest, EveryWayOutEndsWithExitCodeZero) {
    struct WayOut {
        const char* name;
        void (*leave)(const RunningProgram&);
    };
    const WayOut ways[] = {
        {"Beenden",
         [](const RunningProgram& program) {
             PostMessageW(program.dialog, WM_COMMAND, MAKEWPARAM(ControlQuit, BN_CLICKED),
                          reinterpret_cast<LPARAM>(GetDlgItem(program.dialog, ControlQuit)));
         }},
        {"Escape",
         [](const RunningProgram& program) {
             GUITHREADINFO thread{};
             thread.cbSize = sizeof thread;
             GetGUIThreadInfo(program.process.dwThreadId, &thread);
             const HWND target = thread.hwndFocus != nullptr ? thread.hwndFocus : program.dialog;
             PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
             PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
         }},
        {"close box",
         [](const RunningProgram& program) {
             PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
         }},
        {"WM_CLOSE",
         [](const RunningProgram& program) { PostMessageW(program.dialog, WM_CLOSE, 0, 0); }},
    };
    for (const WayOut& way : ways) {
        SCOPED_TRACE(way.name);
        RunningProgram program;
        ASSERT_TRUE(program.Started());
        way.leave(program);
        EXPECT_EQ(program.WaitForExitCode(), 0);
        EXPECT_FALSE(IsWindow(program.dialog));
    }
}

// Other commands, and "Update" while it is disabled and no unit is there, do not end it.
TEST(AppDriverTest, OtherCommandsLeaveTheProgramRunning) {
    RunningProgram program;
    ASSERT_TRUE(program.Started());
    const std::wstring notice = program.ControlText(ControlNotice);
    for (const WPARAM command : {WPARAM{IDOK}, WPARAM{40004}, WPARAM{40007}, WPARAM{0x1234}}) {
        PostMessageW(program.dialog, WM_COMMAND, command, 0);
    }
    EXPECT_TRUE(program.StillRunningAfter(1000));
    EXPECT_TRUE(IsWindowVisible(program.dialog));
    EXPECT_EQ(program.ControlText(ControlNotice), notice);

    PostMessageW(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExitCode(), 0);
}

// A second start brings the first copy forward (here: out of its minimised state) and ends with
// 0 without a dialog of its own; the first copy goes on as it was.
TEST(AppDriverTest, ASecondStartShowsTheFirstCopyAndEnds) {
    RunningProgram first;
    ASSERT_TRUE(first.Started());
    const std::wstring notice = first.ControlText(ControlNotice);
    ShowWindow(first.dialog, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(first.dialog));

    RunningProgram second;
    EXPECT_EQ(second.WaitForExitCode(), 0);
    for (DWORD waited = 0; IsIconic(first.dialog) && waited < endBoundMilliseconds; waited += 50) {
        Sleep(50);
    }
    EXPECT_FALSE(IsIconic(first.dialog));
    struct Count {
        static BOOL CALLBACK Dialogs(HWND window, LPARAM count) {
            wchar_t text[64] = {};
            GetWindowTextW(window, text, 64);
            *reinterpret_cast<int*>(count) += std::wstring(text) == caption ? 1 : 0;
            return TRUE;
        }
    };
    int dialogs = 0;
    EnumWindows(Count::Dialogs, reinterpret_cast<LPARAM>(&dialogs));
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(first.StillRunningAfter(500));
    EXPECT_EQ(first.ControlText(ControlNotice), notice);

    PostMessageW(first.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(first.WaitForExitCode(), 0);
}

} // namespace
