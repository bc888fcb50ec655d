#include "ClipboardText.h"

#include "Unicode.h"

namespace lumeno::platform::linux_desktop::ClipboardText {

namespace {

std::string decodeUtf16(std::string_view bytes, bool littleEndian)
{
    const auto unitAt = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return littleEndian ? char32_t(a | (b << 8)) : char32_t((a << 8) | b);
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unicode::appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        unicode::appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    if (i < bytes.size()) // an odd byte at the end
        unicode::appendUtf8(out, 0xFFFD);
    return out;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(s[i]) != prefix[i])
            return false;
    return true;
}

bool containsNoCase(std::string_view s, std::string_view needle)
{
    for (std::size_t i = 0; i + needle.size() <= s.size(); ++i)
        if (startsWithNoCase(s.substr(i), needle))
            return true;
    return false;
}

// Drops a <meta> tag that declares a charset when it is the first thing after
// leading white space: «<meta charset="utf-8">» or «<meta http-equiv=
// "content-type" content="text/html; charset=utf-8">».
std::string dropLeadingMetaCharset(std::string text)
{
    std::size_t start = 0;
    while (start < text.size() && std::string_view(" \t\n\r").find(text[start]) != std::string_view::npos)
        ++start;
    const std::string_view rest = std::string_view(text).substr(start);
    if (!startsWithNoCase(rest, "<meta") || rest.size() < 6)
        return text;
    const char after = rest[5];
    if (after != ' ' && after != '\t' && after != '\n' && after != '\r' && after != '/')
        return text;
    const std::size_t close = rest.find('>');
    if (close == std::string_view::npos || !containsNoCase(rest.substr(0, close), "charset"))
        return text;
    text.erase(start, close + 1);
    return text;
}

} // namespace

std::string decodeHtml(std::string_view bytes)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::string text;
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE)
        text = decodeUtf16(bytes.substr(2), true);
    else if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF)
        text = decodeUtf16(bytes.substr(2), false);
    else if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        text = unicode::toValidUtf8(bytes.substr(3));
    else if (bytes.size() >= 2 && at(0) != 0 && at(0) < 0x80 && at(1) == 0)
        text = decodeUtf16(bytes, true);
    else if (bytes.size() >= 2 && at(0) == 0 && at(1) != 0 && at(1) < 0x80)
        text = decodeUtf16(bytes, false);
    else
        text = unicode::toValidUtf8(bytes);
    return dropLeadingMetaCharset(std::move(text));
}

std::string decodeLatin1(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        unicode::appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string encodeLatin1(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length;
        const char32_t cp = unicode::decodeAt(utf8, i, &length);
        out += cp < 0x100 ? char(cp) : '?';
        i += length;
    }
    return out;
}

} // namespace lumeno::platform::linux_desktop::ClipboardText
