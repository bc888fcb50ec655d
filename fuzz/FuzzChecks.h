// What every fuzz target checks besides survival: a violated property prints
// one line saying which, with the offending line or value, and aborts, so
// that libFuzzer keeps the input as a crash artifact.
#pragma once

#include "CodeBlocks.h"
#include "ControlChars.h"
#include "Lines.h"
#include "Unicode.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace lumeno::fuzz {

// The text with every byte outside printable ASCII written as \xHH, cut at
// 200 bytes, for the failure message.
inline std::string printable(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text.substr(0, 200)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    if (text.size() > 200)
        out += "...";
    return out;
}

[[noreturn]] inline void fail(std::string_view what, std::string_view subject = {})
{
    std::fprintf(stderr, "\nPROPERTY FAILED: %.*s\n", int(what.size()), what.data());
    if (!subject.empty())
        std::fprintf(stderr, "  at: \"%s\"\n", printable(subject).c_str());
    std::fflush(stderr);
    std::abort();
}

inline void require(bool holds, std::string_view what, std::string_view subject = {})
{
    if (!holds)
        fail(what, subject);
}

// The same for a property of a named stage; the message is only put together
// when the property fails.
inline void require(bool holds, std::string_view stage, std::string_view what, std::string_view subject)
{
    if (!holds)
        fail(std::string(stage) + ": " + std::string(what), subject);
}

// Where the first C0 control other than tab and LF (CR, NUL and ESC among
// them) or DEL stands, or npos.
inline std::size_t findStrayControl(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b < 0x20 && b != '\t' && b != '\n') || b == 0x7F)
            return i;
    }
    return std::string_view::npos;
}

// The Line list contract: valid UTF-8, no LF in any line, and no CR or
// other C0 control but tab, except in placeholder lines when they are
// allowed.
inline void requireLineContract(const LineList& lines, std::string_view stage, bool placeholdersAllowed = false)
{
    for (const auto& line : lines) {
        require(line.find('\n') == std::string::npos, stage, "a line holds a line feed", line);
        require(unicode::isValidUtf8(line), stage, "a line is not valid UTF-8", line);
        if (placeholdersAllowed && CodeBlocks::isPlaceholderLine(line))
            continue;
        require(findStrayControl(line) == std::string_view::npos, stage, "a line holds a control character", line);
    }
}

// Runs a list stage on a copy of its input and checks what every stage
// keeps: the input list unchanged, and the Line list contract on the result.
template <typename Stage>
LineList runStage(std::string_view name, const LineList& input, Stage stage, bool placeholdersAllowed = false)
{
    const LineList copy = input;
    LineList out = stage(copy);
    require(copy == input, name, "the stage changed its input list", {});
    requireLineContract(out, name, placeholdersAllowed);
    return out;
}

// The lines' text without any white space or line break: what a stage that
// only joins, splits or trims lines must keep.
inline std::string withoutWhiteSpace(const LineList& lines)
{
    std::string out;
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size();) {
            std::size_t length;
            const char32_t cp = unicode::decodeAt(line, i, &length);
            if (!unicode::isWhiteSpace(cp) && !unicode::isIcuSpace(cp))
                out.append(line, i, length);
            i += length;
        }
    }
    return out;
}

// Every placeholder line of `before` is a line of its own in `after`, white
// space around it allowed.
inline void requirePlaceholdersKept(const LineList& before, const LineList& after, std::string_view stage)
{
    std::size_t k = 0;
    for (const auto& line : before) {
        if (!CodeBlocks::isPlaceholderLine(line))
            continue;
        while (k < after.size() && unicode::trim(after[k]) != line)
            ++k;
        require(k < after.size(), stage, "a placeholder line was changed or lost", line);
        ++k;
    }
}

// Whether the line ends in a character of ICU's "\s", which stripping
// trailing white space removes. (A line may still end in white space before
// a final U+0085, as ICU's "$" matches before a final line terminator too,
// but only when nothing followed that terminator.)
inline bool endsInIcuSpace(std::string_view line)
{
    if (line.empty())
        return false;
    std::size_t length;
    return unicode::isIcuSpace(unicode::decodeAt(line, unicode::previousCodePointStart(line, line.size()), &length));
}

// Lines as a stage receives them: the input after control-sequence stripping,
// split at every LF.
inline LineList strippedLines(const std::uint8_t* data, std::size_t size)
{
    return splitLines(ControlChars::strip(std::string(reinterpret_cast<const char*>(data), size)));
}

} // namespace lumeno::fuzz
