#include "MemoryPlatform.h"
#include "TransformCommand.h"

#include <gtest/gtest.h>

using namespace lumeno;
using namespace lumeno::TransformCommand;
using lumeno::platform::Flavor;
using namespace lumeno::platform::memory;

namespace {
struct Fixture {
    MemoryPasteboard pasteboard;
    MemorySettingsStore settings;
    MemoryLog log;
    ClipboardManager clipboard{pasteboard};

    std::optional<Result> run() { return TransformCommand::run(clipboard, settings, &log); }
};
} // namespace

TEST(TransformCommand, ChoosesTheRoad)
{
    {
        Fixture f; // semantic HTML and no text: the HTML road, the text never read
        f.pasteboard.html = "<h2>Title</h2><ul><li>a</li></ul>";
        const auto result = f.run();
        ASSERT_TRUE(result);
        EXPECT_EQ(result->road, Road::HTML);
        EXPECT_EQ(f.pasteboard.reads, std::vector<Flavor>{Flavor::HTML});
        EXPECT_EQ(f.pasteboard.text, "## Title\n\n- a");
        EXPECT_EQ(f.log.lines, (std::vector<std::string>{"[Lumeno] Transform triggered",
                                                         "[Lumeno] HTML path \xE2\x80\x94 converting HTML to markdown",
                                                         "[Lumeno] Transformed 2 lines (HTML path)"}));
    }
    {
        Fixture f; // HTML without block structure is dropped for the text
        f.pasteboard.html = "<span>x</span>";
        f.pasteboard.text = "\x1B[1mbold\x1B[0m";
        const auto result = f.run();
        ASSERT_TRUE(result);
        EXPECT_EQ(result->road, Road::text);
        EXPECT_EQ(f.pasteboard.text, "bold");
        EXPECT_EQ(f.pasteboard.html, "<p>bold</p>\n");
        EXPECT_EQ(f.log.lines.back(), "[Lumeno] Transformed 1 lines (text path)");
    }
    {
        Fixture f; // nothing usable: nothing written
        f.pasteboard.html = "<b>x</b>";
        EXPECT_FALSE(f.run());
        EXPECT_EQ(f.pasteboard.writes, 0);
        EXPECT_EQ(f.log.lines, (std::vector<std::string>{"[Lumeno] Transform triggered", "[Lumeno] Clipboard empty"}));
        EXPECT_EQ(statusText(std::nullopt), "Clipboard empty");
    }
    {
        Fixture f; // present but empty text still goes the text road
        f.pasteboard.text = "";
        const auto result = f.run();
        ASSERT_TRUE(result);
        EXPECT_EQ(f.pasteboard.writes, 1);
        EXPECT_EQ(f.log.lines.back(), "[Lumeno] Transformed 0 lines (text path)");
        EXPECT_EQ(statusText(result), "Transformed (0 lines, text)");
    }
}

TEST(TransformCommand, EmDashOptionAppliesToBothFlavours)
{
    Fixture f;
    f.pasteboard.text = "x \xE2\x80\x94 y\xE2\x80\x94z";
    f.run();
    EXPECT_EQ(f.pasteboard.text, "x \xE2\x80\x94 y\xE2\x80\x94z"); // off when absent
    f.settings.values["replaceEmDash"] = true;
    f.pasteboard.text = "x \xE2\x80\x94 y\xE2\x80\x94z";
    f.run();
    EXPECT_EQ(f.pasteboard.text, "x, y,z");
    EXPECT_EQ(f.pasteboard.html, "<p>x, y,z</p>\n");
    EXPECT_EQ(replaceEmDashes("a \xE2\x80\x94" "b \xE2\x80\x93 c"), "a ,b \xE2\x80\x93 c");
}

TEST(TransformCommand, CountsNonEmptyLines)
{
    EXPECT_EQ(countLines("a\n\nb\n"), 2);
    EXPECT_EQ(countLines("  \n"), 1);
    EXPECT_EQ(countLines(""), 0);
    EXPECT_EQ(countLines("\r"), 1);
}
