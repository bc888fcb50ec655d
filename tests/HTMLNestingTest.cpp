// The nesting scan against the parser whose depth it predicts. The parser's
// stack cannot be read, but the elements still open when the input ends can:
// their end position is the end of the input. The scan's depth must never be
// below that count, or a crafted document could pass the limit and nest
// deeper than it.
#include "HTMLNesting.h"

#include <gumbo.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace lumeno::HTMLNesting;

namespace {

std::size_t openAtEnd(const std::string& html)
{
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    std::size_t open = 0;
    std::vector<const GumboNode*> todo{output->root};
    while (!todo.empty()) {
        const GumboNode* node = todo.back();
        todo.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        if (node->v.element.end_pos.offset == html.size())
            ++open;
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            todo.push_back(static_cast<const GumboNode*>(node->v.element.children.data[i]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return open;
}

// The pieces start in the body: a template before it would stay in the head,
// and the body the parser adds at the end would be counted open too.
std::string repeat(std::string_view piece, std::size_t times)
{
    std::string out = "<body>";
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out + "x";
}

std::size_t depthOf(const std::string& html) { return measure(html, {1000000, 1000000}).depth; }

} // namespace

// Patterns repeated until they would nest deep in the parser. Each once
// slipped past an earlier version of the scan.
TEST(HTMLNesting, NeverBelowTheParser)
{
    const char* patterns[] = {
        "<div>",
        "<div/>",
        "<span><div></span>",
        "<b><div></b>",
        "<svg><div/></svg>",
        "<form><i></form>",
        "<math><mi><a href=x>",
        "<big><table><a href=x></table>",
        "<g></main><main></x-a><mi>",
        "<xmp>z</xmp><p><strong>",
        "<p></a><div><mi><a href=x>",
        "<h1><a name=q></main><main>",
        "<a name=q></dl><u><nobr><rp><ruby><dl>",
        "<main><button></main><mi>",
        "<nobr><table><tr><td><marquee></table>",
        "<table><tr><td></template></b><b id=2><template>",
        "<tr><input><template><table><strike>",
        "<rt><p><a href=x><h2></p>",
        "</template><math><template><mi><b>",
        "<b id=2><b id=2><b><a name=q><b>",
        "<frameset><table>",
        "<p><b id=1></p><p><b id=2></p>",
        "<select><div></select><div>",
        "<script><!--<script></script><div>--></script><div>",
        "<div title='>'><span a=\"<p>\">",
        "<textarea></div></textarea><div>",
    };
    for (const char* pattern : patterns) {
        const std::string html = repeat(pattern, 100);
        EXPECT_GE(depthOf(html), openAtEnd(html)) << pattern;
    }
}

// Random tag soup, repeated: the scan may count deeper, never shallower.
TEST(HTMLNesting, NeverBelowTheParserOnTagSoup)
{
    const char* vocabulary[] = {
        "<div>", "</div>", "<p>", "</p>", "<li>", "</li>", "<ul>", "<b>", "</b>", "<i>", "</i>", "<a href=x>", "</a>",
        "<span>", "</span>", "<table>", "</table>", "<tr>", "<td>", "</td>", "<select>", "<option>", "<svg>",
        "</svg>", "<math>", "<mi>", "<path/>", "<foreignObject>", "<div/>", "<font color=red>", "<nobr>", "</nobr>",
        "<dd>", "<dt>", "<h1>", "</h1>", "<form>", "<button>", "</button>", "<caption>", "<colgroup>", "<col>",
        "<script>x</script>", "<x-a>", "</x-b>", "<object>", "</object>", "<br>", "</br>", "text", "<pre>",
        "<template>", "</template>", "<ruby>", "<rt>", "<b id=1>", "<b id=2>", "<main>", "</main>", "<input>",
    };
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; ++round) {
        std::string unit;
        const int length = 1 + static_cast<int>(random() % 10);
        for (int k = 0; k < length; ++k)
            unit += vocabulary[random() % std::size(vocabulary)];
        const std::string html = repeat(unit, 40);
        EXPECT_GE(depthOf(html), openAtEnd(html)) << unit;
    }
}

// What the parser closes by itself is not depth.
TEST(HTMLNesting, ImpliedEndTagsAreNotDepth)
{
    const char* patterns[] = {
        "<p>x", "<li>x", "<dd>x<dt>y", "<option>a", "<select><option>a<option>b</select>",
        "<table><tr><td>x<td>y</table>", "<tr><td>x",
        "<a href=x>a",          // an open a closes the one before
        "<font face=x><p>text", // at most three alike are re-created
        "<!-- <div> -->", "<script><div></script>", "<title><div></title>", "<img><br><hr><input>",
    };
    for (const char* pattern : patterns)
        EXPECT_LE(depthOf(repeat(pattern, 2000)), 10u) << pattern;
    EXPECT_EQ(depthOf(repeat("<ul><li>x", 200)), 2 + 200 * 2u); // lists do nest
}

TEST(HTMLNesting, CountsRecreatedElements)
{
    std::string distinct = "<p>";
    for (int i = 0; i < 300; ++i)
        distinct += "<b id=" + std::to_string(i) + ">";
    const Nesting n = measure(distinct + repeat("<p>x", 100), {1000000, 1000000});
    EXPECT_EQ(n.recreated, 300u * 100);
    EXPECT_LE(measure(repeat("<p><b>x", 1000), {1000000, 1000000}).recreated, 3u * 1000);
}

TEST(HTMLNesting, StopsAtTheLimit)
{
    const Nesting n = measure(repeat("<div>", 1000000), {100, 100});
    EXPECT_EQ(n.depth, 101u);
}
