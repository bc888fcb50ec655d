#include "Clipboard.h"

#include "Unicode.h"

#include <unicode/uchar.h>

namespace lumeno {

namespace {

// Stands in for the system clipboard until one is installed.
class EmptyPasteboard : public platform::Pasteboard {
public:
    std::optional<std::string> readString(platform::Flavor) override { return std::nullopt; }
    void writeItem(const std::string&, const std::string&) override {}
};

// The tag names of block structure, lower case.
constexpr std::string_view semanticTags[] = {"ul",    "ol",    "li",    "h1", "h2", "h3", "h4",  "h5",         "h6",
                                             "table", "thead", "tbody", "tr", "td", "th", "pre", "blockquote", "dl",
                                             "dt",    "dd"};

// One character of the text matched case-insensitively against a lower-case
// ASCII letter or digit of a tag name: ICU's case folding maps ASCII capitals
// and the Kelvin sign (U+212A) onto these letters and nothing else.
bool matchesFolded(std::string_view text, std::size_t& i, char expected)
{
    if (i >= text.size())
        return false;
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
        const char folded = (b >= 'A' && b <= 'Z') ? static_cast<char>(b + 32) : static_cast<char>(b);
        if (folded != expected)
            return false;
        ++i;
        return true;
    }
    if (expected == 'k' && text.substr(i, 3) == "\xE2\x84\xAA") {
        i += 3;
        return true;
    }
    return false;
}

// ICU's "\b" after a word character: the next character is not a word
// character, and not a combining or format character (which ICU skips over).
bool wordBoundaryAt(std::string_view text, std::size_t i)
{
    if (i >= text.size())
        return true;
    std::size_t length;
    const char32_t c = unicode::decodeAt(text, i, &length);
    if (c < 0x80)
        return !unicode::isWordCharacter(c);
    const UChar32 u = static_cast<UChar32>(c);
    if (u_hasBinaryProperty(u, UCHAR_GRAPHEME_EXTEND) || u_charType(u) == U_FORMAT_CHAR)
        return false;
    return !unicode::isWordCharacter(c);
}

} // namespace

ClipboardManager& ClipboardManager::shared()
{
    static EmptyPasteboard empty;
    static ClipboardManager instance(empty);
    return instance;
}

void ClipboardManager::installPasteboard(std::unique_ptr<platform::Pasteboard> pasteboard)
{
    static std::unique_ptr<platform::Pasteboard> owner;
    owner = std::move(pasteboard);
    shared().pasteboard_ = owner.get();
}

bool ClipboardManager::hasSemanticHTML(std::string_view html)
{
    const std::string valid = unicode::isValidUtf8(html) ? std::string() : unicode::toValidUtf8(html);
    const std::string_view text = valid.empty() ? html : std::string_view(valid);
    for (std::size_t lt = text.find('<'); lt != std::string_view::npos; lt = text.find('<', lt + 1)) {
        for (const std::string_view tag : semanticTags) {
            std::size_t i = lt + 1;
            bool matched = true;
            for (const char c : tag) {
                if (!matchesFolded(text, i, c)) {
                    matched = false;
                    break;
                }
            }
            if (matched && wordBoundaryAt(text, i))
                return true;
        }
    }
    return false;
}

} // namespace lumeno
