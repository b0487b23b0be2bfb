// Reads the look of the running updater's main dialog from the screen, as a user would see it at
// the display's DPI: where the logo is drawn and how large (matched pixel for pixel against the
// program's own bitmap drawn at candidate sizes), whether any key-coloured pixel shows, and
// whether the notice window's text fits it, and whether each label shows its whole text (the
// pixels on screen against the text drawn whole in the dialog's font, and the text's width against
// the label's). Output: one "key=value" a line.
//
//   HalvernLookProbe <program file, Windows path> [timeout]
//
// Exit code 0: measured; 1: no dialog, no bitmap or no logo found; 2: usage.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t* mainCaption = L"ORVALDA HALVERN 160 Firmware Updater 4.8";
constexpr int logoBitmapId = 121;
constexpr int groupId = 40007;
constexpr int noticeId = 40004;
constexpr std::uint32_t keyPixel = 0x00FF00;
// The font of dialog template 110.
const wchar_t* dialogFont = L"MS Shell Dlg";
constexpr int dialogFontPoints = 8;

void Print(const char* key, long value) {
    std::printf("%s=%ld\n", key, value);
}

// Pixels of one area as 0x00RRGGBB, top row first.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;
    std::uint32_t At(int x, int y) const {
        return data[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
    }
};

