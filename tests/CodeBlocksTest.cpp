#include "CodeBlocks.h"

#include <gtest/gtest.h>

using namespace lumeno;
using namespace lumeno::CodeBlocks;

namespace {
const std::string P0 = placeholderLine(0);
const std::string P1 = placeholderLine(1);
const std::string F = "```";

LineList roundTrip(const LineList& in, std::int64_t width = 80)
{
    auto [lines, blocks] = extractCodeBlocks(in, width);
    return restoreCodeBlocks(lines, blocks);
}
} // namespace

TEST(CodeBlocks, PlaceholderFormat)
{
    EXPECT_EQ(P0, std::string("\0CODEBLOCK_0\0", 13));
    EXPECT_EQ(placeholderLine(12), std::string("\0CODEBLOCK_12\0", 14));
    EXPECT_TRUE(isPlaceholderLine(P1));
    EXPECT_FALSE(isPlaceholderLine("CODEBLOCK_1"));
}

TEST(CodeBlocks, LinePatterns)
{
    EXPECT_TRUE(isToolHeader("Bash(ls -la)"));
    EXPECT_TRUE(isToolHeader("  NotebookEdit(a (b) c)  "));
    EXPECT_TRUE(isToolHeader("Read()"));
    EXPECT_FALSE(isToolHeader("Bash(ls) now"));
    EXPECT_FALSE(isToolHeader("bash(ls)"));
    EXPECT_FALSE(isToolHeader("Run(ls)"));
    EXPECT_TRUE(isToolSummary("  \xE2\x8E\xBF  Read 40 lines"));
    EXPECT_TRUE(isToolSummary("\xE2\x94\x94 done"));
    EXPECT_FALSE(isToolSummary("x \xE2\x8E\xBF"));
    EXPECT_TRUE(isBlockBoundary("... +12 lines"));
    EXPECT_TRUE(isBlockBoundary("  ... (3 more) 1 line"));
    EXPECT_FALSE(isBlockBoundary("\xE2\x80\xA6 +12 lines"));
    EXPECT_FALSE(isBlockBoundary("... twelve lines"));
    EXPECT_TRUE(isBlockBoundary(" ``` "));
    EXPECT_FALSE(isBlockBoundary("```swift"));
}

TEST(CodeBlocks, ExtractsNumberedRunsUnderToolHeaders)
{
    const LineList in = {"Read(src/main.c)", "\xE2\x8E\xBF  Read 3 lines", "     1  int main(void) {",
                         "     2    return 0;", "     3  }", "", "Done."};
    auto [lines, blocks] = extractCodeBlocks(in, 40);
    EXPECT_EQ(lines, (LineList{"Read(src/main.c)", "\xE2\x8E\xBF  Read 3 lines", P0, "Done."}));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks.at(P0), (LineList{"     1  int main(void) {", "     2    return 0;", "     3  }"}));
    EXPECT_EQ(restoreCodeBlocks(lines, blocks),
              (LineList{"Read(src/main.c)", "\xE2\x8E\xBF  Read 3 lines", "", F, "     1  int main(void) {",
                        "     2    return 0;", "     3  }", F, "Done."}));
}

TEST(CodeBlocks, WhatIsCode)
{
    struct Case {
        const char* name;
        LineList in, out;
    } cases[] = {
        {"a number alone", {"42"}, {F, "42", F}},
        {"one space then text is prose", {"12 apples"}, {"12 apples"}},
        {"two spaces then text", {"12  apples"}, {F, "12  apples", F}},
        {"number, sign, text", {"2024 - the year"}, {F, "2024 - the year", F}},
        {"indented line alone is no block", {"    return x"}, {"    return x"}},
        {"indented line continues a block", {"1  if x:", "    return x", "after"}, {F, "1  if x:", "    return x", F, "after"}},
        {"tab-indented line ends it", {"1  if x:", "\t\treturn x"}, {F, "1  if x:", F, "\t\treturn x"}},
        {"blank lines inside stay, after go", {"1  a", "", "2  b", "", "", "text"}, {F, "1  a", "", "2  b", F, "text"}},
        {"header on the last line", {"x", "Bash(ls)"}, {"x", "", "Bash(ls)"}},
        {"header followed by prose", {"Bash(ls)", "\xE2\x8E\xBF  ok", "fine"}, {"Bash(ls)", "\xE2\x8E\xBF  ok", "fine"}},
        {"tree line ends a block", {"1  a", "\xE2\x8E\xBF  b"}, {F, "1  a", F, "\xE2\x8E\xBF  b"}},
        {"existing fences are ordinary lines", {F, "1  a", F}, {F, "", F, "1  a", F, F}},
        {"two blocks", {"1  a", "text", "2  b"}, {F, "1  a", F, "text", "", F, "2  b", F}},
        {"no second blank before a header", {"x", "", "Bash(ls)"}, {"x", "", "Bash(ls)"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(roundTrip(c.in), c.out) << c.name;
}

TEST(CodeBlocks, JoinsTheWrappedRestOfLongLines)
{
    const std::string l36 = "1  " + std::string(33, 'x');
    const std::string l35 = "1  " + std::string(32, 'x');
    EXPECT_EQ(roundTrip({l36 + "  ", "continued here", "and more"}, 40),
              (LineList{F, l36 + " continued here and more", F}));
    EXPECT_EQ(roundTrip({l35, "continued here"}, 40), (LineList{F, l35, F, "continued here"}));
    EXPECT_EQ(roundTrip({l36, "- item"}, 40), (LineList{F, l36, F, "- item"}));
    EXPECT_EQ(roundTrip({l36, "", "continued"}, 40), (LineList{F, l36, F, "continued"}));
}

TEST(CodeBlocks, EnsureBlockSeparators)
{
    struct Case {
        const char* name;
        LineList in, out;
    } cases[] = {
        {"example",
         {"Bash(make)", "\xE2\x8E\xBF  Build complete", "All targets built.", F, "  1  int x;", F, "Next step"},
         {"Bash(make)", "\xE2\x8E\xBF  Build complete", "", "All targets built.", F, "  1  int x;", F, "", "Next step"}},
        {"one line", {"Bash(x)"}, {"Bash(x)"}},
        {"fence first", {F, "text", F, "after"}, {F, "text", F, "", "after"}},
        {"unmatched fence", {"a", F, "Bash(x)", "b"}, {"a", F, "Bash(x)", "b"}},
        {"language fence inverts", {"```sh", "Bash(x)", "y", F, "Bash(x)", "y"}, {"```sh", "Bash(x)", "", "y", F, "Bash(x)", "y"}},
        {"tree line then indented text", {"\xE2\x8E\xBF  first", "   second"}, {"\xE2\x8E\xBF  first", "", "   second"}},
        {"blank line already there", {"Bash(x)", "", "text"}, {"Bash(x)", "", "text"}},
        {"collapsed marker", {"... +3 lines", "text"}, {"... +3 lines", "", "text"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ensureBlockSeparators(c.in), c.out) << c.name;
}
