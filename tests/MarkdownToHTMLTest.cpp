#include "MarkdownToHTML.h"

#include <gtest/gtest.h>

using namespace lumeno::MarkdownToHTML;

namespace {
struct Case {
    const char* name;
    std::string in, out;
};
} // namespace

TEST(MarkdownToHTML, EscapesTagsOutsideCode)
{
    const Case cases[] = {
        {"plain text", "a < b > c & d", "a &lt; b &gt; c & d"},
        {"inline code span", "x `a<b>` y <z>", "x `a<b>` y &lt;z&gt;"},
        {"fenced block across lines", "```\n<div>\n```\n<p>", "```\n<div>\n```\n&lt;p&gt;"},
        {"fence never closed", "```\n<x>", "```\n&lt;x&gt;"},
        {"fences pair wherever they stand", "a ```<b>``` c ```<d>", "a ```<b>``` c ```&lt;d&gt;"},
        {"a span does not cross a line", "`a\n<b>`", "`a\n&lt;b&gt;`"},
        {"empty backtick pair is no span", "a``b <c>", "a``b &lt;c&gt;"},
        // A fenced span inside an inline span comes back whole, and no NUL
        // is left for cmark to stop at.
        {"fence inside an inline span", "`a ```b``` c` <x>", "`a ```b``` c` &lt;x&gt;"},
        {"two fences inside one span", "`x ```1``` ```2``` y` <z>", "`x ```1``` ```2``` y` &lt;z&gt;"},
    };
    for (const auto& c : cases) {
        const std::string out = escapeHTMLTags(c.in);
        EXPECT_EQ(out, c.out) << c.name;
        EXPECT_EQ(out.find('\0'), std::string::npos) << c.name;
    }
}

