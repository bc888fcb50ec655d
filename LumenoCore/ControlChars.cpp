#include "ControlChars.h"

#include "Unicode.h"

#include <array>
#include <cstring>

namespace lumeno::ControlChars {

namespace {

using unicode::clusterAt;

constexpr char ESC = '\x1B';
constexpr char BEL = '\x07';

// Builds the result of a pass that removes or replaces some ranges of its
// input, copying the untouched stretches in between.
class Rewriter {
public:
    explicit Rewriter(const std::string& in) : in_(in) {}

    void replace(std::size_t begin, std::size_t end, std::string_view with = {})
    {
        if (!changed_) {
            out_.reserve(in_.size());
            changed_ = true;
        }
        out_.append(in_, copied_, begin - copied_);
        out_.append(with);
        copied_ = end;
    }

    // Puts the result in place of the input when anything changed.
    void finish(std::string& text)
    {
        if (!changed_)
            return;
        out_.append(in_, copied_, std::string::npos);
        text = std::move(out_);
    }

private:
    const std::string& in_;
    std::string out_;
    std::size_t copied_ = 0;
    bool changed_ = false;
};

std::size_t find(const std::string& s, char c, std::size_t from)
{
    if (from >= s.size())
        return std::string::npos;
    const void* hit = std::memchr(s.data() + from, c, s.size() - from);
    return hit ? static_cast<const char*>(hit) - s.data() : std::string::npos;
}

// The ASCII character ch standing alone as a cluster at i.
bool isAsciiCluster(const std::string& s, std::size_t i, char ch)
{
    return i < s.size() && s[i] == ch && clusterAt(s, i).end == i + 1;
}

bool isAsciiClusterIn(const std::string& s, std::size_t i, unsigned char lo, unsigned char hi)
{
    if (i >= s.size())
        return false;
    const auto c = static_cast<unsigned char>(s[i]);
    return c >= lo && c <= hi && clusterAt(s, i).end == i + 1;
}

// Pass 1: CSI sequences by the ECMA-48 grammar: ESC "[", parameter bytes
// 0x30-0x3F, intermediate bytes 0x20-0x2F, one final byte 0x40-0x7E.
void removeCsi(std::string& s)
{
    Rewriter rw(s);
    for (std::size_t i = find(s, ESC, 0); i != std::string::npos; i = find(s, ESC, i + 1)) {
        if (!isAsciiCluster(s, i + 1, '['))
            continue;
        std::size_t j = i + 2;
        while (isAsciiClusterIn(s, j, 0x30, 0x3F))
            ++j;
        while (isAsciiClusterIn(s, j, 0x20, 0x2F))
            ++j;
        if (!isAsciiClusterIn(s, j, 0x40, 0x7E))
            continue;
        rw.replace(i, j + 1);
        i = j;
    }
    rw.finish(s);
}

// Pass 2: OSC sequences: ESC "]" up to the first BEL or ESC "\", on one line.
// An unclosed one is left alone (pass 4 removes its ESC).
void removeOsc(std::string& s)
{
    Rewriter rw(s);
    // Every OSC starting before this point runs into the same line end
    // without a terminator.
    std::size_t unclosedUntil = 0;
    for (std::size_t i = find(s, ESC, 0); i != std::string::npos; i = find(s, ESC, i + 1)) {
        if (i < unclosedUntil || !isAsciiCluster(s, i + 1, ']'))
            continue;
        std::size_t end = std::string::npos;
        std::size_t j = i + 2;
        for (; j < s.size(); ++j) {
            const char c = s[j];
            if (c == BEL) {
                end = j + 1;
                break;
            }
            if (c == '\n' || c == '\r')
                break;
            if (c == ESC && isAsciiCluster(s, j + 1, '\\')) {
                end = j + 2;
                break;
            }
        }
        if (end == std::string::npos) {
            unclosedUntil = j;
            continue;
        }
        rw.replace(i, end);
        i = end - 1;
    }
    rw.finish(s);
}

// Pass 3: ESC and the one character after it, unless that is "[" or "]".
void removeEscapePairs(std::string& s)
{
    Rewriter rw(s);
    for (std::size_t i = find(s, ESC, 0); i != std::string::npos; i = find(s, ESC, i + 1)) {
        if (i + 1 >= s.size())
            break;
        const unicode::Cluster next = clusterAt(s, i + 1);
        if (next.is('[') || next.is(']'))
            continue;
        rw.replace(i, next.end);
        i = next.end - 1;
    }
    rw.finish(s);
}

// Pass 4: C0 controls but tab, LF and CR, and DEL.
inline bool isStrayControl(unsigned char c)
{
    static constexpr auto table = [] {
        std::array<bool, 256> t{};
        for (int b = 0; b < 0x20; ++b)
            t[b] = b != '\t' && b != '\n' && b != '\r';
        t[0x7F] = true;
        return t;
    }();
    return table[c];
}

void removeControls(std::string& s)
{
    std::size_t i = 0;
    while (i < s.size() && !isStrayControl(static_cast<unsigned char>(s[i])))
        ++i;
    if (i == s.size())
        return;
    std::string out;
    out.reserve(s.size());
    out.append(s, 0, i);
    for (; i < s.size(); ++i) {
        if (!isStrayControl(static_cast<unsigned char>(s[i])))
            out += s[i];
    }
    s = std::move(out);
}

bool isLeadGlyph(const unicode::Cluster& c)
{
    if (!c.single)
        return false;
    switch (c.first) {
    case 0x25CF: case 0x23FA: case 0x25D0: case 0x25D1: case 0x25D2: case 0x25D3:
    case 0x25B6: case 0x25B7: case 0x25BA: case 0xFFFD:
        return true;
    default:
        return false;
    }
}

bool isLineBreakAt(const std::string& s, std::size_t i, std::size_t* length)
{
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\n') {
        *length = 1;
        return true;
    }
    if (c == '\r') {
        *length = i + 1 < s.size() && s[i + 1] == '\n' ? 2 : 1;
        return true;
    }
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85) {
        *length = 2;
        return true;
    }
    if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80
        && (static_cast<unsigned char>(s[i + 2]) == 0xA8 || static_cast<unsigned char>(s[i + 2]) == 0xA9)) {
        *length = 3;
        return true;
    }
    return false;
}

