#pragma once
// The HID host: the few platform operations that the device link needs, one call each, so that
// the order of discovery, identification and every exchange stays in portable code. On Windows
// they are SetupAPI, hid.dll and the kernel's file calls (win32/HidHostWin32.cpp); in the tests a
// simulated host (sim/SimHidHost.h).
#include <cstdint>

// Handle of an opened HID interface; invalidHostHandle (all bits set) when none is open.
using HostHandle = std::intptr_t;
inline constexpr HostHandle invalidHostHandle = -1;

// A set of the HID interfaces present at one moment; invalidHostList when it cannot be had.
using HostList = std::intptr_t;
inline constexpr HostList invalidHostList = -1;

// Preparsed HID data of an opened interface; 0 is none.
using HostPreparsed = std::uintptr_t;

// HIDP_STATUS_SUCCESS
inline constexpr std::uint32_t HidStatusSuccess = 0x00110000;

// The report lengths of the HID capabilities, in bytes, the report ID byte counted.
struct HidCapabilities {
    std::uint16_t inputReportByteLength;
    std::uint16_t outputReportByteLength;
};

struct HidHost {
    void* context;

    // SetupDiGetClassDevsW(HID class, no enumerator, no window, PRESENT | DEVICEINTERFACE).
    HostList (*GetInterfaceList)(void* context);
    // SetupDiEnumDeviceInterfaces: false past the last interface.
    bool (*EnumerateInterface)(void* context, HostList list, std::uint32_t index);
    // First SetupDiGetDeviceInterfaceDetailW call, without a buffer: the size in bytes that the
    // detail record of the interface just enumerated needs; 0 when none is given.
    std::uint32_t (*QueryInterfaceDetailSize)(void* context, HostList list, std::uint32_t index);
    // Second call: fills the caller's buffer of bufferBytes bytes with the detail record and
    // gives the device path inside it, or null when the fetch fails.
    const char16_t* (*FetchInterfaceDetail)(void* context, HostList list, std::uint32_t index,
                                            void* buffer, std::uint32_t bufferBytes);
    // SetupDiDestroyDeviceInfoList.
    void (*DestroyInterfaceList)(void* context, HostList list);

    // CreateFileW for reading and writing, shared; invalidHostHandle on failure.
    HostHandle (*OpenInterface)(void* context, const char16_t* devicePath);
    // CreateFileW without read or write access, shared: enough to read the attributes of a
    // collection that is not ours to use; invalidHostHandle on failure.
    HostHandle (*OpenInterfaceToQuery)(void* context, const char16_t* devicePath);
    // HidD_GetAttributes: vendor and product ID; false when they cannot be read.
    bool (*GetAttributes)(void* context, HostHandle device, std::uint16_t* vendorId,
                          std::uint16_t* productId);
    // HidD_GetPreparsedData, HidP_GetCaps (gives HidStatusSuccess or another status),
    // HidD_FreePreparsedData.
    bool (*GetPreparsedData)(void* context, HostHandle device, HostPreparsed* preparsed);
    std::uint32_t (*GetCaps)(void* context, HostPreparsed preparsed, HidCapabilities* caps);
    void (*FreePreparsedData)(void* context, HostPreparsed preparsed);

    // One output report of exactly length bytes (byte 0 the report ID); false on failure, also
    // when the unit does not take it within the exchange bound.
    bool (*WriteReport)(void* context, HostHandle device, const std::uint8_t* report,
                        std::uint32_t length);
    // One input report into a buffer of length bytes (byte 0 the report ID); false on failure,
    // also when none arrives within the exchange bound. delivered receives the number of bytes
    // the read put into the buffer (stacks differ by one for the report ID byte). After
    // PostReadReport with the same device, buffer and length it completes that read instead of
    // starting another.
    bool (*ReadReport)(void* context, HostHandle device, std::uint8_t* report, std::uint32_t length,
                       std::uint32_t* delivered);
    // Posts the read of the reply before its request is written, so that a reply the unit sends
    // at once finds a read waiting (Wine's HID class driver can leave a reply that arrives while
    // a read is being set up in its queue, where a request/reply unit never sends another to push
    // it out). The buffer must stay as it is until ReadReport, a failed WriteReport (which drops
    // the posted read) or CloseInterface. False when the read cannot be posted: then nothing is
    // pending and the request must not be written. Null for hosts whose reads cannot miss a
    // reply.
    bool (*PostReadReport)(void* context, HostHandle device, std::uint8_t* report,
                           std::uint32_t length);
    // HidD_FlushQueue: drops the input reports that the system holds for this handle; false on
    // failure. Null for hosts that keep no queue.
    bool (*FlushQueue)(void* context, HostHandle device);
    // CloseHandle.
    void (*CloseInterface)(void* context, HostHandle device);

    // GetLastError: the system error value of the last failed call.
    std::uint32_t (*GetLastSystemError)(void* context);
};

// How long one write or one read may take before it is given up (Windows: the request is
// cancelled and the call fails with ERROR_TIMEOUT).
inline constexpr std::uint32_t ExchangeTimeoutMilliseconds = 10000;
// How long a cancelled request is waited for; a driver that does not let go of it by then is
// left with it (Windows: the transfer's buffer and event are kept, never reused).
inline constexpr std::uint32_t CancelTimeoutMilliseconds = 1000;
inline constexpr std::uint32_t SystemErrorTimeout = 1460;   // ERROR_TIMEOUT
inline constexpr std::uint32_t SystemErrorInvalidData = 13; // ERROR_INVALID_DATA
// ERROR_DEVICE_NOT_CONNECTED: the interface is gone (the unit was pulled).
inline constexpr std::uint32_t SystemErrorDeviceNotConnected = 1167;
