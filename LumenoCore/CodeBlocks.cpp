#include "CodeBlocks.h"

#include "LineUnwrap.h"
#include "Unicode.h"

#include <algorithm>
#include <array>
#include <optional>

namespace lumeno::CodeBlocks {

namespace {

using unicode::Cluster;
using unicode::clusterAt;

constexpr std::string_view fence = "```";

// Skips "\s*": characters whose first code point is white space.
inline std::size_t skipSpace(std::string_view s, std::size_t i)
{
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80 && b != ' ' && !(b >= 0x09 && b <= 0x0D))
            break;
        const Cluster c = clusterAt(s, i);
        if (!unicode::isWhiteSpace(c.first))
            break;
        i = c.end;
    }
    return i;
}

// Skips "\d+" and returns the end (i itself when no digit is there).
std::size_t skipDigits(std::string_view s, std::size_t i)
{
    while (i < s.size()) {
        const Cluster c = clusterAt(s, i);
        if (!unicode::isDecimalDigit(c.first))
            break;
        i = c.end;
    }
    return i;
}

// Number of white-space characters from i, and the end of the run.
std::size_t countSpace(std::string_view s, std::size_t i, std::size_t* end)
{
    std::size_t count = 0;
    while (i < s.size()) {
        const Cluster c = clusterAt(s, i);
        if (!unicode::isWhiteSpace(c.first))
            break;
        ++count;
        i = c.end;
    }
    *end = i;
    return count;
}

// The ASCII text `word` at i, each character standing alone.
bool hasWordAt(std::string_view s, std::size_t i, std::string_view word)
{
    if (s.substr(i, word.size()) != word)
        return false;
    const std::size_t end = i + word.size();
    return end == s.size() || static_cast<unsigned char>(s[end]) < 0xCC || clusterAt(s, end - 1).end == end;
}

bool holdsLineBreak(std::string_view s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b >= 0x0A && b <= 0x0D) || (b == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85)
            || (b == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80
                && (static_cast<unsigned char>(s[i + 2]) == 0xA8 || static_cast<unsigned char>(s[i + 2]) == 0xA9)))
            return true;
    }
    return false;
}

// diffLineRe "^\s*\d+\s+[-+]\s*\S|^\s*\d+\s{2,}\S|^\s*\d+\s*$"
bool isNumberedLine(std::string_view line)
{
    const std::size_t digits = skipSpace(line, 0);
    const std::size_t afterDigits = skipDigits(line, digits);
    if (afterDigits == digits)
        return false;
    std::size_t afterSpace;
    const std::size_t spaces = countSpace(line, afterDigits, &afterSpace);
    if (afterSpace == line.size())
        return true; // a number alone, perhaps with trailing space
    if (spaces >= 2)
        return true; // followed by white space and text
    if (spaces == 1) {
        const Cluster sign = clusterAt(line, afterSpace);
        if (sign.is('-') || sign.is('+'))
            return skipSpace(line, sign.end) < line.size();
    }
    return false;
}

// indentedCodeRe "^    +\S": four or more spaces (not tabs), then text.
bool isIndentedCode(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && line[i] == ' ')
        ++i;
    if (i < line.size() && static_cast<unsigned char>(line[i]) >= 0xCC && i > 0 && clusterAt(line, i - 1).end != i)
        --i; // the last space carries a mark: it is another character
    if (i < 4 || i >= line.size())
        return false;
    return !unicode::isWhiteSpace(clusterAt(line, i).first);
}

// collapsedRe "^\s*\.\.\..*\d+\s+lines?"
bool isCollapsedMarker(std::string_view line)
{
    const std::size_t start = skipSpace(line, 0);
    std::size_t i = start;
    for (int dots = 0; dots < 3; ++dots) {
        if (i >= line.size())
            return false;
        const Cluster c = clusterAt(line, i);
        if (!c.is('.'))
            return false;
        i = c.end;
    }
    // ".*" cannot pass a line break, so the digits start before the first one.
    while (i < line.size()) {
        const Cluster c = clusterAt(line, i);
        if (unicode::isLineBreak(c.first))
            return false;
        if (!unicode::isDecimalDigit(c.first)) {
            i = c.end;
            continue;
        }
        const std::size_t afterDigits = skipDigits(line, i);
        std::size_t afterSpace;
        if (countSpace(line, afterDigits, &afterSpace) > 0 && hasWordAt(line, afterSpace, "line"))
            return true;
        i = afterDigits;
    }
    return false;
}

