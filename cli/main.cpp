// lumeno: the command-line front of the conversions, and the launcher of the
// desktop parts. Links no GUI toolkit, so that it starts fast.
#include "TextTransformer.h"
#include "Unicode.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <algorithm>
#include <malloc.h>
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
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Output goes to standard output exactly as converted, with no newline added.\n";

bool readAll(int fd, std::string& out)
{
    // A regular file is read into one buffer of its size.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        out.resize(static_cast<std::size_t>(st.st_size) + (1 << 16));
    std::size_t used = 0;
    while (true) {
        if (out.size() - used < (1 << 16))
            out.resize(std::max<std::size_t>(out.size() * 2, used + (1 << 16)));
        const ssize_t n = read(fd, out.data() + used, out.size() - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
        } else if (n == 0) {
            out.resize(used);
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

// Reads standard input, converts it and writes the result. Each conversion
// reads its input as UTF-8, with U+FFFD for ill-formed bytes.
template <typename Convert>
int runFilter(Convert convert)
{
    std::string input;
    if (!readAll(STDIN_FILENO, input))
        return fail(std::string("cannot read standard input: ") + std::strerror(errno), 1);
    const std::string output = convert(std::move(input));
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
    if (command == "text") {
        if (const int code = noArguments(command, argc, argv))
            return code;
        return runFilter([](std::string in) { return lumeno::TextTransformer::transform(std::move(in)); });
    }
    if (!command.empty() && command.front() == '-')
        return fail("unknown option '" + std::string(command) + "' (see 'lumeno --help')", 2);
    return fail("unknown command '" + std::string(command) + "' (see 'lumeno --help')", 2);
}
