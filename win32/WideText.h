#pragma once
// UTF-16 texts of the portable code at the Win32 boundary: wchar_t is 16-bit on Windows, so the
// two spellings of the same units are interchangeable.
#include <cstddef>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide texts are UTF-16");

inline const wchar_t* AsWide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline wchar_t* AsWide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
