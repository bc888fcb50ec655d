#include "BoxTables.h"

#include <gtest/gtest.h>

using namespace lumeno;
using lumeno::BoxTables::convertBoxTables;

TEST(BoxTables, Converts)
{
    struct Case {
        const char* name;
        LineList in, out;
    } cases[] = {
        {"framed table",
         {"┌──────┬─────┐", "│ Name │ Age │", "├──────┼─────┤", "│ Ann  │ 31  │", "└──────┴─────┘"},
         {"| Name | Age |", "| --- | --- |", "| Ann | 31 |"}},
        {"empty list", {}, {}},
        {"no table", {"a", "b | c"}, {"a", "b | c"}},
        {"single framed row stays", {"┌───┐", "│ x │", "└───┘"}, {"┌───┐", "│ x │", "└───┘"}},
        {"lone rule stays", {"text", "──────", "more"}, {"text", "──────", "more"}},
        {"rows without rules", {"a │ b", "c │ d"}, {"| a | b |", "| --- | --- |", "| c | d |"}},
        {"continuation row shifts left",
         {"│ a    │ b         │", "│      │ more text │"},
         {"| a | b |", "| --- | --- |", "| more text |  |"}},
        {"inner empty cell, padding and cutting",
         {"│ h1 │ h2 │ h3 │", "│ a │   │ c │", "│ x │", "│ 1 │ 2 │ 3 │ 4 │"},
         {"| h1 | h2 | h3 |", "| --- | --- | --- |", "| a |  | c |", "| x |  |  |", "| 1 | 2 | 3 |"}},
        {"blank line splits the run",
         {"│ a │", "", "│ b │", "│ c │"},
         {"│ a │", "", "| b |", "| --- |", "| c |"}},
        {"rounded corners are not table lines",
         {"╭───╮", "│ a │", "│ b │", "╰───╯"},
         {"╭───╮", "| a |", "| --- |", "| b |", "╰───╯"}},
        {"ASCII tables stay", {"+---+", "| a |", "| b |", "+---+"}, {"+---+", "| a |", "| b |", "+---+"}},
        {"double and light verticals", {"║ a │ b ║", "║ c │ d ║"}, {"| a | b |", "| --- | --- |", "| c | d |"}},
        {"a vertical with a mark is no separator", {"a │\xCC\x81 b", "c │\xCC\x81 d"}, {"a │\xCC\x81 b", "c │\xCC\x81 d"}},
        {"indentation is lost, pipes are copied", {"  │ a|b │ c │", "  │ d │ e │"},
         {"| a|b | c |", "| --- | --- |", "| d | e |"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(convertBoxTables(c.in), c.out) << c.name;
}
