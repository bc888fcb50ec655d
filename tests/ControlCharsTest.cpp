#include "ControlChars.h"

#include <gtest/gtest.h>

using lumeno::ControlChars::strip;

namespace {
struct Case {
    const char* name;
    std::string in;
    std::string out;
};
} // namespace

TEST(ControlChars, Strips)
{
    const Case cases[] = {
        {"colour codes", "\x1B[1;31mred\x1B[0m", "red"},
        {"private CSI", "\x1B[?25lbusy\x1B[?25h", "busy"},
        {"erase line", "\x1B[2Kx", "x"},
        {"CSI with intermediate byte", "\x1B[1 qx", "x"},
        {"CSI without final byte", "\x1B[12", "[12"},
        {"OSC ended by BEL", "\x1B]0;title\x07x", "x"},
        {"OSC ended by ST", "\x1B]8;;file:///a\x1B\\link\x1B]8;;\x1B\\ rest", "link rest"},
        {"unclosed OSC keeps the text", "\x1B]0;title\nnext\x07", "]0;title\nnext"},
        {"OSC does not cross CR", "\x1B]0;t\rx\x07", "]0;t\nx"},
        {"escape pairs", "\x1B" "7a\x1B=b\x1B(B", "abB"},
        {"escape before a line break", "a\x1B\nb", "ab"},
        {"controls", std::string("a\0b\x01\x7F" "c\td", 9), "abc\td"},
        {"glyph at the start", "\xE2\x8F\xBA Done", "\nDone"},
        {"glyph after text", "a\n\xE2\x8F\xBA b", "a\n\nb"},
        {"blank lines collapse into the glyph line", "a\n\n\n\xE2\x8F\xBA b", "a\n\nb"},
        {"indented glyph", "a\n  \xE2\x97\x8F b", "a\n\nb"},
        {"lone glyph pulls the next line up", "\xE2\x8F\xBA\n    next", "\nnext"},
        {"glyph inside a line stays", "x \xE2\x97\x8F y", "x \xE2\x97\x8F y"},
        {"several glyphs", "\xE2\x97\x90\xE2\x97\x93 Thinking", "\nThinking"},
        {"glyph with a mark is another character", "\xE2\x97\x8F\xCC\x81 x", "\xE2\x97\x8F\xCC\x81 x"},
        {"replacement characters", "a\xEF\xBF\xBD" "b", "ab"},
        {"meta notation", "aM-^Ab", "ab"},
        {"meta notation at the end", "aM-^", "aM-^"},
        {"CR LF", "a\r\nb", "a\nb"},
        {"lone CR", "a\rb", "a\nb"},
        {"CR CR LF", "a\r\r\nb", "a\n\nb"},
        {"untouched", "plain text, 100% fine: [ok] (yes)", "plain text, 100% fine: [ok] (yes)"},
        {"ill-formed UTF-8", "a\xFF" "b", "ab"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(strip(c.in), c.out) << c.name;
}
