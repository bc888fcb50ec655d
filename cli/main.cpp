// lumeno: the command-line front of the conversions, and the launcher of the
// desktop parts. Links no GUI toolkit, so that it starts fast.
#include "FileSettingsStore.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "SystemLog.h"
#include "TextTransformer.h"
#include "Unicode.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <algorithm>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view usage =
    "Usage: lumeno <command> [options]\n"
    "\n"
    "Turns terminal output and web HTML into clean Markdown.\n"
    "\n"
    "Commands:\n"
    "  text        clean terminal text from standard input into Markdown\n"
    "  settings    list | get KEY | set KEY VALUE | delete KEY\n"
    "              show or change a setting; VALUE true or false is a boolean,\n"
    "              a decimal integer an integer, anything else a string\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Output goes to standard output exactly as converted, with no newline added.\n"
    "\n"
    "Settings live in $XDG_CONFIG_HOME/lumeno/settings (~/.config/lumeno/settings):\n"
    "  shortcutMode            string: specialHotKey or overridePasteCommand\n"
    "  shortcutKeyCode         integer: key code of the shortcut (9 is V)\n"
    "  shortcutModifiers       integer: modifier mask of the shortcut\n"
    "  replaceEmDash           boolean: turn em dashes into commas\n"
    "  hasCompletedOnboarding  boolean: the first-run guide was finished\n";

bool readAll(int fd, std::string& out)
{
    // A regular file is read into one buffer of its size.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        out.resize(static_cast<std::size_t>(st.st_size) + (1 << 16));
    std::size_t used = 0;
    while (true) {
        if (out.size() - used < (1 << 16))
            out.resize(std::max<std::size_t>(out.size() * 2, used + (1 << 16)));
        const ssize_t n = read(fd, out.data() + used, out.size() - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
        } else if (n == 0) {
            out.resize(used);
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

int fail(const std::string& message, int code)
{
    std::string line = "lumeno: " + message + "\n";
    writeAll(STDERR_FILENO, line);
    return code;
}

// Reads standard input, converts it and writes the result. Each conversion
// reads its input as UTF-8, with U+FFFD for ill-formed bytes.
template <typename Convert>
int runFilter(Convert convert)
{
    std::string input;
    if (!readAll(STDIN_FILENO, input))
        return fail(std::string("cannot read standard input: ") + std::strerror(errno), 1);
    const std::string output = convert(std::move(input));
    if (!writeAll(STDOUT_FILENO, output))
        return fail(std::string("cannot write standard output: ") + std::strerror(errno), 1);
    return 0;
}

int noArguments(std::string_view command, int argc, char** argv)
{
    if (argc > 2)
        return fail("'" + std::string(command) + "' takes no argument: '" + argv[2] + "' (see 'lumeno --help')", 2);
    return 0;
}

namespace settings {

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

int run(int argc, char** argv)
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

} // namespace settings

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    // A conversion allocates and frees a few text-sized buffers in turn; keep
    // them on the heap for reuse instead of mapping fresh pages each time.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    if (argc < 2)
        return fail("no command given (see 'lumeno --help')", 2);
    const std::string_view command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        return writeAll(STDOUT_FILENO, usage) ? 0 : 1;
    }
    if (command == "-V" || command == "--version") {
        return writeAll(STDOUT_FILENO, "lumeno " LUMENO_VERSION "\n") ? 0 : 1;
    }
    if (command == "settings")
        return settings::run(argc, argv);
    if (command == "text") {
        if (const int code = noArguments(command, argc, argv))
            return code;
        return runFilter([](std::string in) { return lumeno::TextTransformer::transform(std::move(in)); });
    }
    if (!command.empty() && command.front() == '-')
        return fail("unknown option '" + std::string(command) + "' (see 'lumeno --help')", 2);
    return fail("unknown command '" + std::string(command) + "' (see 'lumeno --help')", 2);
}
