#include "TransformCommand.h"

#include "HTMLToMarkdown.h"
#include "MarkdownToHTML.h"
#include "TextTransformer.h"

namespace lumeno::TransformCommand {

namespace {

std::string replaceAll(std::string text, std::string_view what, std::string_view with)
{
    std::string out;
    std::size_t copied = 0;
    for (std::size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + what.size())) {
        out.append(text, copied, i - copied);
        out.append(with);
        copied = i + what.size();
    }
    if (copied == 0)
        return text;
    out.append(text, copied, std::string::npos);
    return out;
}

} // namespace

std::optional<Source> readSource(ClipboardManager& clipboard)
{
    if (auto html = clipboard.readHTML(); html && ClipboardManager::hasSemanticHTML(*html))
        return Source{Road::HTML, std::move(*html)};
    if (auto text = clipboard.readText())
        return Source{Road::text, std::move(*text)};
    return std::nullopt;
}

Result convert(const Source& source, bool replaceEmDash)
{
    std::string markdown =
        source.road == Road::HTML ? HTMLToMarkdown::convert(source.content) : TextTransformer::transform(source.content);
    if (replaceEmDash)
        markdown = replaceEmDashes(std::move(markdown));
    std::string html = MarkdownToHTML::textToHTML(markdown);
    const std::int64_t lines = countLines(markdown);
    return {source.road, std::move(markdown), std::move(html), lines};
}

std::optional<Source> readSourceReporting(ClipboardManager& clipboard, platform::Log* log)
{
    const auto report = [log](const char* line) {
        if (log)
            log->write(line);
    };
    report("[Lumeno] Transform triggered");
    std::optional<Source> source = readSource(clipboard);
    if (!source)
        report("[Lumeno] Clipboard empty");
    else if (source->road == Road::HTML)
        report("[Lumeno] HTML path \xE2\x80\x94 converting HTML to markdown");
    return source;
}

void writeReporting(ClipboardManager& clipboard, const Result& result, platform::Log* log)
{
    clipboard.write(result.markdown, result.html);
    if (log)
        log->write("[Lumeno] Transformed " + std::to_string(result.lineCount) + " lines ("
                   + (result.road == Road::HTML ? "HTML" : "text") + " path)");
}

std::optional<Result> run(ClipboardManager& clipboard, const platform::SettingsStore& settings, platform::Log* log)
{
    const std::optional<Source> source = readSourceReporting(clipboard, log);
    if (!source)
        return std::nullopt;
    Result result = convert(*source, settings.boolValue("replaceEmDash"));
    writeReporting(clipboard, result, log);
    return result;
}

std::string replaceEmDashes(std::string text)
{
    return replaceAll(replaceAll(std::move(text), " \xE2\x80\x94 ", ", "), "\xE2\x80\x94", ",");
}

std::int64_t countLines(std::string_view text)
{
    std::int64_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        const std::size_t length = (end == std::string_view::npos ? text.size() : end) - start;
        count += length > 0;
        if (end == std::string_view::npos)
            return count;
        start = end + 1;
    }
}

std::string statusText(const std::optional<Result>& result)
{
    if (!result)
        return "Clipboard empty";
    return "Transformed (" + std::to_string(result->lineCount) + " lines, "
           + (result->road == Road::HTML ? "HTML" : "text") + ")";
}

} // namespace lumeno::TransformCommand
