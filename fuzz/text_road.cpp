// The whole text road: whatever the clipboard holds, the result is valid
// UTF-8 without CR, NUL, ESC or any other control character but tab and LF,
// and white space is normalised: no trailing white space on a line, no empty
// line at either end and never two in a row.
#include "FuzzChecks.h"
#include "TextTransformer.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string out = TextTransformer::transform(std::string(reinterpret_cast<const char*>(data), size));
    fuzz::require(unicode::isValidUtf8(out), "transform: the output is not valid UTF-8", out);
    const std::size_t control = fuzz::findStrayControl(out);
    if (control != std::string::npos)
        fuzz::fail("transform: the output holds a CR, NUL, ESC or other control character",
                   std::string_view(out).substr(control >= 40 ? control - 40 : 0, 80));
    const LineList lines = splitLines(out);
    for (std::size_t i = 0; i < lines.size() && !out.empty(); ++i) {
        fuzz::require(!fuzz::endsInIcuSpace(lines[i]),
                      "transform: a line keeps trailing white space", lines[i]);
        fuzz::require(!lines[i].empty() || (i > 0 && i + 1 < lines.size() && !lines[i - 1].empty()),
                      "transform: an empty line at an end or after another");
    }
    return 0;
}
