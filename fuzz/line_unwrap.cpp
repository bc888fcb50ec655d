// Hard-wrap joining only joins lines: no text but white space is added or
// lost, and placeholder lines come through as lines of their own, both on
// plain lines and on the list with placeholders it gets in the pipeline.
#include "FuzzChecks.h"
#include "LineUnwrap.h"
#include "TerminalWidth.h"

using namespace lumeno;

namespace {
void unwrap(const LineList& in, std::int64_t width, bool placeholders)
{
    const LineList out = fuzz::runStage("unwrapLines", in, [width](const LineList& l) {
        return LineUnwrap::unwrapLines(l, width);
    }, placeholders);
    fuzz::require(out.size() <= in.size(), "unwrapLines: more lines came out than went in");
    fuzz::require(fuzz::withoutWhiteSpace(out) == fuzz::withoutWhiteSpace(in),
                  "unwrapLines: text other than white space was added or lost");
    fuzz::requirePlaceholdersKept(in, out, "unwrapLines");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    const std::int64_t width = TerminalWidth::detect(in);
    unwrap(in, width, false);
    unwrap(CodeBlocks::extractCodeBlocks(in, width).first, width, true);
    return 0;
}
