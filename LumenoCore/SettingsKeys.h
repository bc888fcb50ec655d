// Every key of the user's settings store, with its type and the value that
// stands in for it while it is absent. Nothing else is ever stored.
#pragma once

#include "Platform.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace lumeno::SettingsKeys {

inline constexpr std::string_view shortcutMode = "shortcutMode";
inline constexpr std::string_view shortcutKeyCode = "shortcutKeyCode";
inline constexpr std::string_view shortcutModifiers = "shortcutModifiers";
inline constexpr std::string_view replaceEmDash = "replaceEmDash";
inline constexpr std::string_view hasCompletedOnboarding = "hasCompletedOnboarding";

enum class Type { Boolean, Integer, String };

struct Key {
    std::string_view name;
    Type type;
    // The default of the key's own type; the other two fields are unused.
    bool defaultBoolean = false;
    std::int64_t defaultInteger = 0;
    std::string_view defaultString = {};

    platform::SettingValue defaultValue() const
    {
        switch (type) {
        case Type::Boolean: return defaultBoolean;
        case Type::Integer: return defaultInteger;
        case Type::String: break;
        }
        return std::string(defaultString);
    }
};

inline constexpr std::array<Key, 5> all = {{
    {shortcutMode, Type::String, false, 0, "specialHotKey"},
    {shortcutKeyCode, Type::Integer, false, 9},
    {shortcutModifiers, Type::Integer, false, 0x120000},
    {replaceEmDash, Type::Boolean, false},
    {hasCompletedOnboarding, Type::Boolean, false},
}};

// The entry for a key name, or nullptr when the name is not one of ours.
inline constexpr const Key* find(std::string_view name)
{
    for (const Key& key : all)
        if (key.name == name)
            return &key;
    return nullptr;
}

inline constexpr std::string_view typeName(Type type)
{
    switch (type) {
    case Type::Boolean: return "boolean";
    case Type::Integer: return "integer";
    case Type::String: break;
    }
    return "string";
}

// The type a stored value actually has.
inline Type typeOf(const platform::SettingValue& value)
{
    if (std::holds_alternative<bool>(value))
        return Type::Boolean;
    if (std::holds_alternative<std::int64_t>(value))
        return Type::Integer;
    return Type::String;
}

} // namespace lumeno::SettingsKeys
