#pragma once
// Pixels of a window as it is on screen, for the dialog tests: a 32-bit top-down copy of the
// window's client area, and a 24-bit BMP writer so that every capture can be kept as an artefact.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, row by row from the top

    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

inline int RedOf(std::uint32_t pixel) {
    return static_cast<int>((pixel >> 16) & 0xFF);
}
inline int GreenOf(std::uint32_t pixel) {
    return static_cast<int>((pixel >> 8) & 0xFF);
}
inline int BlueOf(std::uint32_t pixel) {
    return static_cast<int>(pixel & 0xFF);
}
inline std::uint32_t PixelOf(COLORREF colour) {
    return (static_cast<std::uint32_t>(GetRValue(colour)) << 16) |
           (static_cast<std::uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

// The window's client area as drawn now (from its window DC).
Capture CaptureClient(HWND window);
// A rectangle of the screen (screen coordinates), as the display shows it.
Capture CaptureScreen(const RECT& rect);
// Writes the capture as a 24-bit bottom-up BMP; false when the file cannot be written.
bool SaveCapture(const Capture& capture, const std::wstring& path);
