#include "TextTransformer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

using lumeno::TextTransformer::transform;

namespace {
std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
} // namespace

TEST(TextTransformer, Basics)
{
    EXPECT_EQ(transform(""), "");
    EXPECT_EQ(transform(" \t\n\n \r\n"), "");
    EXPECT_EQ(transform("one\r\ntwo\r\n\r\nThree\r\n"), transform("one\ntwo\n\nThree\n"));
    EXPECT_EQ(transform("one\rtwo"), "one two"); // the CR became a break, then the lines joined
    EXPECT_EQ(transform("\n\n\nplain words here  \n\n\n"), "plain words here");
    EXPECT_EQ(transform("a\n\n\n\nb"), "a\n\nb");
}

TEST(TextTransformer, OutputHoldsNoCrNulOrEsc)
{
    std::mt19937 rng(11);
    const std::string alphabet[] = {"\r", "\n", std::string(1, '\0'), "\x1B", "\x1B[", "\x1B]", "\x07", "a", " ",
                                    "1  ", "Bash(x)", "\xE2\x8F\xBA", "\xE2\x94\x82", "\xFF", "\xCC\x81", "Name: "};
    for (int round = 0; round < 500; ++round) {
        std::string in;
        for (int k = 0; k < 40; ++k)
            in += alphabet[rng() % std::size(alphabet)];
        const std::string out = transform(in);
        ASSERT_EQ(out.find_first_of(std::string("\r\x1B\0", 3)), std::string::npos) << round;
    }
}

TEST(TextTransformer, RunsOfEmptyLinesActAsOne)
{
    std::mt19937 rng(5);
    const std::string alphabet[] = {"\n", "\n\n", "a", "B", " ", "  ", "1  x", "- i", "Bash(x)", "\xE2\x8E\xBF r",
                                    "\xE2\x94\x82", "```", "Name: ", "... 3 lines", ".", std::string(70, 'w')};
    for (int round = 0; round < 2000; ++round) {
        std::string in;
        for (int k = 0; k < 30; ++k)
            in += alphabet[rng() % std::size(alphabet)];
        // Lengthen every run of empty lines that is already there.
        std::string wider;
        for (std::size_t i = 0; i < in.size(); ++i) {
            wider += in[i];
            if (in[i] == '\n' && i + 1 < in.size() && in[i + 1] == '\n' && (i == 0 || in[i - 1] != '\n'))
                wider += "\n\n";
        }
        ASSERT_EQ(transform(in), transform(wider)) << round;
    }
}

// Each fixture pairs a capture (NAME.txt) with the Markdown expected of it (NAME.md).
TEST(TextTransformer, Fixtures)
{
    const std::filesystem::path dir = std::filesystem::path(LUMENO_FIXTURES) / "text";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".txt")
            continue;
        auto expected = entry.path();
        expected.replace_extension(".md");
        EXPECT_EQ(transform(readFile(entry.path())), readFile(expected)) << entry.path().filename();
        ++count;
    }
    EXPECT_GT(count, 0);
}
