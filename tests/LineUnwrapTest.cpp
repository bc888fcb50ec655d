#include "CodeBlocks.h"
#include "LineUnwrap.h"

#include <gtest/gtest.h>

using namespace lumeno;
using lumeno::LineUnwrap::isStructuralLine;
using lumeno::LineUnwrap::unwrapLines;

namespace {
// A line of exactly `length` characters ending in `ending`.
std::string line(std::size_t length, const std::string& ending)
{
    return std::string(length - ending.size(), 'w') + ending;
}
} // namespace

TEST(LineUnwrap, StructuralLines)
{
    for (const char* s : {"", "  ", "- item", "* item", "3. item", "3) item", "## Title", "  | a | b |", "\t- x"})
        EXPECT_TRUE(isStructuralLine(s)) << s;
    for (const char* s : {"####### x", "-item", "3.item", "text", "#hashtag", "\xC2\xA0- x"})
        EXPECT_FALSE(isStructuralLine(s)) << s;
}

TEST(LineUnwrap, JoinsAtWidth80)
{
    const std::string the78 = line(78, " the");
    const std::string dot78 = line(78, ".");
    struct Case {
        const char* name;
        LineList in, out;
    } cases[] = {
        {"long line runs on", {the78, "next words"}, {the78 + " next words"}},
        {"long sentence end, capital", {dot78, "Then"}, {dot78, "Then"}},
        {"long sentence end, lowercase", {dot78, "then"}, {dot78 + " then"}},
        {"semicolon ends no long line", {line(78, ";"), "Then"}, {line(78, ";") + " Then"}},
        {"short, lowercase", {"Hello", "world"}, {"Hello world"}},
        {"short with comma", {"Hello,", "world"}, {"Hello, world"}},
        {"short colon", {"Hello:", "world"}, {"Hello:", "world"}},
        {"short semicolon", {"Hello;", "world"}, {"Hello;", "world"}},
        {"short, capital", {"Hello", "World"}, {"Hello", "World"}},
        {"short, digit", {"Hello", "42"}, {"Hello", "42"}},
        {"blank line", {the78, ""}, {the78, ""}},
        {"bullet", {the78, "- item"}, {the78, "- item"}},
        {"numbered", {the78, "3) item"}, {the78, "3) item"}},
        {"heading", {the78, "## Title"}, {the78, "## Title"}},
        {"table row", {the78, "| a | b |"}, {the78, "| a | b |"}},
        {"seven hashes are text", {the78, "####### x"}, {the78 + " ####### x"}},
        {"bullet continuation", {"- item text", "  continued here"}, {"- item text continued here"}},
        {"shallow bullet continuation: width rules", {"  - item", "   More"}, {"  - item", "   More"}},
        {"heading runs on", {"# Title", "and more"}, {"# Title and more"}},
        {"three long lines", {the78, the78, the78}, {the78 + " " + the78 + " " + the78}},
        {"measures the last segment", {the78, line(40, " ok"), "Next"}, {the78 + " " + line(40, " ok"), "Next"}},
        {"measures the last segment, lowercase", {the78, line(40, " ok"), "next"},
         {the78 + " " + line(40, " ok") + " next"}},
        {"table rows are never extended", {"| 1 | 2 |", "next line"}, {"| 1 | 2 |", "next line"}},
        {"single line", {"  x  "}, {"  x  "}},
        {"empty list", {}, {}},
        {"uppercase accented", {"Hello", "\xC3\x89t\xC3\xA9"}, {"Hello", "\xC3\x89t\xC3\xA9"}},
        {"lowercase accented", {"Hello", "\xC3\xA9t\xC3\xA9"}, {"Hello \xC3\xA9t\xC3\xA9"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unwrapLines(c.in, 80), c.out) << c.name;
}

TEST(LineUnwrap, NeverJoinsPlaceholders)
{
    const std::string p = CodeBlocks::placeholderLine(0);
    const std::string the78 = line(78, " the");
    EXPECT_EQ(unwrapLines({the78, p, "next"}, 80), (LineList{the78, p, "next"}));
}

TEST(LineUnwrap, ToleranceGrowsWithWidth)
{
    // Width 120: long means at least 114 characters.
    EXPECT_EQ(unwrapLines({line(114, " a"), "Next"}, 120), (LineList{line(114, " a") + " Next"}));
    EXPECT_EQ(unwrapLines({line(113, " a"), "Next"}, 120), (LineList{line(113, " a"), "Next"}));
}
