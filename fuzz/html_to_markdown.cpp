// HTML to Markdown: whatever the clipboard's HTML flavour holds, the result
// is valid UTF-8 without zero-width spaces, and white space is cleaned up as
// the last step promises: no trailing white space, no empty line at either
// end, never two empty lines in a row. The input itself comes back unchanged
// when the document is refused as too deep.
#include "FuzzChecks.h"
#include "HTMLToMarkdown.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string html(reinterpret_cast<const char*>(data), size);
    const std::string out = HTMLToMarkdown::convert(html);
    if (out == html)
        return 0; // refused: the input stands for itself
    fuzz::require(unicode::isValidUtf8(out), "convert: the output is not valid UTF-8", out);
    fuzz::require(out.find("\xE2\x80\x8B") == std::string::npos, "convert: a zero-width space is left", out);
    const LineList lines = splitLines(out);
    for (std::size_t i = 0; i < lines.size() && !out.empty(); ++i) {
        fuzz::require(!fuzz::endsInIcuSpace(lines[i]), "convert: a line keeps trailing white space", lines[i]);
        fuzz::require(!lines[i].empty() || (i > 0 && i + 1 < lines.size() && !lines[i - 1].empty()),
                      "convert: an empty line at an end or after another");
    }
    return 0;
}
