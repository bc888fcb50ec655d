// Removes what a terminal puts into copied text besides the words: escape
// sequences, stray control characters, the glyphs that lead status lines,
// replacement characters and meta notation; turns CR LF and lone CR into LF.
#pragma once

#include <string>
#include <string_view>

namespace lumeno::ControlChars {

std::string strip(std::string text);

} // namespace lumeno::ControlChars
