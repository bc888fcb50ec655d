// The Line list: a text split at every "\n", separators removed. Every text
// stage takes one and returns a new one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumeno {

using LineList = std::vector<std::string>;

// Splits at every U+000A; empty pieces are kept, so "a\n" gives "a" and "".
LineList splitLines(std::string_view text);
// Joins with "\n": no terminator after the last line; an empty list gives "".
std::string joinLines(const LineList& lines);

} // namespace lumeno