// Whether the text holds a line break other than LF: CR, U+0085, U+2028, U+2029.
bool holdsOtherLineBreaks(const std::string& s)
{
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (b[i] == '\r')
            return true;
        if (b[i] == 0xC2 && i + 1 < n && b[i + 1] == 0x85)
            return true;
        if (b[i] == 0xE2 && i + 2 < n && b[i + 1] == 0x80 && (b[i + 2] == 0xA8 || b[i + 2] == 0xA9))
            return true;
    }
    return false;
}

// The first line start after position `from`, or npos.
std::size_t nextLineStart(const std::string& s, std::size_t from, bool onlyLf)
{
    if (onlyLf) {
        const std::size_t lf = find(s, '\n', from);
        return lf == std::string::npos ? lf : lf + 1;
    }
    // Bytes that can begin a line break: LF, CR, and the lead bytes of
    // U+0085 (C2 85) and U+2028/U+2029 (E2 80 A8/A9).
    static constexpr auto mayBreak = [] {
        std::array<bool, 256> table{};
        table['\n'] = table['\r'] = table[0xC2] = table[0xE2] = true;
        return table;
    }();
    const auto* data = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = from; i < s.size(); ++i) {
        std::size_t length;
        if (mayBreak[data[i]] && isLineBreakAt(s, i, &length))
            return i + length;
    }
    return std::string::npos;
}

bool isLineStart(const std::string& s, std::size_t i)
{
    if (i == 0)
        return true;
    const std::size_t p = unicode::previousCodePointStart(s, i);
    std::size_t length;
    return isLineBreakAt(s, p, &length) && p + length == i;
}

