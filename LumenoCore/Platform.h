// The platform services the core reaches: the clipboard, the settings store,
// the key-event tap and the log. Each system implements them in its own folder under platform/;
// platform/memory/ holds in-memory fakes for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace lumeno::platform {

enum class Flavor { PlainText, HTML };

// The system clipboard, as the transform command uses it.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    // The flavour's text, or nothing when the clipboard holds no such flavour.
    // A flavour that is present but empty gives the empty string.
    virtual std::optional<std::string> readString(Flavor flavor) = 0;
    // Replaces everything on the clipboard by one item carrying both flavours.
    virtual void writeItem(const std::string& plain, const std::string& html) = 0;
};

// A typed value of the settings store.
using SettingValue = std::variant<bool, std::int64_t, std::string>;

// The user's settings: typed values by key, with change notices.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value of whatever type, or nothing when the key is absent.
    virtual std::optional<SettingValue> value(std::string_view key) const = 0;
    // Stores a value; false (and a log line) when it could not be saved.
    virtual bool setValue(std::string_view key, const SettingValue& value) = 0;
    // Removes a key; false (and a log line) when the change could not be saved.
    virtual bool removeValue(std::string_view key) = 0;

    // Observers run after every change of the store, our own or another
    // process's. The returned id removes the observer again.
    using Observer = std::function<void()>;
    virtual int addObserver(Observer observer) = 0;
    virtual void removeObserver(int id) = 0;

    // The value as a string when it is one, or nothing.
    std::optional<std::string> stringValue(std::string_view key) const
    {
        const auto v = value(key);
        if (v && std::holds_alternative<std::string>(*v))
            return std::get<std::string>(*v);
        return std::nullopt;
    }
    // The value as an integer when it is one, or nothing.
    std::optional<std::int64_t> integerValue(std::string_view key) const
    {
        const auto v = value(key);
        if (v && std::holds_alternative<std::int64_t>(*v))
            return std::get<std::int64_t>(*v);
        return std::nullopt;
    }
    // The value when it is a boolean; false when absent or of another type.
    bool boolValue(std::string_view key) const
    {
        const auto v = value(key);
        return v && std::holds_alternative<bool>(*v) && std::get<bool>(*v);
    }
};

// Diagnostic lines, one per event, each beginning "[Lumeno] ".
class Log {
public:
    virtual ~Log() = default;
    virtual void write(std::string_view line) = 0;
};

// A key press in the shortcut numbering: key codes where the V key is 9, and
// flags in the ModifierFlags layout (bits other than the four modifiers, such
// as caps lock, may be set).
struct KeyPress {
    std::int64_t keyCode;
    std::int64_t flags;
};

// A key together with the modifiers (ModifierFlags bits) held with it.
struct KeyCombination {
    std::int64_t keyCode;
    std::int64_t modifiers;

    friend bool operator==(const KeyCombination&, const KeyCombination&) = default;
};

// Interception of key presses on their way to the focused application, and
// the synthetic paste. Every call, and every callback, happens on the thread
// that runs the tap's event loop.
class KeyEventTap {
public:
    enum class Disposition { passOn, swallow };
    struct Callbacks {
        // Runs for each press (auto-repeats included) of an intercepted
        // combination while the press is held back from the application;
        // the result releases it.
        std::function<Disposition(const KeyPress&)> keyPressed;
        // The system switched the interception off; enable() arms it again.
        std::function<void()> switchedOff;
    };

    virtual ~KeyEventTap() = default;
    // Whether key presses may be intercepted and posted at all.
    virtual bool isTrusted() = 0;
    // Starts intercepting presses of the given combinations, whatever the
    // state of caps lock and num lock. False when that is not possible (no
    // permission, or another program holds one of the combinations); then
    // nothing is intercepted.
    virtual bool install(const std::vector<KeyCombination>& keys, Callbacks callbacks) = 0;
    // Arms the installed interception again after switchedOff.
    virtual bool enable() = 0;
    // Stops intercepting; does nothing when nothing is installed.
    virtual void remove() = 0;
    // Posts the paste command (key down and up with exactly the paste
    // modifier) to the focused application; it never reaches keyPressed.
    // Called from keyPressed, it releases the held press first, as swallowed.
    // False when the events could not be made; nothing is posted then.
    virtual bool postPaste() = 0;
};

} // namespace lumeno::platform
