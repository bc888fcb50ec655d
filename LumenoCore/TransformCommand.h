// The transform command: read the clipboard, turn it into Markdown by the
// HTML road or the text road, render that Markdown to HTML, and write both
// flavours back. Shared by the keyboard trigger and the menu.
#pragma once

#include "Clipboard.h"
#include "Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumeno::TransformCommand {

enum class Road { HTML, text };

// What the clipboard gave and which road it takes.
struct Source {
    Road road;
    std::string content; // the HTML flavour on the HTML road, the plain text on the text road
};

// What gets written back.
struct Result {
    Road road;
    std::string markdown;    // the plain-text flavour
    std::string html;        // the HTML flavour, rendered from the Markdown
    std::int64_t lineCount;  // non-empty lines of the Markdown
};

// Reads the HTML flavour and, unless it carries block structure, the plain
// text; nothing when neither gives content (the clipboard counts as empty).
std::optional<Source> readSource(ClipboardManager& clipboard);
// Converts by the source's road, applies the em-dash option, renders and
// counts. Pure.
Result convert(const Source& source, bool replaceEmDash);
// readSource, convert with the option from the settings, write. Nothing is
// written for an empty clipboard. With a log, writes the keyboard trigger's
// report lines around the work.
std::optional<Result> run(ClipboardManager& clipboard, const platform::SettingsStore& settings,
                          platform::Log* log = nullptr);

// run in its two halves, for a caller that converts elsewhere: readSource
// with the report lines before the conversion, and the write with the line
// after it.
std::optional<Source> readSourceReporting(ClipboardManager& clipboard, platform::Log* log);
void writeReporting(ClipboardManager& clipboard, const Result& result, platform::Log* log);

// " — " becomes ", ", then any other "—" becomes ",".
std::string replaceEmDashes(std::string text);
// Pieces between "\n" that are not empty.
std::int64_t countLines(std::string_view text);
// The menu's status line for an outcome.
std::string statusText(const std::optional<Result>& result);

} // namespace lumeno::TransformCommand
