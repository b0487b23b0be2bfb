#pragma once
// Bounded UTF-16 formatting with swprintf_s semantics, the project's own because the C library's
// wide %s means different things on Windows and on glibc. Conversions: %s (UTF-16 text), %u
// (unsigned 32-bit, decimal), %08x (unsigned 32-bit, eight lower-case hex digits), %% (a percent).
#include <cstddef>
#include <cstdint>
#include <initializer_list>

struct FormatArgument {
    const char16_t* text; // for %s
    std::uint32_t number; // for %u and %08x
};

inline FormatArgument TextArgument(const char16_t* text) {
    return {text, 0};
}
inline FormatArgument NumberArgument(std::uint32_t number) {
    return {nullptr, number};
}

// Writes the formatted text and its terminator into destination (destinationSize units) and gives
// the number of units written without the terminator. -1 when the output does not fit, the format
// is malformed or an argument is missing or of the wrong kind; destination is then empty (when it
// has room for the terminator at all).
std::int32_t FormatText(char16_t* destination, std::size_t destinationSize, const char16_t* format,
                        std::initializer_list<FormatArgument> arguments);

// wcscat_s semantics: appends text when the result fits destinationSize units with its
// terminator and gives true; otherwise destination becomes empty and the result is false.
bool AppendText(char16_t* destination, std::size_t destinationSize, const char16_t* text);

// Length of a terminated UTF-16 text in units.
std::size_t TextLength(const char16_t* text);
