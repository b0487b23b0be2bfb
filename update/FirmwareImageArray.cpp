#include "update/EmbeddedFirmwareImage.h"
#include "update/FirmwareImage.h"

// Without resources the image is the array compiled into the program; the view stays valid for
// the whole run and nothing has to be released.
FirmwareImage LoadFirmwareImage() {
    return GetEmbeddedFirmwareImage();
}
