// Estimates the width at which a terminal hard-wrapped the copied text.
#pragma once

#include "Lines.h"

#include <cstdint>

namespace lumeno::TerminalWidth {

// 80 when the lines give no usable estimate, otherwise at least 40.
std::int64_t detect(const LineList& lines);

} // namespace lumeno::TerminalWidth
