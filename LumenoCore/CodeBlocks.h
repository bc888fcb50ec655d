// Lifts runs of numbered listing and diff lines out of the Line list before
// unwrapping and field splitting, and puts them back between fences after.
#pragma once

#include "Lines.h"

#include <cstdint>
#include <map>
#include <string_view>
#include <utility>

namespace lumeno::CodeBlocks {

// Placeholder line -> the block's lines, in order, without fences.
using BlockTable = std::map<std::string, LineList, std::less<>>;

// The placeholder template: NUL "CODEBLOCK_{}" NUL, "{}" standing for the
// block number.
inline constexpr std::string_view codeBlockPlaceholder{"\0CODEBLOCK_{}\0", 14};

std::string placeholderLine(std::size_t blockNumber);
bool isPlaceholderLine(std::string_view line);

std::pair<LineList, BlockTable> extractCodeBlocks(LineList lines, std::int64_t terminalWidth);
LineList restoreCodeBlocks(LineList lines, BlockTable blocks);
// Puts a blank line between a block boundary and ordinary text right after it.
LineList ensureBlockSeparators(LineList lines);

// A tool-call header such as «Bash(ls -la)», matched on the whole line.
bool isToolHeader(std::string_view line);
// A tree-glyph summary line such as «⎿  Read 40 lines».
bool isToolSummary(std::string_view line);
// A tool header, tree-glyph line, collapsed-output marker or fence line.
bool isBlockBoundary(std::string_view line);

} // namespace lumeno::CodeBlocks
