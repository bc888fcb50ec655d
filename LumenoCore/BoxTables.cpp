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

// The character at i. Box-drawing characters (U+2500..U+257F, E2 94 xx and
// E2 95 xx) are looked at directly: nothing joins them to a following box
// character or to anything below U+0300.
inline unicode::Cluster characterAt(std::string_view s, std::size_t i)
{
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    const auto isBox = [&](std::size_t k) { return k + 2 < n && b[k] == 0xE2 && (b[k + 1] == 0x94 || b[k + 1] == 0x95); };
    if (isBox(i)) {
        const std::size_t end = i + 3;
        if (end == n || b[end] < 0xCC || isBox(end)) {
            const char32_t cp = 0x2500 + ((b[i + 1] - 0x94) << 6) + (b[i + 2] & 0x3F);
            return {end, cp, true};
        }
    }
    return unicode::clusterAt(s, i);
}

enum class LineKind { Other, Rule, DataRow };

// A rule line: its trimmed form is not empty and holds only box strokes,
// corners, junctions, verticals and spaces. A data row (isTableDataRow): it
// holds a vertical anywhere. One walk over the line tells both; a line that
// is both counts as a rule line.
LineKind classify(const std::string& line)
{
    // Every box character is U+25xx, encoded E2 94 xx or E2 95 xx.
    if (std::memchr(line.data(), 0xE2, line.size()) == nullptr)
        return LineKind::Other;
    const std::string_view trimmed = unicode::trim(line);
    bool isTableDataRow = false;
    bool onlyRuleCharacters = !trimmed.empty();
    for (std::size_t i = 0; i < trimmed.size();) {
        const unicode::Cluster c = characterAt(trimmed, i);
        const bool isVert = c.single && isBoxVert(c.first);
        isTableDataRow = isTableDataRow || isVert;
        if (!(c.single && (c.first == ' ' || isVert || isBoxHoriz(c.first))))
            onlyRuleCharacters = false;
        i = c.end;
    }
    if (onlyRuleCharacters)
        return LineKind::Rule;
    return isTableDataRow ? LineKind::DataRow : LineKind::Other;
}

// Calls f(begin, end) for every "│" or "║" standing alone as a character.
template <typename F>
void forEachSeparator(const std::string& line, F f)
{
    for (std::size_t i = 0; i < line.size();) {
        const unicode::Cluster c = characterAt(line, i);
        if (c.single && isBoxVert(c.first) && !f(i, c.end))
            return;
        i = c.end;
    }
}

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
    std::vector<LineKind> kinds(lines.size());
    bool anyRow = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        kinds[i] = classify(lines[i]);
        anyRow = anyRow || kinds[i] == LineKind::DataRow;
    }
    if (!anyRow)
        return lines; // without data rows no run reaches two rows

    LineList out;
    out.reserve(lines.size());
    std::size_t i = 0;
    while (i < lines.size()) {
        if (kinds[i] == LineKind::Other) {
            out.push_back(std::move(lines[i]));
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && kinds[end] != LineKind::Other)
            ++end;

        std::vector<Row> rows;
        for (std::size_t k = i; k < end; ++k) {
            if (kinds[k] == LineKind::Rule)
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
