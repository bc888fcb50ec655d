#include "Clipboard.h"
#include "MemoryPlatform.h"

#include <gtest/gtest.h>
#include <unicode/uregex.h>
#include <unicode/utext.h>

#include <random>

using lumeno::ClipboardManager;

TEST(Clipboard, HasSemanticHTML)
{
    for (const char* html : {"<ul>", "<OL type=a>", "<Li>", "<h1>", "<H6 id=x>", "<table>", "<thead>", "<tbody>",
                             "<tr>", "<td>", "<th>", "<pre>", "<blockquote>", "<dl>", "<dt>", "<dd>",
                             "text <tr", "<!-- <table> -->", "<p><li>x</li></p>", "<bloc\xE2\x84\xAAquote>"})
        EXPECT_TRUE(ClipboardManager::hasSemanticHTML(html)) << html;
    for (const char* html : {"", "<p>", "<div>", "<span>", "<b>", "<a href=x>", "<h7>", "<h0>", "<link>", "<track>",
                             "<preview>", "<thumb>", "< ul>", "</ul></table>", "<li\xCC\x81>", "plain"})
        EXPECT_FALSE(ClipboardManager::hasSemanticHTML(html)) << html;
}

TEST(Clipboard, ReadsAndWritesThroughThePasteboard)
{
    lumeno::platform::memory::MemoryPasteboard pasteboard;
    ClipboardManager clipboard(pasteboard);
    EXPECT_EQ(clipboard.readText(), std::nullopt);
    pasteboard.text = "";
    EXPECT_EQ(clipboard.readText(), "");
    clipboard.write("md", "<p>md</p>");
    EXPECT_EQ(clipboard.readHTML(), "<p>md</p>");
    EXPECT_EQ(pasteboard.writes, 1);
}

// The hand scanner finds what ICU's own engine finds with the pattern.
TEST(Clipboard, HasSemanticHTMLAgreesWithIcuRegex)
{
    UErrorCode status = U_ZERO_ERROR;
    URegularExpression* re = uregex_openC(
        "<(ul|ol|li|h[1-6]|table|thead|tbody|tr|td|th|pre|blockquote|dl|dt|dd)\\b", UREGEX_CASE_INSENSITIVE, nullptr,
        &status);
    ASSERT_TRUE(U_SUCCESS(status));
    const std::string pieces[] = {"<", "<", "u", "L", "o", "i", "h", "H", "1", "6", "7", "t", "D", "r", "able", "body",
                                  "pre", "blockquote", "bloc\xE2\x84\xAAquote", "d", "l", ">", " ", "-", "_", "x",
                                  "\xCC\x81", "\xE2\x80\x8B", "\xC3\xA9", "\xE2\x80\x8D", "3", "\n"};
    std::mt19937 rng(3);
    for (int round = 0; round < 20000; ++round) {
        std::string html;
        for (int k = 0, n = 1 + static_cast<int>(rng() % 6); k < n; ++k)
            html += pieces[rng() % std::size(pieces)];
        UText* text = utext_openUTF8(nullptr, html.data(), static_cast<int64_t>(html.size()), &status);
        uregex_setUText(re, text, &status);
        const bool expected = uregex_find(re, 0, &status);
        utext_close(text);
        ASSERT_EQ(ClipboardManager::hasSemanticHTML(html), expected) << html;
    }
    uregex_close(re);
}
