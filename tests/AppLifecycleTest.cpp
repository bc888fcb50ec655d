#include "AppLifecycle.h"
#include "MemoryKeyEventTap.h"
#include "MemoryPlatform.h"

#include <gtest/gtest.h>

#include <thread>

using namespace lumeno;
using namespace lumeno::platform::memory;
using Disposition = lumeno::platform::KeyEventTap::Disposition;

namespace {
constexpr std::int64_t commandShift = ModifierFlags::command | ModifierFlags::shift;

struct App {
    MemorySettingsStore settings;
    MemoryLog log;
    MemoryKeyEventTap tap;
    MemoryPasteboard pasteboard;
    ClipboardManager clipboard{pasteboard};
    GlobalHotKey hotKey{tap, log, std::chrono::milliseconds(300)};
    AppLifecycle app{settings, log, hotKey, clipboard, [this] { return tap.trusted; }};
};
} // namespace

TEST(AppLifecycle, LaunchWithoutTrustPollsUntilGranted)
{
    App a;
    a.tap.trusted = false;
    a.app.start();
    EXPECT_EQ(a.log.lines, (std::vector<std::string>{
                               "[Lumeno] App launched",
                               "[Lumeno] Accessibility trusted: false",
                               "[Lumeno] Waiting for accessibility grant...",
                               "[Lumeno] Registering hotkey mode=specialHotKey",
                               "[Lumeno] ERROR: Failed to create event tap. Check accessibility permissions.",
                           }));
    a.app.pollTrust();
    EXPECT_TRUE(a.app.isWaitingForTrust());
    a.tap.trusted = true;
    a.log.lines.clear();
    a.app.pollTrust();
    EXPECT_FALSE(a.app.isWaitingForTrust());
    EXPECT_EQ(a.log.lines, (std::vector<std::string>{
                               "[Lumeno] Accessibility granted \xE2\x80\x94 registering hotkey",
                               "[Lumeno] Registering hotkey mode=specialHotKey",
                               "[Lumeno] Global hotkey registered (mode=specialHotKey)",
                           }));
    a.app.pollTrust(); // no more registrations once granted
    EXPECT_EQ(a.log.lines.size(), 3u);
}

TEST(AppLifecycle, EverySettingsChangeRegistersAgain)
{
    App a;
    a.app.start();
    EXPECT_FALSE(a.app.isWaitingForTrust());
    a.settings.setValue("shortcutMode", std::string("overridePasteCommand"));
    EXPECT_EQ(a.log.lines.back(), "[Lumeno] Global hotkey registered (mode=overridePasteCommand)");
    ASSERT_EQ(a.tap.keys.size(), 1u);
    EXPECT_EQ(a.tap.keys[0].keyCode, 9);
    EXPECT_EQ(a.tap.keys[0].modifiers, ModifierFlags::command);
    a.settings.setValue("replaceEmDash", true); // any key re-registers
    EXPECT_EQ(a.log.lines.back(), "[Lumeno] Global hotkey registered (mode=overridePasteCommand)");
    EXPECT_TRUE(a.tap.installed);
}

TEST(AppLifecycle, TriggerTransformsThenPastes)
{
    App a;
    a.app.start();
    a.pasteboard.text = "\x1B[1mbold\x1B[0m";
    a.log.lines.clear();
    EXPECT_EQ(a.tap.press(9, commandShift), Disposition::swallow);
    EXPECT_EQ(a.pasteboard.text, "bold");
    EXPECT_EQ(a.log.lines, (std::vector<std::string>{"[Lumeno] Transform triggered",
                                                     "[Lumeno] Transformed 1 lines (text path)",
                                                     "[Lumeno] Simulated Cmd+V paste"}));
    // An empty clipboard still pastes what is there, and writes nothing.
    a.pasteboard.text.reset();
    const int writes = a.pasteboard.writes;
    EXPECT_EQ(a.tap.press(9, commandShift), Disposition::swallow);
    EXPECT_EQ(a.pasteboard.writes, writes);
    EXPECT_EQ(a.tap.calls.back(), "paste");
}
