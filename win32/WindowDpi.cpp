#include "win32/WindowDpi.h"

namespace {

constexpr int baseDpi = 96;

using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiCall = int(WINAPI*)(int, UINT);

FARPROC LookUpInUser32(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
}

// FARPROC is the generic export type; the real signature is restored here.
template <typename Call> Call AsCall(FARPROC export_) {
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(export_));
}

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
