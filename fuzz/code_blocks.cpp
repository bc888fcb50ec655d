// Code-block extraction and restoration together. Extraction leaves exactly
// one placeholder line per stored block and copies every other line as it
// was; every input line is kept, stored in a block, or joined onto the block
// line it continues (blank lines may go); restoration leaves no placeholder
// behind and puts every block's lines back between fences, in order.
#include "FuzzChecks.h"
#include "TerminalWidth.h"

#include <set>

using namespace lumeno;
using CodeBlocks::BlockTable;

namespace {

constexpr std::string_view fence = "```";

void checkExtraction(const LineList& out, const BlockTable& blocks)
{
    std::set<std::string, std::less<>> seen;
    for (const auto& line : out) {
        if (!CodeBlocks::isPlaceholderLine(line))
            continue;
        fuzz::require(blocks.count(line) == 1, "extractCodeBlocks: a placeholder line without a block", line);
        fuzz::require(seen.insert(line).second, "extractCodeBlocks: a placeholder line occurs twice", line);
    }
    fuzz::require(seen.size() == blocks.size(), "extractCodeBlocks: a stored block has no placeholder line");
    for (const auto& [placeholder, block] : blocks) {
        fuzz::require(!block.empty(), "extractCodeBlocks: an empty block", placeholder);
        fuzz::require(!unicode::isBlank(block.front()) && !unicode::isBlank(block.back()),
                      "extractCodeBlocks: a block begins or ends with a blank line", placeholder);
        fuzz::requireLineContract(block, "extractCodeBlocks (block table)");
    }
}

// Every block's lines stand between two fences in the restored list, in the
// order of the placeholders.
void checkBlocksRestored(const LineList& extracted, const BlockTable& blocks, const LineList& restored)
{
    std::size_t k = 0;
    for (const auto& line : extracted) {
        if (!CodeBlocks::isPlaceholderLine(line))
            continue;
        const LineList& block = blocks.at(line);
        bool found = false;
        for (; !found && k + block.size() + 2 <= restored.size(); ++k) {
            found = restored[k] == fence && restored[k + block.size() + 1] == fence
                    && std::equal(block.begin(), block.end(), restored.begin() + std::ptrdiff_t(k) + 1);
        }
        fuzz::require(found, "restoreCodeBlocks: a block's lines are not back between fences in order", block.front());
        k += block.size() + 1;
    }
}

// Walks the input lines over the extracted list with every placeholder
// replaced by its block's lines, which restoration puts back between fences.
// Each input line is the next of those lines, or the start of it when wrapped
// rests were joined on; those rests are the input lines right after it. Blank
// input lines may be gone.
void checkEveryLineBack(const LineList& in, const LineList& extracted, const BlockTable& blocks)
{
    LineList expanded;
    for (const auto& line : extracted) {
        if (CodeBlocks::isPlaceholderLine(line)) {
            const LineList& block = blocks.at(line);
            expanded.insert(expanded.end(), block.begin(), block.end());
        } else {
            expanded.push_back(line);
        }
    }
    // Joins strip white space at the seam, and a run of it before a final
    // U+0085 even from text already joined, so joined lines are compared
    // without their white space.
    std::size_t k = 0;
    std::string remaining; // what is still to come of the rests of a joined line
    for (const auto& line : in) {
        const std::string text = fuzz::withoutWhiteSpace({line});
        if (text.empty()) {
            // A line of white space only: blank lines may be dropped, others
            // may be joined on as a rest, and either carries no text.
            if (k < expanded.size() && expanded[k] == line)
                ++k;
            continue;
        }
        if (!remaining.empty()) {
            fuzz::require(remaining.starts_with(text), "restoreCodeBlocks(extractCodeBlocks(x)) lost a wrapped rest", line);
            remaining.erase(0, text.size());
            continue;
        }
        while (k < expanded.size() && fuzz::withoutWhiteSpace({expanded[k]}).empty())
            ++k; // white space only, its input line taken as a rest above
        if (k < expanded.size() && expanded[k] == line) {
            ++k;
            continue;
        }
        remaining = k < expanded.size() ? fuzz::withoutWhiteSpace({expanded[k]}) : std::string();
        fuzz::require(k < expanded.size() && remaining.starts_with(text),
                      "restoreCodeBlocks(extractCodeBlocks(x)) lost a line", line);
        remaining.erase(0, text.size());
        ++k;
    }
    while (k < expanded.size() && fuzz::withoutWhiteSpace({expanded[k]}).empty())
        ++k;
    fuzz::require(remaining.empty() && k == expanded.size(),
                  "extractCodeBlocks: a line that was never input, or joined text that was not");
}

void roundTrip(const LineList& in, std::int64_t width)
{
    const LineList copy = in;
    auto [extracted, blocks] = CodeBlocks::extractCodeBlocks(copy, width);
    fuzz::require(copy == in, "extractCodeBlocks: changed its input list");
    fuzz::requireLineContract(extracted, "extractCodeBlocks", true);
    checkExtraction(extracted, blocks);

    const LineList extractedCopy = extracted;
    const BlockTable blocksCopy = blocks;
    const LineList restored = CodeBlocks::restoreCodeBlocks(extracted, blocks);
    fuzz::require(extracted == extractedCopy && blocks == blocksCopy, "restoreCodeBlocks: changed its input");
    fuzz::requireLineContract(restored, "restoreCodeBlocks");
    for (const auto& line : restored)
        fuzz::require(!CodeBlocks::isPlaceholderLine(unicode::trim(line)), "restoreCodeBlocks: left a placeholder line");
    checkBlocksRestored(extracted, blocks, restored);
    checkEveryLineBack(in, extracted, blocks);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    roundTrip(in, TerminalWidth::detect(in));
    // The narrowest width detection gives joins the most wrapped rests.
    roundTrip(in, 40);
    return 0;
}
