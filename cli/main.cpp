// lumeno: the command-line front of the conversions, and the launcher of the
// desktop parts. Links no GUI toolkit, so that it starts fast.
#include "CommandLine.h"
#include "HTMLToMarkdown.h"
#include "MarkdownToHTML.h"
#include "TextTransformer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <malloc.h>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace lumeno::cli;

namespace {

constexpr std::string_view usage =
    "Usage: lumeno <command> [options]\n"
    "\n"
    "Turns terminal output and web HTML into clean Markdown.\n"
    "\n"
    "Commands:\n"
    "  text        clean terminal text from standard input into Markdown\n"
    "  html        convert web HTML from standard input into Markdown\n"
    "  render      render Markdown from standard input as an HTML fragment\n"
    "  transform   [--text FILE] [--html FILE] [--replace-em-dash]\n"
    "              [--output markdown|html|json]\n"
    "              the whole transform over the given clipboard flavours (- is\n"
    "              standard input; with neither, standard input is the text)\n"
    "  clipboard   transform the X11 clipboard once, as the shortcut does, and\n"
    "              keep serving the result until another program takes it over\n"
    "  daemon      watch for the shortcut (Control+Shift+V, or every Control+V\n"
    "              in override mode) and transform the clipboard before each\n"
    "              paste, until interrupted\n"
    "  settings    list | get KEY | set KEY VALUE | delete KEY\n"
    "              show or change a setting; VALUE true or false is a boolean,\n"
    "              a decimal integer an integer, anything else a string\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Output goes to standard output exactly as converted, with no newline added.\n"
    "\n"
    "Settings live in $XDG_CONFIG_HOME/lumeno/settings (~/.config/lumeno/settings):\n"
    "  shortcutMode            string: specialHotKey or overridePasteCommand\n"
    "  shortcutKeyCode         integer: key code of the shortcut (9 is V)\n"
    "  shortcutModifiers       integer: modifier mask of the shortcut\n"
    "  replaceEmDash           boolean: turn em dashes into commas\n"
    "  hasCompletedOnboarding  boolean: the first-run guide was finished\n";

// The commands that read no arguments after their name.
constexpr std::string_view argumentless[] = {"text", "html", "render", "clipboard", "daemon"};

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // A conversion allocates and frees a few text-sized buffers in turn; keep
    // them on the heap for reuse instead of mapping fresh pages each time.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    if (argc < 2)
        return fail("no command given (see 'lumeno --help')", 2);
    const std::string_view command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        return writeAll(STDOUT_FILENO, usage) ? 0 : 1;
    }
    if (command == "-V" || command == "--version") {
        return writeAll(STDOUT_FILENO, "lumeno " LUMENO_VERSION "\n") ? 0 : 1;
    }
    if (argc > 2 && std::ranges::find(argumentless, command) != std::end(argumentless))
        return fail("'" + std::string(command) + "' takes no argument: '" + argv[2] + "' (see 'lumeno --help')", 2);
    if (command == "transform")
        return runTransform(argc, argv);
    if (command == "clipboard")
        return runClipboard(argc, argv);
    if (command == "daemon")
        return runDaemon(argc, argv);
    if (command == "settings")
        return runSettings(argc, argv);
    if (command == "text")
        return runFilter([](std::string in) { return lumeno::TextTransformer::transform(std::move(in)); });
    if (command == "html")
        return runFilter([](const std::string& in) { return lumeno::HTMLToMarkdown::convert(in); });
    if (command == "render")
        return runFilter([](const std::string& in) { return lumeno::MarkdownToHTML::textToHTML(in); });
    if (!command.empty() && command.front() == '-')
        return fail("unknown option '" + std::string(command) + "' (see 'lumeno --help')", 2);
    return fail("unknown command '" + std::string(command) + "' (see 'lumeno --help')", 2);
}
