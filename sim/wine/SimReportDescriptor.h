#pragma once
// The HID report descriptor of the simulated programming unit: one vendor-defined application
// collection with input report 2 and output report 1, byte-sized fields. The lengths are those
// that HidP_GetCaps reports, so they count the report ID byte.
#include <cstddef>
#include <cstdint>

inline constexpr std::uint8_t SimInputReportId = 0x02;
inline constexpr std::uint8_t SimOutputReportId = 0x01;
inline constexpr std::size_t SimReportDescriptorCapacity = 64;

// Writes the descriptor into out; returns its length, or 0 when a length is below 2 (no data
// byte) or above 65536, or when the descriptor does not fit into capacity.
std::size_t SimBuildReportDescriptor(std::uint8_t* out, std::size_t capacity,
                                     std::uint32_t inputReportLength,
                                     std::uint32_t outputReportLength);
