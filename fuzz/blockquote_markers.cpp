// Stripping quote bars only ever takes a line's start off.
#include "FuzzChecks.h"
#include "Whitespace.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    const LineList out = fuzz::runStage("stripBlockquoteMarkers", in, [](const LineList& l) {
        return Whitespace::stripBlockquoteMarkers(l);
    });
    fuzz::require(out.size() == in.size(), "stripBlockquoteMarkers: the number of lines changed");
    for (std::size_t i = 0; i < in.size(); ++i)
        fuzz::require(std::string_view(in[i]).ends_with(out[i]),
                      "stripBlockquoteMarkers: a line is not a suffix of its input", in[i]);
    return 0;
}
