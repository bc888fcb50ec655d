#include "Unicode.h"

#include <unicode/uchar.h>

#include <atomic>
#include <cstring>
#include <memory>

namespace lumeno::unicode {

namespace {

// --- UTF-8 validation ------------------------------------------------------------

// Length of the well-formed sequence at i, or 0 with *bad set to the length of
// its maximal ill-formed subpart (at least 1).
std::size_t wellFormedLength(std::string_view s, std::size_t i, std::size_t* bad)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = at(i);
    if (b0 < 0x80)
        return 1;
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        *bad = 1;
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) {
            *bad = k;
            return 0;
        }
        const unsigned char b = at(i + k);
        const bool ok = k == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
        if (!ok) {
            *bad = k;
            return 0;
        }
    }
    return need + 1;
}

std::size_t asciiPrefix(std::string_view s, std::size_t i)
{
    const std::size_t n = s.size();
    while (i + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ULL)
            break;
        i += 8;
    }
    while (i < n && static_cast<unsigned char>(s[i]) < 0x80)
        ++i;
    return i;
}

// --- Character property table ----------------------------------------------------

enum Gcb : std::uint8_t {
    Other, Control, CR, LF, Extend, ZWJ, SpacingMark, Prepend, RegionalIndicator, L, V, T, LV, LVT
};

enum : std::uint16_t {
    GcbMask = 0x0F,
    ExtPictBit = 1 << 4,
    ZsBit = 1 << 5,
    NdBit = 1 << 6,
    WordBit = 1 << 7,
    LowercaseBit = 1 << 8,
};

Gcb gcbFromIcu(int32_t value)
{
    switch (value) {
    case U_GCB_CONTROL: return Control;
    case U_GCB_CR: return CR;
    case U_GCB_LF: return LF;
    case U_GCB_EXTEND:
    case U_GCB_E_MODIFIER: return Extend;
    case U_GCB_ZWJ: return ZWJ;
    case U_GCB_SPACING_MARK: return SpacingMark;
    case U_GCB_PREPEND: return Prepend;
    case U_GCB_REGIONAL_INDICATOR: return RegionalIndicator;
    case U_GCB_L: return L;
    case U_GCB_V: return V;
    case U_GCB_T: return T;
    case U_GCB_LV: return LV;
    case U_GCB_LVT: return LVT;
    default: return Other;
    }
}

std::uint16_t computeProperties(char32_t cp)
{
    const UChar32 c = static_cast<UChar32>(cp);
    std::uint16_t bits = gcbFromIcu(u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK));
    if (u_hasBinaryProperty(c, UCHAR_EXTENDED_PICTOGRAPHIC))
        bits |= ExtPictBit;
    const int8_t type = u_charType(c);
    if (type == U_SPACE_SEPARATOR)
        bits |= ZsBit;
    if (type == U_DECIMAL_DIGIT_NUMBER)
        bits |= NdBit;
    const uint32_t mask = U_MASK(type);
    if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || (mask & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK))
        || u_hasBinaryProperty(c, UCHAR_JOIN_CONTROL))
        bits |= WordBit;
    if (u_hasBinaryProperty(c, UCHAR_LOWERCASE))
        bits |= LowercaseBit;
    return bits;
}

// Properties are looked up per 256-code-point block, each block filled from
// ICU the first time a character of it is seen.
constexpr std::size_t blockCount = 0x110000 >> 8;
std::atomic<const std::uint16_t*> blocks[blockCount];
// Whether no character of a block joins its neighbours in a cluster: every
// one is Other, Control, CR or LF. Set before the block is published.
std::atomic<bool> plainBlocks[blockCount];

const std::uint16_t* fillBlock(std::size_t index)
{
    auto block = std::make_unique<std::uint16_t[]>(256);
    bool plain = true;
    for (char32_t k = 0; k < 256; ++k) {
        block[k] = computeProperties(char32_t(index << 8) | k);
        const Gcb g = Gcb(block[k] & GcbMask);
        plain = plain && (g == Other || g == Control || g == CR || g == LF);
    }
    plainBlocks[index].store(plain, std::memory_order_relaxed);
    const std::uint16_t* expected = nullptr;
    if (blocks[index].compare_exchange_strong(expected, block.get(), std::memory_order_acq_rel))
        return block.release();
    return expected; // another thread filled it first
}

