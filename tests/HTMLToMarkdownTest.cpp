#include "HTMLToMarkdown.h"

#include <gtest/gtest.h>

using namespace lumeno::HTMLToMarkdown;

namespace {
struct Case {
    const char* name;
    std::string html, markdown;
};

std::string repeat(std::string_view piece, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}
} // namespace

TEST(HTMLToMarkdown, ElementRules)
{
    const Case cases[] = {
        {"empty", "", ""},
        {"paragraph with bold", "<p>Hello <b>world</b></p>", "Hello **world**"},
        {"heading then paragraph", "<h2>Title</h2><p>Text</p>", "## Title\n\nText"},
        {"line break", "<p>a<br>b</p>", "a\nb"},
        {"blank paragraph", "<p> </p>", ""},
        {"empty heading", "<h3></h3>", "###"},
        {"heading content untrimmed", "<h1>  Title  </h1>", "#  Title"},
        {"blank bold is kept", "<p>x<b> </b>y</p>", "x** **y"},
        {"empty emphasis is dropped", "<p>x<i></i>y<em><span></span></em></p>", "xy"},
        {"link", "<a href='/docs'>Docs</a>", "[Docs](/docs)"},
        {"link without href", "<a name=x>Docs</a>", "Docs"},
        {"link without content", "<p>x<a href='/d'><img src=i.png></a>y</p>", "xy"},
        {"image", "<p>a<img alt=picture src=p.png>b</p>", "ab"},
        {"text in the body", "Hello <i>there</i>", "Hello *there*"},
        {"references decoded, nothing escaped", "<p>a &lt; b &amp; c *x*</p>", "a < b & c *x*"},
        {"no-break and zero-width spaces", "<p>a&nbsp;&nbsp;b&#8203;c</p>", "a bc"},
        {"inline code", "<code>  x   y </code>", "`x y`"},
        {"empty code", "<p>a<code> </code>b</p>", "ab"},
        {"script, style, comment, head", "<head><title>T</title><style>s</style></head><body><script>x</script><!--c-->ok",
         "ok"},
        {"nested sections", "<div><section><p>x</p></section></div>", "x"},
        {"unlisted blocks add nothing", "<header>A</header><footer>B</footer>", "AB"},
        {"definition list", "<dl><dt>T</dt><dd>D</dd></dl>", "TD"},
        {"blockquote of paragraphs", "<blockquote><p>a</p><p>b</p></blockquote>", "> a\n>\n>\n>\n> b"},
        {"nested blockquotes", "<blockquote><blockquote>x<br>y</blockquote>b</blockquote>", "> > x\n> > y\n>\n> b"},
        {"empty blockquote", "<blockquote></blockquote>x", ">\n\nx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(convert(c.html), c.markdown) << c.name;
}

TEST(HTMLToMarkdown, CodeBlocks)
{
    const Case cases[] = {
        {"lines keep their indentation", "<pre><code>line1\n  line2</code></pre>", "```\nline1\n  line2\n```"},
        {"br in pre is a space", "<pre>a<br>b</pre>", "```\na b\n```"},
        {"block lines join", "<pre><div>x</div><div>y</div></pre>", "```\nx y\n```"},
        {"two levels down white space collapses", "<pre><code><span>a   b</span>\n  c</code></pre>",
         "```\na b\n  c\n```"},
        {"references decoded", "<pre><code>a &lt; b</code></pre>", "```\na < b\n```"},
        {"empty block", "<pre></pre>", "```\n\n```"},
        {"clean-up reaches inside", "<pre>a  \n\n\n\nb</pre>", "```\na\n\nb\n```"},
        {"set off by blank lines", "x<pre>c</pre>y", "x\n\n```\nc\n```\n\ny"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(convert(c.html), c.markdown) << c.name;
}

TEST(HTMLToMarkdown, Lists)
{
    const Case cases[] = {
        {"nested bullet", "<ul><li>a</li><li>b<ul><li>c</li></ul></li></ul>", "- a\n- b\n   - c"},
        {"numbered", "<ol><li>x</li><li>y</li></ol>", "1. x\n2. y"},
        {"three levels", "<ol><li>a<ol><li>b<ol><li>c</li></ol></li></ol></li></ol>", "1. a\n   1. b\n      1. c"},
        {"numbers count items only", "<ol><li>a</li><p>no</p><li>b</li></ol>", "1. a\n2. b"},
        {"paragraphs of an item join", "<ul><li><p>a</p><p>b</p></li></ul>", "- a b"},
        {"break in an item", "<ul><li>a<br>b</li></ul>", "- a\nb"},
        {"item text trimmed", "<ul><li>\n  a\n</li><li></li></ul>", "- a\n-"},
        {"list in a div keeps the item's depth", "<ul><li>a<div><ul><li>x</li></ul></div></li></ul>", "- a\n\n- x"},
        {"text after the nested list joins the line", "<ul><li>a<ul><li>n</li></ul> later</li></ul>", "- a later\n   - n"},
        {"several nested lists", "<ul><li>a<ul></ul><ul><li>x</li></ul><ul><li>y</li></ul></li></ul>",
         "- a\n   - x\n\n   - y"},
        // A list directly inside a list is converted one level deeper.
        {"list in a list", "<ul><ul><li>a</li></ul><li>b</li></ul>", "   - a\n- b"},
        {"numbered list in a list", "<ol><li>a</li><ol><li>b</li></ol><li>c</li></ol>", "1. a\n   1. b\n2. c"},
        {"empty list in a list", "<ul><li>a</li><ul></ul><li>b</li></ul>", "- a\n- b"},
        {"quote in an item", "<ul><li>q<blockquote>x<br>y</blockquote></li></ul>", "- q\n\n> x\n> y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(convert(c.html), c.markdown) << c.name;
}

TEST(HTMLToMarkdown, Tables)
{
    const Case cases[] = {
        {"header and row", "<table><tr><th>A</th><th>B</th></tr><tr><td>1</td><td>2</td></tr></table>",
         "| A | B |\n| --- | --- |\n| 1 | 2 |"},
        {"short row filled", "<table><tr><th>A</th><th>B</th></tr><tr><td>1</td></tr></table>",
         "| A | B |\n| --- | --- |\n| 1 |  |"},
        {"single row", "<table><tr><td>only</td></tr></table>", "| only |\n| --- |"},
        {"no cells", "<table><caption>c</caption></table>", ""},
        {"list and break in cells", "<table><tr><td><ul><li>a</li><li>b</li></ul></td><td>x<br>y</td></tr></table>",
         "| - a - b | x y |\n| --- | --- |"},
        {"pipe left alone", "<table><tr><td>a|b</td></tr></table>", "| a|b |\n| --- |"},
        {"quote in a cell", "<table><tr><td><blockquote>a<br>b</blockquote></td></tr></table>", "| > a > b |\n| --- |"},
        // Rows of a nested table are rows of the outer one; the cell that
        // holds it keeps only its own text.
        {"nested table", "<table><tr><td>outer<table><tr><td>in1</td><td>in2</td></tr></table></td></tr>"
                         "<tr><td>last</td></tr></table>",
         "| outer |  |\n| --- | --- |\n| in1 | in2 |\n| last |  |"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(convert(c.html), c.markdown) << c.name;
}

// Nested tables would otherwise double the output with every level.
TEST(HTMLToMarkdown, NestedTablesStayLinear)
{
    const std::string html = repeat("<table><tr><td>x", 100) + repeat("</td></tr></table>", 100);
    std::string expected = "| x |\n| --- |" + repeat("\n| x |", 99);
    EXPECT_EQ(convert(html), expected);
}

TEST(HTMLToMarkdown, NestingLimit)
{
    // html and body are two levels of the limit.
    const std::string fits = repeat("<div>", maxNestingDepth - 2) + "x";
    const std::string tooDeep = repeat("<div>", maxNestingDepth - 1) + "x";
    EXPECT_EQ(convert(fits), "x");
    EXPECT_EQ(convert(tooDeep), tooDeep);

    // Implied end tags are not depth.
    EXPECT_EQ(convert(repeat("<li>x", 10000)), repeat("x", 10000));
    EXPECT_EQ(convert("<ul>" + repeat("<li>x", 3000) + "</ul>"), "- x" + repeat("\n- x", 2999));
    EXPECT_EQ(convert(repeat("<p>x", 10000)), "x" + repeat("\n\nx", 9999));
    EXPECT_EQ(convert("<table>" + repeat("<tr><td>x<td>y", 3000) + "</table>"),
              "| x | y |\n| --- | --- |" + repeat("\n| x | y |", 2999));
}

TEST(HTMLToMarkdown, DocumentWithoutBody)
{
    const std::string frames = "<frameset><frame src=a.html></frameset>";
    EXPECT_EQ(convert(frames), frames);
}

// Numeric references past U+10FFFF overflow inside the parser; found by
// fuzzing, where one came out as a stray byte and another swallowed the text
// after it.
TEST(HTMLToMarkdown, HugeNumericReferencesAreReplacementCharacters)
{
    const std::string fffd = "\xEF\xBF\xBD";
    for (const char* reference : {"&#5555555555513;", "&#4294967295;", "&#4294967353;", "&#x110000;", "&#xFFFFFFFFFFFF;",
                                  "&#55555555555555555555555555513;"})
        EXPECT_EQ(lumeno::HTMLToMarkdown::convert(std::string("<p>an") + reference + "t</p>"), "an" + fffd + "t")
            << reference;
    EXPECT_EQ(lumeno::HTMLToMarkdown::convert("<p>&#x10FFFF;&#0000000000065;</p>"), "\xF4\x8F\xBF\xBF" "A");
}
