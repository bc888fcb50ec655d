#include "HotKeySettings.h"
#include "MemoryPlatform.h"

#include <gtest/gtest.h>

using namespace lumeno;
using lumeno::platform::memory::MemorySettingsStore;

TEST(HotKeySettings, LoadsEachFieldWithItsOwnFallback)
{
    const auto def = HotKeyConfiguration::defaultConfiguration();
    struct Case {
        const char* name;
        std::map<std::string, platform::SettingValue, std::less<>> values;
        HotKeyConfiguration expected;
    } cases[] = {
        {"empty store", {}, def},
        {"override mode keeps key and modifiers", {{"shortcutMode", std::string("overridePasteCommand")}, {"shortcutKeyCode", std::int64_t(11)}},
         {PasteShortcutMode::overridePasteCommand, 11, 0x120000}},
        {"capitalised mode", {{"shortcutMode", std::string("OverridePasteCommand")}}, def},
        {"leading space", {{"shortcutMode", std::string(" overridePasteCommand")}}, def},
        {"mode of the wrong type", {{"shortcutMode", true}}, def},
        {"key code as integer", {{"shortcutKeyCode", std::int64_t(11)}}, {PasteShortcutMode::specialHotKey, 11, 0x120000}},
        {"key code as text", {{"shortcutKeyCode", std::string("11")}}, def},
        {"command-only modifiers", {{"shortcutModifiers", std::int64_t(0x100000)}}, {PasteShortcutMode::specialHotKey, 9, 0x100000}},
        {"modifiers as text", {{"shortcutModifiers", std::string("1048576")}}, def},
        {"modifiers as boolean", {{"shortcutModifiers", true}}, def},
    };
    for (const auto& c : cases) {
        MemorySettingsStore store;
        store.values = c.values;
        EXPECT_EQ(HotKeySettings::load(store), c.expected) << c.name;
    }
}

TEST(HotKeySettings, ModeRawValues)
{
    EXPECT_EQ(PasteShortcutModes::fromRawValue("specialHotKey"), PasteShortcutMode::specialHotKey);
    EXPECT_EQ(PasteShortcutModes::fromRawValue("overridePasteCommand"), PasteShortcutMode::overridePasteCommand);
    EXPECT_EQ(PasteShortcutModes::fromRawValue(""), std::nullopt);
    EXPECT_EQ(PasteShortcutModes::rawValue(PasteShortcutMode::overridePasteCommand), "overridePasteCommand");
    EXPECT_EQ(PasteShortcutModes::allCases[0], PasteShortcutMode::specialHotKey);
}