inline std::uint16_t properties(char32_t cp)
{
    if (cp >= 0x110000)
        return Other;
    const std::size_t index = cp >> 8;
    const std::uint16_t* block = blocks[index].load(std::memory_order_acquire);
    if (!block)
        block = fillBlock(index);
    return block[cp & 0xFF];
}

inline bool isPlainBlock(char32_t cp)
{
    if (cp >= 0x110000)
        return false;
    const std::size_t index = cp >> 8;
    if (!blocks[index].load(std::memory_order_acquire))
        fillBlock(index);
    return plainBlocks[index].load(std::memory_order_relaxed);
}

inline bool isZs(char32_t cp)
{
    if (cp < 0x80)
        return cp == 0x20;
    return properties(cp) & ZsBit;
}

// --- Grapheme cluster boundaries (UAX #29 extended clusters) ---------------------

struct BreakState {
    Gcb previous;
    bool pictRun;         // the text so far ends in ExtPict Extend*
    bool pictZwj;         // ... or in ExtPict Extend* ZWJ
    unsigned riCount;     // regional indicators directly before
};

inline bool isExtending(Gcb g) { return g == Extend || g == ZWJ || g == SpacingMark; }

bool breaksBefore(const BreakState& st, Gcb b, bool bPict)
{
    const Gcb a = st.previous;
    if (a == CR && b == LF)
        return false;                                                    // GB3
    if (a == Control || a == CR || a == LF)
        return true;                                                     // GB4
    if (b == Control || b == CR || b == LF)
        return true;                                                     // GB5
    if (a == L && (b == L || b == V || b == LV || b == LVT))
        return false;                                                    // GB6
    if ((a == LV || a == V) && (b == V || b == T))
        return false;                                                    // GB7
    if ((a == LVT || a == T) && b == T)
        return false;                                                    // GB8
    if (isExtending(b))
        return false;                                                    // GB9, GB9a
    if (a == Prepend)
        return false;                                                    // GB9b
    if (a == ZWJ && bPict && st.pictZwj)
        return false;                                                    // GB11
    if (a == RegionalIndicator && b == RegionalIndicator)
        return st.riCount % 2 == 0;                                      // GB12, GB13
    return true;                                                         // GB999
}

inline void advance(BreakState& st, Gcb b, bool bPict)
{
    st.pictZwj = b == ZWJ && st.pictRun;
    st.pictRun = bPict || (b == Extend && st.pictRun);
    st.riCount = b == RegionalIndicator ? st.riCount + 1 : 0;
    st.previous = b;
}

inline BreakState startState(std::uint16_t props)
{
    BreakState st{Other, false, false, 0};
    advance(st, Gcb(props & GcbMask), props & ExtPictBit);
    return st;
}

} // namespace

// --- UTF-8 -------------------------------------------------------------------------

bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    while (true) {
        i = asciiPrefix(s, i);
        if (i >= n)
            return true;
        // Two- and three-byte forms outside the special ranges, inline.
        if (b[i] >= 0xC2 && b[i] <= 0xDF && i + 1 < n && (b[i + 1] & 0xC0) == 0x80) {
            i += 2;
            continue;
        }
        if (b[i] >= 0xE1 && b[i] <= 0xEC && i + 2 < n && (b[i + 1] & 0xC0) == 0x80 && (b[i + 2] & 0xC0) == 0x80) {
            i += 3;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t len = wellFormedLength(s, i, &bad);
        if (!len)
            return false;
        i += len;
    }
}

