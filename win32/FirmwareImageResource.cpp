#include "update/FirmwareImage.h"

#include <windows.h>

// The image is RCDATA 119 of the program's own module. A loaded resource stays mapped while the
// program runs, so nothing is freed and every call gives the same view. Should the resource be
// missing (a program linked without it), the view is empty: {nullptr, 0}.
FirmwareImage LoadFirmwareImage() {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(FirmwareImageResourceId), RT_RCDATA);
    if (info == nullptr) {
        return {nullptr, 0};
    }
    const HGLOBAL loaded = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0) {
        return {nullptr, 0};
    }
    return {static_cast<const std::uint8_t*>(data), static_cast<std::uint32_t>(size)};
}
