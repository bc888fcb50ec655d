// The text road: terminal text in, clean Markdown-flavoured text out.
#pragma once

#include "Lines.h"

#include <string>
#include <string_view>

namespace lumeno::TextTransformer {

std::string transform(std::string text);
// Breaks a line in front of a known field label that stands in its middle:
// «Name: build Status: ok» becomes «Name: build» and «Status: ok».
LineList splitMergedFields(LineList lines);

} // namespace lumeno::TextTransformer
