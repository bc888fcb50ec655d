// The interception end to end on a private Xvfb: XTEST plays the user's
// keyboard and a window of the test plays the focused application.
#include "GlobalHotKey.h"
#include "MemoryPlatform.h"
#include "X11KeyEventTap.h"
#include "x11/X11TestSupport.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <X11/keysym.h>

#include <algorithm>
#include <atomic>

using namespace lumeno;
using namespace std::chrono_literals;
using lumeno::platform::memory::MemoryLog;
using lumeno::platform::linux_desktop::X11KeyEventTap;
using lumeno::testing::TestClient;
using lumeno::testing::XvfbServer;

namespace {

constexpr std::uint16_t modifierBits = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
const std::vector<std::uint32_t> controlShiftV{XK_Control_L, XK_Shift_L, XK_v};
const std::vector<std::uint32_t> controlV{XK_Control_L, XK_v};

bool contains(const std::vector<std::string>& lines, std::string_view line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class X11KeyEventTapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!xvfb.start())
            GTEST_SKIP() << "Xvfb is not available";
        tap = std::make_unique<X11KeyEventTap>(log, xvfb.display());
        hotKey = std::make_unique<GlobalHotKey>(*tap, log);
        app = std::make_unique<TestClient>(xvfb.display());
        ASSERT_TRUE(app->isConnected());
    }

    void registerCounting(const HotKeyConfiguration& configuration)
    {
        hotKey->registerHandler(
            [this](std::stop_token) {
                ++runs;
                return GlobalHotKey::Action{};
            },
            configuration);
    }

    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 2s)
    {
        return lumeno::testing::pumpUntil(
            tap->fileDescriptor(), [this] { status = tap->processEvents(); }, *app, done, timeout);
    }
    // Long enough for anything that would still arrive to do so.
    void settle() { pumpUntil(nullptr, 100ms); }

    // Presses the keys, waits until the window sees a V press, then lets go.
    void typeUntilWindowSeesV(const std::vector<std::uint32_t>& keys)
    {
        const auto before = app->pressesOf(XK_v).size();
        app->press(keys);
        EXPECT_TRUE(pumpUntil([&] { return app->pressesOf(XK_v).size() > before; }));
        app->release(keys);
        settle();
    }

    XvfbServer xvfb;
    MemoryLog log;
    std::unique_ptr<X11KeyEventTap> tap;
    std::unique_ptr<GlobalHotKey> hotKey;
    std::unique_ptr<TestClient> app;
    std::atomic<int> runs{0};
    X11KeyEventTap::Status status = X11KeyEventTap::Status::ok;
};

} // namespace

TEST_F(X11KeyEventTapTest, TriggerReachesTheWindowAsControlVAloneWhateverTheLocks)
{
    registerCounting(HotKeyConfiguration::defaultConfiguration());
    ASSERT_TRUE(hotKey->isRegistered());
    ASSERT_TRUE(contains(log.lines, "[Lumeno] Global hotkey registered (mode=specialHotKey)"));

    struct Case {
        const char* name;
        std::vector<std::uint32_t> locks;
    } cases[] = {{"no lock", {}},
                 {"caps lock", {XK_Caps_Lock}},
                 {"num lock", {XK_Num_Lock}},
                 {"both locks", {XK_Caps_Lock, XK_Num_Lock}}};
    for (const auto& c : cases) {
        for (const auto lock : c.locks) {
            app->press(lock);
            app->release(lock);
        }
        app->clearEvents();
        runs = 0;

        typeUntilWindowSeesV(controlShiftV);

        const auto presses = app->pressesOf(XK_v);
        ASSERT_EQ(presses.size(), 1u) << c.name;
        EXPECT_EQ(presses[0].state & modifierBits, XCB_MOD_MASK_CONTROL) << c.name;
        EXPECT_EQ(runs, 1) << c.name;
        EXPECT_EQ(log.lines.back(), "[Lumeno] Simulated Cmd+V paste") << c.name;

        for (const auto lock : c.locks) {
            app->press(lock);
            app->release(lock);
        }
    }
}

TEST_F(X11KeyEventTapTest, HoldingTheTriggerRunsTheHandlerOnEveryRepeat)
{
    registerCounting(HotKeyConfiguration::defaultConfiguration());
    app->press(XK_Control_L);
    app->press(XK_Shift_L);
    for (int i = 1; i <= 3; ++i) {
        // A repeat is another press while the modifiers stay down.
        app->press(XK_v);
        EXPECT_TRUE(pumpUntil([&] { return app->pressesOf(XK_v).size() == std::size_t(i); }));
    }
    app->release(controlShiftV);
    settle();
    EXPECT_EQ(runs, 3);
    for (const auto& press : app->pressesOf(XK_v))
        EXPECT_EQ(press.state & modifierBits, XCB_MOD_MASK_CONTROL);
}

