#include "CommandLine.h"

#include <unistd.h>

namespace lumeno::cli {

int fail(const std::string& message, int code)
{
    std::string line = "lumeno: " + message + "\n";
    writeAll(STDERR_FILENO, line);
    return code;
}

} // namespace lumeno::cli
