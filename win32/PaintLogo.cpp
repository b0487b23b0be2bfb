#include "win32/PaintLogo.h"

#include "ui/ControlIds.h"
#include "ui/LogoGeometry.h"
#include "win32/AppGlobals.h"
#include "win32/WindowDpi.h"

namespace {

constexpr COLORREF logoKeyColour = RGB(0, 255, 0);

// The bitmap loaded for one paint, deleted when the paint is done.
struct LoadedBitmap {
    HBITMAP bitmap;
    explicit LoadedBitmap(HBITMAP loaded) : bitmap(loaded) {}
    LoadedBitmap(const LoadedBitmap&) = delete;
    LoadedBitmap& operator=(const LoadedBitmap&) = delete;
    ~LoadedBitmap() {
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
    }
};

// A memory context with one bitmap selected; the context's own bitmap is put back before the
// context is deleted, so the logo bitmap is never deleted while still selected.
struct MemoryContext {
    HDC context;
    HGDIOBJ previous = nullptr;
    MemoryContext(HDC compatibleWith, HBITMAP bitmap)
        : context(CreateCompatibleDC(compatibleWith)) {
        if (context != nullptr) {
            previous = SelectObject(context, bitmap);
        }
    }
    MemoryContext(const MemoryContext&) = delete;
    MemoryContext& operator=(const MemoryContext&) = delete;
    ~MemoryContext() {
        if (context != nullptr) {
            if (previous != nullptr) {
                SelectObject(context, previous);
            }
            DeleteDC(context);
        }
    }
};

WindowRect ToWindowRect(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

} // namespace

void PaintLogo(HDC paintContext) {
    const LoadedBitmap logo(LoadBitmapW(appInstance, MAKEINTRESOURCEW(LogoBitmapId)));
    if (logo.bitmap == nullptr) {
        return; // the picture is part of the program; without it the face stays plain
    }
    BITMAP size{};
    GetObjectW(logo.bitmap, sizeof size, &size);

    // Declared after the bitmap, so it is deleted before it.
    const MemoryContext memory(paintContext, logo.bitmap);
    if (memory.context == nullptr) {
        return;
    }

    RECT dialogRect{};
    RECT groupRect{};
    GetWindowRect(mainDialog, &dialogRect);
    GetWindowRect(GetDlgItem(mainDialog, ControlVersionGroup), &groupRect);

    // Read on every paint: the dialog may have moved to a monitor of another DPI.
    const WindowDpi dpi = ReadWindowDpi(mainDialog);
    const LogoPlacement place =
        ComputeLogoPlacement(size.bmWidth, size.bmHeight, ToWindowRect(dialogRect),
                             ToWindowRect(groupRect), dpi.frameWidth, dpi.captionHeight, dpi.dpi);
    if (place.width <= 0 || place.height <= 0) {
        return;
    }
    TransparentBlt(paintContext, place.left, place.top, place.width, place.height, memory.context,
                   0, 0, size.bmWidth, size.bmHeight, logoKeyColour);
}
