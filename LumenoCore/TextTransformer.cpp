#include "TextTransformer.h"

#include "BoxTables.h"
#include "CodeBlocks.h"
#include "ControlChars.h"
#include "LineUnwrap.h"
#include "TerminalWidth.h"
#include "Unicode.h"
#include "Whitespace.h"

#include <cstdint>
#include <algorithm>
#include <unordered_set>

namespace lumeno::TextTransformer {

namespace {

using unicode::Cluster;
using unicode::clusterAt;

// The label pattern "^([A-Z][\w\s]{0,20}:)\s" on a trimmed line: a capital
// letter, up to twenty word or space characters, a colon, then white space.
std::string_view labelAtStart(std::string_view trimmed)
{
    if (trimmed.empty() || trimmed[0] < 'A' || trimmed[0] > 'Z')
        return {};
    const Cluster first = clusterAt(trimmed, 0);
    if (!first.single)
        return {};
    std::size_t i = first.end;
    for (int count = 0; i < trimmed.size(); ++count) {
        const Cluster c = clusterAt(trimmed, i);
        if (c.is(':')) {
            if (c.end < trimmed.size() && unicode::isWhiteSpace(clusterAt(trimmed, c.end).first))
                return trimmed.substr(0, c.end);
            return {};
        }
        if (count == 20 || !(unicode::isWordCharacter(c.first) || unicode::isWhiteSpace(c.first)))
            return {};
        i = c.end;
    }
    return {};
}

// The learnt labels. A label holds one colon, its last character, so every
// label that can end at a colon starts after the colon before it: walking
// back from each colon with a rolling hash finds them all in one pass over
// the line.
class LabelSet {
public:
    void add(std::string_view label)
    {
        if (!labels_.emplace(label).second)
            return;
        std::uint64_t h = 0;
        for (std::size_t i = label.size(); i-- > 0;)
            h = step(h, static_cast<unsigned char>(label[i]));
        hashes_.insert(h);
        if (label.size() > maxLength_)
            maxLength_ = label.size();
    }

    bool empty() const { return labels_.empty(); }

    // The leftmost start of a label ending with the colon at `colon` that
    // satisfies accept(start), or npos. `from` is the first byte a label may
    // start at.
    template <typename Accept>
    std::size_t leftmostEndingAt(std::string_view line, std::size_t from, std::size_t colon, Accept accept) const
    {
        const std::size_t end = colon + 1;
        const std::size_t lowest = end - std::min(end - from, maxLength_);
        std::size_t found = std::string_view::npos;
        std::uint64_t h = 0;
        for (std::size_t i = end; i-- > lowest;) {
            h = step(h, static_cast<unsigned char>(line[i]));
            if (hashes_.count(h) && labels_.find(line.substr(i, end - i)) != labels_.end() && accept(i))
                found = i;
        }
        return found;
    }

private:
    // Polynomial hash modulo the Mersenne prime 2^61 - 1.
    static std::uint64_t step(std::uint64_t h, unsigned char byte)
    {
        constexpr std::uint64_t prime = (std::uint64_t(1) << 61) - 1;
        constexpr std::uint64_t base = 1000003;
        const unsigned __int128 product = static_cast<unsigned __int128>(h) * base + byte + 1;
        std::uint64_t r = static_cast<std::uint64_t>(product & prime) + static_cast<std::uint64_t>(product >> 61);
        return r >= prime ? r - prime : r;
    }

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_set<std::string, Hash, std::equal_to<>> labels_;
    std::unordered_set<std::uint64_t> hashes_;
    std::size_t maxLength_ = 0;
};

bool icuSpaceBefore(std::string_view line, std::size_t i, std::size_t* start)
{
    if (i == 0)
        return false;
    std::size_t length;
    *start = unicode::previousCodePointStart(line, i);
    return unicode::isIcuSpace(unicode::decodeAt(line, *start, &length));
}

// Where the split pattern "(\S\s+)(labels)\s" first matches: the start of the
// label, or npos. The label must directly follow a run of white space that
// itself follows a non-space character, and white space must follow it.
std::size_t findSplit(std::string_view line, const LabelSet& labels)
{
    const auto followsSpaceRun = [&](std::size_t start) {
        std::size_t runStart = start;
        std::size_t p;
        while (icuSpaceBefore(line, runStart, &p))
            runStart = p;
        return runStart < start && runStart > 0;
    };
    std::size_t from = 0;
    for (std::size_t colon = line.find(':'); colon != std::string_view::npos; colon = line.find(':', colon + 1)) {
        std::size_t length;
        if (colon + 1 < line.size() && unicode::isIcuSpace(unicode::decodeAt(line, colon + 1, &length))) {
            const std::size_t found = labels.leftmostEndingAt(line, from, colon, followsSpaceRun);
            if (found != std::string_view::npos)
                return found;
        }
        from = colon + 1;
    }
    return std::string_view::npos;
}

// splitLines, keeping only the first empty line of every run of empty lines.
// Every stage treats such a run exactly as one empty line, and the last one
// folds it to one anyway; folding it early spares floods of blank lines.
LineList splitFoldingEmptyRuns(std::string_view text)
{
    LineList lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!(line.empty() && !lines.empty() && lines.back().empty()))
            lines.emplace_back(line);
        if (end == std::string_view::npos)
            return lines;
        start = end + 1;
    }
}

} // namespace

LineList splitMergedFields(LineList lines)
{
    LabelSet labels;
    for (const auto& line : lines) {
        const std::string_view label = labelAtStart(unicode::trim(line));
        if (!label.empty())
            labels.add(label);
    }
    if (labels.empty())
        return lines;

    std::vector<std::size_t> splits(lines.size(), std::string_view::npos);
    bool any = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        splits[i] = findSplit(lines[i], labels);
        any = any || splits[i] != std::string_view::npos;
    }
    if (!any)
        return lines;
    LineList out;
    out.reserve(lines.size() + lines.size() / 4);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (splits[i] == std::string_view::npos) {
            out.push_back(std::move(lines[i]));
            continue;
        }
        const std::string_view line = lines[i];
        out.push_back(unicode::stripTrailingWhitespace(line.substr(0, splits[i])));
        out.emplace_back(line.substr(splits[i]));
    }
    return out;
}

std::string transform(std::string text)
{
    LineList lines = splitFoldingEmptyRuns(ControlChars::strip(std::move(text)));
    lines = Whitespace::cleanLeadingWhitespace(std::move(lines));
    lines = BoxTables::convertBoxTables(std::move(lines));
    lines = Whitespace::stripBlockquoteMarkers(std::move(lines));
    const std::int64_t width = TerminalWidth::detect(lines);
    auto [withPlaceholders, blocks] = CodeBlocks::extractCodeBlocks(std::move(lines), width);
    lines = LineUnwrap::unwrapLines(std::move(withPlaceholders), width);
    lines = splitMergedFields(std::move(lines));
    lines = CodeBlocks::restoreCodeBlocks(std::move(lines), std::move(blocks));
    lines = CodeBlocks::ensureBlockSeparators(std::move(lines));
    lines = Whitespace::normalizeWhitespace(std::move(lines));
    return joinLines(lines);
}

} // namespace lumeno::TextTransformer
