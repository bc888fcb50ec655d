// The width estimate is 80 or at least 40, and leaves its list alone.
#include "FuzzChecks.h"
#include "TerminalWidth.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    const LineList copy = in;
    const std::int64_t width = TerminalWidth::detect(copy);
    fuzz::require(copy == in, "detect: changed its input list");
    fuzz::require(width == 80 || width >= 40, "detect: a width below 40 other than the default 80");
    return 0;
}