TEST_F(X11KeyEventTapTest, PlainControlVPassesUntouchedInTheDefaultMode)
{
    registerCounting(HotKeyConfiguration::defaultConfiguration());
    typeUntilWindowSeesV(controlV);
    ASSERT_EQ(app->pressesOf(XK_v).size(), 1u);
    EXPECT_EQ(app->pressesOf(XK_v)[0].state & modifierBits, XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(runs, 0);
}

TEST_F(X11KeyEventTapTest, OverrideModeTransformsThenLetsControlVThroughAndPasteNowDoesNotRetrigger)
{
    registerCounting({PasteShortcutMode::overridePasteCommand, 9, 0x120000});
    typeUntilWindowSeesV(controlV);
    ASSERT_EQ(app->pressesOf(XK_v).size(), 1u);
    EXPECT_EQ(app->pressesOf(XK_v)[0].state & modifierBits, XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(runs, 1);

    hotKey->pasteNow();
    EXPECT_TRUE(pumpUntil([&] { return app->pressesOf(XK_v).size() == 2; }));
    settle();
    EXPECT_EQ(app->pressesOf(XK_v).size(), 2u);
    EXPECT_EQ(app->pressesOf(XK_v)[1].state & modifierBits, XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(runs, 1) << "the synthetic paste was taken for a trigger";

    // The grab is back after the paste.
    typeUntilWindowSeesV(controlV);
    EXPECT_EQ(runs, 2);
}

TEST_F(X11KeyEventTapTest, OverrunningHandlerLetsTheTriggerThroughUnchanged)
{
    hotKey = std::make_unique<GlobalHotKey>(*tap, log, 100ms);
    hotKey->registerHandler(
        [](std::stop_token stop) {
            while (!stop.stop_requested())
                std::this_thread::sleep_for(1ms);
            return GlobalHotKey::Action{};
        },
        HotKeyConfiguration::defaultConfiguration());

    typeUntilWindowSeesV(controlShiftV);
    ASSERT_EQ(app->pressesOf(XK_v).size(), 1u);
    EXPECT_EQ(app->pressesOf(XK_v)[0].state & modifierBits, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
    EXPECT_FALSE(contains(log.lines, "[Lumeno] Simulated Cmd+V paste"));
}

TEST_F(X11KeyEventTapTest, CombinationHeldByAnotherClientFailsTheRegistration)
{
    ASSERT_TRUE(app->grab(XK_v, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT));
    registerCounting(HotKeyConfiguration::defaultConfiguration());

    EXPECT_FALSE(hotKey->isRegistered());
    EXPECT_TRUE(contains(log.lines, "[Lumeno] ERROR: Another program already uses Control+Shift+V as a shortcut; "
                                    "free it there or choose another shortcut."));
    EXPECT_EQ(log.lines.back(), "[Lumeno] ERROR: Failed to create event tap. Check accessibility permissions.");
    // The lock variants that had been grabbed before the refusal are free again.
    EXPECT_TRUE(app->canGrab(XK_v, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_LOCK));
}

TEST_F(X11KeyEventTapTest, ManyRegistrationsLeaveExactlyTheLastGrabSet)
{
    const HotKeyConfiguration controlShiftVConfig = HotKeyConfiguration::defaultConfiguration();
    const HotKeyConfiguration controlAltX{PasteShortcutMode::specialHotKey, 7,
                                          ModifierFlags::command | ModifierFlags::option};
    for (int i = 0; i < 100; ++i)
        registerCounting(i % 2 ? controlAltX : controlShiftVConfig);
    ASSERT_TRUE(hotKey->isRegistered());

    for (const std::uint16_t lock : {0, int(XCB_MOD_MASK_LOCK)}) {
        EXPECT_TRUE(app->canGrab(XK_v, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | lock));
        EXPECT_FALSE(app->canGrab(XK_x, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | lock));
    }
    app->press({XK_Control_L, XK_Alt_L, XK_x});
    EXPECT_TRUE(pumpUntil([&] { return runs == 1; }));
    app->release({XK_Control_L, XK_Alt_L, XK_x});
    settle();
    EXPECT_EQ(runs, 1);
}

TEST_F(X11KeyEventTapTest, KeyboardMappingChangeRearmsTheGrabs)
{
    registerCounting(HotKeyConfiguration::defaultConfiguration());
    app->changeKeyboardMapping();
    EXPECT_TRUE(pumpUntil([&] { return contains(log.lines, "[Lumeno] Event tap re-enabled"); }));
    typeUntilWindowSeesV(controlShiftV);
    EXPECT_EQ(runs, 1);
}

TEST_F(X11KeyEventTapTest, LostServerIsReported)
{
    registerCounting(HotKeyConfiguration::defaultConfiguration());
    xvfb.stop();
    EXPECT_TRUE(pumpUntil([&] { return status == X11KeyEventTap::Status::connectionLost; }));
}

TEST(X11KeyEventTap, WithoutADisplayNothingIsTrustedAndRegistrationFails)
{
    MemoryLog log;
    X11KeyEventTap tap(log, ":9999");
    GlobalHotKey hotKey(tap, log);
    EXPECT_FALSE(tap.isTrusted());
    hotKey.registerHandler(nullptr, HotKeyConfiguration::defaultConfiguration());
    EXPECT_FALSE(hotKey.isRegistered());
    EXPECT_EQ(log.lines, std::vector<std::string>{
                             "[Lumeno] ERROR: Failed to create event tap. Check accessibility permissions."});
    EXPECT_EQ(tap.fileDescriptor(), -1);
    EXPECT_EQ(tap.processEvents(), X11KeyEventTap::Status::ok);
}
