// Box tables to pipe tables: the Line list contract holds, and lines that
// hold no box-drawing character pass through unchanged and in order.
#include "BoxTables.h"
#include "FuzzChecks.h"

using namespace lumeno;

namespace {
// Every box-drawing character, U+2500 to U+257F, is encoded E2 94 xx or E2 95 xx.
bool holdsBoxCharacter(std::string_view line)
{
    for (std::size_t i = line.find('\xE2'); i != std::string_view::npos; i = line.find('\xE2', i + 1)) {
        if (i + 1 < line.size() && (line[i + 1] == '\x94' || line[i + 1] == '\x95'))
            return true;
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    const LineList out = fuzz::runStage("convertBoxTables", in, [](const LineList& l) {
        return BoxTables::convertBoxTables(l);
    });
    // The lines without box characters are a subsequence of the output.
    std::size_t k = 0;
    for (const auto& line : in) {
        if (holdsBoxCharacter(line))
            continue;
        while (k < out.size() && out[k] != line)
            ++k;
        fuzz::require(k < out.size(), "convertBoxTables: lost or reordered a line without box characters", line);
        ++k;
    }
    return 0;
}
