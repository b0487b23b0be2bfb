// Drives the running updater from outside, as a user would: finds its main dialog by caption,
// reads control texts and enabled states, clicks buttons, reads and answers message boxes, and
// reads the progress window. Every wait is bounded; output is UTF-8, one "key=value" a line.
//
//   HalvernUiDriver dump [timeout]               the dialog's controls (id, enabled, text)
//   HalvernUiDriver wait-text <id> <part> [timeout]
//   HalvernUiDriver wait-enabled <id> <0|1> [timeout]
//   HalvernUiDriver click <id>                   a button click (WM_COMMAND, BN_CLICKED)
//   HalvernUiDriver post <message>               posts a message (a number) to the dialog, as any
//                                                program on the desktop could
//   HalvernUiDriver box [timeout]                caption, text, icon and buttons of a message box
//   HalvernUiDriver answer <button id> [timeout] press a message box button, wait for it to close
//   HalvernUiDriver no-box <ms>                  fails if a message box shows up within ms
//   HalvernUiDriver box-gone [timeout]           waits until no message box is left
//   HalvernUiDriver progress [timeout]           title, position, place and client size of the
//                                                progress window, in pixels
//   HalvernUiDriver no-progress [timeout]        waits until no progress window is left
//   HalvernUiDriver resources                    handle, GDI and USER object counts of the program
//   HalvernUiDriver close [timeout]              "Beenden", then waits for the program to end
//   HalvernUiDriver dialogs                      how many main dialogs there are (dialogs=N)
//   HalvernUiDriver hung-watch [timeout]         from the progress window's start to its end, asks
//                                                every 100 ms whether the system takes the dialog
//                                                or the progress window for hung
//   HalvernUiDriver watch-dialog <ms>            waits for the dialog to be visible, prints how
//   long
//                                                that took, then asks every 100 ms for the rest of
//                                                ms whether the system takes it for hung, and
//                                                what the notice held meanwhile (empty or not)
//   HalvernUiDriver send-closes                  sends (not posts) what another program could:
//                                                WM_CLOSE, the system commands close, move, size
//                                                and window menu, the window menu on the caption
//                                                and a press on the close box to the dialog,
//                                                WM_CLOSE to the progress window; prints how many
//                                                arrived
//   HalvernUiDriver end-session                  WM_QUERYENDSESSION to the dialog: answer=0|1
//   HalvernUiDriver rect <id>                    a control's screen rectangle (0: the dialog's)
//   HalvernUiDriver hold-name <ms> [event|denied] holds the single-copy name for ms (event: as an
//                                                object the program cannot create it as; denied: a
//                                                mutex whose security grants no access)
//   HalvernUiDriver wait-focus <id> [timeout]    waits until control id has the keyboard focus
//                                                (GetGUIThreadInfo); prints focus=<id>, 0: none
//   HalvernUiDriver top-line <id>                the first visible line of an edit control:
//                                                topLine=<number>, topText=<its text>
//   HalvernUiDriver names                        the dialog's children as a screen reader reads
//                                                them (oleacc): child=<id> <name>, in order
//
// Exit code 0: done; 1: not found, not as expected or timed out (a message says which); 2: usage.
#include "win32/SingleInstance.h"

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t* mainCaption = L"ORVALDA HALVERN 160 Firmware Updater 4.8";
constexpr DWORD defaultTimeout = 15000;
constexpr UINT messageTimeout = 2000;
constexpr int messageBoxTextId = 0xFFFF;

void PrintUtf8(const wchar_t* key, const std::wstring& value) {
    std::wstring line = std::wstring(key) + L"=";
    for (wchar_t c : value) {
        if (c == L'\r') {
            line += L"\\r";
        } else if (c == L'\n') {
            line += L"\\n";
        } else {
            line += c;
        }
    }
    line += L"\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), size,
                        nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, messageTimeout,
                             &length)) {
        return L"<no answer>";
    }
    std::vector<wchar_t> buffer(length + 1);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, messageTimeout, &copied);
    return std::wstring(buffer.data(), copied);
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// Polls finder until it yields a window or the time is up.
template <typename Finder> HWND WaitFor(Finder finder, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = finder()) {
            return window;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(20);
    }
}