std::string toValidUtf8(std::string_view s)
{
    if (isValidUtf8(s))
        return std::string(s);
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t ascii = asciiPrefix(s, i);
        out.append(s.data() + i, ascii - i);
        i = ascii;
        if (i >= s.size())
            break;
        std::size_t bad = 0;
        const std::size_t len = wellFormedLength(s, i, &bad);
        if (len) {
            out.append(s.data() + i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            i += bad;
        }
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool isAscii(std::string_view s) { return asciiPrefix(s, 0) == s.size(); }

// --- Properties --------------------------------------------------------------------

bool isHorizontalSpace(char32_t cp) { return cp == 0x09 || isZs(cp); }

bool detail::isWhiteSpaceSlow(char32_t cp)
{
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x85 || cp == 0x2028 || cp == 0x2029 || isZs(cp);
}

bool isIcuSpace(char32_t cp)
{
    return cp == 0x09 || cp == 0x0A || cp == 0x0C || cp == 0x0D || cp == 0x2028 || cp == 0x2029 || isZs(cp);
}

bool isLineBreak(char32_t cp) { return (cp >= 0x0A && cp <= 0x0D) || cp == 0x85 || cp == 0x2028 || cp == 0x2029; }

bool isDecimalDigit(char32_t cp)
{
    if (cp < 0x80)
        return cp >= '0' && cp <= '9';
    return properties(cp) & NdBit;
}

bool isWordCharacter(char32_t cp)
{
    if (cp < 0x80)
        return (cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || cp == '_';
    return properties(cp) & WordBit;
}

bool isLowercase(char32_t cp)
{
    if (cp < 0x80)
        return cp >= 'a' && cp <= 'z';
    return properties(cp) & LowercaseBit;
}

// --- Clusters ----------------------------------------------------------------------

Cluster detail::clusterAtSlow(std::string_view s, std::size_t start)
{
    const std::size_t n = s.size();
    std::size_t len;
    const char32_t first = decodeAt(s, start, &len);
    std::size_t i = start + len;
    if (i == n)
        return {i, first, true};
    // Common cases: two characters from blocks where nothing joins (box
    // drawing, CJK, most symbols), or a character that never joins what
    // follows before one that does not extend it.
    std::size_t nextLength;
    const char32_t next = decodeAt(s, i, &nextLength);
    if (first != '\r' && isPlainBlock(first) && isPlainBlock(next))
        return {i, first, true};
    const std::uint16_t firstProps = properties(first);
    const Gcb firstGcb = Gcb(firstProps & GcbMask);
    const bool plainFirst = firstGcb == Other || firstGcb == Extend || firstGcb == SpacingMark || firstGcb == Control
                            || firstGcb == LF;
    if (plainFirst && !isExtending(Gcb(properties(next) & GcbMask)))
        return {i, first, true};
    BreakState st = startState(firstProps);
    bool single = true;
    while (i < n) {
        std::size_t l;
        const char32_t cp = decodeAt(s, i, &l);
        const std::uint16_t props = properties(cp);
        const Gcb g = Gcb(props & GcbMask);
        const bool pict = props & ExtPictBit;
        if (breaksBefore(st, g, pict))
            break;
        advance(st, g, pict);
        single = false;
        i += l;
    }
    return {i, first, single};
}

std::size_t lastClusterStart(std::string_view s)
{
    const std::size_t n = s.size();
    if (n == 0)
        return 0;
    if (static_cast<unsigned char>(s[n - 1]) < 0x80
        && (n == 1 || (static_cast<unsigned char>(s[n - 2]) < 0x80 && !(s[n - 2] == '\r' && s[n - 1] == '\n'))))
        return n - 1;
    std::size_t b = previousCodePointStart(s, n);
    if (b > 0) {
        std::size_t len;
        const std::size_t a = previousCodePointStart(s, b);
        const char32_t before = decodeAt(s, a, &len);
        if (before != '\r' && isPlainBlock(before) && isPlainBlock(decodeAt(s, b, &len)))
            return b;
    }
    // Walk back to a position where a boundary is certain whatever came before,
    // then segment forward from there.
    while (b > 0) {
        std::size_t len;
        const Gcb gb = Gcb(properties(decodeAt(s, b, &len)) & GcbMask);
        const std::size_t a = previousCodePointStart(s, b);
        const Gcb ga = Gcb(properties(decodeAt(s, a, &len)) & GcbMask);
        const bool crlf = ga == CR && gb == LF;
        if (!crlf && (ga == Control || ga == CR || ga == LF || gb == Control || gb == CR || gb == LF))
            break;
        if (!isExtending(gb) && (ga == Other || ga == Extend || ga == SpacingMark))
            break;
        b = a;
    }
    std::size_t last = b;
    for (std::size_t i = b; i < n; i = clusterEnd(s, i))
        last = i;
    return last;
}

bool isBoundary(std::string_view s, std::size_t i)
{
    if (i == 0 || i >= s.size())
        return true;
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
        return false;
    if (static_cast<unsigned char>(s[i - 1]) < 0x80 && static_cast<unsigned char>(s[i]) < 0xCC)
        return !(s[i - 1] == '\r' && s[i] == '\n');
    // Boundaries before i do not depend on what follows i.
    return clusterEnd(s, lastClusterStart(s.substr(0, i))) == i;
}

std::size_t clusterCount(std::string_view s)
{
    const std::size_t n = s.size();
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < n) {
        const std::size_t ascii = asciiPrefix(s, i);
        if (ascii > i) {
            // Every ASCII character is a cluster of its own, except CR LF and
            // the last one, which a following mark may extend.
            std::size_t stop = ascii;
            if (ascii < n)
                --stop;
            count += stop - i;
            // CR LF is one character.
            for (std::size_t k = i; k < stop; ++k) {
                if (s[k] == '\r' && k + 1 < n && s[k + 1] == '\n')
                    --count;
            }
            i = stop;
            if (i >= n)
                break;
        }
        i = clusterEnd(s, i);
        ++count;
    }
    return count;
}

// --- Trimming ----------------------------------------------------------------------

namespace {

// A character is trimmed when every code point of it is in the set: a space
// carrying a combining mark stays, CR LF goes.
template <typename InSet>
bool allInSet(std::string_view s, std::size_t begin, std::size_t end, InSet inSet)
{
    for (std::size_t i = begin; i < end;) {
        std::size_t len;
        if (!inSet(decodeAt(s, i, &len)))
            return false;
        i += len;
    }
    return true;
}

template <typename InSet>
std::string_view trimClusters(std::string_view s, InSet inSet)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    // Spaces and tabs between ASCII characters are characters of their own.
    while (begin + 1 < end && (s[begin] == ' ' || s[begin] == '\t') && static_cast<unsigned char>(s[begin + 1]) < 0xCC)
        ++begin;
    while (end > begin + 1 && (s[end - 1] == ' ' || s[end - 1] == '\t') && static_cast<unsigned char>(s[end - 2]) < 0x80)
        --end;
    while (begin < s.size()) {
        const Cluster c = clusterAt(s, begin);
        if (!inSet(c.first) || (!c.single && !allInSet(s, begin, c.end, inSet)))
            break;
        begin = c.end;
    }
    while (end > begin) {
        const std::size_t last = begin + lastClusterStart(s.substr(begin, end - begin));
        if (!allInSet(s, last, end, inSet))
            break;
        end = last;
    }
    return s.substr(begin, end - begin);
}

} // namespace

std::string_view trim(std::string_view s)
{
    if (s.empty())
        return s;
    // Nothing goes when neither the first nor the last code point is in the set.
    std::size_t len;
    if (!isHorizontalSpace(decodeAt(s, 0, &len)) && !isHorizontalSpace(decodeAt(s, previousCodePointStart(s, s.size()), &len)))
        return s;
    return trimClusters(s, isHorizontalSpace);
}

std::string_view trimSpaceAndLineBreaks(std::string_view s) { return trimClusters(s, isWhiteSpace); }

bool isBlank(std::string_view s)
{
    for (unsigned char c : s) {
        if (c != ' ' && c != '\t')
            return c < 0x80 ? false : trim(s).empty();
    }
    return true;
}

bool trailingWhitespaceIsSuffix(std::string_view s, std::size_t* keep)
{
    std::size_t end = s.size();
    if (end > 0) {
        const auto last = static_cast<unsigned char>(s[end - 1]);
        if (last < 0x80 && last != ' ' && !(last >= 0x09 && last <= 0x0D)) {
            *keep = end;
            return true;
        }
    }
    if (end > 0) {
        std::size_t len;
        const std::size_t last = previousCodePointStart(s, end);
        const char32_t cp = decodeAt(s, last, &len);
        if (cp == 0x0B || cp == 0x85) {
            std::size_t k = last;
            while (k > 0) {
                const std::size_t p = previousCodePointStart(s, k);
                if (!isIcuSpace(decodeAt(s, p, &len)))
                    break;
                k = p;
            }
            if (k == last) {
                *keep = s.size();
                return true;
            }
            *keep = k;
            return false;
        }
    }
    while (end > 0) {
        const auto b = static_cast<unsigned char>(s[end - 1]);
        if (b < 0x80) {
            if (b == ' ' || b == '\t' || b == '\n' || b == '\f' || b == '\r') {
                --end;
                continue;
            }
            break;
        }
        std::size_t len;
        const std::size_t p = previousCodePointStart(s, end);
        if (!isIcuSpace(decodeAt(s, p, &len)))
            break;
        end = p;
    }
    *keep = end;
    return true;
}

std::string stripTrailingWhitespace(std::string_view s)
{
    std::size_t keep;
    if (trailingWhitespaceIsSuffix(s, &keep))
        return std::string(s.substr(0, keep));
    // The run before a final U+000B or U+0085 goes; the terminator stays.
    const std::size_t last = previousCodePointStart(s, s.size());
    std::string out(s.substr(0, keep));
    out.append(s.substr(last));
    return out;
}

} // namespace lumeno::unicode
