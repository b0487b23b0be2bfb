#include "ui/TextFormat.h"

#include <limits>

namespace {

// Output cursor over the destination that keeps one unit free for the terminator.
struct Output {
    char16_t* destination;
    std::size_t capacity; // units available for text, the terminator excluded
    std::size_t written;
};

bool Put(Output& output, char16_t unit) {
    if (output.written >= output.capacity) {
        return false;
    }
    output.destination[output.written++] = unit;
    return true;
}

bool PutText(Output& output, const char16_t* text) {
    for (; *text != u'\0'; ++text) {
        if (!Put(output, *text)) {
            return false;
        }
    }
    return true;
}

bool PutDecimal(Output& output, std::uint32_t number) {
    char16_t digits[10];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0) {
        if (!Put(output, digits[--count])) {
            return false;
        }
    }
    return true;
}

bool PutHex8(Output& output, std::uint32_t number) {
    constexpr char16_t hexDigits[] = u"0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4) {
        if (!Put(output, hexDigits[(number >> shift) & 0xFu])) {
            return false;
        }
    }
    return true;
}

enum class Conversion { Percent, Text, Decimal, Hex8, Malformed };

// Reads the conversion after a '%' and advances past it.
Conversion ReadConversion(const char16_t*& cursor) {
    switch (cursor[0]) {
    case u'%':
        cursor += 1;
        return Conversion::Percent;
    case u's':
        cursor += 1;
        return Conversion::Text;
    case u'u':
        cursor += 1;
        return Conversion::Decimal;
    case u'0':
        if (cursor[1] == u'8' && cursor[2] == u'x') {
            cursor += 3;
            return Conversion::Hex8;
        }
        return Conversion::Malformed;
    default:
        return Conversion::Malformed;
    }
}

bool FormatInto(Output& output, const char16_t* format,
                std::initializer_list<FormatArgument> arguments) {
    const FormatArgument* nextArgument = arguments.begin();
    const char16_t* cursor = format;
    while (*cursor != u'\0') {
        if (*cursor != u'%') {
            if (!Put(output, *cursor++)) {
                return false;
            }
            continue;
        }
        ++cursor;
        const Conversion conversion = ReadConversion(cursor);
        if (conversion == Conversion::Malformed) {
            return false;
        }
        if (conversion == Conversion::Percent) {
            if (!Put(output, u'%')) {
                return false;
            }
            continue;
        }
        if (nextArgument == arguments.end()) {
            return false;
        }
        const FormatArgument argument = *nextArgument++;
        // A text argument always carries a text, a number argument never does.
        const bool isText = argument.text != nullptr;
        bool ok = false;
        switch (conversion) {
        case Conversion::Text:
            ok = isText && PutText(output, argument.text);
            break;
        case Conversion::Decimal:
            ok = !isText && PutDecimal(output, argument.number);
            break;
        case Conversion::Hex8:
            ok = !isText && PutHex8(output, argument.number);
            break;
        default:
            break;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace

std::int32_t FormatText(char16_t* destination, std::size_t destinationSize, const char16_t* format,
                        std::initializer_list<FormatArgument> arguments) {
    if (destination == nullptr || destinationSize == 0) {
        return -1;
    }
    Output output{destination, destinationSize - 1, 0};
    if (format == nullptr || !FormatInto(output, format, arguments) ||
        output.written > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        destination[0] = u'\0';
        return -1;
    }
    destination[output.written] = u'\0';
    return static_cast<std::int32_t>(output.written);
}

bool AppendText(char16_t* destination, std::size_t destinationSize, const char16_t* text) {
    if (destination == nullptr || destinationSize == 0) {
        return false;
    }
    std::size_t length = 0;
    while (length < destinationSize && destination[length] != u'\0') {
        ++length;
    }
    if (length == destinationSize || text == nullptr) {
        destination[0] = u'\0';
        return false;
    }
    const std::size_t addition = TextLength(text);
    if (addition >= destinationSize - length) {
        destination[0] = u'\0';
        return false;
    }
    // A forward copy of a known length, so that appending a text to itself is safe too.
    for (std::size_t i = 0; i < addition; ++i) {
        destination[length + i] = text[i];
    }
    destination[length + addition] = u'\0';
    return true;
}

std::size_t TextLength(const char16_t* text) {
    std::size_t length = 0;
    if (text != nullptr) {
        while (text[length] != u'\0') {
            ++length;
        }
    }
    return length;
}
