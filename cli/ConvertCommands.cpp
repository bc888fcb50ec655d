// lumeno transform: the transform command over flavours given on the command
// line. lumeno clipboard: the same on the live X11 clipboard, as the keyboard
// trigger runs it.
#include "ClipboardText.h"
#include "CommandLine.h"
#include "FileSettingsStore.h"
#include "MemoryPlatform.h"
#include "SystemLog.h"
#include "TransformCommand.h"
#include "Unicode.h"
#include "X11Pasteboard.h"

#include <fcntl.h>

namespace lumeno::cli {

namespace {

namespace desktop = lumeno::platform::linux_desktop;
using TransformCommand::Result;
using TransformCommand::Road;

enum class Output { markdown, html, json };

bool readPath(const std::string& path, std::string& out)
{
    if (path == "-")
        return readAll(STDIN_FILENO, out);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = readAll(fd, out);
    close(fd);
    return ok;
}

// JSON string syntax for UTF-8 text.
void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[(c >> 4) & 0xF];
                out += hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

std::string render(const std::optional<Result>& result, Output output)
{
    if (output == Output::json) {
        if (!result)
            return "{\"road\":\"empty\"}";
        std::string out = "{\"road\":";
        appendJsonString(out, result->road == Road::HTML ? "html" : "text");
        out += ",\"markdown\":";
        appendJsonString(out, result->markdown);
        out += ",\"html\":";
        appendJsonString(out, result->html);
        out += ",\"lines\":" + std::to_string(result->lineCount) + "}";
        return out;
    }
    if (!result)
        return {};
    return output == Output::html ? result->html : result->markdown;
}

} // namespace

int runTransform(int argc, char** argv)
{
    std::optional<std::string> textPath, htmlPath;
    bool forceEmDash = false;
    Output output = Output::markdown;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto operand = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::string message = "'";
                message.append(arg).append("' needs ").append(what);
                fail(message, 2);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--text" || arg == "--html") {
            const char* path = operand("a file name, or - for standard input");
            if (!path)
                return 2;
            (arg == "--text" ? textPath : htmlPath) = path;
        } else if (arg == "--replace-em-dash") {
            forceEmDash = true;
        } else if (arg == "--output") {
            const char* kind = operand("markdown, html or json");
            if (!kind)
                return 2;
            const std::string_view k = kind;
            if (k == "markdown")
                output = Output::markdown;
            else if (k == "html")
                output = Output::html;
            else if (k == "json")
                output = Output::json;
            else
                return fail("unknown output '" + std::string(k) + "': use markdown, html or json", 2);
        } else {
            return fail("unknown option '" + std::string(arg) + "' for 'transform' (see 'lumeno --help')", 2);
        }
    }
    if (!textPath && !htmlPath)
        textPath = "-";
    if (textPath == "-" && htmlPath == "-")
        return fail("only one of --text and --html can read standard input", 2);

    // The given flavours stand in for the clipboard.
    platform::memory::MemoryPasteboard flavours;
    if (htmlPath) {
        std::string bytes;
        if (!readPath(*htmlPath, bytes))
            return fail("cannot read '" + *htmlPath + "': " + std::strerror(errno), 1);
        flavours.html = desktop::ClipboardText::decodeHtml(bytes);
    }
    if (textPath) {
        std::string bytes;
        if (!readPath(*textPath, bytes))
            return fail("cannot read '" + *textPath + "': " + std::strerror(errno), 1);
        flavours.text = unicode::toValidUtf8(bytes);
    }

    ClipboardManager clipboard(flavours);
    platform::memory::MemorySettingsStore forced;
    forced.values["replaceEmDash"] = true;
    std::optional<Result> result;
    if (forceEmDash) {
        result = TransformCommand::run(clipboard, forced);
    } else {
        // Settings problems are reported by the store; the option then reads as off.
        desktop::SystemLog log;
        desktop::FileSettingsStore settings(desktop::FileSettingsStore::defaultDirectory(), log);
        result = TransformCommand::run(clipboard, settings);
    }
    if (!result && output != Output::json)
        fail("nothing to convert: the HTML holds no block structure and no text was given", 0);
    if (!writeAll(STDOUT_FILENO, render(result, output)))
        return fail(std::string("cannot write standard output: ") + std::strerror(errno), 1);
    return 0;
}

int runClipboard(int, char**)
{
    desktop::SystemLog log;
    std::unique_ptr<desktop::X11Pasteboard> pasteboard = desktop::X11Pasteboard::open(log);
    if (!pasteboard)
        return fail("cannot reach the X11 display; is DISPLAY set?", 1);
    desktop::FileSettingsStore settings(desktop::FileSettingsStore::defaultDirectory(), log);
    ClipboardManager clipboard(*pasteboard);
    const std::optional<Result> result = TransformCommand::run(clipboard, settings, &log);
    // An X11 selection lives as long as its owner: keep serving the result
    // until another application takes the clipboard over.
    if (result && pasteboard->ownsSelection())
        pasteboard->serveInBackground();
    return 0;
}

} // namespace lumeno::cli
