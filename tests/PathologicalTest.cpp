// Inputs shaped to make a careless stage quadratic. Each must finish in time
// linear in its size; a regression shows up as the test's timeout.
#include "CodeBlocks.h"
#include "HTMLToMarkdown.h"
#include "LineUnwrap.h"
#include "MarkdownToHTML.h"
#include "TextTransformer.h"

#include <gtest/gtest.h>

using namespace lumeno;

namespace {
std::string repeat(std::string_view piece, std::size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}
} // namespace

TEST(Pathological, HundredThousandDistinctLabels)
{
    std::string in;
    for (int i = 0; i < 100000; ++i)
        in += "Field" + std::to_string(i) + ": value Field" + std::to_string(i + 1) + ": next\n";
    const std::string out = TextTransformer::transform(in);
    EXPECT_NE(out.find("Field7: value\nField8: next"), std::string::npos);
}

TEST(Pathological, FiveMegabyteLine)
{
    const std::string line = repeat("word \x1B[1mbold\x1B[0m x: \x1B]8;;u y Name: z \xE4\xB8\xAD ", 5000000 / 40);
    const std::string out = TextTransformer::transform("Name: a\n" + line);
    EXPECT_GT(out.size(), 1000000u);
}

TEST(Pathological, MillionShortLines)
{
    const std::string out = TextTransformer::transform(repeat("a\n", 1000000));
    EXPECT_EQ(out.size(), 2 * 1000000u - 1); // one paragraph: "a a a ..."
}

TEST(Pathological, BlankRunsInsideAndAfterCodeBlocks)
{
    const std::string in = repeat("1  x\n" + repeat("\n", 200000) + "2  y\n" + repeat("   \n", 200000) + "text\n", 3);
    const std::string out = TextTransformer::transform(in);
    EXPECT_NE(out.find("```\n1  x\n\n2  y\n```"), std::string::npos);
}

TEST(Pathological, TwoHundredThousandTables)
{
    const std::string out = MarkdownToHTML::textToHTML(repeat("| a | b |\n|---|---|\n| 1 | 2 |\n\n", 200000));
    EXPECT_EQ(out.find("&lt;"), std::string::npos);
}

TEST(Pathological, LongWrappedBlockLine)
{
    // One block line whose wrapped rest runs over 200,000 lines.
    LineList lines{"1  " + std::string(80, 'x')};
    for (int i = 0; i < 200000; ++i)
        lines.push_back("rest of the line");
    auto [out, blocks] = CodeBlocks::extractCodeBlocks(lines, 80);
    ASSERT_EQ(out.size(), 1u);
}

TEST(Pathological, RunsOfCarriageReturns)
{
    EXPECT_EQ(TextTransformer::transform(repeat("\r", 10000000)), "");
    std::string crlf = "a";
    crlf += repeat("\r\n", 2000000);
    crlf += 'b';
    EXPECT_EQ(TextTransformer::transform(crlf), "a\n\nb");
}

TEST(Pathological, UnclosedEscapesAndBlankGlyphlessLines)
{
    EXPECT_FALSE(TextTransformer::transform(repeat("\x1B]a", 1000000)).empty());
    EXPECT_EQ(TextTransformer::transform(repeat(" \n", 2000000) + "x"), "x");
    EXPECT_FALSE(TextTransformer::transform(repeat("\xE2\x97\x8F \n", 500000)).find('\0') != std::string::npos);
}

TEST(Pathological, ParagraphOfIndentedLines)
{
    // Every line joins the one before; the indentation of the first is never
    // measured again.
    const std::string in = std::string(100000, ' ') + "start" + repeat("\n" + std::string(50, ' ') + "more words", 100000);
    EXPECT_FALSE(TextTransformer::transform(in).empty());
}

TEST(Pathological, HugeBoxTable)
{
    const std::string in = repeat("\xE2\x94\x82 a \xE2\x94\x82 b \xE2\x94\x82\n", 300000);
    const std::string out = TextTransformer::transform(in);
    EXPECT_EQ(out.substr(0, 24), "| a | b |\n| --- | --- |\n");
}

// --- Rich text -------------------------------------------------------------------

TEST(Pathological, HundredThousandNestedDivs)
{
    const std::string html = repeat("<div>", 100000) + "x";
    EXPECT_TRUE(HTMLToMarkdown::convert(html) == html); // too deep: returned as it came
}

TEST(Pathological, NestingJustUnderTheLimit)
{
    // Block quotes and list items just under the limit, each holding many
    // lines: the prefixes are written once, not once per level.
    const std::string quotes = repeat("<blockquote>", 250) + repeat("line<br>", 20000);
    const std::string markdown = HTMLToMarkdown::convert(quotes);
    EXPECT_EQ(markdown.substr(0, 504), repeat("> ", 250) + "line");
    const std::string items = repeat("<ul><li>x<div>", 160) + repeat("text ", 400000);
    EXPECT_GT(HTMLToMarkdown::convert(items).size(), 2000000u);
}

TEST(Pathological, RecreatedFormattingElements)
{
    // Four hundred distinct unclosed b elements, then a hundred thousand
    // paragraphs: the parser would re-create forty million elements.
    std::string html = "<p>";
    for (int i = 0; i < 400; ++i)
        html += "<b id=" + std::to_string(i) + ">";
    html += repeat("<p>x", 100000);
    EXPECT_TRUE(HTMLToMarkdown::convert(html) == html);
}

TEST(Pathological, LessThanEverywhere)
{
    EXPECT_TRUE(HTMLToMarkdown::convert(repeat("<", 1000000)) == repeat("<", 1000000));
    EXPECT_EQ(HTMLToMarkdown::convert(repeat("a<", 500000)), "a");
    EXPECT_TRUE(MarkdownToHTML::textToHTML(repeat("<", 1000000)) == "<p>" + repeat("&lt;", 1000000) + "</p>\n");
}

TEST(Pathological, UnpairedBackticks)
{
    EXPECT_EQ(MarkdownToHTML::textToHTML(repeat("`", 1000000)), "<pre><code></code></pre>\n");
    // A backtick on every line, never closed on it.
    const std::string escaped = MarkdownToHTML::escapeHTMLTags(repeat("x`<\n", 300000));
    EXPECT_TRUE(escaped == repeat("x`&lt;\n", 300000));
    EXPECT_EQ(MarkdownToHTML::escapeHTMLTags(repeat("```<", 300000)).find('\0'), std::string::npos);
}

TEST(Pathological, ListItemsWithoutEnd)
{
    // A million "<li>" and no "</li>": each search for the close is one pass.
    const std::string html = MarkdownToHTML::textToHTML(repeat("- x\n", 100000) + repeat("  <li>\n", 100000));
    EXPECT_NE(html.find("<li>x</li>"), std::string::npos);
    EXPECT_TRUE(HTMLToMarkdown::convert("<ul>" + repeat("<li>a<p>b</p>", 100000) + "</ul>") == repeat("- a b\n", 99999) + "- a b");
}
