#pragma once
// The dialog operations of the portable logic on the real main dialog (mainDialog) and the
// program's module (appInstance).
#include "platform/DialogHost.h"

DialogHost MakeWin32DialogHost();
