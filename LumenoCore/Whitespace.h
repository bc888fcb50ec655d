// Indentation and white space clean-up over the Line list.
#pragma once

#include "Lines.h"

#include <cstdint>
#include <string_view>

namespace lumeno::Whitespace {

// Number of leading characters that are U+0020 or U+0009, each counting one.
std::int64_t getIndent(std::string_view line);
// Removes the indentation shared by most lines.
LineList cleanLeadingWhitespace(LineList lines);
// Removes the quote bar "▎" (and the indentation around it) from line starts.
LineList stripBlockquoteMarkers(LineList lines);
// Strips trailing white space, collapses runs of empty lines, drops empty
// lines at both ends.
LineList normalizeWhitespace(LineList lines);

} // namespace lumeno::Whitespace
