#pragma once
#include <windows.h>

// Draws logo bitmap 121 right of the version group box into the dialog's paint context, scaled
// to the free space, with pure green keyed out. Every GDI object it makes is gone when it returns.
void PaintLogo(HDC paintContext);
