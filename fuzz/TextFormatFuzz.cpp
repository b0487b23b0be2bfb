// Random formats, arguments and destination sizes: the formatter and AppendText must stay inside
// their destination, terminate it, and leave it empty whenever they refuse.
#include "ui/TextFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

std::vector<char16_t> TakeText(const std::uint8_t*& data, std::size_t& size) {
    std::vector<char16_t> text;
    while (size >= 2) {
        const char16_t unit = static_cast<char16_t>(data[0] | (data[1] << 8));
        data += 2;
        size -= 2;
        if (unit == u'\0') {
            break;
        }
        text.push_back(unit);
    }
    text.push_back(u'\0');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    const std::size_t destinationSize = data[0] % 64;
    const std::uint32_t number = data[1] | (data[2] << 8) | (data[3] << 16);
    const bool textFirst = (data[4] & 1) != 0;
    data += 6;
    size -= 6;
    const std::vector<char16_t> format = TakeText(data, size);
    const std::vector<char16_t> text = TakeText(data, size);

    std::vector<char16_t> destination(destinationSize + 1, u'#');
    const FormatArgument first = textFirst ? TextArgument(text.data()) : NumberArgument(number);
    const FormatArgument second = textFirst ? NumberArgument(number) : TextArgument(text.data());
    const std::int32_t result =
        FormatText(destination.data(), destinationSize, format.data(), {first, second});
    if (destination[destinationSize] != u'#') {
        std::abort(); // wrote past the destination
    }
    if (destinationSize > 0) {
        if (result < 0 ? destination[0] != u'\0'
                       : TextLength(destination.data()) != static_cast<std::size_t>(result)) {
            std::abort();
        }
        const std::size_t before = TextLength(destination.data());
        const bool appended = AppendText(destination.data(), destinationSize, text.data());
        const std::size_t after = TextLength(destination.data());
        if (destination[destinationSize] != u'#' ||
            (appended ? after != before + TextLength(text.data()) : after != 0)) {
            std::abort();
        }
    }
    return 0;
}
