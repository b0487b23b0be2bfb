#include "win32/NoticeFocus.h"

#include <commctrl.h>

namespace {

LRESULT CALLBACK NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR) {
    if (message == WM_GETDLGCODE) {
        return DefSubclassProc(window, message, wParam, lParam) & ~LRESULT{DLGC_HASSETSEL};
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, NoticeProc, 0);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

} // namespace

void KeepNoticeUnselectedOnFocus(HWND notice) {
    SetWindowSubclass(notice, NoticeProc, 0, 0);
}
