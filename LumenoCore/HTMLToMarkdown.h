// Web HTML from the pasteboard turned into Markdown: headings, paragraphs,
// line breaks, bold and italic text, code, links, lists, tables, block quotes
// and sectioning containers. Every other element gives only its content;
// images, comments, script and style contents and the document's head are
// left out.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumeno::HTMLToMarkdown {

// Deepest nesting a document may reach, html and body included, and the most
// formatting elements the parser may re-create, before the document counts
// as one the parser fails on.
inline constexpr std::size_t maxNestingDepth = 512;
std::size_t maxRecreatedElements(std::size_t htmlBytes);

// Never fails: a document the parser fails on, or one without a body, comes
// back unchanged.
std::string convert(std::string_view html);

} // namespace lumeno::HTMLToMarkdown
