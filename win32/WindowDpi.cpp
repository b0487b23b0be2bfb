#include "win32/WindowDpi.h"

#include "win32/SystemExports.h"

namespace {

constexpr int baseDpi = 96;

using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);

} // namespace

WindowDpi ReadWindowDpi(HWND window) {
    return ReadWindowDpi(window, LookUpInUser32);
}

WindowDpi ReadWindowDpi(HWND window, User32Lookup lookup) {
    const auto getDpiForWindow = AsCall<GetDpiForWindowCall>(lookup("GetDpiForWindow"));
    const auto getSystemMetricsForDpi =
        AsCall<GetSystemMetricsForDpiCall>(lookup("GetSystemMetricsForDpi"));
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    if (dpi == 0 || getSystemMetricsForDpi == nullptr) {
        // No per-window DPI to be had (older Windows, or an invalid window): the 96-DPI numbers.
        return {baseDpi, GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYCAPTION)};
    }
    return {static_cast<int>(dpi), getSystemMetricsForDpi(SM_CXDLGFRAME, dpi),
            getSystemMetricsForDpi(SM_CYCAPTION, dpi)};
}
