#include "SettingsFile.h"

#include <gtest/gtest.h>

#include <climits>

using namespace lumeno::platform::linux_desktop;
using lumeno::platform::SettingValue;

TEST(SettingsFile, EveryValueSurvivesARoundTripWithItsType)
{
    const SettingsMap values = {
        {"yes", true},
        {"no", false},
        {"zero", std::int64_t(0)},
        {"lowest", std::int64_t(INT64_MIN)},
        {"highest", std::int64_t(INT64_MAX)},
        {"shortcutKeyCode", std::string("11")}, // text that looks like a number stays text
        {"looksBoolean", std::string("true")},
        {"empty", std::string()},
        {"escapes", std::string("a \"quote\" \\ back\nslash\r\t end # not a comment")},
        {"controls", std::string("\x01\x1F\x7F", 3) + std::string(1, '\0')},
        {"unicode", std::string("caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80")},
        {"dotted.name-with_marks", std::int64_t(-3)},
    };
    const std::string text = serializeSettings(values);
    const ParsedSettings parsed = parseSettings(text);
    ASSERT_TRUE(parsed.valid) << parsed.error << " on line " << parsed.errorLine << " of\n" << text;
    EXPECT_EQ(parsed.values, values);
    EXPECT_NE(text.find("shortcutKeyCode = \"11\"\n"), std::string::npos);
}

TEST(SettingsFile, ReadsWhatPeopleWriteByHand)
{
    const struct {
        const char* text;
        SettingsMap values;
    } cases[] = {
        {"", {}},
        {"# nothing but a comment\n\n   \n", {}},
        {"a=1", {{"a", std::int64_t(1)}}},
        {"  a \t=\t true  \r\n  # later\r\n", {{"a", true}}},
        {"a = 1\na = \"two\"\n", {{"a", std::string("two")}}}, // the later line wins
        {"a = \"\\u00e9\\u20AC\"", {{"a", std::string("\xC3\xA9\xE2\x82\xAC")}}},
        {"a = -007", {{"a", std::int64_t(-7)}}},
        {"a = \"x\"\nb = false", {{"a", std::string("x")}, {"b", false}}}, // no final newline
    };
    for (const auto& c : cases) {
        const ParsedSettings parsed = parseSettings(c.text);
        EXPECT_TRUE(parsed.valid) << c.text << ": " << parsed.error;
        EXPECT_EQ(parsed.values, c.values) << c.text;
    }
}

TEST(SettingsFile, ABadLineMakesTheWholeFileInvalid)
{
    const struct {
        const char* text;
        std::size_t line;
    } cases[] = {
        {"a =", 1},
        {"a = 1\nb = \"cut off", 2}, // a truncated file
        {"a = yes", 1},
        {"a = True", 1},
        {"a = 1 2", 1},
        {"a = 1.5", 1},
        {"a = +1", 1},
        {"a = 99999999999999999999", 1},
        {"= 1", 1},
        {"a 1", 1},
        {"a b = 1", 1},
        {"# fine\n\na = \"x\" y", 3},
        {"a = \"x\" # comment", 1},
        {"a = \"\\q\"", 1},
        {"a = \"\\u12\"", 1},
        {"a = \"\\uD800\"", 1},
        {"a = \"ends in a backslash\\\"", 1},
        {"a = \"\xFF\"", 1},
        {"k\xC3\xA9y = 1", 1},
    };
    for (const auto& c : cases) {
        const ParsedSettings parsed = parseSettings(c.text);
        EXPECT_FALSE(parsed.valid) << c.text;
        EXPECT_EQ(parsed.errorLine, c.line) << c.text;
        EXPECT_FALSE(parsed.error.empty()) << c.text;
        EXPECT_TRUE(parsed.values.empty()) << c.text;
    }
}
