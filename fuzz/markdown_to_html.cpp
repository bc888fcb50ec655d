// Markdown to HTML: whatever text reaches the renderer, the fragment is valid
// UTF-8 and every tag in it is one that cmark writes for Markdown syntax or
// one of our table tags: a tag typed in the text never comes through live.
#include "FuzzChecks.h"
#include "MarkdownToHTML.h"

#include <array>

using namespace lumeno;

namespace {

bool isKnownTag(std::string_view html, std::size_t lt)
{
    static constexpr std::array<std::string_view, 26> names = {
        "p",  "h1", "h2",    "h3",    "h4",    "h5", "h6", "ul",   "ol",    "li",    "pre",   "code", "em",
        "strong", "a", "img", "br", "hr", "blockquote", "table", "thead", "tbody", "tr", "th", "td", "del"};
    std::size_t i = lt + 1;
    if (i < html.size() && html[i] == '/')
        ++i;
    for (const std::string_view name : names) {
        if (html.substr(i, name.size()) != name)
            continue;
        const std::size_t end = i + name.size();
        if (end < html.size() && (html[end] == '>' || html[end] == ' ' || html[end] == '/'))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string markdown(reinterpret_cast<const char*>(data), size);
    const std::string html = MarkdownToHTML::textToHTML(markdown);
    fuzz::require(unicode::isValidUtf8(html), "textToHTML: the fragment is not valid UTF-8", html);
    for (std::size_t lt = html.find('<'); lt != std::string::npos; lt = html.find('<', lt + 1)) {
        if (!isKnownTag(html, lt))
            fuzz::fail("textToHTML: raw markup came through", std::string_view(html).substr(lt, 60));
    }
    return 0;
}