HWND FindMainDialog() {
    return FindWindowW(L"#32770", mainCaption);
}

struct BoxSearch {
    HWND found;
};

BOOL CALLBACK FindBoxProc(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    if (ClassName(window) == L"#32770" && IsWindowVisible(window) &&
        GetDlgItem(window, messageBoxTextId) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindMessageBox() {
    BoxSearch search{nullptr};
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK FindProgressProc(HWND window, LPARAM context) {
    if (ClassName(window) == PROGRESS_CLASSW && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProgress() {
    HWND found = nullptr;
    EnumWindows(FindProgressProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL CALLBACK CollectChildren(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChildren, reinterpret_cast<LPARAM>(&children));
    return children;
}

int Missing(const wchar_t* what, DWORD timeoutMs) {
    std::fwprintf(stderr, L"HalvernUiDriver: no %ls within %lu ms\n", what, timeoutMs);
    return 1;
}

DWORD TimeoutArg(int argc, wchar_t** argv, int index) {
    return argc > index ? static_cast<DWORD>(_wtoi(argv[index])) : defaultTimeout;
}

int Dump(DWORD timeoutMs) {
    HWND dialog = WaitFor(FindMainDialog, timeoutMs);
    if (dialog == nullptr) {
        return Missing(L"main dialog", timeoutMs);
    }
    PrintUtf8(L"caption", WindowText(dialog));
    PrintUtf8(L"visible", IsWindowVisible(dialog) ? L"1" : L"0");
    for (HWND child : Children(dialog)) {
        std::wstring prefix = L"control." + std::to_wstring(GetDlgCtrlID(child));
        PrintUtf8((prefix + L".enabled").c_str(), IsWindowEnabled(child) ? L"1" : L"0");
        PrintUtf8((prefix + L".text").c_str(), WindowText(child));
    }
    return 0;
}

int WaitText(int id, const std::wstring& part, DWORD timeoutMs) {
    std::wstring last;
    HWND found = WaitFor(
        [&]() -> HWND {
            HWND dialog = FindMainDialog();
            HWND control = dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
            if (control == nullptr) {
                return nullptr;
            }
            last = WindowText(control);
            return last.find(part) != std::wstring::npos ? control : nullptr;
        },
        timeoutMs);
    PrintUtf8(L"text", last);
    if (found == nullptr) {
        std::fwprintf(stderr, L"HalvernUiDriver: control %d never showed the expected text\n", id);
        return 1;
    }
    return 0;
}

int WaitEnabled(int id, bool enabled, DWORD timeoutMs) {
    HWND found = WaitFor(
        [&]() -> HWND {
            HWND dialog = FindMainDialog();
            HWND control = dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
            return control != nullptr && (IsWindowEnabled(control) != FALSE) == enabled ? control
                                                                                        : nullptr;
        },
        timeoutMs);
    if (found == nullptr) {
        std::fwprintf(stderr, L"HalvernUiDriver: control %d not %ls within %lu ms\n", id,
                      enabled ? L"enabled" : L"disabled", timeoutMs);
        return 1;
    }
    return 0;
}

int Click(int id) {
    HWND dialog = FindMainDialog();
    HWND control = dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
    if (control == nullptr) {
        return Missing(L"control to click", 0);
    }
    if (!IsWindowEnabled(control)) {
        std::fwprintf(stderr, L"HalvernUiDriver: control %d is disabled\n", id);
        return 1;
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return 0;
}

// Which of the system's message box icons the box shows: its icon control's pixels on screen
// against each system icon drawn on the same background.
std::wstring IconKind(HWND box) {
    HWND iconControl = nullptr;
    for (HWND child : Children(box)) {
        if (ClassName(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_ICON) != 0) {
            iconControl = child;
        }
    }
    if (iconControl == nullptr || !IsWindowVisible(iconControl)) {
        return L"none";
    }
    RECT rect;
    GetWindowRect(iconControl, &rect);
    const int size = GetSystemMetrics(SM_CXICON);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP shown = CreateCompatibleBitmap(screen, size, size);
    HBITMAP drawn = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, shown);
    BitBlt(memory, 0, 0, size, size, screen, rect.left, rect.top, SRCCOPY);
    const COLORREF background = GetPixel(memory, 0, 0);
    std::vector<COLORREF> shownPixels;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            shownPixels.push_back(GetPixel(memory, x, y));
        }
    }
    struct Candidate {
        const wchar_t* name;
        LPCWSTR id;
    };
    const Candidate candidates[] = {{L"error", IDI_HAND},
                                    {L"question", IDI_QUESTION},
                                    {L"warning", IDI_EXCLAMATION},
                                    {L"information", IDI_ASTERISK}};
    std::wstring best = L"unknown";
    std::size_t bestDifferences = shownPixels.size() / 4; // more than this is no match
    SelectObject(memory, drawn);
    HBRUSH brush = CreateSolidBrush(background);
    for (const Candidate& candidate : candidates) {
        RECT all = {0, 0, size, size};
        FillRect(memory, &all, brush);
        DrawIconEx(memory, 0, 0, LoadIconW(nullptr, candidate.id), size, size, 0, nullptr,
                   DI_NORMAL);
        std::size_t differences = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                differences += GetPixel(memory, x, y) != shownPixels[y * size + x] ? 1 : 0;
            }
        }
        if (differences < bestDifferences) {
            bestDifferences = differences;
            best = candidate.name;
        }
    }
    DeleteObject(brush);
    SelectObject(memory, old);
    DeleteObject(shown);
    DeleteObject(drawn);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return best;
}

int Box(DWORD timeoutMs) {
    HWND box = WaitFor(FindMessageBox, timeoutMs);
    if (box == nullptr) {
        return Missing(L"message box", timeoutMs);
    }
    Sleep(300); // let it paint before its icon is read from the screen
    PrintUtf8(L"caption", WindowText(box));
    PrintUtf8(L"text", WindowText(GetDlgItem(box, messageBoxTextId)));
    PrintUtf8(L"icon", IconKind(box));
    // Button texts are the system's (its language); the identifiers are what the program sees.
    std::wstring buttons, buttonIds;
    for (HWND child : Children(box)) {
        if (ClassName(child) == L"Button" && IsWindowVisible(child)) {
            if (!buttons.empty()) {
                buttons += L",";
                buttonIds += L",";
            }
            buttons += std::to_wstring(GetDlgCtrlID(child)) + L":" + WindowText(child);
            buttonIds += std::to_wstring(GetDlgCtrlID(child));
        }
    }
    PrintUtf8(L"buttons", buttons);
    PrintUtf8(L"buttonIds", buttonIds);
    HWND dialog = FindMainDialog();
    PrintUtf8(L"dialogVisible", dialog != nullptr && IsWindowVisible(dialog) ? L"1" : L"0");
    return 0;
}

int Answer(int buttonId, DWORD timeoutMs) {
    HWND box = WaitFor(FindMessageBox, timeoutMs);
    if (box == nullptr) {
        return Missing(L"message box", timeoutMs);
    }
    HWND button = GetDlgItem(box, buttonId);
    if (button == nullptr) {
        std::fwprintf(stderr, L"HalvernUiDriver: the box has no button %d\n", buttonId);
        return 1;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    HWND still =
        WaitFor([&]() -> HWND { return IsWindow(box) ? nullptr : GetDesktopWindow(); }, timeoutMs);
    if (still == nullptr) {
        std::fwprintf(stderr, L"HalvernUiDriver: the box did not close\n");
        return 1;
    }
    return 0;
}

int NoBox(DWORD ms) {
    HWND box = WaitFor(FindMessageBox, ms);
    if (box != nullptr) {
        PrintUtf8(L"unexpectedBox", WindowText(GetDlgItem(box, messageBoxTextId)));
        return 1;
    }
    return 0;
}

int Progress(DWORD timeoutMs) {
    HWND progress = WaitFor(FindProgress, timeoutMs);
    if (progress == nullptr) {
        return Missing(L"progress window", timeoutMs);
    }
    DWORD_PTR position = 0;
    // The program's thread is busy writing blocks: the title comes from the window manager, and
    // the position only when the thread answers.
    wchar_t title[256] = {};
    GetWindowTextW(progress, title, 256);
    PrintUtf8(L"title", title);
    if (SendMessageTimeoutW(progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 200, &position)) {
        PrintUtf8(L"position", std::to_wstring(position));
    }
    RECT outer{};
    RECT client{};
    GetWindowRect(progress, &outer);
    GetClientRect(progress, &client);
    PrintUtf8(L"left", std::to_wstring(outer.left));
    PrintUtf8(L"top", std::to_wstring(outer.top));
    PrintUtf8(L"width", std::to_wstring(outer.right - outer.left));
    PrintUtf8(L"height", std::to_wstring(outer.bottom - outer.top));
    PrintUtf8(L"clientWidth", std::to_wstring(client.right));
    PrintUtf8(L"clientHeight", std::to_wstring(client.bottom));
    return 0;
}

int BoxGone(DWORD timeoutMs) {
    HWND gone =
        WaitFor([]() -> HWND { return FindMessageBox() == nullptr ? GetDesktopWindow() : nullptr; },
                timeoutMs);
    return gone != nullptr ? 0 : Missing(L"end of the message box", timeoutMs);
}

int NoProgress(DWORD timeoutMs) {
    HWND gone =
        WaitFor([]() -> HWND { return FindProgress() == nullptr ? GetDesktopWindow() : nullptr; },
                timeoutMs);
    return gone != nullptr ? 0 : Missing(L"end of the progress window", timeoutMs);
}

// The handles a process holds, from the system's handle table (Wine answers this one; its
// GetProcessHandleCount and GetGuiResources give 0 for every process).
long CountHandles(DWORD processId) {
    struct HandleEntry {
        ULONG ownerProcessId;
        BYTE objectType;
        BYTE flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        LONG status =
            NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                     static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) { // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) {
            return -1;
        }
        ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
        const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(void*));
        long owned = 0;
        for (ULONG i = 0; i < count; ++i) {
            owned += entries[i].ownerProcessId == processId ? 1 : 0;
        }
        return owned;
    }
    return -1;
}

struct WindowCount {
    DWORD processId;
    long windows;
};

BOOL CALLBACK CountChildProc(HWND, LPARAM context) {
    ++reinterpret_cast<WindowCount*>(context)->windows;
    return TRUE;
}

BOOL CALLBACK CountWindowProc(HWND window, LPARAM context) {
    auto* count = reinterpret_cast<WindowCount*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count->processId) {
        ++count->windows;
        EnumChildWindows(window, CountChildProc, context);
    }
    return TRUE;
}

