#pragma once
// The notice window is a tab stop so that its text can be read and scrolled with the keyboard.
#include <windows.h>

// When Tab brings the focus to an edit control, the dialog manager selects all its text, which
// marks the whole notice and scrolls it to its end. The notice asks not to be selected: it keeps
// its caret where it was (the start after each new text) and shows its text from the top.
void KeepNoticeUnselectedOnFocus(HWND notice);
