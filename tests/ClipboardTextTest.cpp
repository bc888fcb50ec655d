#include "ClipboardText.h"

#include <gtest/gtest.h>

using namespace lumeno::platform::linux_desktop;

namespace {
std::string bytes(std::initializer_list<int> list)
{
    std::string out;
    for (const int b : list)
        out += char(b);
    return out;
}
} // namespace

TEST(ClipboardText, DecodesHtmlAsBrowsersOfferIt)
{
    const std::string chromiumMeta = "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">";
    const struct {
        std::string in, out;
    } cases[] = {
        {"<p>caf\xC3\xA9</p>", "<p>caf\xC3\xA9</p>"},
        {"\xEF\xBB\xBF<p>x</p>", "<p>x</p>"},
        {bytes({0xFF, 0xFE, '<', 0, 'b', 0, '>', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE}), "<b>\xC3\xA9\xF0\x9F\x98\x80"},
        {bytes({0xFE, 0xFF, 0, '<', 0, 'i', 0x20, 0xAC}), "<i\xE2\x82\xAC"},
        {bytes({'<', 0, 'u', 0, 'l', 0}), "<ul"},                                    // UTF-16 without a mark
        {bytes({0xFF, 0xFE, 'a', 0, 0x00, 0xD8, 'b', 0}), "a\xEF\xBF\xBD" "b"},       // lone surrogate
        {bytes({0xFF, 0xFE, 'a', 0, 'b'}), "a\xEF\xBF\xBD"},                          // odd byte at the end
        {"<p>\xFF\xC3</p>", "<p>\xEF\xBF\xBD\xEF\xBF\xBD</p>"},
        {chromiumMeta + "<ul><li>a</li></ul>", "<ul><li>a</li></ul>"},
        {"\n <META CHARSET='utf-8'><h1>t</h1>", "\n <h1>t</h1>"},
        {"<meta name=\"viewport\" content=\"width=device-width\"><p>x</p>",
         "<meta name=\"viewport\" content=\"width=device-width\"><p>x</p>"},          // declares no charset
        {"<metadata charset=\"x\"><p>x</p>", "<metadata charset=\"x\"><p>x</p>"},   // another element
        {"<p>x</p><meta charset=\"utf-8\">", "<p>x</p><meta charset=\"utf-8\">"},   // not leading
        {bytes({0xFF, 0xFE, '<', 0, 'm', 0, 'e', 0, 't', 0, 'a', 0, ' ', 0, 'c', 0, 'h', 0, 'a', 0, 'r', 0, 's', 0,
                'e', 0, 't', 0, '=', 0, 'x', 0, '>', 0, '<', 0, 'p', 0, '>', 0}),
         "<p>"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClipboardText::decodeHtml(c.in), c.out) << c.in;
}

TEST(ClipboardText, Latin1BothWays)
{
    EXPECT_EQ(ClipboardText::decodeLatin1("caf\xE9 \xFF\x80"), "caf\xC3\xA9 \xC3\xBF\xC2\x80");
    EXPECT_EQ(ClipboardText::encodeLatin1("caf\xC3\xA9 \xC3\xBF \xE2\x80\x94 \xF0\x9F\x98\x80"), "caf\xE9 \xFF ? ?");
}
