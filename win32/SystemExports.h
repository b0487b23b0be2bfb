#pragma once
// Exports of system libraries that only newer Windows versions have, looked up at run time so that
// the program still starts where they are missing.
#include <windows.h>

// The export name of the loaded system library module, or null where this Windows lacks it.
inline FARPROC LookUpExport(const wchar_t* module, const char* name) {
    const HMODULE loaded = GetModuleHandleW(module);
    return loaded != nullptr ? GetProcAddress(loaded, name) : nullptr;
}

inline FARPROC LookUpInUser32(const char* name) {
    return LookUpExport(L"user32.dll", name);
}

// FARPROC is the generic export type; the real signature is restored here.
template <typename Call> Call AsCall(FARPROC export_) {
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(export_));
}
