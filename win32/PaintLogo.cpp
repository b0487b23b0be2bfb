#include "win32/PaintLogo.h"

#include "ui/ControlIds.h"
#include "ui/WindowGeometry.h"
#include "win32/AppGlobals.h"
#include "win32/ScopedWin.h"
#include "win32/SystemLibraries.h"
#include "win32/WindowDpi.h"

namespace {

constexpr COLORREF logoKeyColour = RGB(0, 255, 0);

WindowRect ToWindowRect(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

} // namespace

void PaintLogo(HDC paintContext) {
    // Loaded for one paint and deleted when it is done.
    const ScopedGdiObject<HBITMAP> logo(LoadBitmapW(appInstance, MAKEINTRESOURCEW(LogoBitmapId)));
    if (logo.object == nullptr) {
        return; // the picture is part of the program; without it the face stays plain
    }
    BITMAP size{};
    GetObjectW(logo.object, sizeof size, &size);

    // Declared after the bitmap, so that the bitmap is deselected and the context deleted before
    // the bitmap is.
    const ScopedMemoryContext memory(paintContext);
    if (memory.context == nullptr) {
        return;
    }
    const ScopedSelectObject selected(memory.context, logo.object);

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
    systemCalls.transparentBlt(paintContext, place.left, place.top, place.width, place.height,
                               memory.context, 0, 0, size.bmWidth, size.bmHeight, logoKeyColour);
}
