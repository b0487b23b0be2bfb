#pragma once
// What the user-interface logic works on: the one unit record, the main dialog and what the
// program is busy with.
#include "device/UnitConnection.h"
#include "platform/DialogHost.h"
#include "ui/BusyState.h"

struct AppState {
    UnitConnection unit;
    const DialogHost* dialog = nullptr;
    BusyState busy;
};
