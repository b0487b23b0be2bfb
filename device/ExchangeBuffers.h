#pragma once
// Sizing of the record's exchange buffers from its report lengths.
#include "device/UnitConnection.h"

// True when both report lengths carry every command's named bytes; then both buffers hold at
// least 60 bytes and at least their report length, zero-filled where newly grown.
bool PrepareExchangeBuffers(UnitConnection& unit);