int Resources() {
    HWND dialog = FindMainDialog();
    if (dialog == nullptr) {
        return Missing(L"main dialog", 0);
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        std::fwprintf(stderr, L"HalvernUiDriver: OpenProcess failed, error %lu\n", GetLastError());
        return 1;
    }
    PrintUtf8(L"handles", std::to_wstring(CountHandles(processId)));
    WindowCount windows{processId, 0};
    EnumWindows(CountWindowProc, reinterpret_cast<LPARAM>(&windows));
    PrintUtf8(L"windows", std::to_wstring(windows.windows));
    PrintUtf8(L"gdiObjects", std::to_wstring(GetGuiResources(process, GR_GDIOBJECTS)));
    PrintUtf8(L"userObjects", std::to_wstring(GetGuiResources(process, GR_USEROBJECTS)));
    CloseHandle(process);
    return 0;
}

int Close(DWORD timeoutMs) {
    HWND dialog = FindMainDialog();
    if (dialog == nullptr) {
        return Missing(L"main dialog", 0);
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    HWND gone = WaitFor([&]() -> HWND { return IsWindow(dialog) ? nullptr : GetDesktopWindow(); },
                        timeoutMs);
    return gone != nullptr ? 0 : Missing(L"end of the program", timeoutMs);
}

BOOL CALLBACK CountMainDialogs(HWND window, LPARAM count) {
    // GetWindowTextW sends nothing to another process's window, so a busy dialog counts too.
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (ClassName(window) == L"#32770" && std::wcscmp(caption, mainCaption) == 0) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

int Dialogs() {
    int count = 0;
    EnumWindows(CountMainDialogs, reinterpret_cast<LPARAM>(&count));
    std::printf("dialogs=%d\n", count);
    return 0;
}

// Asks every 100 ms, while lifeline exists and until timeoutMs after start, whether the system
// takes first or second (may be null) for hung; prints the counts.
void SampleHung(HWND lifeline, HWND first, HWND second, DWORD start, DWORD timeoutMs) {
    DWORD hungSince = 0, longestHung = 0;
    int samples = 0, hung = 0;
    while (IsWindow(lifeline) && GetTickCount() - start < timeoutMs) {
        const DWORD now = GetTickCount();
        ++samples;
        if (IsHungAppWindow(first) || (second != nullptr && IsHungAppWindow(second))) {
            ++hung;
            hungSince = hungSince == 0 ? now : hungSince;
            longestHung = std::max(longestHung, now - hungSince);
        } else {
            hungSince = 0;
        }
        Sleep(100);
    }
    std::printf("samples=%d\nhung=%d\nlongestHungMs=%lu\n", samples, hung, longestHung);
}

int HungWatch(DWORD timeoutMs) {
    HWND dialog = FindMainDialog();
    HWND progress = WaitFor(FindProgress, timeoutMs);
    if (dialog == nullptr || progress == nullptr) {
        return Missing(L"dialog with a progress window", timeoutMs);
    }
    SampleHung(progress, dialog, progress, GetTickCount(), timeoutMs);
    return IsWindow(progress) ? Missing(L"end of the progress window", timeoutMs) : 0;
}

int WatchDialog(DWORD ms) {
    const DWORD start = GetTickCount();
    HWND dialog = WaitFor(
        []() -> HWND {
            HWND found = FindMainDialog();
            return found != nullptr && IsWindowVisible(found) ? found : nullptr;
        },
        ms);
    if (dialog == nullptr) {
        return Missing(L"visible dialog", ms);
    }
    std::printf("visibleAfterMs=%lu\n", GetTickCount() - start);
    std::printf("noticeEmptyWhenVisible=%d\n",
                GetWindowTextLengthW(GetDlgItem(dialog, 40004)) == 0 ? 1 : 0);
    SampleHung(dialog, dialog, nullptr, start, ms);
    return 0;
}

int SendCloses() {
    HWND dialog = FindMainDialog();
    HWND progress = FindProgress();
    if (dialog == nullptr || progress == nullptr) {
        return Missing(L"dialog with a progress window", 0);
    }
    struct Sent {
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam = 0;
    };
    // The window menu asked for on the caption, and a press on the close box: each would start a
    // modal loop in the program (a menu, the tracking of the button) if it were not refused.
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const LPARAM caption = MAKELPARAM(frame.left + 40, frame.top + 10);
    const LPARAM closeBox = MAKELPARAM(frame.right - 12, frame.top + 12);
    const Sent sends[] = {
        {dialog, WM_CLOSE, 0},
        {dialog, WM_SYSCOMMAND, SC_CLOSE},
        {dialog, WM_SYSCOMMAND, SC_MOVE},
        {dialog, WM_SYSCOMMAND, SC_SIZE},
        {dialog, WM_SYSCOMMAND, SC_KEYMENU},
        {dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(dialog), caption},
        {dialog, WM_NCLBUTTONDOWN, HTCLOSE, closeBox},
        {progress, WM_CLOSE, 0},
    };
    int delivered = 0;
    for (const Sent& send : sends) {
        DWORD_PTR result = 0;
        delivered += SendMessageTimeoutW(send.window, send.message, send.wParam, send.lParam,
                                         SMTO_ABORTIFHUNG, messageTimeout, &result) != 0;
    }
    std::printf("delivered=%d\nprogressKept=%d\n", delivered, IsWindow(progress) ? 1 : 0);
    return 0;
}

int EndSession() {
    HWND dialog = FindMainDialog();
    DWORD_PTR answer = 0;
    if (dialog == nullptr || !SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                                  SMTO_ABORTIFHUNG, messageTimeout, &answer)) {
        return Missing(L"answer to WM_QUERYENDSESSION", messageTimeout);
    }
    std::printf("answer=%d\n", answer != 0 ? 1 : 0);
    return 0;
}

int Rect(int controlId) {
    HWND dialog = FindMainDialog();
    HWND window = controlId == 0 || dialog == nullptr ? dialog : GetDlgItem(dialog, controlId);
    RECT rect{};
    if (window == nullptr || !GetWindowRect(window, &rect)) {
        return Missing(L"window", 0);
    }
    std::printf("left=%ld\ntop=%ld\nright=%ld\nbottom=%ld\n", rect.left, rect.top, rect.right,
                rect.bottom);
    return 0;
}

int HoldName(DWORD holdMs, const std::wstring& kind) {
    // An empty access list grants nobody access, as a copy with other rights looks to this one.
    SECURITY_DESCRIPTOR noAccess;
    InitializeSecurityDescriptor(&noAccess, SECURITY_DESCRIPTOR_REVISION);
    ACL emptyList;
    InitializeAcl(&emptyList, sizeof emptyList, ACL_REVISION);
    SetSecurityDescriptorDacl(&noAccess, TRUE, &emptyList, FALSE);
    SECURITY_ATTRIBUTES denied{sizeof denied, &noAccess, FALSE};
    const HANDLE name =
        kind == L"event"
            ? CreateEventW(nullptr, TRUE, FALSE, SingleInstanceMutexName)
            : CreateMutexW(kind == L"denied" ? &denied : nullptr, FALSE, SingleInstanceMutexName);
    if (name == nullptr) {
        std::fwprintf(stderr, L"HalvernUiDriver: the name cannot be held, error %lu\n",
                      GetLastError());
        return 1;
    }
    std::printf("held=1\n");
    std::fflush(stdout);
    Sleep(holdMs);
    CloseHandle(name);
    return 0;
}

// The dialog thread's focus as another process sees it: the control id, 0 for none.
int FocusedId(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) ||
        info.hwndFocus == nullptr || GetParent(info.hwndFocus) != dialog) {
        return 0;
    }
    return GetDlgCtrlID(info.hwndFocus);
}

