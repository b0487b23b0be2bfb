#pragma once
// What the user-interface logic works on: the one unit record and the main dialog.
#include "device/UnitConnection.h"
#include "platform/DialogHost.h"

struct AppState {
    UnitConnection unit;
    const DialogHost* dialog = nullptr;
};
