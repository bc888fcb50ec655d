// Merged-field splitting only splits lines: no text but white space is
// added or lost, and placeholder lines come through as lines of their own.
#include "FuzzChecks.h"
#include "TerminalWidth.h"
#include "TextTransformer.h"

using namespace lumeno;

namespace {
void split(const LineList& in, bool placeholders)
{
    const LineList out = fuzz::runStage("splitMergedFields", in, [](const LineList& l) {
        return TextTransformer::splitMergedFields(l);
    }, placeholders);
    fuzz::require(out.size() >= in.size(), "splitMergedFields: fewer lines came out than went in");
    fuzz::require(fuzz::withoutWhiteSpace(out) == fuzz::withoutWhiteSpace(in),
                  "splitMergedFields: text other than white space was added or lost");
    fuzz::requirePlaceholdersKept(in, out, "splitMergedFields");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    split(in, false);
    split(CodeBlocks::extractCodeBlocks(in, TerminalWidth::detect(in)).first, true);
    return 0;
}