int WaitFocus(int id, DWORD timeoutMs) {
    int last = 0;
    HWND found = WaitFor(
        [&]() -> HWND {
            HWND dialog = FindMainDialog();
            last = dialog != nullptr ? FocusedId(dialog) : 0;
            return last == id ? dialog : nullptr;
        },
        timeoutMs);
    std::printf("focus=%d\n", last);
    return found != nullptr ? 0 : Missing(L"focus on that control", timeoutMs);
}

int TopLine(int id) {
    HWND dialog = FindMainDialog();
    HWND edit = dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
    DWORD_PTR line = 0;
    if (edit == nullptr || !SendMessageTimeoutW(edit, EM_GETFIRSTVISIBLELINE, 0, 0,
                                                SMTO_ABORTIFHUNG, messageTimeout, &line)) {
        return Missing(L"edit control", 0);
    }
    // The line is cut from the whole text by character indices: Wine 8 marshals EM_GETLINE to
    // another process with a reply length read from outside its buffer, which can end the
    // program's thread ("wine client error: partial write").
    DWORD_PTR start = 0;
    DWORD_PTR length = 0;
    SendMessageTimeoutW(edit, EM_LINEINDEX, line, 0, SMTO_ABORTIFHUNG, messageTimeout, &start);
    SendMessageTimeoutW(edit, EM_LINELENGTH, start, 0, SMTO_ABORTIFHUNG, messageTimeout, &length);
    const std::wstring text = WindowText(edit);
    std::printf("topLine=%u\n", static_cast<unsigned>(line));
    PrintUtf8(L"topText", start < text.size() ? text.substr(start, length) : std::wstring());
    return 0;
}