// A 32-bit top-down DIB section selected into a memory context.
struct Canvas {
    HDC context = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;
    Canvas(int w, int h) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* raw = nullptr;
        context = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(context, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
        bits = static_cast<std::uint32_t*>(raw);
        previous = SelectObject(context, bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        SelectObject(context, previous);
        DeleteObject(bitmap);
        DeleteDC(context);
    }
    Pixels Read() const {
        GdiFlush();
        Pixels pixels{width, height, std::vector<std::uint32_t>(bits, bits + width * height)};
        return pixels;
    }
};

Pixels CaptureScreen(const RECT& area) {
    Canvas canvas(area.right - area.left, area.bottom - area.top);
    const HDC screen = GetDC(nullptr);
    BitBlt(canvas.context, 0, 0, canvas.width, canvas.height, screen, area.left, area.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    return canvas.Read();
}

RECT ClientRectOf(HWND dialog, int id) {
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The logo as the program draws it: its bitmap scaled to width x height with the key colour left
// out, on the dialog's face, at (left, top) of an area the size of `shown`; the number of pixels
// that differ from what is shown.
long Mismatch(HDC logo, const BITMAP& size, const Pixels& shown, COLORREF face, int left, int top,
              int width, int height) {
    Canvas canvas(shown.width, shown.height);
    const HBRUSH brush = CreateSolidBrush(face);
    RECT all{0, 0, shown.width, shown.height};
    FillRect(canvas.context, &all, brush);
    DeleteObject(brush);
    TransparentBlt(canvas.context, left, top, width, height, logo, 0, 0, size.bmWidth,
                   size.bmHeight, RGB(0, 255, 0));
    const Pixels drawn = canvas.Read();
    long differences = 0;
    for (std::size_t i = 0; i < drawn.data.size(); ++i) {
        differences += (drawn.data[i] & 0xFFFFFF) != (shown.data[i] & 0xFFFFFF) ? 1 : 0;
    }
    return differences;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM children) {
    reinterpret_cast<std::vector<HWND>*>(children)->push_back(window);
    return TRUE;
}

// The dialog's labels: its static texts but the right-aligned version fields, in template order.
std::vector<HWND> Labels(HWND dialog) {
    std::vector<HWND> children;
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::vector<HWND> labels;
    for (HWND child : children) {
        wchar_t name[16] = {};
        GetClassNameW(child, name, 16);
        if (_wcsicmp(name, L"Static") == 0 &&
            (GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_RIGHT) == 0) {
            labels.push_back(child);
        }
    }
    return labels;
}

// One label: its text, its width, the width of its text in the dialog's font, and how many
// pixels of the label on screen differ from that text drawn whole at the label's place. A cut
// text (a lost letter, a word wrapped into the hidden second line) differs there, and its width
// exceeds the label's.
void MeasureLabel(HWND label, int dpi, std::uint32_t face) {
    RECT own{};
    GetWindowRect(label, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    wchar_t text[256] = {};
    const int length = GetWindowTextW(label, text, 256);
    // The font that the dialog template names, as the dialog manager makes it for the DPI.
    const HFONT copy = CreateFontW(-MulDiv(dialogFontPoints, dpi, 72), 0, 0, 0, FW_DONTCARE, FALSE,
                                   FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE, dialogFont);
    // Drawn as the static control draws it, black on the face colour, with room to spare.
    SIZE extent{};
    Canvas canvas(width * 3, height);
    const HGDIOBJ previous = SelectObject(canvas.context, copy);
    GetTextExtentPoint32W(canvas.context, text, length, &extent);
    const HBRUSH brush = CreateSolidBrush(RGB(face >> 16, (face >> 8) & 0xFF, face & 0xFF));
    RECT all{0, 0, canvas.width, canvas.height};
    FillRect(canvas.context, &all, brush);
    DeleteObject(brush);
    SetBkMode(canvas.context, TRANSPARENT);
    SetTextColor(canvas.context, RGB(0, 0, 0));
    DrawTextW(canvas.context, text, length, &all, DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS);
    const Pixels whole = canvas.Read();
    SelectObject(canvas.context, previous);
    DeleteObject(copy);
    const Pixels shown = CaptureScreen(own);
    long inkWidth = 0;
    long differing = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < whole.width; ++x) {
            const bool ink = whole.At(x, y) != face;
            inkWidth = ink ? std::max<long>(inkWidth, x + 1) : inkWidth;
            // Ink against ink, whatever its colour ("Regler" is drawn in red); ink beyond the
            // label's edge is never seen.
            differing += ink != (x < width && shown.At(x, y) != face) ? 1 : 0;
        }
    }
    const int id = GetDlgCtrlID(label);
    char utf8[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::printf("label.%d.text=%s\n", id, utf8);
    std::printf("label.%d.width=%d\n", id, width);
    std::printf("label.%d.textWidth=%ld\n", id, extent.cx);
    std::printf("label.%d.inkWidth=%ld\n", id, inkWidth);
    std::printf("label.%d.differing=%ld\n", id, differing);
}

int Usage() {
    std::fwprintf(stderr, L"usage: HalvernLookProbe <program file> [timeout ms]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    // Pixels, not the coordinates of a 96-DPI program stretched by the system.
    SetProcessDPIAware();
    const DWORD timeout = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 15000;
    HWND dialog = nullptr;
    for (DWORD waited = 0; waited < timeout; waited += 50) {
        dialog = FindWindowW(L"#32770", mainCaption);
        if (dialog != nullptr && IsWindowVisible(dialog)) {
            break;
        }
        Sleep(50);
    }
    if (dialog == nullptr) {
        std::fwprintf(stderr, L"HalvernLookProbe: no main dialog within %lu ms\n", timeout);
        return 1;
    }
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Sleep(500); // the program paints on its own thread

    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    Print("dpi", dpi);
    ReleaseDC(nullptr, screen);
    RECT dialogRect{};
    RECT groupRect{};
    GetWindowRect(dialog, &dialogRect);
    GetWindowRect(GetDlgItem(dialog, groupId), &groupRect);
    RECT client{};
    GetClientRect(dialog, &client);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    const RECT group = ClientRectOf(dialog, groupId);
    const RECT notice = ClientRectOf(dialog, noticeId);
    Print("dialog.width", dialogRect.right - dialogRect.left);
    Print("dialog.height", dialogRect.bottom - dialogRect.top);
    Print("client.width", client.right);
    Print("client.height", client.bottom);
    Print("group.right", group.right);
    Print("notice.top", notice.top);
    // The free space right of the group box as the program reckons it, before its DPI margin.
    Print("gap", dialogRect.right - groupRect.right);

    const Pixels shown =
        CaptureScreen({origin.x, origin.y, origin.x + client.right, origin.y + client.bottom});
    const COLORREF faceColour = GetSysColor(COLOR_BTNFACE);
    const std::uint32_t face = (static_cast<std::uint32_t>(GetRValue(faceColour)) << 16) |
                               (static_cast<std::uint32_t>(GetGValue(faceColour)) << 8) |
                               GetBValue(faceColour);
    long keyPixels = 0;
    RECT drawn{LONG_MAX, LONG_MAX, -1, -1};
    for (int y = 0; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            const std::uint32_t pixel = shown.At(x, y);
            keyPixels += pixel == keyPixel ? 1 : 0;
            // Right of the group box and above the notice window only the logo is drawn.
            if (pixel != face && x >= group.right && y < notice.top) {
                drawn.left = std::min<LONG>(drawn.left, x);
                drawn.top = std::min<LONG>(drawn.top, y);
                drawn.right = std::max<LONG>(drawn.right, x + 1);
                drawn.bottom = std::max<LONG>(drawn.bottom, y + 1);
            }
        }
    }
    Print("keyPixels", keyPixels);

    // The notice window: its whole text visible, or at least everything up to its last line
    // reachable without a line cut off at the right.
    const HWND noticeWindow = GetDlgItem(dialog, noticeId);
    RECT noticeClient{};
    GetClientRect(noticeWindow, &noticeClient);
    const long lines = static_cast<long>(SendMessageW(noticeWindow, EM_GETLINECOUNT, 0, 0));
    const long secondLine = static_cast<long>(SendMessageW(noticeWindow, EM_LINEINDEX, 1, 0));
    const LRESULT firstPosition = SendMessageW(noticeWindow, EM_POSFROMCHAR, 0, 0);
    const LRESULT secondPosition =
        secondLine > 0 ? SendMessageW(noticeWindow, EM_POSFROMCHAR, secondLine, 0) : -1;
    const long lineHeight = secondPosition != -1 ? static_cast<short>(HIWORD(secondPosition)) -
                                                       static_cast<short>(HIWORD(firstPosition))
                                                 : 0;
    long widest = 0;
    for (long line = 0; line < lines; ++line) {
        const long start = static_cast<long>(SendMessageW(noticeWindow, EM_LINEINDEX, line, 0));
        const long length = static_cast<long>(SendMessageW(noticeWindow, EM_LINELENGTH, start, 0));
        if (length > 0) {
            // The left edge of the line's last character; the wrap keeps it and its width inside.
            const LRESULT last = SendMessageW(noticeWindow, EM_POSFROMCHAR, start + length - 1, 0);
            widest = std::max<long>(widest, static_cast<short>(LOWORD(last)));
        }
    }
    Print("notice.lines", lines);
    Print("notice.lineHeight", lineHeight);
    Print("notice.visibleLines", lineHeight > 0 ? noticeClient.bottom / lineHeight : 0);
    Print("notice.clientWidth", noticeClient.right);
    Print("notice.widestLastChar", widest);

    const std::vector<HWND> labels = Labels(dialog);
    std::printf("labels=");
    for (HWND label : labels) {
        std::printf("%d ", GetDlgCtrlID(label));
    }
    std::printf("\n");
    for (HWND label : labels) {
        MeasureLabel(label, dpi, face);
    }

    if (drawn.right < 0) {
        std::fwprintf(stderr, L"HalvernLookProbe: nothing drawn right of the group box\n");
        return 1;
    }
    Print("drawn.left", drawn.left);
    Print("drawn.top", drawn.top);
    Print("drawn.right", drawn.right);
    Print("drawn.bottom", drawn.bottom);

    // The program's own bitmap, read from its file.
    const HMODULE program = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HBITMAP bitmap =
        program != nullptr ? LoadBitmapW(program, MAKEINTRESOURCEW(logoBitmapId)) : nullptr;
    if (bitmap == nullptr) {
        std::fwprintf(stderr, L"HalvernLookProbe: no bitmap %d in %ls\n", logoBitmapId, argv[1]);
        return 1;
    }
    BITMAP size{};
    GetObjectW(bitmap, sizeof size, &size);
    const HDC logo = CreateCompatibleDC(nullptr);
    const HGDIOBJ previous = SelectObject(logo, bitmap);
    // Where the bitmap's own drawing starts and ends, to estimate the drawn size from the box.
    const Pixels source = [&] {
        Canvas canvas(size.bmWidth, size.bmHeight);
        BitBlt(canvas.context, 0, 0, size.bmWidth, size.bmHeight, logo, 0, 0, SRCCOPY);
        return canvas.Read();
    }();
    RECT content{LONG_MAX, LONG_MAX, -1, -1};
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            if (source.At(x, y) != keyPixel) {
                content.left = std::min<LONG>(content.left, x);
                content.top = std::min<LONG>(content.top, y);
                content.right = std::max<LONG>(content.right, x + 1);
                content.bottom = std::max<LONG>(content.bottom, y + 1);
            }
        }
    }
    const int estimate = static_cast<int>((drawn.right - drawn.left) * size.bmWidth /
                                          (content.right - content.left));
    // The area around the drawn box, compared pixel for pixel with the bitmap drawn at each
    // candidate size and place.
    const int margin = 12;
    const RECT area{std::max<LONG>(group.right, drawn.left - margin),
                    std::max<LONG>(0, drawn.top - margin),
                    std::min<LONG>(client.right, drawn.right + margin),
                    std::min<LONG>(notice.top, drawn.bottom + margin)};
    Pixels region{area.right - area.left, area.bottom - area.top, {}};
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            region.data.push_back(shown.At(x, y));
        }
    }
    long best = LONG_MAX;
    int bestWidth = 0, bestHeight = 0, bestLeft = 0, bestTop = 0;
    for (int width = std::max(1, estimate - 4); width <= estimate + 4; ++width) {
        // The program's height: single precision, truncated.
        const int height =
            static_cast<int>(static_cast<float>(width) / static_cast<float>(size.bmWidth) *
                             static_cast<float>(size.bmHeight));
        const int left = drawn.left - content.left * width / size.bmWidth;
        const int top = drawn.top - content.top * height / size.bmHeight;
        for (int dy = -3; dy <= 3; ++dy) {
            for (int dx = -3; dx <= 3; ++dx) {
                const long differences =
                    Mismatch(logo, size, region, faceColour, left + dx - area.left,
                             top + dy - area.top, width, height);
                if (differences < best) {
                    best = differences;
                    bestWidth = width;
                    bestHeight = height;
                    bestLeft = left + dx;
                    bestTop = top + dy;
                }
            }
        }
    }
    SelectObject(logo, previous);
    DeleteDC(logo);
    DeleteObject(bitmap);
    FreeLibrary(program);
    Print("logo.width", bestWidth);
    Print("logo.height", bestHeight);
    Print("logo.left", bestLeft);
    Print("logo.top", bestTop);
    Print("logo.mismatchedPixels", best);
    return 0;
}
