#include "GlobalHotKey.h"
#include "MemoryKeyEventTap.h"
#include "MemoryPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <stdexcept>

using namespace lumeno;
using platform::KeyEventTap;
using platform::memory::MemoryKeyEventTap;
using platform::memory::MemoryLog;

namespace {

constexpr std::int64_t shift = ModifierFlags::shift;
constexpr std::int64_t control = ModifierFlags::control;
constexpr std::int64_t option = ModifierFlags::option;
constexpr std::int64_t command = ModifierFlags::command;
constexpr std::int64_t capsLock = 0x10000;
constexpr std::int64_t vKey = 9;
constexpr std::int64_t bKey = 11;

constexpr HotKeyConfiguration special(std::int64_t keyCode, std::int64_t modifiers)
{
    return {PasteShortcutMode::specialHotKey, keyCode, modifiers};
}
// Override mode ignores the stored key and modifiers; these would match B alone.
constexpr HotKeyConfiguration overrideMode{PasteShortcutMode::overridePasteCommand, bKey, 0};

bool contains(const std::vector<std::string>& lines, std::string_view line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(GlobalHotKeyDecision, MatchesTheFourModifiersExactly)
{
    const GlobalHotKey::Decision none{};
    const GlobalHotKey::Decision passOn{.runHandler = true};
    const GlobalHotKey::Decision replace{.runHandler = true, .postPaste = true, .swallow = true};
    const auto standard = HotKeyConfiguration::defaultConfiguration();
    struct Case {
        const char* name;
        HotKeyConfiguration configuration;
        std::int64_t keyCode;
        std::int64_t flags;
        GlobalHotKey::Decision expected;
    } cases[] = {
        {"default: Cmd+Shift+V", standard, vKey, command | shift, replace},
        {"default: Cmd+V alone", standard, vKey, command, none},
        {"default: Cmd+Shift+Option+V", standard, vKey, command | shift | option, none},
        {"default: Shift+V", standard, vKey, shift, none},
        {"default: Cmd+Shift+B", standard, bKey, command | shift, none},
        {"default: caps lock on", standard, vKey, command | shift | capsLock, replace},
        {"default: other flag bits", standard, vKey, command | shift | 0x800100, replace},
        {"stored mask with extra bits", special(vKey, command | shift | capsLock), vKey, command | shift, replace},
        {"V + command: Cmd+V passes on", special(vKey, command), vKey, command, passOn},
        {"V + command: Cmd+Shift+V", special(vKey, command), vKey, command | shift, none},
        {"bare V: V", special(vKey, 0), vKey, 0, replace},
        {"bare V: caps lock on", special(vKey, 0), vKey, capsLock, replace},
        {"bare V: Cmd+V", special(vKey, 0), vKey, command, none},
        {"B + command: Cmd+B", special(bKey, command), bKey, command, replace},
        {"B + command: Cmd+V", special(bKey, command), vKey, command, none},
        {"Control+Option+B", special(bKey, control | option), bKey, control | option, replace},
        {"override: Cmd+V", overrideMode, vKey, command, passOn},
        {"override: caps lock on", overrideMode, vKey, command | capsLock, passOn},
        {"override: Cmd+Shift+V", overrideMode, vKey, command | shift, none},
        {"override: Control+Cmd+V", overrideMode, vKey, command | control, none},
        {"override: Option+Cmd+V", overrideMode, vKey, command | option, none},
        {"override: V alone", overrideMode, vKey, 0, none},
        {"override: stored key B", overrideMode, bKey, 0, none},
    };
    for (const auto& c : cases) {
        const auto d = GlobalHotKey::decide(c.keyCode, c.flags, c.configuration);
        EXPECT_EQ(d, c.expected) << c.name << ": got run=" << d.runHandler << " paste=" << d.postPaste
                                 << " swallow=" << d.swallow;
    }
}

class GlobalHotKeyTest : public ::testing::Test {
protected:
    MemoryKeyEventTap tap;
    MemoryLog log;
    // Each handler run, and each action it returned, leave a mark among the
    // tap's calls so that the order of handler and paste shows.
    GlobalHotKey::Handler recordingHandler()
    {
        return [this](std::stop_token) { return [this] { tap.calls.emplace_back("handler"); }; };
    }
};

TEST_F(GlobalHotKeyTest, RegistrationReplacesTheEarlierOne)
{
    GlobalHotKey hotKey(tap, log);
    hotKey.registerHandler(recordingHandler(), special(vKey, command | shift | capsLock));
    EXPECT_EQ(tap.keys, (std::vector<platform::KeyCombination>{{vKey, command | shift}}));

    hotKey.registerHandler(recordingHandler(), overrideMode);
    EXPECT_EQ(tap.calls, (std::vector<std::string>{"install", "remove", "install"}));
    EXPECT_EQ(tap.keys, (std::vector<platform::KeyCombination>{{vKey, command}}));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"[Lumeno] Global hotkey registered (mode=specialHotKey)",
                                                   "[Lumeno] Global hotkey registered (mode=overridePasteCommand)"}));
    EXPECT_TRUE(hotKey.isRegistered());

    hotKey.unregister();
    EXPECT_FALSE(tap.installed);
    EXPECT_FALSE(hotKey.isRegistered());
}

TEST_F(GlobalHotKeyTest, FailedRegistrationAfterAGoodOneLeavesNone)
{
    GlobalHotKey hotKey(tap, log);
    hotKey.registerHandler(recordingHandler(), HotKeyConfiguration::defaultConfiguration());
    tap.failInstall = true;
    hotKey.registerHandler(recordingHandler(), HotKeyConfiguration::defaultConfiguration());

    EXPECT_EQ(tap.calls, (std::vector<std::string>{"install", "remove", "install"}));
    EXPECT_FALSE(tap.installed);
    EXPECT_FALSE(hotKey.isRegistered());
    EXPECT_EQ(log.lines.back(), "[Lumeno] ERROR: Failed to create event tap. Check accessibility permissions.");
    EXPECT_EQ(tap.press(vKey, command | shift), std::nullopt);
}