bool isFenceLine(std::string_view line) { return unicode::trim(line) == fence; }

bool isCodeLine(std::string_view line, bool inCodeBlock)
{
    if (unicode::isBlank(line))
        return inCodeBlock;
    if (isToolHeader(line) || isToolSummary(line))
        return false;
    if (isNumberedLine(line))
        return true;
    if (!inCodeBlock)
        return false;
    return isIndentedCode(line);
}

// Collects the block starting at `start`; returns where collection stopped.
std::size_t collectBlock(LineList& lines, std::size_t start, std::int64_t terminalWidth, LineList& block)
{
    std::size_t k = start;
    // Whether the last block line, stripped, reaches terminalWidth - 4. Joins
    // only make it longer, so it is measured once per line.
    std::optional<bool> lastIsLong;
    while (k < lines.size()) {
        if (isCodeLine(lines[k], true)) {
            block.push_back(std::move(lines[k]));
            lastIsLong.reset();
            ++k;
            continue;
        }
        std::string& last = block.back();
        if (!lastIsLong) {
            std::size_t keep;
            const bool suffix = unicode::trailingWhitespaceIsSuffix(last, &keep);
            const std::size_t length = suffix ? unicode::clusterCount(std::string_view(last).substr(0, keep))
                                              : unicode::clusterCount(unicode::stripTrailingWhitespace(last));
            lastIsLong = static_cast<std::int64_t>(length) >= terminalWidth - 4;
        }
        const std::string& next = lines[k];
        if (*lastIsLong && !LineUnwrap::isStructuralLine(next) && !isToolHeader(next) && !isToolSummary(next)) {
            // The wrapped rest of the last line.
            std::size_t keep;
            if (unicode::trailingWhitespaceIsSuffix(last, &keep))
                last.resize(keep);
            else
                last = unicode::stripTrailingWhitespace(last);
            last += ' ';
            last += unicode::trim(next);
            ++k;
            continue;
        }
        break;
    }
    while (!block.empty() && unicode::isBlank(block.back()))
        block.pop_back();
    return k;
}

} // namespace

std::string placeholderLine(std::size_t blockNumber)
{
    std::string line(codeBlockPlaceholder);
    line.replace(line.find("{}"), 2, std::to_string(blockNumber));
    return line;
}

bool isPlaceholderLine(std::string_view line)
{
    static constexpr std::string_view prefix{"\0CODEBLOCK_", 11};
    if (line.size() < prefix.size() + 2 || line.substr(0, prefix.size()) != prefix || line.back() != '\0')
        return false;
    for (std::size_t i = prefix.size(); i + 1 < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
    }
    return true;
}

bool isToolHeader(std::string_view line)
{
    static constexpr std::array<std::string_view, 9> tools = {
        "Update", "Read", "Write", "Bash", "Edit", "Glob", "Grep", "Search", "NotebookEdit"};
    const std::size_t start = skipSpace(line, 0);
    if (start >= line.size())
        return false;
    switch (line[start]) { // the initials of the tool names
    case 'U': case 'R': case 'W': case 'B': case 'E': case 'G': case 'S': case 'N':
        break;
    default:
        return false;
    }
    std::size_t open = std::string_view::npos;
    for (const auto tool : tools) {
        if (line.substr(start, tool.size()) == tool && start + tool.size() < line.size()
            && line[start + tool.size()] == '(') {
            open = start + tool.size();
            break;
        }
    }
    if (open == std::string_view::npos || !hasWordAt(line, open, "("))
        return false;
    // "\(.*\)\s*$": the last character before the trailing white space is ")",
    // and no line break lies between the parentheses.
    std::size_t end = line.size();
    while (end > open + 1) {
        const std::size_t last = unicode::lastClusterStart(line.substr(0, end));
        if (!unicode::isWhiteSpace(clusterAt(line, last).first))
            break;
        end = last;
    }
    if (end <= open + 1)
        return false;
    const std::size_t close = unicode::lastClusterStart(line.substr(0, end));
    if (close <= open || !clusterAt(line, close).is(')'))
        return false;
    return !holdsLineBreak(line.substr(open + 1, close - open - 1));
}

