// Block separation only inserts empty lines.
#include "FuzzChecks.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    const LineList out = fuzz::runStage("ensureBlockSeparators", in, [](const LineList& l) {
        return CodeBlocks::ensureBlockSeparators(l);
    });
    std::size_t k = 0;
    for (const auto& line : out) {
        if (k < in.size() && line == in[k])
            ++k;
        else
            fuzz::require(line.empty(), "ensureBlockSeparators: inserted a line that is not empty", line);
    }
    fuzz::require(k == in.size(), "ensureBlockSeparators: lost or changed a line");
    return 0;
}
