// Removing the common indentation only ever takes leading spaces and tabs off
// a line; it never adds, drops or reorders lines.
#include "FuzzChecks.h"
#include "Whitespace.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const LineList in = fuzz::strippedLines(data, size);
    const LineList out = fuzz::runStage("cleanLeadingWhitespace", in, [](const LineList& l) {
        return Whitespace::cleanLeadingWhitespace(l);
    });
    fuzz::require(out.size() == in.size(), "cleanLeadingWhitespace: the number of lines changed");
    for (std::size_t i = 0; i < in.size(); ++i) {
        const std::string_view before = in[i];
        fuzz::require(before.ends_with(out[i]), "cleanLeadingWhitespace: a line is not a suffix of its input", in[i]);
        const std::string_view removed = before.substr(0, before.size() - out[i].size());
        fuzz::require(removed.find_first_not_of(" \t") == std::string_view::npos,
                      "cleanLeadingWhitespace: removed more than spaces and tabs", in[i]);
    }
    return 0;
}
