#include "TerminalWidth.h"

#include <gtest/gtest.h>

using namespace lumeno;
using lumeno::TerminalWidth::detect;

namespace {
LineList lengths(std::initializer_list<std::pair<int, int>> counts)
{
    LineList lines;
    for (const auto& [count, length] : counts) {
        for (int i = 0; i < count; ++i)
            lines.push_back(std::string(static_cast<std::size_t>(length), 'x'));
    }
    return lines;
}
} // namespace

TEST(TerminalWidth, Detect)
{
    EXPECT_EQ(detect({}), 80);
    EXPECT_EQ(detect({"  ", ""}), 80);
    EXPECT_EQ(detect(lengths({{5, 39}})), 80);
    EXPECT_EQ(detect(lengths({{1, 100}})), 100);
    EXPECT_EQ(detect(lengths({{1, 50}})), 80);
    EXPECT_EQ(detect(lengths({{1, 78}, {1, 80}})), 80);
    EXPECT_EQ(detect(lengths({{9, 10}, {1, 120}})), 120);
    EXPECT_EQ(detect(lengths({{6, 70}, {6, 71}, {6, 72}, {2, 100}})), 100);
    EXPECT_EQ(detect(lengths({{10, 30}, {1, 45}})), 80);
    EXPECT_EQ(detect({"    " + std::string(60, 'a')}), 64); // leading spaces count
}

TEST(TerminalWidth, CountsCharactersNotBytes)
{
    // Forty-five CJK characters and forty-five accented letters are 45 long each.
    std::string cjk, accented;
    for (int i = 0; i < 45; ++i) {
        cjk += "\xE4\xB8\xAD";
        accented += "e\xCC\x81";
    }
    EXPECT_EQ(detect({cjk, accented}), 45);
}
