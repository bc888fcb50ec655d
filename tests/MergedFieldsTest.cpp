#include "TextTransformer.h"

#include <gtest/gtest.h>

using namespace lumeno;
using lumeno::TextTransformer::splitMergedFields;

TEST(MergedFields, Splits)
{
    struct Case {
        const char* name;
        LineList in, out;
    } cases[] = {
        {"two fields", {"Name: build Status: ok", "Status: done"}, {"Name: build", "Status: ok", "Status: done"}},
        {"once per line", {"Name: a Status: b Owner: c", "Status: x", "Owner: y"},
         {"Name: a", "Status: b Owner: c", "Status: x", "Owner: y"}},
        {"label learnt from another line", {"Status: ok", "See Status: above"}, {"Status: ok", "See", "Status: above"}},
        {"not learnt", {"See Status: above"}, {"See Status: above"}},
        {"no labels",
         {"Time:12 x", "note: x", "Configuration parameters: x", "Re-run: x"},
         {"Time:12 x", "note: x", "Configuration parameters: x", "Re-run: x"}},
        {"label at the start does not split", {"Status: a", "  Status: b"}, {"Status: a", "  Status: b"}},
        {"empty", {}, {}},
        {"leftmost of two labels", {"A: x", "Bb: y", "q  Bb: 1 A: 2"}, {"A: x", "Bb: y", "q", "Bb: 1 A: 2"}},
        {"needs white space after the label", {"Name: a", "x Name:b Name: c"}, {"Name: a", "x Name:b", "Name: c"}},
        {"label with spaces", {"Build id: 7", "ok Build id: 8"}, {"Build id: 7", "ok", "Build id: 8"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitMergedFields(c.in), c.out) << c.name;
}
