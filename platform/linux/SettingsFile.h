// The text of the settings file: one setting per line, types kept by syntax.
//
//     # comment
//     replaceEmDash = true
//     shortcutKeyCode = 9
//     shortcutMode = "specialHotKey"
//
// A value is `true` or `false` (a boolean), a decimal integer with an
// optional minus sign that fits 64 bits (an integer), or text in double
// quotes (a string) where \" \\ \n \r \t and \uXXXX stand for a quote, a
// backslash, a line feed, a carriage return, a tab and a code point of the
// Basic Multilingual Plane. So `shortcutKeyCode = "11"` is the string 11, not
// the integer. Keys are ASCII letters, digits, '_', '.' and '-'. Blank lines
// and lines whose first non-blank character is '#' are ignored, spaces and
// tabs around the key, the '=' and the value too; a later line for the same
// key wins. Anything else makes the whole file invalid: a half-written or
// hand-mangled file is not guessed at. The file is UTF-8.
#pragma once

#include "Platform.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace lumeno::platform::linux_desktop {

using SettingsMap = std::map<std::string, SettingValue, std::less<>>;

struct ParsedSettings {
    SettingsMap values;
    bool valid = true;
    std::size_t errorLine = 0; // 1-based, when not valid
    std::string error;         // what is wrong on that line
};

ParsedSettings parseSettings(std::string_view text);
// The file text for the values; parseSettings() gives them back unchanged.
// Strings must be valid UTF-8.
std::string serializeSettings(const SettingsMap& values);

// One value in the file's syntax: true, 42, "text".
std::string formatSettingValue(const SettingValue& value);
bool isValidSettingKey(std::string_view key);

} // namespace lumeno::platform::linux_desktop
