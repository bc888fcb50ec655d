// The semantic-HTML test against a plain scanner of the same pattern,
// "<(ul|ol|li|h[1-6]|table|thead|tbody|tr|td|th|pre|blockquote|dl|dt|dd)\b"
// without regard to ASCII case. Where the scanner finds a tag the test must
// too; where only the test finds one, the text must hold a non-ASCII
// character, as some fold to ASCII letters (the Kelvin sign to "k").
#include "Clipboard.h"
#include "FuzzChecks.h"

#include <unicode/uchar.h>

#include <array>

using namespace lumeno;

namespace {

bool isIcuWordCharacter(char32_t cp)
{
    const auto c = static_cast<UChar32>(cp);
    return u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || (U_MASK(u_charType(c)) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK))
           || cp == 0x200C || cp == 0x200D;
}

// "\b" right after a tag name, which ends in a word character: the end of the
// text, or a character that is no word character. Combining marks and format
// characters never make a boundary.
bool isWordBoundaryAt(std::string_view text, std::size_t i)
{
    if (i >= text.size())
        return true;
    std::size_t length;
    const char32_t cp = unicode::decodeAt(text, i, &length);
    const auto c = static_cast<UChar32>(cp);
    if (u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) || u_charType(c) == U_FORMAT_CHAR)
        return false;
    return !isIcuWordCharacter(cp);
}

bool hasTagAt(std::string_view text, std::size_t i, std::string_view name)
{
    if (text.size() - i < name.size())
        return false;
    for (std::size_t k = 0; k < name.size(); ++k) {
        char c = text[i + k];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != name[k])
            return false;
    }
    return isWordBoundaryAt(text, i + name.size());
}

bool scanForSemanticTag(std::string_view text)
{
    static constexpr std::array<std::string_view, 20> names = {
        "ul", "ol", "li", "h1", "h2", "h3", "h4", "h5", "h6", "table", "thead", "tbody", "tr", "td", "th",
        "pre", "blockquote", "dl", "dt", "dd"};
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        for (const auto name : names)
            if (hasTagAt(text, i + 1, name))
                return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    const bool found = ClipboardManager::hasSemanticHTML(html);
    const std::string valid = unicode::toValidUtf8(html);
    const bool scanned = scanForSemanticTag(valid);
    if (scanned)
        fuzz::require(found, "hasSemanticHTML: missed a block element's opening tag", html);
    else if (found)
        fuzz::require(!unicode::isAscii(valid), "hasSemanticHTML: found a block element in ASCII text that has none", html);
    fuzz::require(ClipboardManager::hasSemanticHTML(valid) == found,
                  "hasSemanticHTML: differs between the text and its repaired UTF-8", html);
    return 0;
}
