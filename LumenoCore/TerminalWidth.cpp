#include "TerminalWidth.h"

#include "Unicode.h"

#include <algorithm>

namespace lumeno::TerminalWidth {

namespace {
constexpr std::int64_t defaultWidth = 80;
constexpr std::int64_t shortestWidth = 40;
constexpr double percentile = 0.9;
constexpr std::int64_t clusterTolerance = 4;
constexpr std::size_t clusterMinimum = 2;
constexpr std::int64_t fallbackMinimum = 60;
} // namespace

std::int64_t detect(const LineList& lines)
{
    std::vector<std::int64_t> lengths;
    lengths.reserve(lines.size());
    for (const auto& line : lines) {
        if (!unicode::isBlank(line))
            lengths.push_back(static_cast<std::int64_t>(unicode::clusterCount(line)));
    }
    if (lengths.empty())
        return defaultWidth;
    const std::size_t n = lengths.size();
    const std::int64_t max = *std::max_element(lengths.begin(), lengths.end());
    if (max < shortestWidth)
        return defaultWidth;

    const std::int64_t fallback = max >= fallbackMinimum ? max : defaultWidth;
    // The length at the 90th percentile of the sorted lengths.
    const std::size_t index = std::min(n - 1, static_cast<std::size_t>(static_cast<double>(n) * percentile));
    std::nth_element(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(index), lengths.end());
    const std::int64_t p90 = lengths[index];
    if (p90 < shortestWidth)
        return fallback;
    const auto near = std::count_if(lengths.begin(), lengths.end(), [p90](std::int64_t l) { return l >= p90 - clusterTolerance; });
    return static_cast<std::size_t>(near) >= clusterMinimum ? p90 : fallback;
}

} // namespace lumeno::TerminalWidth
