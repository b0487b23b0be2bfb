#pragma once
// Requests built byte by byte as the host sends them, for driving the simulated unit directly.
#include "sim/SimulatedUnit.h"

#include <array>
#include <cstdint>
#include <memory>

using Report = std::array<std::uint8_t, 60>;

inline void Put32Le(Report& r, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        r[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

inline std::uint32_t Get32Le(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline Report Frame(std::uint8_t code, std::uint8_t lengthByte, std::uint8_t byte3 = 0) {
    Report r{};
    r[0] = 0x01;
    r[1] = code;
    r[2] = lengthByte;
    r[3] = byte3;
    return r;
}

inline Report IdentifyRequest() {
    return Frame(0x08, 0);
}
inline Report ReadMemoryRequest() {
    Report r = Frame(0x0A, 0x0C);
    Put32Le(r, 4, 0x0801FC00);
    return r;
}
inline Report SystemLockRequest(std::uint8_t flag) {
    return Frame(0x0B, 1, flag);
}
inline Report WriteProtectionRequest(std::uint8_t flag) {
    return Frame(0x20, 1, flag);
}
inline Report WriteBlockRequest(const std::uint8_t* data, std::uint32_t words) {
    Report r = Frame(0x1B, static_cast<std::uint8_t>(4 * words));
    for (std::uint32_t i = 0; i < 4 * words && i < 56; ++i) {
        r[4 + i] = data[i];
    }
    return r;
}
inline Report ControllerInfoRequest() {
    Report r = Frame(0x1D, 8);
    Put32Le(r, 4, 0x20);
    Put32Le(r, 8, 0xFFFFFFE0);
    return r;
}
inline Report EraseRequest() {
    Report r = Frame(0x1E, 4);
    Put32Le(r, 4, 0x6B2D9E47);
    return r;
}
inline Report WriteAddressRequest() {
    Report r = Frame(0x1F, 9, 1);
    Put32Le(r, 8, 0x6B2D9E47);
    return r;
}
inline Report ControllerTypeRequest() {
    return Frame(0x22, 0);
}

inline std::unique_ptr<SimUnit> MakeUnit(const SimUnitConfig& config = {}) {
    auto unit = std::make_unique<SimUnit>();
    SimResetUnit(*unit, config);
    return unit;
}

struct Exchange {
    SimIoResult written;
    SimIoResult read;
    Report reply;
};

// One write of the report's 60 bytes and one read of 60 bytes, as a host with default lengths.
inline Exchange Send(SimUnit& unit, const Report& request) {
    Exchange e{};
    e.written = SimWriteReport(unit, request.data(), static_cast<std::uint32_t>(request.size()));
    e.read = SimReadReport(unit, e.reply.data(), static_cast<std::uint32_t>(e.reply.size()));
    return e;
}

// Lock, unprotect and erase: the state in which blocks may be written.
inline void PrepareForWriting(SimUnit& unit) {
    Send(unit, SystemLockRequest(1));
    Send(unit, WriteProtectionRequest(0));
    Send(unit, EraseRequest());
    Send(unit, WriteAddressRequest());
}
