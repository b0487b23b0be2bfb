#include "ui/TextFormat.h"
#include "tests/support/MessageCatalogue.h"
#include "ui/MessageIds.h"
#include "ui/Product.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FormatCase {
    const char* name;
    const char16_t* format;
    std::vector<FormatArgument> arguments;
    std::size_t size;      // destination size in units
    std::int32_t expected; // result
    std::u16string text;   // destination afterwards
};

// Calls FormatText with a run-time argument list of up to three arguments.
std::int32_t Format(char16_t* destination, std::size_t size, const char16_t* format,
                    const std::vector<FormatArgument>& a) {
    switch (a.size()) {
    case 0:
        return FormatText(destination, size, format, {});
    case 1:
        return FormatText(destination, size, format, {a[0]});
    case 2:
        return FormatText(destination, size, format, {a[0], a[1]});
    default:
        return FormatText(destination, size, format, {a[0], a[1], a[2]});
    }
}

const FormatCase formatCases[] = {
    {"plain", u"abc", {}, 16, 3, u"abc"},
    {"empty", u"", {}, 1, 0, u""},
    {"text", u"<%s>", {TextArgument(u"HALVERN 160")}, 16, 13, u"<HALVERN 160>"},
    {"empty text", u"[%s]", {TextArgument(u"")}, 16, 2, u"[]"},
    {"utf-16 text",
     u"%s",
     {TextArgument(u"\u00e4\u00df\U0001F600")},
     16,
     4,
     u"\u00e4\u00df\U0001F600"},
    {"decimal zero", u"%u", {NumberArgument(0)}, 16, 1, u"0"},
    {"decimal max", u"%u", {NumberArgument(4294967295u)}, 16, 10, u"4294967295"},
    {"decimal pair", u"%u.%u", {NumberArgument(4), NumberArgument(8)}, 16, 3, u"4.8"},
    {"decimal two digits", u"%u.", {NumberArgument(10)}, 16, 3, u"10."},
    {"hex zero", u"%08x", {NumberArgument(0)}, 16, 8, u"00000000"},
    {"hex small", u"0x%08x", {NumberArgument(0xABCu)}, 16, 10, u"0x00000abc"},
    {"hex minus two",
     u"0x%08x",
     {NumberArgument(static_cast<std::uint32_t>(-2))},
     16,
     10,
     u"0xfffffffe"},
    {"hex all digits", u"%08x", {NumberArgument(0x89ABCDEFu)}, 16, 8, u"89abcdef"},
    {"percent", u"100%%", {}, 16, 4, u"100%"},
    {"percent before conversion", u"%%%u%%", {NumberArgument(7)}, 16, 3, u"%7%"},
    {"caption",
     CaptionFormat,
     {TextArgument(SupportedModelName), NumberArgument(4), NumberArgument(8)},
     MessageBufferSize,
     40,
     u"ORVALDA HALVERN 160 Firmware Updater 4.8"},
    {"extra argument ignored", u"%u", {NumberArgument(1), NumberArgument(2)}, 16, 1, u"1"},
    // Bounds: the text and its terminator must fit.
    {"exact fit", u"abc", {}, 4, 3, u"abc"},
    {"one short", u"abc", {}, 3, -1, u""},
    {"text exact fit", u"%s", {TextArgument(u"abcd")}, 5, 4, u"abcd"},
    {"text one short", u"%s", {TextArgument(u"abcd")}, 4, -1, u""},
    {"hex exact fit", u"%08x", {NumberArgument(1)}, 9, 8, u"00000001"},
    {"hex one short", u"%08x", {NumberArgument(1)}, 8, -1, u""},
    {"decimal exact fit", u"%u", {NumberArgument(12345)}, 6, 5, u"12345"},
    {"decimal one short", u"%u", {NumberArgument(12345)}, 5, -1, u""},
    {"percent one short", u"%%", {}, 1, -1, u""},
    // Malformed formats.
    {"signed", u"%d", {NumberArgument(1)}, 16, -1, u""},
    {"hex without width", u"%x", {NumberArgument(1)}, 16, -1, u""},
    {"upper-case hex", u"%08X", {NumberArgument(1)}, 16, -1, u""},
    {"other width", u"%07x", {NumberArgument(1)}, 16, -1, u""},
    {"width without zero", u"%8x", {NumberArgument(1)}, 16, -1, u""},
    {"cut width", u"%08", {NumberArgument(1)}, 16, -1, u""},
    {"cut zero", u"%0", {NumberArgument(1)}, 16, -1, u""},
    {"trailing percent", u"abc%", {}, 16, -1, u""},
    {"wide string", u"%ls", {TextArgument(u"x")}, 16, -1, u""},
    // Missing or wrong arguments.
    {"missing number", u"%u", {}, 16, -1, u""},
    {"missing second", u"%08x-%08x", {NumberArgument(1)}, 32, -1, u""},
    {"missing text", u"%s", {}, 16, -1, u""},
    {"number for text", u"%s", {NumberArgument(1)}, 16, -1, u""},
    {"text for number", u"%u", {TextArgument(u"1")}, 16, -1, u""},
    {"text for hex", u"%08x", {TextArgument(u"1")}, 16, -1, u""},
    {"null text", u"%s", {TextArgument(nullptr)}, 16, -1, u""},
    {"null format", nullptr, {}, 16, -1, u""},
};

