// The Markdown that goes on the pasteboard as plain text, rendered into the
// HTML fragment of its rich flavour. The rendering is cmark's; around it run
// our passes: escaping, pipe tables, list preparation and list-item clean-up.
#pragma once

#include <string>
#include <string_view>

namespace lumeno::MarkdownToHTML {

// Never fails: when cmark gives nothing usable, the prepared text comes back
// wrapped in "<p>" and "</p>".
std::string textToHTML(std::string_view markdown);

// Turns every "<" and ">" outside fenced blocks and inline code spans into a
// character reference, so that tags written in the text show as text.
std::string escapeHTMLTags(std::string_view text);

// Puts an empty line in front of a list that follows other text, and escapes
// the period of a numbered line that stands alone («3. Done» becomes
// «3\. Done»), so that cmark starts lists only where the text has one.
std::string prepareListsForMarkdown(std::string_view text);

} // namespace lumeno::MarkdownToHTML
