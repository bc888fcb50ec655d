// The floor for `lumeno html`: gumbo's parse of standard input and nothing
// else. Reads all of standard input, parses it as a document, frees the tree.
#include <gumbo.h>

#include <iostream>
#include <iterator>
#include <string>

int main()
{
    std::ios::sync_with_stdio(false);
    const std::string html{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return 0;
}
