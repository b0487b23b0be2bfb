#include "win32/AppGlobals.h"

HINSTANCE appInstance = nullptr;
HWND mainDialog = nullptr;