bool isToolSummary(std::string_view line)
{
    const std::size_t i = skipSpace(line, 0);
    if (i >= line.size())
        return false;
    const Cluster c = clusterAt(line, i);
    return c.single && (c.first == 0x23BF || c.first == 0x2502 || c.first == 0x251C || c.first == 0x2514);
}

bool isBlockBoundary(std::string_view line)
{
    return isToolHeader(line) || isToolSummary(line) || isCollapsedMarker(line) || isFenceLine(line);
}

namespace {
// isBlockBoundary, for a line whose fence test is already known.
bool isBoundaryOrFence(std::string_view line, bool isFence)
{
    return isFence || isToolHeader(line) || isToolSummary(line) || isCollapsedMarker(line);
}
} // namespace

std::pair<LineList, BlockTable> extractCodeBlocks(LineList lines, std::int64_t terminalWidth)
{
    BlockTable blocks;
    std::size_t blockNumber = 0;
    // The output is compacted into the front of the list: every output line
    // stands for at least one input line already read.
    std::size_t kept = 0;
    const auto keep = [&](std::size_t i) {
        if (kept != i)
            lines[kept] = std::move(lines[i]);
        ++kept;
    };
    const auto collect = [&](std::size_t start) {
        LineList block;
        const std::size_t stop = collectBlock(lines, start, terminalWidth, block);
        std::string placeholder = placeholderLine(blockNumber++);
        lines[kept++] = placeholder;
        blocks.emplace(std::move(placeholder), std::move(block));
        return stop;
    };

    std::size_t i = 0;
    while (i < lines.size()) {
        if (isToolHeader(lines[i])) {
            std::size_t j = i + 1;
            keep(i);
            if (j < lines.size() && isToolSummary(lines[j])) {
                keep(j);
                ++j;
            }
            i = j < lines.size() && isCodeLine(lines[j], false) ? collect(j) : j;
        } else if (isCodeLine(lines[i], false)) {
            i = collect(i);
        } else {
            keep(i);
            ++i;
        }
    }
    lines.resize(kept);
    return {std::move(lines), std::move(blocks)};
}

LineList restoreCodeBlocks(LineList lines, BlockTable blocks)
{
    if (blocks.empty() && std::none_of(lines.begin(), lines.end(), [](const std::string& l) { return isToolHeader(l); }))
        return lines;
    LineList out;
    out.reserve(lines.size() + 3 * blocks.size());
    const auto separate = [&out] {
        if (!out.empty() && !unicode::isBlank(out.back()))
            out.emplace_back();
    };
    for (auto& line : lines) {
        if (!blocks.empty()) {
            const std::string_view trimmed = unicode::trim(line);
            if (!trimmed.empty() && trimmed.front() == '\0') {
                if (const auto found = blocks.find(trimmed); found != blocks.end()) {
                    separate();
                    out.emplace_back(fence);
                    // A placeholder occurs once, so its lines can move.
                    out.insert(out.end(), std::make_move_iterator(found->second.begin()),
                               std::make_move_iterator(found->second.end()));
                    out.emplace_back(fence);
                    continue;
                }
            }
        }
        if (isToolHeader(line))
            separate();
        out.push_back(std::move(line));
    }
    return out;
}

LineList ensureBlockSeparators(LineList lines)
{
    if (lines.size() < 2)
        return lines;
    // First find where an empty line goes, then build the list once.
    std::vector<std::size_t> before;
    bool insideFence = isFenceLine(lines[0]);
    bool previousIsBoundary = isBoundaryOrFence(lines[0], insideFence);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const bool curIsFence = isFenceLine(lines[i]);
        const bool curIsBoundary = isBoundaryOrFence(lines[i], curIsFence);
        if (insideFence != curIsFence) {
            insideFence = true;
        } else {
            if (previousIsBoundary && !curIsBoundary && !unicode::isBlank(lines[i]))
                before.push_back(i);
            insideFence = false;
        }
        previousIsBoundary = curIsBoundary;
    }
    if (before.empty())
        return lines;
    LineList out;
    out.reserve(lines.size() + before.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (next < before.size() && before[next] == i) {
            out.emplace_back();
            ++next;
        }
        out.push_back(std::move(lines[i]));
    }
    return out;
}

} // namespace lumeno::CodeBlocks
