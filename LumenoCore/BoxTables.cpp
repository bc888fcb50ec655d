#include "BoxTables.h"

#include "Unicode.h"

#include <algorithm>
#include <cstring>

namespace lumeno::BoxTables {

namespace {

// The cell separators: "│" U+2502 and "║" U+2551.
bool isBoxVert(char32_t cp) { return cp == 0x2502 || cp == 0x2551; }

// The other characters a rule line may hold: horizontal strokes, corners and
// junctions (light, double, and the two mixed families).
bool isBoxHoriz(char32_t cp)
{
    switch (cp) {
    case 0x2500: case 0x2501: case 0x2550:
    case 0x250C: case 0x2510: case 0x2514: case 0x2518: case 0x251C: case 0x2524: case 0x252C: case 0x2534:
    case 0x253C:
    case 0x2554: case 0x2557: case 0x255A: case 0x255D: case 0x2560: case 0x2563: case 0x2566: case 0x2569:
    case 0x256C:
    case 0x2552: case 0x2555: case 0x2558: case 0x255B: case 0x255E: case 0x2561: case 0x2564: case 0x2567:
    case 0x256A:
    case 0x250D: case 0x2511: case 0x2515: case 0x2519: case 0x251D: case 0x2525: case 0x252F: case 0x2537:
    case 0x253F:
        return true;
    default:
        return false;
    }
}

// Every box character is U+25xx, encoded E2 94 xx or E2 95 xx.
bool mayHoldBoxCharacters(const std::string& line)
{
    return std::memchr(line.data(), 0xE2, line.size()) != nullptr;
}

bool isRuleLine(const std::string& line)
{
    if (!mayHoldBoxCharacters(line))
        return false;
    const std::string_view trimmed = unicode::trim(line);
    if (trimmed.empty())
        return false;
    for (std::size_t i = 0; i < trimmed.size();) {
        const unicode::Cluster c = unicode::clusterAt(trimmed, i);
        if (!c.single || !(c.first == ' ' || isBoxVert(c.first) || isBoxHoriz(c.first)))
            return false;
        i = c.end;
    }
    return true;
}

// Calls f(begin, end) for every "│" or "║" standing alone as a character.
template <typename F>
void forEachSeparator(const std::string& line, F f)
{
    for (std::size_t i = 0; i < line.size();) {
        const unicode::Cluster c = unicode::clusterAt(line, i);
        if (c.single && isBoxVert(c.first) && !f(i, c.end))
            return;
        i = c.end;
    }
}

bool isTableDataRow(const std::string& line)
{
    if (!mayHoldBoxCharacters(line))
        return false;
    bool found = false;
    forEachSeparator(line, [&](std::size_t, std::size_t) {
        found = true;
        return false;
    });
    return found;
}

bool isTableLine(const std::string& line) { return isRuleLine(line) || isTableDataRow(line); }

using Row = std::vector<std::string>;

// The cells of a data row: the pieces between separators, trimmed, with empty
// pieces dropped from both ends.
Row cellsOf(const std::string& line)
{
    Row pieces;
    std::size_t start = 0;
    forEachSeparator(line, [&](std::size_t begin, std::size_t end) {
        pieces.emplace_back(unicode::trim(std::string_view(line).substr(start, begin - start)));
        start = end;
        return true;
    });
    pieces.emplace_back(unicode::trim(std::string_view(line).substr(start)));
    std::size_t first = 0;
    while (first < pieces.size() && pieces[first].empty())
        ++first;
    std::size_t last = pieces.size();
    while (last > first && pieces[last - 1].empty())
        --last;
    return Row(std::make_move_iterator(pieces.begin() + first), std::make_move_iterator(pieces.begin() + last));
}

std::string rowLine(const Row& cells)
{
    std::string out = "| ";
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i)
            out += " | ";
        out += cells[i];
    }
    out += " |";
    return out;
}

} // namespace

LineList convertBoxTables(LineList lines)
{
    if (std::none_of(lines.begin(), lines.end(), isTableDataRow))
        return lines; // no rows, so nothing to convert
    LineList out;
    out.reserve(lines.size());
    std::size_t i = 0;
    while (i < lines.size()) {
        if (!isTableLine(lines[i])) {
            out.push_back(std::move(lines[i]));
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && isTableLine(lines[end]))
            ++end;

        std::vector<Row> rows;
        for (std::size_t k = i; k < end; ++k) {
            if (isRuleLine(lines[k]))
                continue;
            Row cells = cellsOf(lines[k]);
            if (!cells.empty())
                rows.push_back(std::move(cells));
        }

        if (rows.size() < 2) {
            for (std::size_t k = i; k < end; ++k)
                out.push_back(std::move(lines[k]));
        } else {
            const std::size_t columns = rows.front().size();
            out.push_back(rowLine(rows.front()));
            out.push_back(rowLine(Row(columns, "---")));
            for (std::size_t r = 1; r < rows.size(); ++r) {
                rows[r].resize(columns);
                out.push_back(rowLine(rows[r]));
            }
        }
        i = end;
    }
    return out;
}

} // namespace lumeno::BoxTables
