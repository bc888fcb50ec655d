// The transform command over a clipboard made from one input: the first byte
// says which flavours are present and whether em dashes are replaced, the
// rest is split at the first "\x01\x02" into the HTML and the text flavour.
// The road follows the semantic-HTML test, the clipboard is written exactly
// once with what the command reports (or not at all for an empty clipboard),
// and the line count matches the Markdown.
#include "FuzzChecks.h"
#include "MemoryPlatform.h"
#include "TransformCommand.h"

using namespace lumeno;
using namespace lumeno::TransformCommand;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = std::min(rest.find("\x01\x02"), rest.size());

    platform::memory::MemoryPasteboard pasteboard;
    if (flags & 1)
        pasteboard.html = std::string(rest.substr(0, split));
    if (flags & 2)
        pasteboard.text = std::string(rest.substr(std::min(split + 2, rest.size())));
    platform::memory::MemorySettingsStore settings;
    settings.values["replaceEmDash"] = (flags & 4) != 0;
    const auto html = pasteboard.html;
    const auto text = pasteboard.text;

    ClipboardManager clipboard(pasteboard);
    const std::optional<Result> result = run(clipboard, settings);
    const bool htmlRoad = html && ClipboardManager::hasSemanticHTML(*html);
    if (!result) {
        fuzz::require(!htmlRoad && !text, "transform: empty outcome with content on the clipboard");
        fuzz::require(pasteboard.writes == 0, "transform: the clipboard was written for an empty outcome");
        return 0;
    }
    fuzz::require((result->road == Road::HTML) == htmlRoad, "transform: the wrong road was taken");
    fuzz::require(pasteboard.writes == 1 && pasteboard.text == result->markdown && pasteboard.html == result->html,
                  "transform: the clipboard does not hold exactly the result");
    fuzz::require(unicode::isValidUtf8(result->markdown) && unicode::isValidUtf8(result->html),
                  "transform: a flavour is not valid UTF-8");
    fuzz::require(result->lineCount == countLines(result->markdown), "transform: the line count is wrong");
    if (flags & 4)
        fuzz::require(result->markdown.find("\xE2\x80\x94") == std::string::npos,
                      "transform: an em dash survived the option", result->markdown);
    return 0;
}
