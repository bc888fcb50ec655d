#include "Clipboard.h"

#include "Unicode.h"

#include <unicode/uregex.h>
#include <unicode/utext.h>


namespace lumeno {

namespace {

// Stands in for the system clipboard until one is installed.
class EmptyPasteboard : public platform::Pasteboard {
public:
    std::optional<std::string> readString(platform::Flavor) override { return std::nullopt; }
    void writeItem(const std::string&, const std::string&) override {}
};


struct RegexDeleter {
    void operator()(URegularExpression* re) const { uregex_close(re); }
};
struct TextDeleter {
    void operator()(UText* text) const { utext_close(text); }
};

// One compiled pattern per thread: a matcher holds its input.
URegularExpression* semanticTagPattern()
{
    static constexpr char pattern[] = "<(ul|ol|li|h[1-6]|table|thead|tbody|tr|td|th|pre|blockquote|dl|dt|dd)\\b";
    thread_local std::unique_ptr<URegularExpression, RegexDeleter> re = [] {
        UErrorCode status = U_ZERO_ERROR;
        URegularExpression* compiled = uregex_openC(pattern, UREGEX_CASE_INSENSITIVE, nullptr, &status);
        return std::unique_ptr<URegularExpression, RegexDeleter>(U_SUCCESS(status) ? compiled : nullptr);
    }();
    return re.get();
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
    // Every match starts with "<".
    if (html.find('<') == std::string_view::npos)
        return false;
    URegularExpression* re = semanticTagPattern();
    if (!re)
        return false;
    const std::string valid = unicode::isValidUtf8(html) ? std::string() : unicode::toValidUtf8(html);
    const std::string_view text = valid.empty() ? html : std::string_view(valid);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, TextDeleter> utext(
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    uregex_setUText(re, utext.get(), &status);
    const bool found = U_SUCCESS(status) && uregex_find(re, 0, &status) && U_SUCCESS(status);
    uregex_setText(re, u"", 0, &status); // drop the reference to the text
    return found;
}

} // namespace lumeno
