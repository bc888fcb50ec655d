#include "LineUnwrap.h"

#include "CodeBlocks.h"
#include "Unicode.h"
#include "Whitespace.h"

#include <optional>

namespace lumeno::LineUnwrap {

namespace {

using unicode::Cluster;
using unicode::clusterAt;

std::string_view withoutIndent(std::string_view line)
{
    return line.substr(static_cast<std::size_t>(Whitespace::getIndent(line)));
}

// structBulletRe "^[-*] "
bool startsWithBullet(std::string_view s)
{
    if (s.size() < 2)
        return false;
    const Cluster marker = clusterAt(s, 0);
    return (marker.is('-') || marker.is('*')) && clusterAt(s, marker.end).is(' ');
}

// structNumberedRe "^\d+[.)]\s"
bool startsWithNumber(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const Cluster c = clusterAt(s, i);
        if (!unicode::isDecimalDigit(c.first))
            break;
        i = c.end;
    }
    if (i == 0 || i >= s.size())
        return false;
    const Cluster mark = clusterAt(s, i);
    if (!(mark.is('.') || mark.is(')')) || mark.end >= s.size())
        return false;
    return unicode::isWhiteSpace(clusterAt(s, mark.end).first);
}

// structHeaderRe "^#{1,6}\s"
bool startsWithHeading(std::string_view s)
{
    std::size_t i = 0;
    int hashes = 0;
    while (i < s.size()) {
        const Cluster c = clusterAt(s, i);
        if (!c.is('#'))
            break;
        ++hashes;
        i = c.end;
    }
    return hashes >= 1 && hashes <= 6 && i < s.size() && unicode::isWhiteSpace(clusterAt(s, i).first);
}

// bulletRe "^[-*] |^\d+[.)]\s"
bool startsWithListMarker(std::string_view s) { return startsWithBullet(s) || startsWithNumber(s); }

bool startsWithPipe(std::string_view s) { return !s.empty() && clusterAt(s, 0).is('|'); }

bool endsWithOneOf(std::string_view body, std::string_view set)
{
    if (body.empty())
        return false;
    const std::size_t last = unicode::lastClusterStart(body);
    return last + 1 == body.size() && set.find(body[last]) != std::string_view::npos;
}

bool startsLowercase(std::string_view head)
{
    return !head.empty() && unicode::isLowercase(clusterAt(head, 0).first);
}

// What stays the same about the line being built while lines are joined onto
// its end.
struct Current {
    std::string text;
    bool frozen;            // a placeholder or a table row: never extended
    bool listItem;          // bulletRe matches after its indentation
    std::int64_t indent;
    std::optional<std::int64_t> lastSegmentLen;

    explicit Current(std::string line) : text(std::move(line))
    {
        const std::string_view rest = withoutIndent(text);
        frozen = CodeBlocks::isPlaceholderLine(text) || startsWithPipe(rest);
        listItem = startsWithListMarker(rest);
        indent = Whitespace::getIndent(text);
    }
};

std::int64_t toleranceFor(std::int64_t width) { return width < 80 ? 4 : width / 20; }

bool isBulletContinuation(const Current& current, std::string_view next)
{
    const std::int64_t nextIndent = Whitespace::getIndent(next);
    if (nextIndent == 0 || !current.listItem)
        return false;
    return nextIndent >= current.indent + 2;
}

bool isContinuation(const Current& current, std::string_view next, std::int64_t width)
{
    if (current.frozen || CodeBlocks::isPlaceholderLine(next))
        return false;
    const std::string_view head = unicode::trim(next);
    if (head.empty())
        return false;
    if (isStructuralLine(next))
        return false;
    if (isBulletContinuation(current, next))
        return true;

    std::size_t keep;
    std::string stripped;
    std::string_view body;
    if (unicode::trailingWhitespaceIsSuffix(current.text, &keep)) {
        body = std::string_view(current.text).substr(0, keep);
    } else {
        stripped = unicode::stripTrailingWhitespace(current.text);
        body = stripped;
    }
    const std::int64_t len = current.lastSegmentLen
                                 ? *current.lastSegmentLen
                                 : static_cast<std::int64_t>(unicode::clusterCount(body));
    if (len >= width - toleranceFor(width)) {
        if (body.empty() || !endsWithOneOf(body, ".!?:"))
            return true;
        return startsLowercase(head);
    }
    if (body.empty())
        return false;
    return startsLowercase(head) && !endsWithOneOf(body, ".!?:;");
}

} // namespace

bool isStructuralLine(std::string_view line)
{
    const std::string_view rest = withoutIndent(line);
    if (rest.empty())
        return true;
    const auto first = static_cast<unsigned char>(rest[0]);
    if (first < 0x80 && first != '-' && first != '*' && first != '#' && first != '|' && !(first >= '0' && first <= '9'))
        return false;
    return startsWithBullet(rest) || startsWithNumber(rest) || startsWithHeading(rest) || startsWithPipe(rest);
}

LineList unwrapLines(LineList lines, std::int64_t terminalWidth)
{
    // Joined lines are compacted in place: the list only ever shrinks.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Current current(std::move(lines[i]));
        while (i + 1 < lines.size() && isContinuation(current, lines[i + 1], terminalWidth)) {
            const std::string_view head = unicode::trim(lines[i + 1]);
            current.lastSegmentLen = static_cast<std::int64_t>(unicode::clusterCount(head));
            std::size_t keep;
            if (unicode::trailingWhitespaceIsSuffix(current.text, &keep))
                current.text.resize(keep);
            else
                current.text = unicode::stripTrailingWhitespace(current.text);
            current.text += ' ';
            current.text += head;
            ++i;
        }
        lines[kept++] = std::move(current.text);
    }
    lines.resize(kept);
    return lines;
}

} // namespace lumeno::LineUnwrap
