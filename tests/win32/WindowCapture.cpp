#include "tests/win32/WindowCapture.h"

#include <cstdio>

namespace {

Capture CopyFrom(HDC source, int left, int top, int width, int height) {
    Capture capture;
    if (width <= 0 || height <= 0) {
        return capture;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC memory = CreateCompatibleDC(source);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY);
    GdiFlush();
    capture.width = width;
    capture.height = height;
    const auto* words = static_cast<const std::uint32_t*>(bits);
    capture.pixels.assign(words, words + static_cast<std::size_t>(width) * height);
    for (auto& pixel : capture.pixels) {
        pixel &= 0x00FFFFFF;
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return capture;
}

} // namespace

Capture CaptureClient(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const HDC source = GetDC(window);
    Capture capture = CopyFrom(source, 0, 0, client.right, client.bottom);
    ReleaseDC(window, source);
    return capture;
}

Capture CaptureScreen(const RECT& rect) {
    const HDC source = GetDC(nullptr);
    Capture capture =
        CopyFrom(source, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    ReleaseDC(nullptr, source);
    return capture;
}

bool SaveCapture(const Capture& capture, const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    const std::uint32_t row = (static_cast<std::uint32_t>(capture.width) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = row * static_cast<std::uint32_t>(capture.height);
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    fileHeader.bfSize = fileHeader.bfOffBits + pixelBytes;
    BITMAPINFOHEADER infoHeader{};
    infoHeader.biSize = sizeof infoHeader;
    infoHeader.biWidth = capture.width;
    infoHeader.biHeight = capture.height;
    infoHeader.biPlanes = 1;
    infoHeader.biBitCount = 24;
    infoHeader.biSizeImage = pixelBytes;
    bool written = fwrite(&fileHeader, sizeof fileHeader, 1, file) == 1 &&
                   fwrite(&infoHeader, sizeof infoHeader, 1, file) == 1;
    std::vector<std::uint8_t> line(row, 0);
    for (int y = capture.height - 1; written && y >= 0; --y) {
        for (int x = 0; x < capture.width; ++x) {
            const std::uint32_t pixel = capture.At(x, y);
            line[3 * x] = static_cast<std::uint8_t>(BlueOf(pixel));
            line[3 * x + 1] = static_cast<std::uint8_t>(GreenOf(pixel));
            line[3 * x + 2] = static_cast<std::uint8_t>(RedOf(pixel));
        }
        written = fwrite(line.data(), 1, line.size(), file) == line.size();
    }
    return fclose(file) == 0 && written;
}
