// The bytes of clipboard targets to and from the UTF-8 text the core works on.
#pragma once

#include <string>
#include <string_view>

namespace lumeno::platform::linux_desktop::ClipboardText {

// HTML as browsers offer it: UTF-16 with a byte-order mark (or without one,
// recognised by the NUL beside the first ASCII character), or UTF-8 with or
// without a byte-order mark; a leading <meta ... charset=...> tag, which
// Chromium puts before every fragment, is dropped. Ill-formed sequences
// become U+FFFD.
std::string decodeHtml(std::string_view bytes);
// The STRING target is ISO 8859-1.
std::string decodeLatin1(std::string_view bytes);
// Valid UTF-8 to ISO 8859-1; a character outside it becomes '?'.
std::string encodeLatin1(std::string_view utf8);

} // namespace lumeno::platform::linux_desktop::ClipboardText
