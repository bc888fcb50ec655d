// How deep an HTML5 parser will nest the elements of a document, told by a
// scan of its tags before the parser runs.
//
// The tree builder of an HTML5 parser spends time that grows with the square
// of the nesting depth, and the depth is the input's to choose. The scan
// follows the tokenizer exactly (tags, attributes, comments, raw text, script
// data) and the tree builder's stack of open elements closely: implied end
// tags (p, li, dt, dd, option, tr, td, th, ...), end tags that a special
// element or a scope boundary stops, misnested formatting elements and the
// adoption agency, the list of active formatting elements, tables, select,
// templates and foreign content. Where it cannot be exact it errs towards
// deeper.
//
// It also counts the formatting elements the parser re-creates: an unclosed
// <b> is opened again in every later paragraph, so a few hundred distinct
// unclosed ones followed by many paragraphs would make the parser build far
// more elements than the input holds.
#pragma once

#include <cstddef>
#include <string_view>

namespace lumeno::HTMLNesting {

struct Nesting {
    std::size_t depth = 0;     // most elements open at once, html and body included
    std::size_t recreated = 0; // formatting elements opened again by the parser
};

// Scans the whole document, or stops as soon as either count passes its
// limit, so that a hopelessly deep document costs only its first part.
Nesting measure(std::string_view html, Nesting limits);

} // namespace lumeno::HTMLNesting
