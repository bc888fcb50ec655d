// Unicode helpers shared by every text stage: UTF-8 decoding, the character
// properties the patterns rely on, extended grapheme clusters (UAX #29, on
// ICU's property data) and the trimming sets.
//
// Every string handled here is valid UTF-8; input from outside passes through
// toValidUtf8() first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumeno::unicode {

// --- UTF-8 -------------------------------------------------------------------

// Replaces every ill-formed sequence by U+FFFD, one per maximal subpart, as
// browsers and ICU do. Valid input comes back unchanged.
std::string toValidUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

void appendUtf8(std::string& out, char32_t cp);

// Decodes the code point starting at byte i of valid UTF-8; *length receives its
// byte count.
inline char32_t decodeAt(std::string_view s, std::size_t i, std::size_t* length)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        *length = 1;
        return b0;
    }
    if (b0 < 0xE0) {
        *length = 2;
        return (char32_t(b0 & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
    }
    if (b0 < 0xF0) {
        *length = 3;
        return (char32_t(b0 & 0x0F) << 12) | (char32_t(static_cast<unsigned char>(s[i + 1]) & 0x3F) << 6)
               | (static_cast<unsigned char>(s[i + 2]) & 0x3F);
    }
    *length = 4;
    return (char32_t(b0 & 0x07) << 18) | (char32_t(static_cast<unsigned char>(s[i + 1]) & 0x3F) << 12)
           | (char32_t(static_cast<unsigned char>(s[i + 2]) & 0x3F) << 6)
           | (static_cast<unsigned char>(s[i + 3]) & 0x3F);
}

// Start of the code point that ends at byte `end` (exclusive).
inline std::size_t previousCodePointStart(std::string_view s, std::size_t end)
{
    std::size_t i = end - 1;
    while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        --i;
    return i;
}

// --- Character properties ------------------------------------------------------

namespace detail {
bool isWhiteSpaceSlow(char32_t cp);
}
// Unicode White_Space: the "\s" of the character-based patterns. The same set
// as "white space and line breaks": tab, U+000A..U+000D, U+0085, category Zs,
// U+2028, U+2029.
inline bool isWhiteSpace(char32_t cp)
{
    if (cp < 0x80)
        return cp == ' ' || (cp >= 0x09 && cp <= 0x0D);
    return detail::isWhiteSpaceSlow(cp);
}
// ICU's "\s": tab, LF, FF, CR and general category Z (Zs, U+2028, U+2029).
bool isIcuSpace(char32_t cp);
// Horizontal white space: tab and general category Zs.
bool isHorizontalSpace(char32_t cp);
// What "." does not match: LF, VT, FF, CR, U+0085, U+2028, U+2029.
bool isLineBreak(char32_t cp);
// General category Nd.
bool isDecimalDigit(char32_t cp);
// Letters, marks, decimal digits, connector punctuation and join controls.
bool isWordCharacter(char32_t cp);
// The Unicode Lowercase property.
bool isLowercase(char32_t cp);

// --- Grapheme clusters ---------------------------------------------------------

// One user-perceived character of a string.
struct Cluster {
    std::size_t end;   // byte just after the cluster
    char32_t first;    // its first code point
    bool single;       // it is exactly one code point

    bool is(char32_t cp) const { return single && first == cp; }
};

namespace detail {
Cluster clusterAtSlow(std::string_view s, std::size_t start);
}

// The cluster that starts at byte `start`, which must be a cluster boundary
// (the start of the string or the end of an earlier cluster).
inline Cluster clusterAt(std::string_view s, std::size_t start)
{
    // Below U+0300 nothing extends a cluster and, but for CR LF, nothing joins
    // two characters; a lead byte below 0xCC starts such a character.
    const auto b0 = static_cast<unsigned char>(s[start]);
    if (b0 < 0x80) {
        if (start + 1 == s.size())
            return {start + 1, b0, true};
        const auto b1 = static_cast<unsigned char>(s[start + 1]);
        if (b1 < 0xCC && !(b0 == '\r' && b1 == '\n'))
            return {start + 1, b0, true};
    }
    return detail::clusterAtSlow(s, start);
}
inline std::size_t clusterEnd(std::string_view s, std::size_t start) { return clusterAt(s, start).end; }
// Start of the last cluster of s (0 for the empty string).
std::size_t lastClusterStart(std::string_view s);
// Whether byte i of s lies between two clusters (the ends always do).
bool isBoundary(std::string_view s, std::size_t i);
// Number of user-perceived characters of s.
std::size_t clusterCount(std::string_view s);

// --- Trimming ------------------------------------------------------------------

// Removes characters of the horizontal white space set from both ends.
std::string_view trim(std::string_view s);
// Removes white space and line breaks from both ends.
std::string_view trimSpaceAndLineBreaks(std::string_view s);
// Empty after trim().
bool isBlank(std::string_view s);
// The ICU replacement of "\s+$" by "": drops the trailing run of ICU white
// space. As ICU's "$" also matches before a final line terminator, a run
// standing before a final U+000B or U+0085 goes too, and the terminator stays.
std::string stripTrailingWhitespace(std::string_view s);
// Byte length of the part of s that stripTrailingWhitespace keeps, when that
// part is a prefix of s (it is unless s ends in U+000B or U+0085).
bool trailingWhitespaceIsSuffix(std::string_view s, std::size_t* keep);

// True when every byte is below 0x80.
bool isAscii(std::string_view s);

} // namespace lumeno::unicode
