#include "FileSettingsStore.h"
#include "MemoryPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumeno::platform::linux_desktop;
using lumeno::platform::SettingValue;
using lumeno::platform::memory::MemoryLog;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string templ = (fs::temp_directory_path() / "lumeno-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        root = templ;
        dir = root / "lumeno"; // not there yet: the first save creates it
    }
    void TearDown() override { fs::remove_all(root); }

    // Waits for the store's watch to report, then lets it handle what came.
    static void processChanges(FileSettingsStore& store)
    {
        pollfd p{store.fileDescriptor(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1) << "no change was reported";
        store.processEvents();
    }

    fs::path root, dir;
    MemoryLog log;
};

TEST_F(SettingsStoreTest, ValuesKeepTheirTypesAcrossProcesses)
{
    FileSettingsStore writer(dir, log);
    EXPECT_EQ(writer.value("replaceEmDash"), std::nullopt);
    EXPECT_TRUE(writer.setValue("replaceEmDash", true));
    EXPECT_TRUE(writer.setValue("shortcutKeyCode", std::string("11")));
    EXPECT_TRUE(writer.setValue("shortcutModifiers", std::int64_t(0x100000)));
    EXPECT_TRUE(writer.setValue("shortcutMode", std::string("overridePasteCommand")));

    FileSettingsStore reader(dir, log); // as another process would
    EXPECT_TRUE(reader.boolValue("replaceEmDash"));
    EXPECT_EQ(reader.value("shortcutKeyCode"), SettingValue(std::string("11")));
    EXPECT_EQ(reader.integerValue("shortcutKeyCode"), std::nullopt);
    EXPECT_EQ(reader.integerValue("shortcutModifiers"), 0x100000);
    EXPECT_EQ(reader.stringValue("shortcutMode"), "overridePasteCommand");

    // Each store sees the other's later changes without being told.
    EXPECT_TRUE(reader.removeValue("shortcutKeyCode"));
    EXPECT_TRUE(reader.removeValue("neverStored"));
    EXPECT_EQ(writer.value("shortcutKeyCode"), std::nullopt);
    EXPECT_TRUE(writer.boolValue("replaceEmDash"));

    // Saved atomically: no temporary file is left beside the settings.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(SettingsStoreTest, AFileThatCannotBeParsedIsReportedOnceAndKeptAside)
{
    const std::string broken[] = {
        "this is not a settings file\n",
        "replaceEmDash = true\nshortcutMode = \"overri", // cut off mid-write by another program
        "replaceEmDash = yes\n",
        std::string("\x89PNG\r\n\x1A\n\0\0", 10),
    };
    for (const std::string& text : broken) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        writeFile(dir / "settings", text);
        log.lines.clear();

        FileSettingsStore store(dir, log);
        EXPECT_EQ(store.value("replaceEmDash"), std::nullopt);
        EXPECT_FALSE(store.boolValue("replaceEmDash"));
        EXPECT_EQ(store.value("shortcutMode"), std::nullopt);
        EXPECT_TRUE(store.removeValue("replaceEmDash")); // not a change: the file stays
        ASSERT_EQ(log.lines.size(), 1u) << text;
        EXPECT_EQ(log.lines[0].rfind("[Lumeno] ERROR: The settings file " + (dir / "settings").string(), 0), 0u);
        EXPECT_EQ(readFile(dir / "settings"), text);

        // The first change writes a new file and keeps the old one aside.
        EXPECT_TRUE(store.setValue("hasCompletedOnboarding", true));
        EXPECT_EQ(readFile(dir / "settings.broken"), text);
        FileSettingsStore later(dir, log);
        EXPECT_TRUE(later.boolValue("hasCompletedOnboarding"));
        EXPECT_EQ(later.value("replaceEmDash"), std::nullopt);
        EXPECT_EQ(log.lines.size(), 2u); // the line about keeping it aside
    }
}

TEST_F(SettingsStoreTest, AnUnwritableFolderFailsChangesWithALogLine)
{
    // A file where the folder should be: even root cannot create it.
    writeFile(root / "lumeno", "");
    FileSettingsStore store(dir, log);
    int announced = 0;
    store.addObserver([&] { ++announced; });
    EXPECT_FALSE(store.setValue("replaceEmDash", true));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("[Lumeno] ERROR: Cannot save settings to ", 0), 0u);
    EXPECT_EQ(store.value("replaceEmDash"), std::nullopt);
    EXPECT_EQ(announced, 0);
    EXPECT_TRUE(store.removeValue("replaceEmDash")); // nothing stored, nothing to fail
}

TEST_F(SettingsStoreTest, ChangesFromSeveralProcessesAtOnceAreAllKept)
{
    constexpr int processes = 6, changes = 20;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            MemoryLog childLog;
            FileSettingsStore store(dir, childLog);
            bool ok = true;
            for (int c = 0; c < changes; ++c) {
                std::string key = "p";
                key += std::to_string(p * changes + c);
                ok = store.setValue(key, std::int64_t(c)) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const ParsedSettings saved = parseSettings(readFile(dir / "settings"));
    EXPECT_TRUE(saved.valid);
    EXPECT_EQ(saved.values.size(), std::size_t(processes * changes));
}

TEST_F(SettingsStoreTest, ObserversHearEveryChangeOnce)
{
    FileSettingsStore store(dir, log);
    ASSERT_TRUE(store.startWatching());
    int announced = 0;
    const int id = store.addObserver([&] { ++announced; });

    // Our own change: announced at once, not again when its notice comes in.
    EXPECT_TRUE(store.setValue("replaceEmDash", true));
    EXPECT_EQ(announced, 1);
    processChanges(store);
    EXPECT_EQ(announced, 1);

    // An editor that writes a new file and renames it over the old one.
    writeFile(dir / "settings.tmp", "replaceEmDash = false\nshortcutKeyCode = 11\n");
    fs::rename(dir / "settings.tmp", dir / "settings");
    processChanges(store);
    EXPECT_EQ(announced, 2);
    EXPECT_EQ(store.integerValue("shortcutKeyCode"), 11);

    // One that rewrites the file in place, and one that deletes it.
    writeFile(dir / "settings", "shortcutKeyCode = 12\n");
    processChanges(store);
    EXPECT_EQ(announced, 3);
    fs::remove(dir / "settings");
    processChanges(store);
    EXPECT_EQ(announced, 4);
    EXPECT_EQ(store.value("shortcutKeyCode"), std::nullopt);

    store.removeObserver(id);
    EXPECT_TRUE(store.setValue("replaceEmDash", true));
    EXPECT_EQ(announced, 4);
    EXPECT_TRUE(log.lines.empty());
}

} // namespace
