#include "sim/wine/SimReportDescriptor.h"

namespace {

struct Writer {
    std::uint8_t* out;
    std::size_t capacity;
    std::size_t length;
    bool overflow;
};

void Put(Writer& w, std::uint8_t byte) {
    if (w.length >= w.capacity) {
        w.overflow = true;
        return;
    }
    w.out[w.length++] = byte;
}

// A report count item, in its short one- or two-byte form.
void PutReportCount(Writer& w, std::uint32_t count) {
    if (count <= 0xFF) {
        Put(w, 0x95);
        Put(w, static_cast<std::uint8_t>(count));
    } else {
        Put(w, 0x96);
        Put(w, static_cast<std::uint8_t>(count & 0xFF));
        Put(w, static_cast<std::uint8_t>(count >> 8));
    }
}

// One report of byte fields: report ID, usage, logical range 0..255, size 8, count, main item.
void PutReport(Writer& w, std::uint8_t reportId, std::uint8_t usage, std::uint32_t length,
               std::uint8_t mainItem) {
    const std::uint8_t head[] = {0x85, reportId, 0x09, usage, 0x15, 0x00,
                                 0x26, 0xFF,     0x00, 0x75,  0x08};
    for (std::uint8_t byte : head) {
        Put(w, byte);
    }
    PutReportCount(w, length - 1); // the report ID byte is not a field
    Put(w, mainItem);
    Put(w, 0x02); // data, variable, absolute
}

} // namespace

std::size_t SimBuildReportDescriptor(std::uint8_t* out, std::size_t capacity,
                                     std::uint32_t inputReportLength,
                                     std::uint32_t outputReportLength) {
    if (inputReportLength < 2 || outputReportLength < 2 || inputReportLength > 65536 ||
        outputReportLength > 65536) {
        return 0;
    }
    Writer w{out, capacity, 0, false};
    const std::uint8_t head[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
    for (std::uint8_t byte : head) {
        Put(w, byte);
    }
    PutReport(w, SimInputReportId, 0x02, inputReportLength, 0x81);
    PutReport(w, SimOutputReportId, 0x03, outputReportLength, 0x91);
    Put(w, 0xC0);
    return w.overflow ? 0 : w.length;
}
