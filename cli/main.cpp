// lumeno: the command-line front of the conversions, and the launcher of the
// desktop parts. Links no GUI toolkit, so that it starts fast.
#include "HTMLToMarkdown.h"
#include "MarkdownToHTML.h"
#include "TextTransformer.h"
#include "Unicode.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Output goes to standard output exactly as converted, with no newline added.\n";

bool readAll(int fd, std::string& out)
{
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        out.reserve(static_cast<std::size_t>(info.st_size) + 1);
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

int fail(const std::string& message, int code)
{
    std::string line = "lumeno: " + message + "\n";
    writeAll(STDERR_FILENO, line);
    return code;
}

// Reads standard input, decodes it as UTF-8 (U+FFFD for ill-formed bytes),
// converts it and writes the result.
template <typename Convert>
int runFilter(Convert convert)
{
    std::string input;
    if (!readAll(STDIN_FILENO, input))
        return fail(std::string("cannot read standard input: ") + std::strerror(errno), 1);
    if (!lumeno::unicode::isValidUtf8(input))
        input = lumeno::unicode::toValidUtf8(input);
    const std::string output = convert(input);
    if (!writeAll(STDOUT_FILENO, output))
        return fail(std::string("cannot write standard output: ") + std::strerror(errno), 1);
    return 0;
}

int noArguments(std::string_view command, int argc, char** argv)
{
    if (argc > 2)
        return fail("'" + std::string(command) + "' takes no argument: '" + argv[2] + "' (see 'lumeno --help')", 2);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2)
        return fail("no command given (see 'lumeno --help')", 2);
    const std::string_view command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        return writeAll(STDOUT_FILENO, usage) ? 0 : 1;
    }
    if (command == "-V" || command == "--version") {
        return writeAll(STDOUT_FILENO, "lumeno " LUMENO_VERSION "\n") ? 0 : 1;
    }
    if (command == "text") {
        if (const int code = noArguments(command, argc, argv))
            return code;
        return runFilter([](const std::string& in) { return lumeno::TextTransformer::transform(in); });
    }
    if (command == "html") {
        if (const int code = noArguments(command, argc, argv))
            return code;
        return runFilter([](const std::string& in) { return lumeno::HTMLToMarkdown::convert(in); });
    }
    if (command == "render") {
        if (const int code = noArguments(command, argc, argv))
            return code;
        return runFilter([](const std::string& in) { return lumeno::MarkdownToHTML::textToHTML(in); });
    }
    if (!command.empty() && command.front() == '-')
        return fail("unknown option '" + std::string(command) + "' (see 'lumeno --help')", 2);
    return fail("unknown command '" + std::string(command) + "' (see 'lumeno --help')", 2);
}
