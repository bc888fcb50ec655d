#include "Whitespace.h"

#include "Unicode.h"

#include <array>
#include <map>

namespace lumeno::Whitespace {

namespace {

// Leading " " and "\t" characters, each a cluster of its own, as a byte count
// (equal to their number, as both are one byte).
std::size_t indentBytes(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    // A combining mark after the last one makes it part of another character.
    if (i > 0 && i < line.size() && static_cast<unsigned char>(line[i]) >= 0xCC
        && unicode::clusterEnd(line, i - 1) != i)
        --i;
    return i;
}

} // namespace

std::int64_t getIndent(std::string_view line) { return static_cast<std::int64_t>(indentBytes(line)); }

LineList cleanLeadingWhitespace(LineList lines)
{
    // Indents below 256 are counted in an array, larger ones in a map.
    std::array<std::size_t, 256> small{};
    std::map<std::int64_t, std::size_t> tally;
    std::size_t nonBlank = 0;
    for (const auto& line : lines) {
        if (unicode::isBlank(line))
            continue;
        ++nonBlank;
        const std::int64_t indent = getIndent(line);
        if (indent < 256)
            ++small[static_cast<std::size_t>(indent)];
        else
            ++tally[indent];
    }
    if (nonBlank == 0)
        return lines;
    for (std::size_t indent = 0; indent < small.size(); ++indent) {
        if (small[indent])
            tally.emplace(static_cast<std::int64_t>(indent), small[indent]);
    }

    std::int64_t common = 0;
    for (const auto& [indent, count] : tally) {
        if (indent != 0 && static_cast<double>(count) / static_cast<double>(nonBlank) >= 0.3) {
            common = indent;
            break;
        }
    }
    if (common == 0) {
        // Fall back to the smallest indent when at least 70% of the lines
        // are indented at all.
        std::size_t indented = 0;
        std::int64_t smallest = 0;
        for (const auto& [indent, count] : tally) {
            if (indent == 0)
                continue;
            if (indented == 0)
                smallest = indent;
            indented += count;
        }
        const auto threshold = static_cast<std::size_t>(static_cast<double>(nonBlank) * 0.7);
        if (indented == 0 || indented < threshold)
            return lines;
        common = smallest;
    }

    for (auto& line : lines) {
        if (unicode::isBlank(line))
            continue;
        if (getIndent(line) >= common)
            line.erase(0, static_cast<std::size_t>(common));
    }
    return lines;
}

LineList stripBlockquoteMarkers(LineList lines)
{
    static constexpr std::string_view bar = "\xE2\x96\x8E"; // U+258E LEFT ONE QUARTER BLOCK
    for (auto& line : lines) {
        std::size_t i = 0;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (line.compare(i, bar.size(), bar) != 0 || unicode::clusterEnd(line, i) != i + bar.size())
            continue;
        // A space before the bar that a mark would join cannot occur: the bar
        // itself is no mark.
        std::size_t j = i + bar.size();
        j += indentBytes(std::string_view(line).substr(j));
        line.erase(0, j);
    }
    return lines;
}

LineList normalizeWhitespace(LineList lines)
{
    // Compacted in place: the list only ever shrinks.
    std::size_t kept = 0;
    bool previousEmpty = false;
    for (auto& line : lines) {
        std::size_t keep;
        if (unicode::trailingWhitespaceIsSuffix(line, &keep))
            line.resize(keep);
        else
            line = unicode::stripTrailingWhitespace(line);
        const bool empty = line.empty();
        if (!(empty && previousEmpty)) {
            // Drop empty lines at the front as they come.
            if (!(empty && kept == 0)) {
                if (&lines[kept] != &line)
                    lines[kept] = std::move(line);
                ++kept;
            }
        }
        previousEmpty = empty;
    }
    while (kept > 0 && lines[kept - 1].empty())
        --kept;
    lines.resize(kept);
    return lines;
}

} // namespace lumeno::Whitespace