TEST(MarkdownToHTML, PreparesLists)
{
    const Case cases[] = {
        {"bullets after text", "Intro\n- a\n- b", "Intro\n\n- a\n- b"},
        {"numbers after text", "Intro\n1. a\n2. b", "Intro\n\n1. a\n2. b"},
        {"numbers across a blank line", "1. a\n\n2. b", "1. a\n\n2. b"},
        {"lone numbered line", "Step\n3. Done", "Step\n\n3\\. Done"},
        {"continuation makes both lone", "1. a\n   more\n2. b", "1\\. a\n   more\n\n2\\. b"},
        {"indented number is no item", "   1. a", "   1. a"},
        {"bold and rules are no bullets", "x\n**bold**\n---", "x\n**bold**\n---"},
        {"number after bullet", "- a\n1. b", "- a\n\n1\\. b"},
        {"closed fence untouched", "```\n1. a\nx\n- b\n```", "```\n1. a\nx\n- b\n```"},
        {"white space after the period becomes one space", "x\n7.\tgo", "x\n\n7\\. go"},
        // Nested lists as the HTML road writes them.
        {"bullet nested in numbers", "1. Install\n   - apt\n2. Run", "1. Install\n   - apt\n2. Run"},
        {"numbers nested in bullets", "- a\n   1. b\n   2. c\n- d", "- a\n   1. b\n   2. c\n- d"},
        {"text then a nested list", "Intro\n1. a\n   - b\n2. c", "Intro\n\n1. a\n   - b\n2. c"},
        {"lone number after a nested list keeps its gap", "- a\n   - b\n3. c", "- a\n   - b\n\n3\\. c"},
        {"nested line after text is set off", "Intro\n   - b", "Intro\n\n   - b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(prepareListsForMarkdown(c.in), c.out) << c.name;
}

TEST(MarkdownToHTML, Renders)
{
    const Case cases[] = {
        {"empty", "", ""},
        {"less-than as a reference", "a < b", "<p>a &lt; b</p>\n"},
        {"code span keeps its <", "`a<b`", "<p><code>a&lt;b</code></p>\n"},
        {"fenced div is code", "```\n<div>\n```", "<pre><code>&lt;div&gt;\n</code></pre>\n"},
        {"unclosed fence shows the reference", "```\n<x>", "<pre><code>&amp;lt;x&amp;gt;\n</code></pre>\n"},
        {"no block quote", "> quoted", "<p>&gt; quoted</p>\n"},
        {"no autolink", "<https://a.b>", "<p>&lt;https://a.b&gt;</p>\n"},
        {"smart punctuation", "\"a\" -- b --- c...", "<p>\xE2\x80\x9C" "a\xE2\x80\x9D \xE2\x80\x93 b \xE2\x80\x94 c\xE2\x80\xA6</p>\n"},
        {"list after text", "Intro\n- a", "<p>Intro</p>\n<ul>\n<li>a</li>\n</ul>\n"},
        {"hard break in an item", "- a  \n  b", "<ul>\n<li>a \nb</li>\n</ul>\n"},
        {"nested list from the HTML road", "1. Install\n   - apt\n2. Run",
         "<ol>\n<li>Install\n<ul>\n<li>apt</li>\n</ul>\n</li>\n<li>Run</li>\n</ol>\n"},
        {"NUL ends the text", std::string("a\0b", 3), "<p>a</p>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textToHTML(c.in), c.out) << c.name;
}

// The clean-up pairs an item with the first "</li>" after it: in a nested
// list, the outer item's breaks after its inner list stay.
TEST(MarkdownToHTML, ListItemCleanupStopsAtFirstClose)
{
    const std::string html = textToHTML("- a  \n  b\n  - c\n\n  d  \n  e");
    EXPECT_NE(html.find("<li>\n<p>a \nb</p>"), std::string::npos) << html;
    EXPECT_NE(html.find("<p>d<br />\ne</p>"), std::string::npos) << html;
}

TEST(MarkdownToHTML, PipeTables)
{
    const Case cases[] = {
        {"header, separator, body", "| a | b |\n|---|:-:|\n| 1 | 2 |",
         "<table>\n<thead>\n<tr><th>a</th><th>b</th></tr>\n</thead>\n<tbody>\n<tr><td>1</td><td>2</td></tr>\n"
         "</tbody>\n</table>\n"},
        {"no body rows", "| a |\n|---|", "<table>\n<thead>\n<tr><th>a</th></tr>\n</thead>\n</table>\n"},
        {"no closing pipe, empty cell", "| a || b\n|---|",
         "<table>\n<thead>\n<tr><th>a</th><th></th><th>b</th></tr>\n</thead>\n</table>\n"},
        {"rows keep their own width", "| a | b |\n|---|---|\n| 1 | 2 | 3 |",
         "<table>\n<thead>\n<tr><th>a</th><th>b</th></tr>\n</thead>\n<tbody>\n"
         "<tr><td>1</td><td>2</td><td>3</td></tr>\n</tbody>\n</table>\n"},
        {"escaped text stays escaped", "| a < b |\n|---|", "<table>\n<thead>\n<tr><th>a &lt; b</th></tr>\n</thead>\n</table>\n"},
        // A code span's tags are escaped in a cell too, or they would be live
        // markup in the rich flavour.
        {"code span in a cell", "| `<img src=x onerror=y>` & *x* |\n|---|",
         "<table>\n<thead>\n<tr><th>`&lt;img src=x onerror=y&gt;` & *x*</th></tr>\n</thead>\n</table>\n"},
        {"no separator, no table", "| a |\n| b |", "<p>| a |\n| b |</p>\n"},
        {"a blank line ends the run", "| a |\n|---|\n\n| b |",
         "<table>\n<thead>\n<tr><th>a</th></tr>\n</thead>\n</table>\n<p>| b |</p>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textToHTML(c.in), c.out) << c.name;
}

TEST(MarkdownToHTML, SeparatorRows)
{
    struct Row {
        const char* line;
        bool separator;
    } rows[] = {
        {"|---|---|", true},  {"| :--- | ---: |", true}, {"| : |", true},          {"|---||---|", true},
        {"|-\t-|", false},    {"| --- |   | --- |", false}, {"|", false},         {"| -x- |", false},
        {"  |---|  ", true},  {"---|---", false},
    };
    for (const auto& r : rows) {
        const std::string html = textToHTML(std::string("| h |\n") + r.line);
        EXPECT_EQ(html.rfind("<table>", 0) == 0, r.separator) << r.line << " -> " << html;
    }
}

// Code spans that cmark reads differently from the escaping patterns, or that
// land in a table's HTML block, must not bring live markup into the fragment.
TEST(MarkdownToHTML, NoRawHTMLBesideOurTables)
{
    struct Case {
        const char* name;
        const char* markdown;
        const char* html;
    } cases[] = {
        {"four backticks against three", "````<img src=x onerror=alert(1)>```",
         "<p>````&lt;img src=x onerror=alert(1)&gt;```</p>\n"},
        {"code span on the line after a table", "| a |\n|---|\n`<b>x</b>` tail",
         "<table>\n<thead>\n<tr><th>a</th></tr>\n</thead>\n</table>\n`&lt;b&gt;x&lt;/b&gt;` tail\n"},
        {"fenced span starting an HTML block", "x ```\n<div>\n```", "<p>x ```</p>\n&lt;div&gt;\n```\n"},
        {"escaped text after a table stays as it was", "| a |\n|---|\nafter &amp; <i>",
         "<table>\n<thead>\n<tr><th>a</th></tr>\n</thead>\n</table>\nafter &amp; &lt;i&gt;\n"},
        {"a second table in the same HTML block", "| a |\n|---|\nfoo <i>\n| b |\n|---|",
         "<table>\n<thead>\n<tr><th>a</th></tr>\n</thead>\n</table>\nfoo &lt;i&gt;\n"
         "<table>\n<thead>\n<tr><th>b</th></tr>\n</thead>\n</table>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textToHTML(c.markdown), c.html) << c.name;
}
