#pragma once
// Exports of user32 that only newer Windows versions have, looked up at run time so that the
// program still starts where they are missing.
#include <windows.h>

// The export of user32 named name, or null where this Windows lacks it.
inline FARPROC LookUpInUser32(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
}

// FARPROC is the generic export type; the real signature is restored here.
template <typename Call> Call AsCall(FARPROC export_) {
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(export_));
}
