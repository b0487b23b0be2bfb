#include "sim/wine/SimUnitOptions.h"

#include <cstdint>
#include <cstdio>

namespace {

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& value) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return false;
    }
    std::uint64_t result = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        if (digit >= base || result > (max - digit) / base) {
            return false;
        }
        result = result * base + digit;
    }
    value = result;
    return true;
}

template <typename T> bool Assign(T& field, std::string_view text) {
    std::uint64_t value = 0;
    if (!ParseNumber(text, static_cast<T>(~T{0}), value)) {
        return false;
    }
    field = static_cast<T>(value);
    return true;
}

// A report length: at least the ID byte and one data byte, at most what the model handles.
bool AssignLength(std::uint16_t& field, std::string_view text) {
    std::uint16_t length = 0;
    if (!Assign(length, text) || length < 2 || length > SimReportCapacity) {
        return false;
    }
    field = length;
    return true;
}

bool ParseKind(std::string_view text, SimFaultKind& kind) {
    struct Entry {
        std::string_view name;
        SimFaultKind kind;
    };
    static constexpr Entry kinds[] = {
        {"none", SimFaultKind::None},           {"writefails", SimFaultKind::WriteFails},
        {"readfails", SimFaultKind::ReadFails}, {"error", SimFaultKind::ErrorReply},
        {"wrongecho", SimFaultKind::WrongEcho}, {"noanswer", SimFaultKind::NoAnswer},
    };
    for (const Entry& entry : kinds) {
        if (entry.name == text) {
            kind = entry.kind;
            return true;
        }
    }
    return false;
}

// fault=<command>:<kind>[:<code>[:<occurrence>]]
bool ApplyFault(SimUnitConfig& config, std::string_view text) {
    std::string_view parts[4];
    std::size_t count = 0;
    while (count < 4) {
        std::size_t colon = text.find(':');
        parts[count++] = text.substr(0, colon);
        if (colon == std::string_view::npos) {
            text = {};
            break;
        }
        text.remove_prefix(colon + 1);
    }
    if (!text.empty() || count < 2) {
        return false;
    }
    std::uint8_t command = 0;
    SimFault fault{};
    if (!Assign(command, parts[0]) || !ParseKind(parts[1], fault.kind)) {
        return false;
    }
    if (count > 2 && !Assign(fault.errorCode, parts[2])) {
        return false;
    }
    if (count > 3 && !Assign(fault.occurrence, parts[3])) {
        return false;
    }
    config.faults[command] = fault;
    return true;
}

bool ApplyBool(bool& field, std::string_view text) {
    if (text == "1" || text == "yes" || text == "true") {
        field = true;
        return true;
    }
    if (text == "0" || text == "no" || text == "false") {
        field = false;
        return true;
    }
    return false;
}

// One option of the unit: its key and how its value is applied.
struct UnitOption {
    const char* key;
    bool (*apply)(SimUnitConfig& config, std::string_view value);
};

// Every key ApplyUnitOption reads, in the order an unknown one is answered with (tools/options.sh
// reads the names from this table too, to refuse a mistyped option before it builds anything).
// clang-format off
constexpr UnitOption unitKeys[] = {
    {"vid", [](SimUnitConfig& c, std::string_view v) { return Assign(c.vendorId, v); }},
    {"pid", [](SimUnitConfig& c, std::string_view v) { return Assign(c.productId, v); }},
    {"in", [](SimUnitConfig& c, std::string_view v) { return AssignLength(c.inputReportLength, v); }},
    {"out", [](SimUnitConfig& c, std::string_view v) { return AssignLength(c.outputReportLength, v); }},
    {"boot", [](SimUnitConfig& c, std::string_view v) { return ApplyBool(c.bootMode, v); }},
    {"state", [](SimUnitConfig& c, std::string_view v) { return Assign(c.controllerState, v); }},
    {"detail", [](SimUnitConfig& c, std::string_view v) { return Assign(c.controllerStateDetail, v); }},
    {"unitfw", [](SimUnitConfig& c, std::string_view v) { return Assign(c.unitFirmwareVersion, v); }},
    {"unitinfo", [](SimUnitConfig& c, std::string_view v) { return Assign(c.unitInfoWord, v); }},
    {"ctype", [](SimUnitConfig& c, std::string_view v) { return Assign(c.controllerTypeCode, v); }},
    {"cboot", [](SimUnitConfig& c, std::string_view v) { return Assign(c.controllerBootloaderVersion, v); }},
    {"cfw", [](SimUnitConfig& c, std::string_view v) { return Assign(c.controllerFirmwareVersion, v); }},
    {"flashedfw", [](SimUnitConfig& c, std::string_view v) { return Assign(c.flashedFirmwareVersion, v); }},
    {"delay", [](SimUnitConfig& c, std::string_view v) { return Assign(c.replyDelayMilliseconds, v); }},
    {"racefix", [](SimUnitConfig& c, std::string_view v) { return ApplyBool(c.holdWriteUntilDelivered, v); }},
    {"unplugat", [](SimUnitConfig& c, std::string_view v) { return Assign(c.unplugAtExchange, v); }},
    {"bootbyte1", [](SimUnitConfig& c, std::string_view v) { return Assign(c.bootInfoByte1, v); }},
    {"boothalf", [](SimUnitConfig& c, std::string_view v) { return Assign(c.bootInfoHalf, v); }},
    {"bootword1", [](SimUnitConfig& c, std::string_view v) { return Assign(c.bootInfoWord1, v); }},
    {"bootword2", [](SimUnitConfig& c, std::string_view v) { return Assign(c.bootInfoWord2, v); }},
    {"bootbyte2", [](SimUnitConfig& c, std::string_view v) { return Assign(c.bootInfoByte2, v); }},
    {"bootmemory", [](SimUnitConfig& c, std::string_view v) { return Assign(c.bootMemoryWord, v); }},
    {"fault", [](SimUnitConfig& c, std::string_view v) { return ApplyFault(c, v); }},
};
// clang-format on

} // namespace

std::string ApplyUnitOption(SimUnitConfig& config, std::string_view word) {
    std::size_t equals = word.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return "expected key=value: " + std::string(word);
    }
    std::string_view key = word.substr(0, equals);
    std::string_view value = word.substr(equals + 1);
    for (const UnitOption& option : unitKeys) {
        if (key == option.key) {
            return option.apply(config, value) ? std::string{} : "bad value: " + std::string(word);
        }
    }
    std::string message = "unknown key: " + std::string(word) + "; the keys are";
    for (const UnitOption& option : unitKeys) {
        message += " ";
        message += option.key;
    }
    return message;
}

std::string UnitNodeName(const SimUnitConfig& config) {
    char name[32];
    std::snprintf(name, sizeof name, "VID_%04X&PID_%04X", static_cast<unsigned>(config.vendorId),
                  static_cast<unsigned>(config.productId));
    return name;
}
