#include "Clipboard.h"
#include "MemoryPlatform.h"

#include <gtest/gtest.h>

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
