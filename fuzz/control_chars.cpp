// The first stage on the whole text: what comes out holds no control
// character but tab and LF, no U+FFFD, and is valid UTF-8 whatever came in.
#include "FuzzChecks.h"

using namespace lumeno;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string in(reinterpret_cast<const char*>(data), size);
    std::string copy = in;
    const std::string out = ControlChars::strip(copy);
    fuzz::require(copy == in, "strip: changed its input");
    fuzz::require(unicode::isValidUtf8(out), "strip: the output is not valid UTF-8", out);
    const std::size_t control = fuzz::findStrayControl(out);
    if (control != std::string::npos)
        fuzz::fail("strip: the output holds a CR or another control character",
                   std::string_view(out).substr(control >= 40 ? control - 40 : 0, 80));
    fuzz::require(out.find("\xEF\xBF\xBD") == std::string::npos, "strip: a U+FFFD survived", out);
    return 0;
}
