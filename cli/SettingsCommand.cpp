// lumeno settings: list, get, set and delete the settings the desktop parts read.
#include "CommandLine.h"
#include "FileSettingsStore.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "SystemLog.h"

#include <charconv>
#include <unistd.h>

namespace lumeno::cli {

namespace {

namespace desktop = lumeno::platform::linux_desktop;
namespace Keys = lumeno::SettingsKeys;
using lumeno::platform::SettingValue;

struct Action {
    std::string_view name;
    int operands;
    std::string_view usage;
};
constexpr Action actions[] = {
    {"list", 0, "list"}, {"get", 1, "get KEY"}, {"set", 2, "set KEY VALUE"}, {"delete", 1, "delete KEY"}};

std::string knownKeys()
{
    std::string names;
    for (const Keys::Key& key : Keys::all)
        names += (names.empty() ? "" : ", ") + std::string(key.name);
    return names;
}

// "an integer", "a string", "a boolean".
std::string withArticle(Keys::Type type)
{
    return (type == Keys::Type::Integer ? "an " : "a ") + std::string(Keys::typeName(type));
}

// A value as typed on the command line: true and false are booleans, a
// decimal integer is an integer, anything else is a string.
SettingValue typedValue(std::string_view text)
{
    if (text == "true" || text == "false")
        return text == "true";
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (!text.empty() && ec == std::errc() && end == text.data() + text.size())
        return number;
    return std::string(text);
}

// "name = value (type)", or "(default type)" for a key that is not stored.
std::string listLine(const Keys::Key& key, const std::optional<SettingValue>& stored)
{
    const std::string head = std::string(key.name) + " = ";
    if (!stored)
        return head + desktop::formatSettingValue(key.defaultValue()) + " (default "
               + std::string(Keys::typeName(key.type)) + ")";
    const Keys::Type type = Keys::typeOf(*stored);
    std::string line = head + desktop::formatSettingValue(*stored) + " (" + std::string(Keys::typeName(type));
    if (type != key.type)
        line += "; not " + withArticle(key.type) + ", so it reads as the default "
                + desktop::formatSettingValue(key.defaultValue());
    return line + ")";
}

} // namespace

int runSettings(int argc, char** argv)
{
    const std::string_view name = argc > 2 ? argv[2] : "";
    const Action* action = nullptr;
    for (const Action& each : actions)
        if (each.name == name)
            action = &each;
    if (!action)
        return fail("'settings' needs an action: list, get KEY, set KEY VALUE or delete KEY", 2);
    if (argc != 3 + action->operands)
        return fail("usage: lumeno settings " + std::string(action->usage), 2);
    const Keys::Key* key = argc > 3 ? Keys::find(argv[3]) : nullptr;
    if (argc > 3 && !key)
        return fail("unknown setting '" + std::string(argv[3]) + "'; the settings are " + knownKeys(), 2);

    desktop::SystemLog log;
    desktop::FileSettingsStore store(desktop::FileSettingsStore::defaultDirectory(), log);
    if (action->name == "list") {
        std::string out;
        for (const Keys::Key& each : Keys::all)
            out += listLine(each, store.value(each.name)) + "\n";
        return writeAll(STDOUT_FILENO, out) ? 0 : 1;
    }
    if (action->name == "get") {
        // Strings as they are, without the quotes of the file.
        const SettingValue value = store.value(key->name).value_or(key->defaultValue());
        const std::string* text = std::get_if<std::string>(&value);
        return writeAll(STDOUT_FILENO, (text ? *text : desktop::formatSettingValue(value)) + "\n") ? 0 : 1;
    }
    if (action->name == "delete")
        return store.removeValue(key->name) ? 0 : 1;

    const SettingValue value = typedValue(argv[4]);
    if (!store.setValue(key->name, value))
        return 1;
    if (Keys::typeOf(value) != key->type)
        fail("note: " + std::string(key->name) + " is stored as the " + std::string(Keys::typeName(Keys::typeOf(value)))
                 + " " + desktop::formatSettingValue(value) + ", which reads as its default "
                 + desktop::formatSettingValue(key->defaultValue()),
             0);
    return 0;
}

} // namespace lumeno::cli
