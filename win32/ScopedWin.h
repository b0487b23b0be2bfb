#pragma once
// Holders that release a Win32 resource when they go: kernel handles, GDI objects, memory device
// contexts, objects selected into a context, and SetupAPI device-information lists. Not copied.
#include <windows.h>

#include <setupapi.h>

// A kernel handle (file, event); none is either null or INVALID_HANDLE_VALUE.
struct AutoCloseHandle {
    HANDLE handle = nullptr;

    AutoCloseHandle() = default;
    explicit AutoCloseHandle(HANDLE owned) : handle(owned) {}
    AutoCloseHandle(const AutoCloseHandle&) = delete;
    AutoCloseHandle& operator=(const AutoCloseHandle&) = delete;
    ~AutoCloseHandle() { Reset(); }

    bool IsValid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE replacement = nullptr) {
        if (IsValid()) {
            CloseHandle(handle);
        }
        handle = replacement;
    }
};

// A GDI object (bitmap, brush, pen) deleted with DeleteObject.
template <typename Object> struct ScopedGdiObject {
    Object object;

    explicit ScopedGdiObject(Object owned) : object(owned) {}
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
    ~ScopedGdiObject() {
        if (object != nullptr) {
            DeleteObject(object);
        }
    }
};

// A memory device context made with CreateCompatibleDC.
struct ScopedMemoryContext {
    HDC context;

    explicit ScopedMemoryContext(HDC compatibleWith)
        : context(CreateCompatibleDC(compatibleWith)) {}
    ScopedMemoryContext(const ScopedMemoryContext&) = delete;
    ScopedMemoryContext& operator=(const ScopedMemoryContext&) = delete;
    ~ScopedMemoryContext() {
        if (context != nullptr) {
            DeleteDC(context);
        }
    }
};

// An object selected into a context for as long as the holder lives; the context's previous
// object is put back before either is deleted (declare it after both).
struct ScopedSelectObject {
    HDC context;
    HGDIOBJ previous;

    ScopedSelectObject(HDC into, HGDIOBJ object)
        : context(into), previous(into != nullptr ? SelectObject(into, object) : nullptr) {}
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    ~ScopedSelectObject() {
        if (context != nullptr && previous != nullptr) {
            SelectObject(context, previous);
        }
    }
};

// A SetupAPI device-information list.
struct ScopedDevInfoList {
    HDEVINFO set;

    explicit ScopedDevInfoList(HDEVINFO owned) : set(owned) {}
    ScopedDevInfoList(const ScopedDevInfoList&) = delete;
    ScopedDevInfoList& operator=(const ScopedDevInfoList&) = delete;
    ~ScopedDevInfoList() {
        if (set != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set);
        }
    }
};
