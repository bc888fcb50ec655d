#include "HotKeySettings.h"

namespace lumeno {

std::string_view PasteShortcutModes::rawValue(PasteShortcutMode mode)
{
    return mode == PasteShortcutMode::overridePasteCommand ? "overridePasteCommand" : "specialHotKey";
}

std::optional<PasteShortcutMode> PasteShortcutModes::fromRawValue(std::string_view raw)
{
    for (const PasteShortcutMode mode : allCases) {
        if (raw == rawValue(mode))
            return mode;
    }
    return std::nullopt;
}

HotKeyConfiguration HotKeySettings::load(const platform::SettingsStore& store)
{
    const std::string mode = store.stringValue("shortcutMode").value_or("specialHotKey");
    return {
        mode == "overridePasteCommand" ? PasteShortcutMode::overridePasteCommand : PasteShortcutMode::specialHotKey,
        store.integerValue("shortcutKeyCode").value_or(HotKeyConfiguration::defaultSpecialKeyCode),
        store.integerValue("shortcutModifiers").value_or(HotKeyConfiguration::defaultSpecialModifiers),
    };
}

} // namespace lumeno