TEST_F(GlobalHotKeyTest, TriggerRunsTheHandlerBeforeThePasteAndOnEveryRepeat)
{
    GlobalHotKey hotKey(tap, log);
    hotKey.registerHandler(recordingHandler(), HotKeyConfiguration::defaultConfiguration());
    tap.calls.clear();

    EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::swallow);
    EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::swallow); // auto-repeat
    EXPECT_EQ(tap.press(vKey, command), KeyEventTap::Disposition::passOn);
    EXPECT_EQ(tap.calls, (std::vector<std::string>{"handler", "paste", "handler", "paste"}));
    EXPECT_EQ(log.lines.back(), "[Lumeno] Simulated Cmd+V paste");
}

TEST_F(GlobalHotKeyTest, OverrideModeRunsTheHandlerAndLetsThePasteThrough)
{
    GlobalHotKey hotKey(tap, log);
    hotKey.registerHandler(recordingHandler(), overrideMode);
    tap.calls.clear();

    EXPECT_EQ(tap.press(vKey, command), KeyEventTap::Disposition::passOn);
    EXPECT_EQ(tap.calls, std::vector<std::string>{"handler"});
}

TEST_F(GlobalHotKeyTest, WithoutHandlerTheTriggerStillPastes)
{
    GlobalHotKey hotKey(tap, log);
    hotKey.registerHandler(nullptr, HotKeyConfiguration::defaultConfiguration());
    tap.calls.clear();
    tap.failPaste = true;

    EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::swallow);
    EXPECT_EQ(tap.calls, std::vector<std::string>{"paste"});
    EXPECT_EQ(log.lines.back(), "[Lumeno] ERROR: Failed to create paste events");
}

TEST_F(GlobalHotKeyTest, FailingHandlerOrActionReleasesThePressUnchanged)
{
    GlobalHotKey hotKey(tap, log);
    for (const bool failInAction : {false, true}) {
        hotKey.registerHandler(
            [failInAction](std::stop_token) -> GlobalHotKey::Action {
                if (!failInAction)
                    throw std::runtime_error("no converter");
                return [] { throw std::runtime_error("no converter"); };
            },
            HotKeyConfiguration::defaultConfiguration());
        tap.calls.clear();

        EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::passOn);
        EXPECT_TRUE(tap.calls.empty()) << "no paste";
        EXPECT_EQ(log.lines.back(), "[Lumeno] ERROR: The transform failed (no converter); the key press was passed on unchanged");
    }
    // A later run is not affected.
    hotKey.registerHandler(recordingHandler(), HotKeyConfiguration::defaultConfiguration());
    EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::swallow);
}

TEST_F(GlobalHotKeyTest, OverrunningHandlerIsAbandonedAndItsActionNeverRuns)
{
    GlobalHotKey hotKey(tap, log, std::chrono::milliseconds(50));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto sawStop = std::make_shared<std::atomic<bool>>(false);
    auto actionRan = std::make_shared<std::atomic<bool>>(false);
    auto runs = std::make_shared<std::atomic<int>>(0);
    hotKey.registerHandler(
        [=](std::stop_token stop) -> GlobalHotKey::Action {
            if (++*runs == 1) {
                released.wait();
                *sawStop = stop.stop_requested();
            }
            return [=] { *actionRan = true; };
        },
        HotKeyConfiguration::defaultConfiguration());
    tap.calls.clear();

    EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::passOn);
    EXPECT_TRUE(tap.calls.empty()) << "no paste";
    EXPECT_EQ(log.lines.back(), "[Lumeno] ERROR: The transform took longer than 50 ms and was abandoned; "
                                "the clipboard is unchanged and the key press was passed on");

    // While the abandoned run goes on, no second one starts.
    EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::passOn);
    EXPECT_EQ(runs->load(), 1);
    EXPECT_TRUE(contains(log.lines, "[Lumeno] ERROR: The previous transform is still running; the key press was passed on unchanged"));

    release.set_value();
    for (int i = 0; i < 200 && !*sawStop; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(*sawStop);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(*actionRan);

    EXPECT_EQ(tap.press(vKey, command | shift), KeyEventTap::Disposition::swallow);
    EXPECT_TRUE(*actionRan);
}

TEST_F(GlobalHotKeyTest, SwitchedOffInterceptionIsEnabledAgain)
{
    GlobalHotKey hotKey(tap, log);
    hotKey.registerHandler(recordingHandler(), HotKeyConfiguration::defaultConfiguration());
    tap.switchOff();
    EXPECT_EQ(tap.calls.back(), "enable");
    EXPECT_EQ(log.lines.back(), "[Lumeno] Event tap re-enabled");
    EXPECT_TRUE(hotKey.isRegistered());

    tap.failEnable = true;
    tap.switchOff();
    EXPECT_EQ(log.lines.back(), "[Lumeno] ERROR: Failed to create event tap. Check accessibility permissions.");
    EXPECT_FALSE(hotKey.isRegistered());
    EXPECT_FALSE(tap.installed);
}

TEST_F(GlobalHotKeyTest, PasteNowPostsWithoutRegistration)
{
    GlobalHotKey hotKey(tap, log);
    hotKey.pasteNow();
    EXPECT_EQ(tap.calls, std::vector<std::string>{"paste"});
    EXPECT_EQ(log.lines, std::vector<std::string>{"[Lumeno] Simulated Cmd+V paste"});
}