TEST(FormatText, Table) {
    for (const FormatCase& c : formatCases) {
        // Prefilled, so that a failure that leaves text behind shows.
        std::vector<char16_t> buffer(c.size + 4, u'#');
        const std::int32_t result = Format(buffer.data(), c.size, c.format, c.arguments);
        EXPECT_EQ(result, c.expected) << c.name;
        EXPECT_EQ(std::u16string(buffer.data()), c.text) << c.name;
        if (result >= 0) {
            EXPECT_EQ(static_cast<std::size_t>(result), c.text.size()) << c.name;
        }
        // Nothing past the destination.
        EXPECT_EQ(std::u16string(buffer.end() - 4, buffer.end()), u"####") << c.name;
    }
}

TEST(FormatText, NoRoomForTheTerminatorWritesNothing) {
    char16_t buffer[2] = {u'#', u'#'};
    EXPECT_EQ(FormatText(buffer, 0, u"", {}), -1);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(FormatText(nullptr, 16, u"abc", {}), -1);
}

TEST(FormatText, ErrorCodeLineOfAFailedRequest) {
    char16_t format[MessageBufferSize];
    char16_t line[MessageBufferSize];
    LoadCatalogueText(MessageErrorCodeFormat, format, MessageBufferSize);
    const std::int32_t resultCode = -2;
    const std::uint32_t systemError = 5;
    const std::int32_t written = FormatText(
        line, MessageBufferSize, format,
        {NumberArgument(static_cast<std::uint32_t>(resultCode)), NumberArgument(systemError)});
    const std::u16string expected = u"Das System meldet Fehlercode 0xfffffffe-0x00000005";
    EXPECT_EQ(std::u16string(line), expected);
    EXPECT_EQ(written, static_cast<std::int32_t>(expected.size()));

    // The report: the failure text, a single line break, the code line.
    char16_t report[MessageBufferSize];
    LoadCatalogueText(MessageEraseFailed, report, MessageBufferSize);
    const std::u16string failure = report;
    ASSERT_TRUE(AppendText(report, MessageBufferSize, u"\r\n"));
    ASSERT_TRUE(AppendText(report, MessageBufferSize, line));
    EXPECT_EQ(std::u16string(report), failure + u"\r\n" + expected);
}

struct AppendCase {
    const char* name;
    std::u16string initial; // the destination's text before
    std::size_t size;
    const char16_t* text;
    bool expected;
    std::u16string result;
};

const AppendCase appendCases[] = {
    {"to empty", u"", 8, u"abc", true, u"abc"},
    {"after text", u"ab", 8, u"cd", true, u"abcd"},
    {"nothing", u"ab", 8, u"", true, u"ab"},
    {"exact fit", u"ab", 5, u"cd", true, u"abcd"},
    {"one short", u"ab", 4, u"cd", false, u""},
    {"full destination, nothing added", u"abc", 4, u"", true, u"abc"},
    {"full destination, one added", u"abc", 4, u"d", false, u""},
    {"paragraph break", u"Text", 9, u"\r\n\r\n", true, u"Text\r\n\r\n"},
    {"null text", u"ab", 8, nullptr, false, u""},
};

TEST(AppendText, Table) {
    for (const AppendCase& c : appendCases) {
        std::vector<char16_t> buffer(c.size + 4, u'#');
        std::copy(c.initial.begin(), c.initial.end(), buffer.begin());
        buffer[c.initial.size()] = u'\0';
        EXPECT_EQ(AppendText(buffer.data(), c.size, c.text), c.expected) << c.name;
        EXPECT_EQ(std::u16string(buffer.data()), c.result) << c.name;
        EXPECT_EQ(std::u16string(buffer.end() - 4, buffer.end()), u"####") << c.name;
    }
}

TEST(AppendText, UnterminatedDestinationBecomesEmpty) {
    char16_t buffer[5] = {u'a', u'b', u'c', u'd', u'e'};
    EXPECT_FALSE(AppendText(buffer, 4, u"x"));
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(buffer[4], u'e');
}

TEST(AppendText, NoDestination) {
    char16_t buffer[1] = {u'#'};
    EXPECT_FALSE(AppendText(buffer, 0, u"x"));
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_FALSE(AppendText(nullptr, 8, u"x"));
}

TEST(AppendText, AppendsATextToItself) {
    char16_t buffer[16] = u"abc";
    EXPECT_TRUE(AppendText(buffer, 16, buffer));
    EXPECT_EQ(std::u16string(buffer), u"abcabc");
    EXPECT_TRUE(AppendText(buffer, 16, buffer + 4));
    EXPECT_EQ(std::u16string(buffer), u"abcabcbc");
}

TEST(TextLength, CountsUnitsUpToTheTerminator) {
    EXPECT_EQ(TextLength(u""), 0u);
    EXPECT_EQ(TextLength(u"abc"), 3u);
    EXPECT_EQ(TextLength(u"\U0001F600"), 2u);
    EXPECT_EQ(TextLength(u"ab\0cd"), 2u);
    EXPECT_EQ(TextLength(nullptr), 0u);
}

} // namespace
