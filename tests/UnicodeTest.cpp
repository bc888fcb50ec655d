#include "Unicode.h"

#include <gtest/gtest.h>
#include <unicode/ubrk.h>
#include <unicode/utext.h>

#include <random>
#include <vector>

using namespace lumeno::unicode;

namespace {

std::string utf8(std::u32string_view cps)
{
    std::string out;
    for (char32_t cp : cps)
        appendUtf8(out, cp);
    return out;
}

// Cluster boundaries as ICU's own break iterator finds them.
std::vector<std::size_t> icuBoundaries(const std::string& s)
{
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    UBreakIterator* it = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    ubrk_setUText(it, text, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    std::vector<std::size_t> out;
    for (int32_t b = ubrk_first(it); b != UBRK_DONE; b = ubrk_next(it))
        out.push_back(static_cast<std::size_t>(b));
    ubrk_close(it);
    utext_close(text);
    return out;
}

std::vector<std::size_t> ourBoundaries(const std::string& s)
{
    std::vector<std::size_t> out{0};
    for (std::size_t i = 0; i < s.size(); i = clusterEnd(s, i))
        out.push_back(clusterEnd(s, i));
    return out;
}

} // namespace

TEST(Unicode, ClustersAgreeWithIcuBreakIterator)
{
    // Characters from every class the rules treat apart.
    const std::u32string alphabet = {
        U'a', U' ', U'\r', U'\n', U'\t', 0x1B, 0x0301, 0x200D, 0x0903, 0x0600, 0x1F1E6, 0x1F1E7, 0x1F600,
        0x2764, 0xFE0F, 0x1100, 0x1161, 0x11A8, 0xAC00, 0xAC01, 0x00A0, 0x0085, 0x2028, 0x4E2D, 0x25CF, 0x1F3FB};
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::u32string cps;
        const int length = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < length; ++k)
            cps += alphabet[rng() % alphabet.size()];
        const std::string s = utf8(cps);
        const auto expected = icuBoundaries(s);
        ASSERT_EQ(ourBoundaries(s), expected) << "round " << round;
        ASSERT_EQ(clusterCount(s), expected.size() - 1);
        ASSERT_EQ(lastClusterStart(s), expected[expected.size() - 2]);
        for (std::size_t i = 0; i <= s.size(); ++i) {
            const bool boundary = std::find(expected.begin(), expected.end(), i) != expected.end();
            ASSERT_EQ(isBoundary(s, i), boundary) << "round " << round << " byte " << i;
        }
    }
}

TEST(Unicode, CountsUserPerceivedCharacters)
{
    EXPECT_EQ(clusterCount(""), 0u);
    EXPECT_EQ(clusterCount("abc"), 3u);
    EXPECT_EQ(clusterCount("a\r\nb"), 3u);
    EXPECT_EQ(clusterCount("e\xCC\x81"), 1u);              // e + combining acute
    EXPECT_EQ(clusterCount("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"), 1u); // a flag
    EXPECT_EQ(clusterCount("\xE4\xB8\xAD\xE6\x96\x87"), 2u); // two CJK characters
}

TEST(Unicode, ReplacesIllFormedUtf8PerMaximalSubpart)
{
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case { std::string in, out; } cases[] = {
        {"plain", "plain"},
        {"a\x80" "b", "a" + fffd + "b"},
        {"\xC3", fffd},                                   // truncated
        {"\xE2\x82", fffd},                               // truncated, one subpart
        {"\xED\xA0\x80", fffd + fffd + fffd},             // an encoded surrogate
        {"\xC0\xAF", fffd + fffd},                        // overlong
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
        {std::string("a\0b", 3), std::string("a\0b", 3)}, // NUL is valid
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toValidUtf8(c.in), c.out);
        EXPECT_TRUE(isValidUtf8(toValidUtf8(c.in)));
    }
}

TEST(Unicode, TrimsWholeCharactersOfTheHorizontalSet)
{
    EXPECT_EQ(trim(" \t a b \xC2\xA0"), "a b");
    EXPECT_EQ(trim("\xE3\x80\x80x\xE3\x80\x80"), "x"); // ideographic space
    EXPECT_EQ(trim("\n x \n"), "\n x \n");              // line breaks are not in the set
    EXPECT_EQ(trim(" \xCC\x81x"), " \xCC\x81x");        // a space carrying a mark is no space
    EXPECT_EQ(trimSpaceAndLineBreaks("\n x \r\n"), "x");
    EXPECT_TRUE(isBlank(" \t\xC2\xA0"));
    EXPECT_FALSE(isBlank(" \xE2\x80\x8B")); // zero-width space is not Zs
}

TEST(Unicode, StripsTrailingWhitespaceAsIcuDoes)
{
    struct Case { std::string in, out; } cases[] = {
        {"a  \t", "a"},
        {"a\xE2\x80\xA8", "a"},          // U+2028 is a separator
        {"a\xC2\xA0", "a"},              // no-break space
        {"a \xC2\x85", "a\xC2\x85"},     // "$" matches before a final NEL, which stays
        {"a \x0B", "a\x0B"},
        {"a\xC2\x85", "a\xC2\x85"},
        {"   ", ""},
        {"a \xCC\x81", "a \xCC\x81"},    // the mark is not white space
    };
    for (const auto& c : cases)
        EXPECT_EQ(stripTrailingWhitespace(c.in), c.out) << c.in;
}

TEST(Unicode, CharacterProperties)
{
    EXPECT_TRUE(isLowercase(U'a'));
    EXPECT_TRUE(isLowercase(0x00DF)); // ß
    EXPECT_FALSE(isLowercase(U'A'));
    EXPECT_FALSE(isLowercase(U'1'));
    EXPECT_TRUE(isDecimalDigit(0x0663)); // Arabic-Indic three
    EXPECT_FALSE(isIcuSpace(0x0085));
    EXPECT_TRUE(isWhiteSpace(0x0085));
    EXPECT_TRUE(isWordCharacter(0x00E9));
    EXPECT_FALSE(isWordCharacter(U'-'));
}
