#pragma once
// The carried image as a read-only array compiled into the program. LoadFirmwareImage gives this
// view where the platform has no resources; on Windows it serves to check the resource against it.
#include "update/FirmwareImage.h"

FirmwareImage GetEmbeddedFirmwareImage();
