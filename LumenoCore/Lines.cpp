#include "Lines.h"

#include <algorithm>
#include <cstring>

namespace lumeno {

LineList splitLines(std::string_view text)
{
    LineList lines;
    lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::size_t start = 0;
    while (true) {
        const void* hit = std::memchr(text.data() + start, '\n', text.size() - start);
        if (!hit) {
            lines.emplace_back(text.substr(start));
            return lines;
        }
        const std::size_t end = static_cast<const char*>(hit) - text.data();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string joinLines(const LineList& lines)
{
    std::size_t size = lines.empty() ? 0 : lines.size() - 1;
    for (const auto& line : lines)
        size += line.size();
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += '\n';
        text += lines[i];
    }
    return text;
}

} // namespace lumeno
