// The trigger for a transform: its mode, key code and modifier mask, loaded
// from the settings store with fixed defaults.
#pragma once

#include "Platform.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lumeno {

enum class PasteShortcutMode {
    specialHotKey,          // a dedicated shortcut transforms, then pastes
    overridePasteCommand,   // every plain paste command transforms first
};

namespace PasteShortcutModes {
inline constexpr std::array<PasteShortcutMode, 2> allCases = {PasteShortcutMode::specialHotKey,
                                                              PasteShortcutMode::overridePasteCommand};
// "specialHotKey" or "overridePasteCommand"; also the mode's id.
std::string_view rawValue(PasteShortcutMode mode);
// Exact, case-sensitive match of a raw value; nothing for any other text.
std::optional<PasteShortcutMode> fromRawValue(std::string_view raw);
} // namespace PasteShortcutModes

// Modifier bits of the key-event flags. On Linux, "command" is the Control
// key, "control" the Super key and "option" Alt.
namespace ModifierFlags {
inline constexpr std::int64_t shift = 0x20000;
inline constexpr std::int64_t control = 0x40000;
inline constexpr std::int64_t option = 0x80000;
inline constexpr std::int64_t command = 0x100000;
} // namespace ModifierFlags

struct HotKeyConfiguration {
    PasteShortcutMode mode;
    std::int64_t keyCode;    // the V key is 9
    std::int64_t modifiers;  // ModifierFlags bits

    static constexpr std::int64_t defaultSpecialKeyCode = 9;
    static constexpr std::int64_t defaultSpecialModifiers = ModifierFlags::command | ModifierFlags::shift;
    static constexpr HotKeyConfiguration defaultConfiguration()
    {
        return {PasteShortcutMode::specialHotKey, defaultSpecialKeyCode, defaultSpecialModifiers};
    }

    friend bool operator==(const HotKeyConfiguration&, const HotKeyConfiguration&) = default;
};

namespace HotKeySettings {
// Reads "shortcutMode", "shortcutKeyCode" and "shortcutModifiers"; each field
// falls back to its default on its own when absent or of the wrong type.
HotKeyConfiguration load(const platform::SettingsStore& store);
} // namespace HotKeySettings

} // namespace lumeno
