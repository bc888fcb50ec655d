#include "Whitespace.h"

#include <gtest/gtest.h>

using namespace lumeno;
using namespace lumeno::Whitespace;

TEST(Whitespace, GetIndent)
{
    EXPECT_EQ(getIndent("    x"), 4);
    EXPECT_EQ(getIndent("\t\tx"), 2);
    EXPECT_EQ(getIndent(" \t x"), 3);
    EXPECT_EQ(getIndent(""), 0);
    EXPECT_EQ(getIndent("   "), 3);
    EXPECT_EQ(getIndent("\xC2\xA0x"), 0);
    EXPECT_EQ(getIndent("  \xCC\x81x"), 1); // the second space carries a mark
}

TEST(Whitespace, CleanLeadingWhitespace)
{
    struct Case {
        const char* name;
        LineList in, out;
    } cases[] = {
        {"all indented by two", {"  a", "  b", "    c"}, {"a", "b", "  c"}},
        {"half the lines", {"a", "  b"}, {"a", "b"}},
        {"a quarter is too few", {"a", "b", "c", "  d"}, {"a", "b", "c", "  d"}},
        {"fallback to the smallest indent",
         {"a", "b", "c", " d", "  e", "   f", "    g", "     h", "      i", "       j"},
         {"a", "b", "c", "d", " e", "  f", "   g", "    h", "     i", "      j"}},
        {"smallest qualifying value wins",
         {"  a", "  b", "  c", "  d", "    e", "    f", "    g", "    h", "    i", "    j"},
         {"a", "b", "c", "d", "  e", "  f", "  g", "  h", "  i", "  j"}},
        {"less indented line unchanged", {"    a", "    b", "    c", "    d", "  xyz"}, {"a", "b", "c", "d", "  xyz"}},
        {"blank lines keep their spaces", {"  a", "   ", "  b"}, {"a", "   ", "b"}},
        {"nothing indented", {"a", "", "b"}, {"a", "", "b"}},
        {"only blank lines", {" ", ""}, {" ", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cleanLeadingWhitespace(c.in), c.out) << c.name;
}

TEST(Whitespace, StripBlockquoteMarkers)
{
    const LineList in = {"\xE2\x96\x8E quoted", "   \xE2\x96\x8E\tquoted", "\xE2\x96\x8E\xE2\x96\x8E x",
                         "a \xE2\x96\x8E b", "\xE2\x96\x8E"};
    const LineList out = {"quoted", "quoted", "\xE2\x96\x8E x", "a \xE2\x96\x8E b", ""};
    EXPECT_EQ(stripBlockquoteMarkers(in), out);
}

TEST(Whitespace, NormalizeWhitespace)
{
    EXPECT_EQ(normalizeWhitespace({"", "", "a  ", "", "", "b\t", "", ""}), (LineList{"a", "", "b"}));
    EXPECT_EQ(normalizeWhitespace({"   "}), LineList{});
    EXPECT_EQ(normalizeWhitespace({}), LineList{});
    EXPECT_EQ(normalizeWhitespace({"a", " \t ", "\xC2\xA0", "b"}), (LineList{"a", "", "b"}));
}
