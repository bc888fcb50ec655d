// The settings-file reader, through the parser and through the file store
// that reads it from disk. A valid file gives keys of the allowed form and
// values that survive serialising and parsing again; an invalid one gives no
// value at all; and what the loader and the typed reads return for the known
// keys always has the key's own type.
#include "FileSettingsStore.h"
#include "FuzzChecks.h"
#include "HotKeySettings.h"
#include "MemoryPlatform.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace lumeno;
using namespace lumeno::platform::linux_desktop;
using platform::SettingValue;

namespace {

// A folder of our own for the settings file, removed again at exit.
const std::filesystem::path& scratchDirectory()
{
    static const std::filesystem::path directory = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumeno-fuzz-settings.XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            fuzz::fail("cannot create a scratch folder for the settings file");
        return std::filesystem::path(pattern);
    }();
    // Registered once the path exists, so it runs before the path is destroyed.
    static const bool removedAtExit = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(directory, ec);
    }) == 0;
    (void)removedAtExit;
    return directory;
}

void checkParsed(const ParsedSettings& parsed, std::string_view text)
{
    if (!parsed.valid) {
        fuzz::require(parsed.values.empty(), "parseSettings: an invalid file gave values", text);
        fuzz::require(parsed.errorLine >= 1 && !parsed.error.empty(),
                      "parseSettings: an invalid file without its line and reason", text);
        return;
    }
    for (const auto& [key, value] : parsed.values) {
        fuzz::require(isValidSettingKey(key), "parseSettings: a key outside the allowed characters", key);
        if (const std::string* s = std::get_if<std::string>(&value))
            fuzz::require(unicode::isValidUtf8(*s), "parseSettings: a string value is not valid UTF-8", *s);
    }
    const std::string serialized = serializeSettings(parsed.values);
    const ParsedSettings again = parseSettings(serialized);
    fuzz::require(again.valid, "parseSettings", "rejects what serializeSettings wrote: " + again.error, serialized);
    fuzz::require(again.values == parsed.values, "serializeSettings and parseSettings do not round-trip", serialized);
    fuzz::require(serializeSettings(again.values) == serialized, "serializeSettings is not stable", serialized);
}

// The typed reads and the shortcut loader give each known key its own type,
// the stored value when it has that type and the default otherwise.
void checkTypedReads(const platform::SettingsStore& store, const SettingsMap& values)
{
    namespace Keys = SettingsKeys;
    for (const Keys::Key& key : Keys::all) {
        const auto stored = values.find(key.name);
        const bool hasOwnType = stored != values.end() && Keys::typeOf(stored->second) == key.type;
        const std::optional<SettingValue> read = store.value(key.name);
        fuzz::require(read.has_value() == (stored != values.end()) && (!read || *read == stored->second),
                      "the store does not give back the file's value", key.name);
        switch (key.type) {
        case Keys::Type::String:
            fuzz::require(store.stringValue(key.name).has_value() == hasOwnType, "stringValue: wrong type", key.name);
            break;
        case Keys::Type::Integer:
            fuzz::require(store.integerValue(key.name).has_value() == hasOwnType, "integerValue: wrong type", key.name);
            break;
        case Keys::Type::Boolean:
            fuzz::require(store.boolValue(key.name) == (hasOwnType && std::get<bool>(stored->second)),
                          "boolValue: not the stored boolean", key.name);
            break;
        }
    }
    const auto integerOr = [&](std::string_view name, std::int64_t fallback) {
        const auto it = values.find(name);
        return it != values.end() && std::holds_alternative<std::int64_t>(it->second) ? std::get<std::int64_t>(it->second)
                                                                                      : fallback;
    };
    const auto mode = values.find(Keys::shortcutMode);
    const bool override = mode != values.end() && mode->second == SettingValue(std::string("overridePasteCommand"));
    const HotKeyConfiguration expected{
        override ? PasteShortcutMode::overridePasteCommand : PasteShortcutMode::specialHotKey,
        integerOr(Keys::shortcutKeyCode, HotKeyConfiguration::defaultSpecialKeyCode),
        integerOr(Keys::shortcutModifiers, HotKeyConfiguration::defaultSpecialModifiers)};
    fuzz::require(HotKeySettings::load(store) == expected, "HotKeySettings::load: not the file's values or defaults");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParsedSettings parsed = parseSettings(text);
    checkParsed(parsed, text);

    const std::filesystem::path& directory = scratchDirectory();
    {
        std::ofstream file(directory / "settings", std::ios::binary | std::ios::trunc);
        file.write(text.data(), std::streamsize(text.size()));
    }
    platform::memory::MemoryLog log;
    const FileSettingsStore store(directory, log);
    checkTypedReads(store, parsed.values);
    fuzz::require(parsed.valid == log.lines.empty(), "FileSettingsStore: an invalid file must be reported, once");
    return 0;
}
