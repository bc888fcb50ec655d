// The one place that touches the system clipboard: the plain-text and HTML
// flavours, and the test whether HTML carries block structure worth
// converting.
#pragma once

#include "Platform.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumeno {

class ClipboardManager {
public:
    explicit ClipboardManager(platform::Pasteboard& pasteboard) : pasteboard_(&pasteboard) {}

    // The process's clipboard. Entry points install the system's pasteboard
    // once at start, before any use; until then it reads as empty and ignores
    // writes.
    static ClipboardManager& shared();
    static void installPasteboard(std::unique_ptr<platform::Pasteboard> pasteboard);

    // The plain-text flavour, or nothing when absent (present but empty gives "").
    std::optional<std::string> readText() { return pasteboard_->readString(platform::Flavor::PlainText); }
    // The HTML flavour, or nothing when absent.
    std::optional<std::string> readHTML() { return pasteboard_->readString(platform::Flavor::HTML); }
    // Replaces the clipboard's content by one item with both flavours.
    void write(const std::string& plain, const std::string& html) { pasteboard_->writeItem(plain, html); }

    // Whether the HTML holds an opening tag of a block element: what the ICU
    // pattern "<(ul|ol|li|h[1-6]|table|thead|tbody|tr|td|th|pre|blockquote|dl|dt|dd)\b",
    // case-insensitive, finds anywhere in the text (comments and scripts
    // included), scanned by hand.
    static bool hasSemanticHTML(std::string_view html);

private:
    platform::Pasteboard* pasteboard_;
};

} // namespace lumeno