std::size_t skipWhiteSpace(const std::string& s, std::size_t i)
{
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 && c != ' ' && !(c >= 0x09 && c <= 0x0D))
            break;
        const unicode::Cluster cl = clusterAt(s, i);
        if (!unicode::isWhiteSpace(cl.first))
            break;
        i = cl.end;
    }
    return i;
}

// Pass 5: "(?m)^\s*[glyphs]+\s*" becomes "\n". The white space on either side
// runs over line breaks, so a match may swallow blank lines and the next
// line's indentation.
void replaceLeadGlyphs(std::string& s)
{
    Rewriter rw(s);
    const bool onlyLf = !holdsOtherLineBreaks(s);
    std::size_t p = 0;
    while (p != std::string::npos && p < s.size()) {
        const std::size_t q = skipWhiteSpace(s, p);
        // Every glyph is encoded E2 xx xx or EF BF BD.
        if (q < s.size() && s[q] != '\xE2' && s[q] != '\xEF') {
            p = nextLineStart(s, q, onlyLf);
            continue;
        }
        std::size_t r = q;
        while (r < s.size()) {
            const unicode::Cluster c = clusterAt(s, r);
            if (!isLeadGlyph(c))
                break;
            r = c.end;
        }
        if (r == q) {
            // Every line start up to q reaches the same non-glyph at q.
            p = nextLineStart(s, q, onlyLf);
            continue;
        }
        const std::size_t t = skipWhiteSpace(s, r);
        rw.replace(p, t, "\n");
        p = isLineStart(s, t) ? t : nextLineStart(s, t, onlyLf);
    }
    rw.finish(s);
}

// Replaces every occurrence of `what` by `with`.
void replaceAll(std::string& s, std::string_view what, std::string_view with)
{
    Rewriter rw(s);
    for (std::size_t i = s.find(what); i != std::string::npos; i = s.find(what, i + what.size()))
        rw.replace(i, i + what.size(), with);
    rw.finish(s);
}

// Pass 7: "M-\^." : meta notation and the character it stands for.
void removeMetaNotation(std::string& s)
{
    Rewriter rw(s);
    for (std::size_t i = s.find("M-^"); i != std::string::npos; i = s.find("M-^", i + 1)) {
        if (!unicode::isBoundary(s, i) || !isAsciiCluster(s, i + 2, '^') || i + 3 >= s.size())
            continue;
        const unicode::Cluster c = clusterAt(s, i + 3);
        if (unicode::isLineBreak(c.first))
            continue;
        rw.replace(i, c.end);
        i = c.end - 1;
    }
    rw.finish(s);
}

// Passes 8 and 9: CR LF, then any CR left, become LF.
void normalizeLineEnds(std::string& s)
{
    std::size_t i = find(s, '\r', 0);
    if (i == std::string::npos)
        return;
    std::string out;
    out.reserve(s.size());
    out.append(s, 0, i);
    for (; i < s.size(); ++i) {
        if (s[i] != '\r')
            out += s[i];
        else if (i + 1 < s.size() && s[i + 1] == '\n')
            continue; // the LF follows
        else
            out += '\n';
    }
    s = std::move(out);
}

} // namespace

std::string strip(std::string s)
{
    // Text from outside may hold ill-formed UTF-8; it is read with U+FFFD.
    if (!unicode::isValidUtf8(s))
        s = unicode::toValidUtf8(s);
    if (find(s, ESC, 0) != std::string::npos) {
        removeCsi(s);
        removeOsc(s);
        removeEscapePairs(s);
    }
    removeControls(s);
    replaceLeadGlyphs(s);
    replaceAll(s, "\xEF\xBF\xBD", "");
    removeMetaNotation(s);
    normalizeLineEnds(s);
    return s;
}

} // namespace lumeno::ControlChars
