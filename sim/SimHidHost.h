#pragma once
// A HID host over simulated interfaces: programming units (sim/SimulatedUnit.h) and foreign HID
// devices, with failures of every platform step, and a record of what was opened and released.
// Used by the native tests of every subsystem.
#include "platform/HidHost.h"
#include "sim/SimulatedUnit.h"
#include "sim/VirtualClock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SimInterface {
    std::u16string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    SimUnit* unit = nullptr;              // null: a foreign device; its reports go nowhere
    std::uint16_t inputReportLength = 60; // for foreign devices; a unit has its own
    std::uint16_t outputReportLength = 60;
    bool present = true;
    bool detailSizeZero = false;
    bool detailFails = false;
    bool openFails = false;
    bool attributesFail = false;
    bool preparsedFails = false;
    std::uint32_t capsStatus = HidStatusSuccess;
};

// System error values that the simulated host reports, as Windows names them.
inline constexpr std::uint32_t SimSystemErrorFileNotFound = 2;         // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t SimSystemErrorInvalidHandle = 6;        // ERROR_INVALID_HANDLE
inline constexpr std::uint32_t SimSystemErrorGenFailure = 31;          // ERROR_GEN_FAILURE
inline constexpr std::uint32_t SimSystemErrorInsufficientBuffer = 122; // ERROR_INSUFFICIENT_BUFFER
inline constexpr std::uint32_t SimSystemErrorNoMoreItems = 259;        // ERROR_NO_MORE_ITEMS
inline constexpr std::uint32_t SimSystemErrorDeviceNotConnected =
    1167;                                                              // ERROR_DEVICE_NOT_CONNECTED
inline constexpr std::uint32_t SimSystemErrorInvalidUserBuffer = 1784; // ERROR_INVALID_USER_BUFFER
// HIDP_STATUS_INVALID_PREPARSED_DATA
inline constexpr std::uint32_t SimHidStatusInvalidPreparsedData = 0xC0110001;

// Bookkeeping of the host: every handle, list and preparsed record ever given out.
struct SimHandleRecord {
    HostHandle handle;
    std::size_t interfaceIndex; // into SimHidHostState::interfaces
    bool open;
};
struct SimListRecord {
    HostList list;
    std::vector<std::size_t> members; // the interfaces present when the list was made
    bool live;
};
struct SimPreparsedRecord {
    HostPreparsed preparsed;
    std::size_t interfaceIndex;
    bool live;
};

struct SimHidHostState {
    std::vector<SimInterface> interfaces;
    bool listFails = false;
    VirtualClock* clock = nullptr; // advanced by reply delays and exchange time-outs
    // Plays Wine's HID class driver race at its worst: a reply that arrives while no read is
    // posted for the handle is lost, and the read that comes too late times out.
    bool repliesNeedPostedRead = false;
    HostHandle postedReadDevice = invalidHostHandle; // the handle whose read is posted, if any
    std::uint32_t repliesLost = 0;
    // PostReadReport fails (ERROR_GEN_FAILURE, logged as "post read h3") and posts nothing.
    bool postReadFails = false;
    // Handles are the lowest values not open, so a closed handle's value comes back, as the
    // system's do.
    bool reuseHandles = false;
    // Runs as every read begins to wait: what the dialog's thread handles while it waits for the
    // unit (an event another thread sends, a close request) happens here.
    std::function<void()> whileReading;
    // Input reports that the system holds for the units' handles ahead of any reply (sent to
    // another program meanwhile): a read takes the first of them; FlushQueue drops them all.
    std::vector<std::vector<std::uint8_t>> queuedReports;
    // The buffer lengths of the last posted read and of the last read, in bytes.
    std::uint32_t postedReadLength = 0;
    std::uint32_t readLength = 0;

    // What happened: one line per platform call: "list", "enum 0", "size 0", "detail 0" (the
    // index of the enumeration), "destroy list", "open 1" (the index in interfaces of the path
    // opened, "open ?" for an unknown path), "attributes h3", "preparsed h3", "caps", "query 1"
    // (opened without access), "flush h3", "free preparsed", "write h3 1B" (the command code in
    // hex), "read h3", "close h3", "last error". Handles are numbered 1, 2, 3, ... in the order
    // opened, never reused (unless reuseHandles).
    std::vector<std::string> calls;
    std::uint32_t openHandles = 0;      // opened and not yet closed
    std::uint32_t openLists = 0;        // obtained and not yet destroyed
    std::uint32_t openPreparsed = 0;    // obtained and not yet freed
    std::vector<std::u16string> opened; // paths, in the order opened
    std::uint32_t lastError = 0;        // set by every failed call, kept by successful ones
    // Releases of something that was never given out or is already released.
    std::uint32_t badCloses = 0;
    std::uint32_t badListDestroys = 0;
    std::uint32_t badPreparsedFrees = 0;
    std::vector<SimHandleRecord> handles;
    std::vector<SimListRecord> lists;
    std::vector<SimPreparsedRecord> preparsedData;
    HidHost host{};
};

// Wires state.host to state; the record must not move afterwards.
//
// Behaviour: the list holds the interfaces that are present (present set, and for a unit not
// unplugged) when it is made. Opening matches paths without regard to case, as Windows does.
// Writes go to the unit; a foreign device takes every write and never answers. A read advances
// the clock by the unit's reply delay; a read that gets no answer advances it by
// ExchangeTimeoutMilliseconds and fails with SystemErrorTimeout, as the Windows host does after
// its bound. A unit gone (unplugged, or its interface no longer present) fails with
// ERROR_DEVICE_NOT_CONNECTED, a posted read too (logged as "post read h3"), as Windows fails the
// read it would start; a report of the wrong length with ERROR_INVALID_USER_BUFFER; other
// failures with ERROR_GEN_FAILURE.
void InitSimHidHost(SimHidHostState& state);

// The interface record of a simulated unit with the given path (vendor and product from its
// configuration).
SimInterface MakeUnitInterface(SimUnit& unit, std::u16string path);
