// Joins lines that the terminal hard-wrapped at its width.
#pragma once

#include "Lines.h"

#include <cstdint>
#include <string_view>

namespace lumeno::LineUnwrap {

LineList unwrapLines(LineList lines, std::int64_t terminalWidth);
// True for lines that are never joined onto the line before them: blank lines,
// bullet and numbered items, headings and lines starting with "|".
bool isStructuralLine(std::string_view line);

} // namespace lumeno::LineUnwrap
