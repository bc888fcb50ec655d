// The last stage: no trailing white space, no run of empty lines, no empty
// line at either end, and no text but white space lost.
#include "FuzzChecks.h"
#include "Whitespace.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    const LineList out = fuzz::runStage("normalizeWhitespace", in, [](const LineList& l) {
        return Whitespace::normalizeWhitespace(l);
    });
    for (std::size_t i = 0; i < out.size(); ++i) {
        fuzz::require(!fuzz::endsInIcuSpace(out[i]),
                      "normalizeWhitespace: a line keeps trailing white space", out[i]);
        fuzz::require(!out[i].empty() || (i > 0 && i + 1 < out.size() && !out[i - 1].empty()),
                      "normalizeWhitespace: an empty line at an end or after another");
    }
    fuzz::require(fuzz::withoutWhiteSpace(out) == fuzz::withoutWhiteSpace(in),
                  "normalizeWhitespace: text other than white space was lost");
    return 0;
}
