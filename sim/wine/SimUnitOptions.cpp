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

// Every key ApplyUnitOption reads, for the answer to an unknown one (tools/options.sh reads the
// names from this list too, to refuse a mistyped option before it builds anything).
constexpr const char* unitKeys[] = {
    "vid",       "pid",       "in",        "out",        "boot",      "state",
    "detail",    "unitfw",    "unitinfo",  "ctype",      "cboot",     "cfw",
    "flashedfw", "delay",     "racefix",   "unplugat",   "bootbyte1", "boothalf",
    "bootword1", "bootword2", "bootbyte2", "bootmemory", "fault"};

} // namespace

std::string ApplyUnitOption(SimUnitConfig& config, std::string_view word) {
    std::size_t equals = word.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return "expected key=value: " + std::string(word);
    }
    std::string_view key = word.substr(0, equals);
    std::string_view value = word.substr(equals + 1);
    bool known = true;
    bool ok = false;
    if (key == "vid") {
        ok = Assign(config.vendorId, value);
    } else if (key == "pid") {
        ok = Assign(config.productId, value);
    } else if (key == "in") {
        ok = AssignLength(config.inputReportLength, value);
    } else if (key == "out") {
        ok = AssignLength(config.outputReportLength, value);
    } else if (key == "boot") {
        ok = ApplyBool(config.bootMode, value);
    } else if (key == "state") {
        ok = Assign(config.controllerState, value);
    } else if (key == "detail") {
        ok = Assign(config.controllerStateDetail, value);
    } else if (key == "unitfw") {
        ok = Assign(config.unitFirmwareVersion, value);
    } else if (key == "unitinfo") {
        ok = Assign(config.unitInfoWord, value);
    } else if (key == "ctype") {
        ok = Assign(config.controllerTypeCode, value);
    } else if (key == "cboot") {
        ok = Assign(config.controllerBootloaderVersion, value);
    } else if (key == "cfw") {
        ok = Assign(config.controllerFirmwareVersion, value);
    } else if (key == "flashedfw") {
        ok = Assign(config.flashedFirmwareVersion, value);
    } else if (key == "delay") {
        ok = Assign(config.replyDelayMilliseconds, value);
    } else if (key == "racefix") {
        ok = ApplyBool(config.holdWriteUntilDelivered, value);
    } else if (key == "unplugat") {
        ok = Assign(config.unplugAtExchange, value);
    } else if (key == "bootbyte1") {
        ok = Assign(config.bootInfoByte1, value);
    } else if (key == "boothalf") {
        ok = Assign(config.bootInfoHalf, value);
    } else if (key == "bootword1") {
        ok = Assign(config.bootInfoWord1, value);
    } else if (key == "bootword2") {
        ok = Assign(config.bootInfoWord2, value);
    } else if (key == "bootbyte2") {
        ok = Assign(config.bootInfoByte2, value);
    } else if (key == "bootmemory") {
        ok = Assign(config.bootMemoryWord, value);
    } else if (key == "fault") {
        ok = ApplyFault(config, value);
    } else {
        known = false;
    }
    if (!known) {
        std::string message = "unknown key: " + std::string(word) + "; the keys are";
        for (const char* name : unitKeys) {
            message += " ";
            message += name;
        }
        return message;
    }
    if (!ok) {
        return "bad value: " + std::string(word);
    }
    return {};
}

std::string UnitNodeName(const SimUnitConfig& config) {
    char name[32];
    std::snprintf(name, sizeof name, "VID_%04X&PID_%04X", static_cast<unsigned>(config.vendorId),
                  static_cast<unsigned>(config.productId));
    return name;
}