IAccessible* ClientObject(HWND window) {
    IAccessible* client = nullptr;
    // __uuidof: the import library's IID_IAccessible is a function stub, not the identifier.
    return SUCCEEDED(AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                                                reinterpret_cast<void**>(&client)))
               ? client
               : nullptr;
}

// The dialog's children in the order of its accessible object, each with the name a screen
// reader reads for it: that of its client object (an edit control's is the static text before it).
int Names() {
    HWND dialog = FindMainDialog();
    CoInitialize(nullptr);
    IAccessible* client = dialog != nullptr ? ClientObject(dialog) : nullptr;
    if (client == nullptr) {
        return Missing(L"accessible dialog", 0);
    }
    long count = 0;
    client->get_accChildCount(&count);
    std::vector<VARIANT> children(static_cast<std::size_t>(std::max(count, 0L)));
    long obtained = 0;
    AccessibleChildren(client, 0, count, children.data(), &obtained);
    for (long i = 0; i < obtained; ++i) {
        HWND window = nullptr;
        if (children[i].vt == VT_DISPATCH && children[i].pdispVal != nullptr) {
            IAccessible* child = nullptr;
            children[i].pdispVal->QueryInterface(__uuidof(IAccessible),
                                                 reinterpret_cast<void**>(&child));
            if (child != nullptr) {
                WindowFromAccessibleObject(child, &window);
                child->Release();
            }
        }
        IAccessible* control = window != nullptr ? ClientObject(window) : nullptr;
        BSTR name = nullptr;
        if (control != nullptr) {
            VARIANT self{};
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            control->get_accName(self, &name);
            control->Release();
        }
        const int id = window != nullptr ? GetDlgCtrlID(window) : 0;
        PrintUtf8(L"child", std::to_wstring(id) + L" " + (name != nullptr ? name : L""));
        SysFreeString(name);
        VariantClear(&children[i]);
    }
    client->Release();
    CoUninitialize();
    return 0;
}

