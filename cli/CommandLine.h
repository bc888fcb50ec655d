// Shared plumbing of the lumeno subcommands: whole-stream reads and writes,
// and the one-line error convention.
#pragma once

#include "FileDescriptors.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>

namespace lumeno::cli {

using platform::linux_desktop::readAll;
using platform::linux_desktop::writeAll;

// Prints "lumeno: MESSAGE" on standard error and returns code.
int fail(const std::string& message, int code);

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

// The subcommands; each takes the arguments after its name.
int runSettings(int argc, char** argv);
int runTransform(int argc, char** argv);
int runClipboard(int argc, char** argv);
int runDaemon(int argc, char** argv);

} // namespace lumeno::cli