int Usage() {
    std::fwprintf(stderr,
                  L"usage: HalvernUiDriver dump|wait-text|wait-enabled|click|box|answer|"
                  L"no-box|box-gone|progress|no-progress|resources|close|dialogs|hung-watch|"
                  L"end-session|rect|hold-name|wait-focus|top-line|names ...\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    // Sizes in pixels, not in the coordinates of a 96-DPI program stretched by the system.
    SetProcessDPIAware();
    std::wstring command = argv[1];
    if (command == L"dump") {
        return Dump(TimeoutArg(argc, argv, 2));
    }
    if (command == L"wait-text" && argc >= 4) {
        return WaitText(_wtoi(argv[2]), argv[3], TimeoutArg(argc, argv, 4));
    }
    if (command == L"wait-enabled" && argc >= 4) {
        return WaitEnabled(_wtoi(argv[2]), _wtoi(argv[3]) != 0, TimeoutArg(argc, argv, 4));
    }
    if (command == L"click" && argc >= 3) {
        return Click(_wtoi(argv[2]));
    }
    if (command == L"post" && argc >= 3) {
        HWND dialog = FindMainDialog();
        return dialog != nullptr && PostMessageW(dialog, std::wcstoul(argv[2], nullptr, 0), 0, 0)
                   ? 0
                   : Missing(L"dialog to post to", 0);
    }
    if (command == L"box") {
        return Box(TimeoutArg(argc, argv, 2));
    }
    if (command == L"answer" && argc >= 3) {
        return Answer(_wtoi(argv[2]), TimeoutArg(argc, argv, 3));
    }
    if (command == L"no-box" && argc >= 3) {
        return NoBox(static_cast<DWORD>(_wtoi(argv[2])));
    }
    if (command == L"box-gone") {
        return BoxGone(TimeoutArg(argc, argv, 2));
    }
    if (command == L"progress") {
        return Progress(TimeoutArg(argc, argv, 2));
    }
    if (command == L"no-progress") {
        return NoProgress(TimeoutArg(argc, argv, 2));
    }
    if (command == L"resources") {
        return Resources();
    }
    if (command == L"close") {
        return Close(TimeoutArg(argc, argv, 2));
    }
    if (command == L"dialogs") {
        return Dialogs();
    }
    if (command == L"hung-watch") {
        return HungWatch(TimeoutArg(argc, argv, 2));
    }
    if (command == L"watch-dialog" && argc >= 3) {
        return WatchDialog(static_cast<DWORD>(_wtoi(argv[2])));
    }
    if (command == L"send-closes") {
        return SendCloses();
    }
    if (command == L"end-session") {
        return EndSession();
    }
    if (command == L"rect" && argc >= 3) {
        return Rect(_wtoi(argv[2]));
    }
    if (command == L"hold-name" && argc >= 3) {
        return HoldName(static_cast<DWORD>(_wtoi(argv[2])), argc >= 4 ? argv[3] : L"");
    }
    if (command == L"wait-focus" && argc >= 3) {
        return WaitFocus(_wtoi(argv[2]), TimeoutArg(argc, argv, 3));
    }
    if (command == L"top-line" && argc >= 3) {
        return TopLine(_wtoi(argv[2]));
    }
    if (command == L"names") {
        return Names();
    }
    return Usage();
}
